// The XML reader on Linux: expat, fed the file in pieces.

#include <expat.h>

#include <memory>

#include "exchange/import/fields.h"
#include "exchange/import/xml_reader.h"

namespace korvel {
namespace {

/// expat's names with a namespace are "URI\x01LOCAL": the local part.
std::string_view LocalName(const XML_Char* name) {
  const std::string_view text(name);
  const std::size_t separator = text.rfind('\x01');
  return separator == std::string_view::npos ? text : text.substr(separator + 1);
}

struct Context {
  XML_Parser parser;
  XmlHandler& handler;
  XmlAttributes attributes;
};

void OnStart(void* data, const XML_Char* name, const XML_Char** attributes) {
  auto& context = *static_cast<Context*>(data);
  context.attributes.clear();
  for (const XML_Char** a = attributes; *a != nullptr; a += 2) {
    context.attributes.emplace_back(LocalName(a[0]), a[1]);
  }
  context.handler.Start(LocalName(name), context.attributes,
                        XML_GetCurrentLineNumber(context.parser));
}

void OnEnd(void* data, const XML_Char* name) {
  static_cast<Context*>(data)->handler.End(LocalName(name));
}

void OnText(void* data, const XML_Char* text, int length) {
  static_cast<Context*>(data)->handler.Text(
      std::string_view(text, static_cast<std::size_t>(length)));
}

}  // namespace

XmlOutcome ParseXmlFile(const std::string& path, XmlHandler& handler, std::string& failure) {
  auto file = OpenSource(path, failure);
  if (!file) return XmlOutcome::kUnreadable;
  return ParseXmlStream(*file, handler, failure);
}

XmlOutcome ParseXmlStream(BinaryFile& file, XmlHandler& handler, std::string& failure) {
  const std::unique_ptr<std::remove_pointer_t<XML_Parser>, void (*)(XML_Parser)> parser(
      XML_ParserCreateNS(nullptr, '\x01'), XML_ParserFree);
  if (!parser) {
    failure = "out of memory";
    return XmlOutcome::kUnreadable;
  }
  Context context{parser.get(), handler, {}};
  XML_SetUserData(parser.get(), &context);
  XML_SetElementHandler(parser.get(), OnStart, OnEnd);
  XML_SetCharacterDataHandler(parser.get(), OnText);
  constexpr int kChunk = 1 << 16;
  for (;;) {
    void* buffer = XML_GetBuffer(parser.get(), kChunk);
    if (buffer == nullptr) {
      failure = "out of memory";
      return XmlOutcome::kUnreadable;
    }
    const std::size_t got = file.Read(buffer, kChunk);
    if (file.failed()) {
      failure = "the file cannot be read";
      return XmlOutcome::kUnreadable;
    }
    const bool last = got == 0;
    if (XML_ParseBuffer(parser.get(), static_cast<int>(got), last) == XML_STATUS_ERROR) {
      failure = std::to_string(XML_GetCurrentLineNumber(parser.get())) +
                ": not XML: " + XML_ErrorString(XML_GetErrorCode(parser.get()));
      return XmlOutcome::kMalformed;
    }
    if (last) return XmlOutcome::kRead;
  }
}

}  // namespace korvel
