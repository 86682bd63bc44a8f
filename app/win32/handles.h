#pragma once
// Owners for the system handles the dialog creates: each handle is released
// exactly once, by whoever holds it last.

#include <utility>

#include "app/win32/win32_api.h"

namespace korvel::win32 {

/// Owns one handle of type `Handle`; `Release` frees it.
template <typename Handle, void (*Release)(Handle)>
class UniqueHandle {
 public:
  UniqueHandle() = default;
  explicit UniqueHandle(Handle handle) : handle_(handle) {}
  ~UniqueHandle() { reset(); }
  UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;

  Handle get() const { return handle_; }
  explicit operator bool() const { return handle_ != nullptr; }
  /// Frees the handle held and takes `handle` instead.
  void reset(Handle handle = nullptr) {
    if (handle_ != nullptr) Release(handle_);
    handle_ = handle;
  }
  /// Gives the handle up without freeing it.
  Handle release() { return std::exchange(handle_, nullptr); }

 private:
  Handle handle_ = nullptr;
};

inline void ReleaseFont(HFONT font) {
  DeleteObject(font);
}
inline void ReleaseIcon(HICON icon) {
  DestroyIcon(icon);
}

/// A font made with CreateFont.
using UniqueFont = UniqueHandle<HFONT, ReleaseFont>;
/// An icon loaded without LR_SHARED, so its owner destroys it.
using UniqueIcon = UniqueHandle<HICON, ReleaseIcon>;

/// The device context of one WM_PAINT: BeginPaint on construction, EndPaint
/// on destruction.
class PaintDC {
 public:
  explicit PaintDC(HWND window) : window_(window), dc_(BeginPaint(window, &paint_)) {}
  ~PaintDC() { EndPaint(window_, &paint_); }
  PaintDC(const PaintDC&) = delete;
  PaintDC& operator=(const PaintDC&) = delete;

  HDC get() const { return dc_; }

 private:
  HWND window_;
  PAINTSTRUCT paint_{};
  HDC dc_;
};

}  // namespace korvel::win32
