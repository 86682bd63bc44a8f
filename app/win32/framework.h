#pragma once
// The small dialog framework the Windows program is written against: an
// application object, dialogs made from templates whose message maps call
// member handlers, and buttons bound to dialog items. It does what this
// program needs and nothing more.

#include <optional>
#include <span>
#include <string>

#include "app/win32/win32_api.h"

namespace korvel::win32 {

class CDialog;

/// One line of a message map: a message (for WM_COMMAND, from control `id`)
/// and the function that calls the member handler.
struct MessageMapEntry {
  UINT message;
  UINT id;
  LRESULT (*call)(CDialog& dialog, WPARAM wparam, LPARAM lparam);
};

/// A dialog class's message map: its entries, searched in order.
using MessageMap = std::span<const MessageMapEntry>;

namespace detail {
template <typename Member>
struct ClassOf;
template <typename C, typename R, typename... Args>
struct ClassOf<R (C::*)(Args...)> {
  using type = C;
};
template <auto Handler>
using HandlerClass = typename ClassOf<decltype(Handler)>::type;
}  // namespace detail

/// A click on button `Id` calls `Handler()`.
template <UINT Id, auto Handler>
constexpr MessageMapEntry OnBnClicked() {
  return {WM_COMMAND, Id, [](CDialog& dialog, WPARAM, LPARAM) -> LRESULT {
            (static_cast<detail::HandlerClass<Handler>&>(dialog).*Handler)();
            return 0;
          }};
}

/// WM_SYSCOMMAND calls `Handler(command, lparam)`.
template <auto Handler>
constexpr MessageMapEntry OnWmSysCommand() {
  return {WM_SYSCOMMAND, 0, [](CDialog& dialog, WPARAM wparam, LPARAM lparam) -> LRESULT {
            (static_cast<detail::HandlerClass<Handler>&>(dialog).*Handler)(
                static_cast<UINT>(wparam), lparam);
            return 0;
          }};
}

/// WM_PAINT calls `Handler()`.
template <auto Handler>
constexpr MessageMapEntry OnWmPaint() {
  return {WM_PAINT, 0, [](CDialog& dialog, WPARAM, LPARAM) -> LRESULT {
            (static_cast<detail::HandlerClass<Handler>&>(dialog).*Handler)();
            return 0;
          }};
}

/// WM_QUERYDRAGICON answers with `Handler()`.
template <auto Handler>
constexpr MessageMapEntry OnWmQueryDragIcon() {
  return {WM_QUERYDRAGICON, 0, [](CDialog& dialog, WPARAM, LPARAM) -> LRESULT {
            return reinterpret_cast<LRESULT>(
                (static_cast<detail::HandlerClass<Handler>&>(dialog).*Handler)());
          }};
}

/// A push button of a dialog, bound to its item by DDX_Control.
class CButton {
 public:
  /// Binds the object to an existing button window.
  void Attach(HWND window) { m_hWnd = window; }
  /// Enables or disables the button; a disabled button cannot be pressed.
  void EnableWindow(BOOL enable) const { ::EnableWindow(m_hWnd, enable); }

  HWND m_hWnd = nullptr;
};

/// Binds `button` to the item `id` of `dialog`.
void DDX_Control(const CDialog& dialog, int id, CButton& button);

/// A dialog made from a template resource of the running module. Derived
/// dialogs give their handlers in GetMessageMap; clicks on IDOK and IDCANCEL
/// that the map does not take end the dialog through OnOK and OnCancel.
class CDialog {
 public:
  explicit CDialog(UINT template_id, HWND parent = nullptr);
  virtual ~CDialog();
  CDialog(const CDialog&) = delete;
  CDialog& operator=(const CDialog&) = delete;

  /// Shows the dialog modally; returns the result given to EndDialog, or -1
  /// when the window could not be made.
  INT_PTR DoModal();
  /// Makes the dialog as a modeless window whose messages the caller runs
  /// (through IsDialogMessage); false when the window could not be made.
  bool Create();
  /// Ends the dialog with `result`: DoModal returns it, and a modeless dialog
  /// is destroyed.
  void EndDialog(int result);
  /// Destroys the window at once, if there is one.
  void DestroyWindow();
  /// The result given to EndDialog, once it was called.
  std::optional<int> end_result() const { return end_result_; }

  HWND GetDlgItem(int id) const { return ::GetDlgItem(m_hWnd, id); }
  /// Moves the window to the middle of its owner, or of the screen's work
  /// area when it has none, keeping it on the screen.
  void CenterWindow();

  /// The dialog's window; null before it is made and after it is destroyed.
  HWND m_hWnd = nullptr;

 protected:
  /// Binds the controls (DoDataExchange); returns TRUE so that the focus goes
  /// to the first control in tab order.
  virtual BOOL OnInitDialog();
  virtual void DoDataExchange() {}
  virtual MessageMap GetMessageMap() const { return {}; }
  virtual void OnOK() { EndDialog(IDOK); }
  virtual void OnCancel() { EndDialog(IDCANCEL); }
  /// Called from a handler: the message goes on to the dialog's default
  /// processing once the handler returns.
  void Default() { default_requested_ = true; }

 private:
  static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  INT_PTR Dispatch(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  const MessageMapEntry* Find(UINT message, WPARAM wparam) const;

  UINT template_id_;
  HWND parent_;
  bool modal_ = false;
  bool default_requested_ = false;
  std::optional<int> end_result_;
};

/// The application object: the program makes one, and WinMain runs its
/// InitInstance.
class CWinApp {
 public:
  CWinApp() = default;
  virtual ~CWinApp() = default;
  CWinApp(const CWinApp&) = delete;
  CWinApp& operator=(const CWinApp&) = delete;

  /// Starts the application; FALSE ends it without a message loop.
  virtual BOOL InitInstance() { return TRUE; }
  /// Names the framework's settings key. The program saves no settings, so
  /// no key is ever made and the name is not kept.
  void SetRegistryKey(const char* /*key*/) {}

  /// The dialog that is the application's main window while it is shown.
  CDialog* m_pMainWnd = nullptr;
};

/// The text of an error caught at the edge of a handler, shown in a message
/// box over `owner`: no exception leaves a window procedure.
void ReportUnexpected(HWND owner, const char* what);

}  // namespace korvel::win32
