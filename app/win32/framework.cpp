#include "app/win32/framework.h"

#include <algorithm>
#include <exception>

namespace korvel::win32 {

void DDX_Control(const CDialog& dialog, int id, CButton& button) {
  button.Attach(dialog.GetDlgItem(id));
}

void ReportUnexpected(HWND owner, const char* what) {
  MessageBoxA(owner, what, "Korvel", MB_OK | MB_ICONERROR);
}

CDialog::CDialog(UINT template_id, HWND parent) : template_id_(template_id), parent_(parent) {}

CDialog::~CDialog() {
  DestroyWindow();
}

INT_PTR CDialog::DoModal() {
  modal_ = true;
  end_result_.reset();
  return DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(template_id_), parent_,
                         &CDialog::DialogProc, reinterpret_cast<LPARAM>(this));
}

bool CDialog::Create() {
  modal_ = false;
  end_result_.reset();
  return CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(template_id_), parent_,
                            &CDialog::DialogProc, reinterpret_cast<LPARAM>(this)) != nullptr;
}

void CDialog::EndDialog(int result) {
  end_result_ = result;
  if (m_hWnd == nullptr) return;
  if (modal_) {
    ::EndDialog(m_hWnd, result);
  } else {
    DestroyWindow();
  }
}

void CDialog::DestroyWindow() {
  if (m_hWnd != nullptr) ::DestroyWindow(m_hWnd);
}

BOOL CDialog::OnInitDialog() {
  DoDataExchange();
  return TRUE;
}

const MessageMapEntry* CDialog::Find(UINT message, WPARAM wparam) const {
  for (const MessageMapEntry& entry : GetMessageMap()) {
    if (entry.message != message) continue;
    if (message != WM_COMMAND) return &entry;
    if (HIWORD(wparam) == BN_CLICKED && LOWORD(wparam) == entry.id) return &entry;
  }
  return nullptr;
}

void CDialog::CenterWindow() {
  RECT window{};
  GetWindowRect(m_hWnd, &window);
  MONITORINFO monitor{};
  monitor.cbSize = sizeof(monitor);
  GetMonitorInfoA(MonitorFromWindow(m_hWnd, MONITOR_DEFAULTTOPRIMARY), &monitor);
  const RECT area = monitor.rcWork;
  RECT around = area;
  const HWND owner = GetWindow(m_hWnd, GW_OWNER);
  if (owner != nullptr && IsWindowVisible(owner) && !IsIconic(owner)) GetWindowRect(owner, &around);

  const LONG width = window.right - window.left;
  const LONG height = window.bottom - window.top;
  LONG x = (around.left + around.right - width) / 2;
  LONG y = (around.top + around.bottom - height) / 2;
  // Keep the caption on the screen.
  x = std::max(area.left, std::min(x, area.right - width));
  y = std::max(area.top, std::min(y, area.bottom - height));
  SetWindowPos(m_hWnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

INT_PTR CDialog::Dispatch(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_INITDIALOG) {
    // A dialog that its initialisation did not place is centred over its
    // owner, or on the screen.
    RECT before{};
    GetWindowRect(window, &before);
    const BOOL result = OnInitDialog();
    RECT after{};
    GetWindowRect(window, &after);
    if (EqualRect(&before, &after)) CenterWindow();
    return result;
  }

  const MessageMapEntry* entry = Find(message, wparam);
  if (entry == nullptr) {
    if (message == WM_COMMAND && HIWORD(wparam) == BN_CLICKED) {
      if (LOWORD(wparam) == IDOK) {
        OnOK();
        return TRUE;
      }
      if (LOWORD(wparam) == IDCANCEL) {
        OnCancel();
        return TRUE;
      }
    }
    return FALSE;
  }

  default_requested_ = false;
  const LRESULT result = entry->call(*this, wparam, lparam);
  if (default_requested_) return FALSE;
  // A few messages take their answer straight from the dialog procedure;
  // the rest through DWLP_MSGRESULT.
  if (message == WM_QUERYDRAGICON) return result;
  SetWindowLongPtrA(window, DWLP_MSGRESULT, result);
  return TRUE;
}

INT_PTR CALLBACK CDialog::DialogProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  CDialog* dialog = nullptr;
  if (message == WM_INITDIALOG) {
    dialog = reinterpret_cast<CDialog*>(lparam);
    dialog->m_hWnd = window;
    SetWindowLongPtrA(window, DWLP_USER, lparam);
  } else {
    dialog = reinterpret_cast<CDialog*>(GetWindowLongPtrA(window, DWLP_USER));
  }
  // Messages before WM_INITDIALOG (WM_SETFONT) go to the default processing.
  if (dialog == nullptr) return FALSE;

  if (message == WM_NCDESTROY) {
    SetWindowLongPtrA(window, DWLP_USER, 0);
    dialog->m_hWnd = nullptr;
    return FALSE;
  }
  try {
    return dialog->Dispatch(window, message, wparam, lparam);
  } catch (const std::exception& e) {
    ReportUnexpected(window, e.what());
  } catch (...) {
    ReportUnexpected(window, "Unexpected error.");
  }
  return TRUE;
}

}  // namespace korvel::win32
