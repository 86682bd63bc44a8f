// The XML reader on Linux: expat, fed the file in pieces.

#include <expat.h>

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "exchange/formats/fields.h"
#include "exchange/formats/xml_reader.h"

namespace korvel {
namespace {

/// expat's names with a namespace are "URI\x01LOCAL": the local part.
std::string_view LocalName(const XML_Char* name) {
  const std::string_view text(name);
  const std::size_t separator = text.rfind('\x01');
  return separator == std::string_view::npos ? text : text.substr(separator + 1);
}

/// What this thread's parser holds; expat's memory functions take no context,
/// and a parser runs on one thread.
struct Budget {
  std::size_t used = 0;
  bool refused = false;  ///< an allocation would have passed kMaxParserMemory
};
thread_local Budget budget;

/// Each block starts with its size, so that freeing it gives the room back.
constexpr std::size_t kHeader = alignof(std::max_align_t);

void* Allocate(void* old, std::size_t size) {
  std::size_t old_size = 0;
  char* block = static_cast<char*>(old);
  if (block != nullptr) {
    block -= kHeader;
    std::memcpy(&old_size, block, sizeof old_size);
  }
  if (size > kMaxParserMemory || budget.used - old_size + size > kMaxParserMemory) {
    budget.refused = true;
    return nullptr;
  }
  block = static_cast<char*>(std::realloc(block, size + kHeader));
  if (block == nullptr) return nullptr;
  budget.used = budget.used - old_size + size;
  std::memcpy(block, &size, sizeof size);
  return block + kHeader;
}

void* Malloc(std::size_t size) {
  return Allocate(nullptr, size);
}

void* Realloc(void* old, std::size_t size) {
  return Allocate(old, size);
}

void Free(void* data) {
  if (data == nullptr) return;
  char* block = static_cast<char*>(data) - kHeader;
  std::size_t size = 0;
  std::memcpy(&size, block, sizeof size);
  budget.used -= size;
  std::free(block);
}

const XML_Memory_Handling_Suite kBudgeted = {Malloc, Realloc, Free};

struct Context {
  XML_Parser parser;
  XmlHandler& handler;
  XmlAttributes attributes;
};

void OnStart(void* data, const XML_Char* name, const XML_Char** attributes) {
  auto& context = *static_cast<Context*>(data);
  context.attributes.clear();
  for (const XML_Char** a = attributes; *a != nullptr; a += 2) {
    const std::string_view local = LocalName(a[0]);
    if (!context.handler.Wants(local)) continue;
    const std::size_t length = std::strlen(a[1]);
    context.attributes.emplace_back(
        local, std::string_view(a[1], std::min(length, kMaxAttributeValue + 1)));
  }
  context.handler.Start(LocalName(name), context.attributes,
                        XML_GetCurrentLineNumber(context.parser));
  if (context.handler.Stopped()) XML_StopParser(context.parser, XML_FALSE);
}

void OnEnd(void* data, const XML_Char* name) {
  static_cast<Context*>(data)->handler.End(LocalName(name));
}

void OnText(void* data, const XML_Char* text, int length) {
  static_cast<Context*>(data)->handler.Text(
      std::string_view(text, static_cast<std::size_t>(length)));
}

/// A piece of markup that would take the parser past its memory limit.
XmlOutcome TooLarge(XML_Parser parser, std::string& failure, std::uint64_t& line) {
  if (!budget.refused) {
    failure = "out of memory";
    return XmlOutcome::kUnreadable;
  }
  line = XML_GetCurrentLineNumber(parser);
  failure = MarkupTooLarge();
  return XmlOutcome::kMalformed;
}

}  // namespace

XmlOutcome ParseXmlFile(BinaryFile& file, XmlHandler& handler, std::string& failure,
                        std::uint64_t& line) {
  budget = Budget();
  const std::unique_ptr<std::remove_pointer_t<XML_Parser>, void (*)(XML_Parser)> parser(
      XML_ParserCreate_MM(nullptr, &kBudgeted, "\x01"), XML_ParserFree);
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
    if (buffer == nullptr) return TooLarge(parser.get(), failure, line);
    const std::size_t got = file.Read(buffer, kChunk);
    if (file.failed()) {
      failure = "the file cannot be read";
      return XmlOutcome::kUnreadable;
    }
    const bool last = got == 0;
    const XML_Status status = XML_ParseBuffer(parser.get(), static_cast<int>(got), last);
    if (handler.Stopped()) return XmlOutcome::kRead;
    if (status == XML_STATUS_ERROR) {
      if (budget.refused) return TooLarge(parser.get(), failure, line);
      line = XML_GetCurrentLineNumber(parser.get());
      failure = std::string("not XML: ") + XML_ErrorString(XML_GetErrorCode(parser.get()));
      return XmlOutcome::kMalformed;
    }
    if (last) return XmlOutcome::kRead;
  }
}

}  // namespace korvel
