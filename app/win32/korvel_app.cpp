#include "app/win32/korvel_app.h"

#include <exception>
#include <iostream>

#include "app/win32/korvel_window.h"

namespace korvel::win32 {

static_assert(sizeof(INITCOMMONCONTROLSEX) == 8);
static_assert(kCommonControlClasses == ICC_WIN95_CLASSES);

BOOL CKorvelApp::InitInstance() {
  INITCOMMONCONTROLSEX controls{};
  controls.dwSize = sizeof(controls);
  controls.dwICC = kCommonControlClasses;
  InitCommonControlsEx(&controls);

  CWinApp::InitInstance();
  SetRegistryKey(kRegistryKey);

  CKorvelDlgWnd dlg(state_, file_system_, chooser_, &std::cout);
  m_pMainWnd = &dlg;
  dlg.DoModal();
  m_pMainWnd = nullptr;
  return FALSE;
}

namespace {
CKorvelApp theApp;
}  // namespace

}  // namespace korvel::win32

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  try {
    korvel::win32::theApp.InitInstance();
  } catch (const std::exception& e) {
    korvel::win32::ReportUnexpected(nullptr, e.what());
    return 1;
  }
  return 0;
}
