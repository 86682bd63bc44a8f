// The XML reader on Windows: the system's XmlLite. mingw-w64 ships its
// header but no import library, so the DLL is loaded by name.

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <objbase.h>
#include <shlwapi.h>
#include <windows.h>
#include <xmllite.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "exchange/import/fields.h"
#include "exchange/import/xml_reader.h"
#include "platform/system.h"

namespace korvel {
namespace {

std::wstring Wide(const std::string& text) {
  const int length =
      MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length > 0 ? length : 0), L'\0');
  if (length > 0) {
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(),
                        length);
  }
  return wide;
}

std::string Utf8(const wchar_t* text, UINT length) {
  if (length == 0) return {};
  const int size =
      WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
  if (size > 0) {
    WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), out.data(), size, nullptr,
                        nullptr);
  }
  return out;
}

/// Releases a COM object at the end of its scope.
template <typename T>
struct Released {
  T* object = nullptr;
  ~Released() {
    if (object != nullptr) object->Release();
  }
};

/// Whether the file ends as a whole document ends: with the root's end tag
/// (or a comment or processing instruction after it). Wine's XmlLite closes
/// the open elements of a cut file without an error, which this tells.
bool EndsWithRoot(const std::string& path, const std::string& root, bool root_empty) {
  std::string failure;
  auto file = OpenSource(path, failure);
  const auto length = file ? file->GetLength() : std::nullopt;
  if (!length) return false;
  char tail[1024];
  const std::uint64_t from = *length > sizeof tail ? *length - sizeof tail : 0;
  if (!file->Seek(from)) return false;
  std::string_view text(tail, file->Read(tail, sizeof tail));
  while (!text.empty() && std::string_view(" \t\r\n").find(text.back()) != std::string_view::npos) {
    text.remove_suffix(1);
  }
  if (text.ends_with("-->") || text.ends_with("?>") || (root_empty && text.ends_with("/>"))) {
    return true;
  }
  const std::size_t open = text.rfind("</");
  if (!text.ends_with(">") || open == std::string_view::npos) return false;
  std::string_view name = text.substr(open + 2, text.size() - open - 3);
  while (!name.empty() && (name.back() == ' ' || name.back() == '\t' || name.back() == '\r' ||
                           name.back() == '\n')) {
    name.remove_suffix(1);
  }
  if (const std::size_t colon = name.find(':'); colon != std::string_view::npos) {
    name.remove_prefix(colon + 1);
  }
  return name == root;
}

std::string LocalName(IXmlReader& reader) {
  const wchar_t* name = nullptr;
  UINT length = 0;
  if (FAILED(reader.GetLocalName(&name, &length))) return {};
  return Utf8(name, length);
}

std::string Value(IXmlReader& reader) {
  const wchar_t* value = nullptr;
  UINT length = 0;
  if (FAILED(reader.GetValue(&value, &length))) return {};
  return Utf8(value, length);
}

}  // namespace

XmlOutcome ParseXmlStream(BinaryFile&, XmlHandler&, std::string& failure) {
  failure = "KMZ files need the Linux build of korvel-cli";
  return XmlOutcome::kUnsupported;
}

XmlOutcome ParseXmlFile(const std::string& path, XmlHandler& handler, std::string& failure) {
  using Create = HRESULT(WINAPI*)(REFIID, void**, IMalloc*);
  static const HMODULE library = LoadLibraryW(L"xmllite.dll");
  const auto create = library == nullptr ? nullptr
                                         : reinterpret_cast<Create>(reinterpret_cast<void*>(
                                               GetProcAddress(library, "CreateXmlReader")));
  if (create == nullptr) {
    failure = "this system has no XmlLite; GPX and KML need it on Windows (or the Linux build)";
    return XmlOutcome::kUnsupported;
  }
  Released<IStream> stream;
  HRESULT result = SHCreateStreamOnFileEx(Wide(path).c_str(), STGM_READ | STGM_SHARE_DENY_NONE,
                                          FILE_ATTRIBUTE_NORMAL, FALSE, nullptr, &stream.object);
  if (FAILED(result)) {
    failure = SystemErrorText(static_cast<int>(HRESULT_CODE(result)));
    return XmlOutcome::kUnreadable;
  }
  Released<IXmlReader> reader;
  if (FAILED(create(__uuidof(IXmlReader), reinterpret_cast<void**>(&reader.object), nullptr)) ||
      FAILED(reader.object->SetProperty(XmlReaderProperty_DtdProcessing, DtdProcessing_Prohibit)) ||
      FAILED(reader.object->SetInput(stream.object))) {
    failure = "XmlLite cannot read it";
    return XmlOutcome::kUnsupported;
  }
  IXmlReader& xml = *reader.object;
  XmlAttributes attributes;
  XmlNodeType type;
  std::string root;
  bool root_empty = false;
  while ((result = xml.Read(&type)) == S_OK) {
    switch (type) {
      case XmlNodeType_Element: {
        const bool empty = xml.IsEmptyElement();
        const std::string name = LocalName(xml);
        UINT line = 0;
        xml.GetLineNumber(&line);
        attributes.clear();
        for (HRESULT more = xml.MoveToFirstAttribute(); more == S_OK;
             more = xml.MoveToNextAttribute()) {
          if (!xml.IsDefault()) attributes.emplace_back(LocalName(xml), Value(xml));
        }
        xml.MoveToElement();
        if (root.empty()) {
          root = name;
          root_empty = empty;
        }
        handler.Start(name, attributes, line);
        if (empty) handler.End(name);
        break;
      }
      case XmlNodeType_EndElement:
        handler.End(LocalName(xml));
        break;
      case XmlNodeType_Text:
      case XmlNodeType_CDATA:
      case XmlNodeType_Whitespace:
        handler.Text(Value(xml));
        break;
      default:
        break;
    }
  }
  if (FAILED(result)) {
    UINT line = 0;
    xml.GetLineNumber(&line);
    char code[16];
    std::snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(result));
    failure = std::to_string(line) + ": not XML (XmlLite error " + code + ")";
    return XmlOutcome::kMalformed;
  }
  if (root.empty() || !EndsWithRoot(path, root, root_empty)) {
    UINT line = 0;
    xml.GetLineNumber(&line);
    failure = std::to_string(line) + ": not XML: the file ends inside an element";
    return XmlOutcome::kMalformed;
  }
  return XmlOutcome::kRead;
}

}  // namespace korvel
