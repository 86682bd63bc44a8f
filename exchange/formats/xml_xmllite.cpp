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

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "exchange/formats/xml_reader.h"
#include "platform/system.h"

namespace korvel {
namespace {

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

/// A BinaryFile as the stream XmlLite reads, keeping the last bytes read:
/// the document's end, which tells a cut file. Lives on the stack; the reader
/// releases it before the stack frame ends.
class FileStream : public ISequentialStream {
 public:
  explicit FileStream(BinaryFile& file) : file_(file) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) override {
    if (id == __uuidof(IUnknown) || id == __uuidof(ISequentialStream)) {
      *object = static_cast<ISequentialStream*>(this);
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }

  HRESULT STDMETHODCALLTYPE Read(void* data, ULONG size, ULONG* read) override {
    const std::size_t got = file_.Read(data, size);
    if (read != nullptr) *read = static_cast<ULONG>(got);
    if (total_ == 0 && got >= 2) {
      const std::string_view head(static_cast<const char*>(data), 2);
      utf16_ = head == "\xFF\xFE" ? 1 : head == "\xFE\xFF" ? 2 : 0;
    }
    total_ += got;
    tail_.append(static_cast<const char*>(data), got);
    // Cut by an even count, so that a UTF-16 tail keeps its pairs whole.
    if (tail_.size() > 2 * kTail) tail_.erase(0, (tail_.size() - kTail) & ~std::size_t{1});
    if (file_.failed()) return STG_E_READFAULT;
    return got < size ? S_FALSE : S_OK;
  }
  HRESULT STDMETHODCALLTYPE Write(const void*, ULONG, ULONG*) override {
    return STG_E_ACCESSDENIED;
  }

  /// The last characters read, at least 512 when the file holds them; a
  /// UTF-16 file's as one byte each (other than ASCII as '?').
  std::string tail() const {
    if (utf16_ == 0) return tail_;
    std::string text;
    // The tail starts where the file had read an even count of bytes.
    for (std::size_t i = (total_ - tail_.size()) % 2; i + 1 < tail_.size(); i += 2) {
      const char low = utf16_ == 1 ? tail_[i] : tail_[i + 1];
      const char high = utf16_ == 1 ? tail_[i + 1] : tail_[i];
      text.push_back(high == 0 && static_cast<unsigned char>(low) < 0x80 ? low : '?');
    }
    return text;
  }

 private:
  static constexpr std::size_t kTail = 1024;
  BinaryFile& file_;
  std::string tail_;
  std::uint64_t total_ = 0;
  int utf16_ = 0;  ///< 1: little-endian, 2: big-endian, by the byte-order mark
};

/// Whether the file ends as a whole document ends: with the root's end tag
/// (or a comment or processing instruction after it). Wine's XmlLite closes
/// the open elements of a cut file without an error, which this tells.
bool EndsWithRoot(std::string_view text, const std::string& root, bool root_empty) {
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

/// The node's value, at most `limit` UTF-16 units of it.
std::string Value(IXmlReader& reader, UINT limit = UINT_MAX) {
  const wchar_t* value = nullptr;
  UINT length = 0;
  if (FAILED(reader.GetValue(&value, &length))) return {};
  return Utf8(value, std::min(length, limit));
}

/// The element's attributes the handler wants, their values capped.
void ReadAttributes(IXmlReader& xml, const XmlHandler& handler, XmlAttributes& attributes) {
  attributes.clear();
  for (HRESULT more = xml.MoveToFirstAttribute(); more == S_OK; more = xml.MoveToNextAttribute()) {
    if (xml.IsDefault()) continue;
    std::string local = LocalName(xml);
    if (!handler.Wants(local)) continue;
    std::string value = Value(xml, static_cast<UINT>(kMaxAttributeValue + 1));
    if (value.size() > kMaxAttributeValue) value.resize(kMaxAttributeValue + 1);
    attributes.emplace_back(std::move(local), std::move(value));
  }
}

}  // namespace

XmlOutcome ParseXmlFile(BinaryFile& file, XmlHandler& handler, std::string& failure,
                        std::uint64_t& line) {
  using Create = HRESULT(WINAPI*)(REFIID, void**, IMalloc*);
  static const HMODULE library = LoadLibraryW(L"xmllite.dll");
  const auto create = library == nullptr ? nullptr
                                         : reinterpret_cast<Create>(reinterpret_cast<void*>(
                                               GetProcAddress(library, "CreateXmlReader")));
  if (create == nullptr) {
    failure = "this system has no XmlLite; GPX and KML need it on Windows (or the Linux build)";
    return XmlOutcome::kUnsupported;
  }
  FileStream stream(file);
  HRESULT result = S_OK;
  Released<IXmlReader> reader;
  if (FAILED(create(__uuidof(IXmlReader), reinterpret_cast<void**>(&reader.object), nullptr)) ||
      FAILED(reader.object->SetProperty(XmlReaderProperty_DtdProcessing, DtdProcessing_Prohibit)) ||
      // The handler stops a document nested too deep, by the same rule on
      // both systems; XmlLite's own limit would stop it first, differently.
      FAILED(reader.object->SetProperty(XmlReaderProperty_MaxElementDepth, 0)) ||
      FAILED(reader.object->SetInput(&stream))) {
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
        UINT start = 0;
        xml.GetLineNumber(&start);
        ReadAttributes(xml, handler, attributes);
        xml.MoveToElement();
        if (root.empty()) {
          root = name;
          root_empty = empty;
        }
        handler.Start(name, attributes, start);
        if (handler.Stopped()) return XmlOutcome::kRead;
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
  if (file.failed()) {
    failure = "the file cannot be read";
    return XmlOutcome::kUnreadable;
  }
  UINT at = 0;
  if (FAILED(result)) {
    xml.GetLineNumber(&at);
    char code[16];
    std::snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(result));
    line = at;
    failure = std::string("not XML (XmlLite error ") + code + ")";
    return XmlOutcome::kMalformed;
  }
  if (root.empty() || !EndsWithRoot(stream.tail(), root, root_empty)) {
    xml.GetLineNumber(&at);
    line = at;
    failure = "not XML: the file ends inside an element";
    return XmlOutcome::kMalformed;
  }
  return XmlOutcome::kRead;
}

}  // namespace korvel
