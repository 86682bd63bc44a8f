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
#include <cstring>
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

/// What XmlLite is given of the file: the same text, but with each comment
/// emptied (its line breaks kept, so that lines keep their numbers), and a
/// tag, comment, CDATA section or processing instruction over
/// kMaxParserMemory refused, as expat refuses it on Linux. Wine's XmlLite
/// fails inside its comment reader on a comment of some hundred KiB; no
/// field comes from a comment.
class MarkupFilter {
 public:
  /// Takes the encoding from the file's first two bytes: UTF-16 by its
  /// byte-order mark or a first `<`, else one byte per character.
  void Start(std::string_view head) {
    wide_ = head == "\xFF\xFE" || head == std::string_view("<\0", 2)   ? 1
            : head == "\xFE\xFF" || head == std::string_view("\0<", 2) ? 2
                                                                       : 0;
  }

  /// Appends `bytes`, filtered, to `out`; false once a piece of markup runs
  /// over the limit.
  bool Follow(std::string_view bytes, std::string& out) {
    for (const char c : bytes) {
      const auto byte = static_cast<unsigned char>(c);
      if (wide_ == 0) {
        Unit(byte, out);
      } else if (half_ < 0) {
        half_ = byte;
      } else {
        const auto first = static_cast<std::uint32_t>(half_);
        Unit(wide_ == 1 ? byte << 8 | first : first << 8 | byte, out);
        half_ = -1;
      }
    }
    return length_ <= kMaxParserMemory;
  }

  /// The line the last piece of markup started on.
  std::uint64_t start_line() const { return start_line_; }

 private:
  enum class State { kText, kTag, kComment, kCData, kInstruction };

  void Unit(std::uint32_t unit, std::string& out) {
    if (state_ != State::kText) length_ += wide_ == 0 ? 1 : 2;
    if (unit == '\n') ++line_;
    last_ = (last_ << 8 | (unit < 0x80 ? unit : 0x80)) & 0xFFFFFF;
    const bool body = state_ == State::kComment;
    Step(unit);
    if (!body) {
      Put(unit, out);
    } else if (state_ == State::kText) {
      for (const char end : {'-', '-', '>'}) Put(static_cast<unsigned char>(end), out);
    } else if (unit == '\n') {
      Put(unit, out);
    }
  }

  void Put(std::uint32_t unit, std::string& out) const {
    if (wide_ == 0) {
      out.push_back(static_cast<char>(unit));
      return;
    }
    const char low = static_cast<char>(unit & 0xFF), high = static_cast<char>(unit >> 8);
    out.push_back(wide_ == 1 ? low : high);
    out.push_back(wide_ == 1 ? high : low);
  }

  /// Whether the last characters are `end` (at most three).
  bool Ends(std::string_view end) const {
    std::uint32_t bytes = 0;
    for (const char c : end) bytes = bytes << 8 | static_cast<unsigned char>(c);
    return (last_ & ((1u << (8 * end.size())) - 1)) == bytes;
  }

  void Step(std::uint32_t unit) {
    switch (state_) {
      case State::kText:
        if (unit != '<') return;
        state_ = State::kTag;
        length_ = 1;
        head_.clear();
        start_line_ = line_;
        return;
      case State::kTag:
        if (head_.size() < 8) {
          head_ += static_cast<char>(unit < 0x80 ? unit : 0x80);
          state_ = head_ == "!--"        ? State::kComment
                   : head_ == "![CDATA[" ? State::kCData
                   : head_ == "?"        ? State::kInstruction
                                         : State::kTag;
        }
        if (state_ == State::kTag && unit == '>') state_ = State::kText;
        return;
      case State::kComment:
        if (Ends("-->")) state_ = State::kText;
        return;
      case State::kCData:
        if (Ends("]]>")) state_ = State::kText;
        return;
      case State::kInstruction:
        if (Ends("?>")) state_ = State::kText;
        return;
    }
  }

  int wide_ = 0;   ///< 0: one byte a character; UTF-16 1: little-endian, 2: big-endian
  int half_ = -1;  ///< the first byte of a UTF-16 unit cut by the chunk's end
  State state_ = State::kText;
  std::string head_;          ///< the first characters after the markup's `<`
  std::uint32_t last_ = 0;    ///< the last three characters
  std::uint64_t length_ = 0;  ///< bytes of the markup so far
  std::uint64_t line_ = 1, start_line_ = 1;
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
    ULONG given = 0;
    while (given < size && (at_ < ready_.size() || Fill(size))) {
      const std::size_t n = std::min<std::size_t>(size - given, ready_.size() - at_);
      std::memcpy(static_cast<char*>(data) + given, ready_.data() + at_, n);
      at_ += n;
      given += static_cast<ULONG>(n);
    }
    if (read != nullptr) *read = given;
    if (too_large_) return E_FAIL;
    if (file_.failed()) return STG_E_READFAULT;
    return given < size ? S_FALSE : S_OK;
  }
  HRESULT STDMETHODCALLTYPE Write(const void*, ULONG, ULONG*) override {
    return STG_E_ACCESSDENIED;
  }

  /// Whether a piece of markup ran over kMaxParserMemory, and where it began.
  bool too_large() const { return too_large_; }
  std::uint64_t markup_line() const { return filter_.start_line(); }

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
  /// The next bytes of the file, filtered, into ready_; false at its end or
  /// on a failure.
  bool Fill(ULONG size) {
    raw_.resize(std::max<std::size_t>(size, 4096));
    const std::size_t got = file_.Read(raw_.data(), raw_.size());
    if (file_.failed() || got == 0) return false;
    const std::string_view bytes(raw_.data(), got);
    if (total_ == 0) {
      utf16_ = bytes.starts_with("\xFF\xFE") ? 1 : bytes.starts_with("\xFE\xFF") ? 2 : 0;
      filter_.Start(bytes.substr(0, 2));
    }
    total_ += got;
    tail_.append(bytes);
    // Cut by an even count, so that a UTF-16 tail keeps its pairs whole.
    if (tail_.size() > 2 * kTail) tail_.erase(0, (tail_.size() - kTail) & ~std::size_t{1});
    ready_.clear();
    at_ = 0;
    too_large_ = !filter_.Follow(bytes, ready_);
    return !too_large_;
  }

  static constexpr std::size_t kTail = 1024;
  BinaryFile& file_;
  std::string raw_, ready_;  ///< a chunk as read, and as XmlLite gets it
  std::size_t at_ = 0;       ///< what XmlLite took of ready_
  std::string tail_;
  std::uint64_t total_ = 0;
  int utf16_ = 0;  ///< 1: little-endian, 2: big-endian, by the byte-order mark
  MarkupFilter filter_;
  bool too_large_ = false;
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
  if (stream.too_large() || file.failed()) {
    line = stream.markup_line();
    failure = file.failed() ? "the file cannot be read" : MarkupTooLarge();
    return file.failed() ? XmlOutcome::kUnreadable : XmlOutcome::kMalformed;
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
