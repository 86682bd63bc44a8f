#include "app/win32/korvel_window.h"

#include <array>
#include <utility>

namespace korvel::win32 {
namespace {

/// String resource `id` in the system code page; empty when there is none.
std::string LoadText(UINT id) {
  std::array<char, 256> text{};
  const int length =
      LoadStringA(GetModuleHandleA(nullptr), id, text.data(), static_cast<int>(text.size()));
  return std::string(text.data(), length > 0 ? static_cast<std::size_t>(length) : 0);
}

/// The system's description of error `code` without its line end.
std::string SystemErrorText(DWORD code) {
  std::array<char, 512> text{};
  DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                code, 0, text.data(), static_cast<DWORD>(text.size()), nullptr);
  while (length > 0 && (text[length - 1] == '\r' || text[length - 1] == '\n')) --length;
  return std::string(text.data(), length);
}

}  // namespace

std::string FileErrorText(const FileError& error) {
  std::string description = error.description;
  if (description.empty() && error.code != 0) {
    description = SystemErrorText(static_cast<DWORD>(error.code));
  }
  return error.path + "\n" + description;
}

CKorvelDlgWnd::CKorvelDlgWnd(RunState& state, FileSystem& fs, FileChooser& chooser,
                             std::ostream* trace, HWND parent)
    : CDialog(IDD_KORVEL_DIALOG, parent),
      chooser_(chooser),
      logic_(state, *this, fs, trace),
      m_hIcon(
          static_cast<HICON>(LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_MAINFRAME),
                                        IMAGE_ICON, 0, 0, LR_DEFAULTSIZE))) {}

// The window goes before the icon and the font it still uses.
CKorvelDlgWnd::~CKorvelDlgWnd() {
  DestroyWindow();
}

MessageMap CKorvelDlgWnd::GetMessageMap() const {
  static constexpr MessageMapEntry kMap[] = {
      OnWmSysCommand<&CKorvelDlgWnd::OnSysCommand>(),
      OnWmPaint<&CKorvelDlgWnd::OnPaint>(),
      OnWmQueryDragIcon<&CKorvelDlgWnd::OnQueryDragIcon>(),
      OnBnClicked<IDC_FW_FILE, &CKorvelDlgWnd::OnBnClickedFwFile>(),
      OnBnClicked<IDC_VOICE_FILE, &CKorvelDlgWnd::OnBnClickedVoiceFile>(),
      OnBnClicked<IDC_DB_TEXT_FILE, &CKorvelDlgWnd::OnBnClickedDbTextFile>(),
      OnBnClicked<IDC_GENERATE_FILE, &CKorvelDlgWnd::OnBnClickedGenerateFile>(),
      OnBnClicked<IDOK, &CKorvelDlgWnd::OnBnClickedRefresh>(),
      OnBnClicked<IDCANCEL, &CKorvelDlgWnd::OnBnClickedExit>(),
  };
  return kMap;
}

void CKorvelDlgWnd::DoDataExchange() {
  CDialog::DoDataExchange();
  DDX_Control(*this, IDC_FW_FILE, m_btnFwFile);
  DDX_Control(*this, IDC_VOICE_FILE, m_btnVoiceFile);
  DDX_Control(*this, IDC_DB_TEXT_FILE, m_btnDbTextFile);
  DDX_Control(*this, IDC_GENERATE_FILE, m_btnGenerateFile);
}

BOOL CKorvelDlgWnd::OnInitDialog() {
  CDialog::OnInitDialog();

  if (HMENU menu = GetSystemMenu(m_hWnd, FALSE)) {
    const std::string about = LoadText(IDS_ABOUTBOX);
    if (!about.empty()) {
      AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
      AppendMenuA(menu, MF_STRING, IDM_ABOUTBOX, about.c_str());
    }
  }

  SendMessageA(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon.get()));
  SendMessageA(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon.get()));
  SetWindowTextA(m_hWnd, kDialogCaption);

  // The status line alone is drawn in its own font, made before the first
  // status text so that the prompt already appears in it.
  // 16 high, 8 wide, the thinnest weight (1), face "arial"; everything else
  // zero: no escapement, orientation, italics, underline or strike-out,
  // ANSI character set, default precisions, quality and pitch.
  status_font_.reset(CreateFontA(16, 8, 0, 0, 1, FALSE, FALSE, FALSE, ANSI_CHARSET,
                                 OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                 DEFAULT_PITCH | FF_DONTCARE, "arial"));
  SendMessageA(GetDlgItem(IDC_STATUS), WM_SETFONT, reinterpret_cast<WPARAM>(status_font_.get()),
               TRUE);

  // Buttons, blank fields and the first prompt.
  logic_.OnInitDialog();
  return TRUE;
}

void CKorvelDlgWnd::OnSysCommand(UINT command, LPARAM) {
  if ((command & 0xFFF0) == IDM_ABOUTBOX) {
    CAboutDlg about(m_hWnd);
    about.DoModal();
  } else {
    Default();
  }
}

void CKorvelDlgWnd::OnPaint() {
  if (!IsIconic(m_hWnd)) {
    Default();
    return;
  }
  PaintDC dc(m_hWnd);
  SendMessageA(m_hWnd, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc.get()), 0);
  const int icon_width = GetSystemMetrics(SM_CXICON);
  const int icon_height = GetSystemMetrics(SM_CYICON);
  RECT rect{};
  GetClientRect(m_hWnd, &rect);
  const int x = (rect.right - rect.left - icon_width + 1) / 2;
  const int y = (rect.bottom - rect.top - icon_height + 1) / 2;
  DrawIcon(dc.get(), x, y, m_hIcon.get());
}

HCURSOR CKorvelDlgWnd::OnQueryDragIcon() {
  return static_cast<HCURSOR>(m_hIcon.get());
}

void CKorvelDlgWnd::Draw(const DialogView& view) {
  const std::pair<int, const std::string DialogView::*> texts[] = {
      {IDC_FW_NAME, &DialogView::fw_name}, {IDC_VOICE_NAME, &DialogView::voice_name},
      {IDC_DB_NAME, &DialogView::db_name}, {IDC_OUTPUT_PATH, &DialogView::output_path},
      {IDC_STATUS, &DialogView::status},
  };
  for (const auto& [id, text] : texts) {
    if (drawn_ && (*drawn_).*text == view.*text) continue;
    SetDlgItemTextA(m_hWnd, id, (view.*text).c_str());
    // Painted now, not at the next message: a status set before Generate
    // waits for another run's folder lock must show during the wait.
    if (id == IDC_STATUS) ::UpdateWindow(GetDlgItem(id));
  }
  // The four file and generate buttons are switched through their objects.
  const std::pair<CButton*, bool DialogView::*> buttons[] = {
      {&m_btnFwFile, &DialogView::fw_file},
      {&m_btnVoiceFile, &DialogView::voice_file},
      {&m_btnDbTextFile, &DialogView::db_text_file},
      {&m_btnGenerateFile, &DialogView::generate_file},
  };
  for (const auto& [button, enabled] : buttons) button->EnableWindow(view.*enabled);
  drawn_ = view;
}

void CKorvelDlgWnd::Focus(int id) {
  // Unlike SetFocus, this also moves the default button's frame.
  SendMessageA(m_hWnd, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(id)), TRUE);
}

std::optional<ChosenFile> CKorvelDlgWnd::ChooseFile(const OpenFileRequest& request) {
  return chooser_.Choose(m_hWnd, request);
}

void CKorvelDlgWnd::ShowFileError(const FileError& error) {
  MessageBoxA(m_hWnd, FileErrorText(error).c_str(), kAppName, MB_OK | MB_ICONEXCLAMATION);
}

bool CKorvelDlgWnd::ShowMessage(const DialogMessage& message) {
  const bool question = message.kind == DialogMessage::Kind::kQuestion;
  const UINT style = question ? MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2 : MB_OK | MB_ICONERROR;
  return MessageBoxA(m_hWnd, message.text.c_str(), message.caption.c_str(), style) ==
         (question ? IDYES : IDOK);
}

void CKorvelDlgWnd::Close(int result) {
  EndDialog(result);
}

}  // namespace korvel::win32
