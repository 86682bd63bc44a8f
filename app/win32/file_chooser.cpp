#include "app/win32/file_chooser.h"

#include <array>

namespace korvel::win32 {

std::string ChooserFilter(std::string_view filter) {
  std::string out(filter);
  for (char& c : out) {
    if (c == '|') c = '\0';
  }
  if (out.empty() || out.back() != '\0') out.push_back('\0');
  out.push_back('\0');
  return out;
}

std::optional<ChosenFile> SystemFileChooser::Choose(HWND owner, const OpenFileRequest& request) {
  const std::string filter = ChooserFilter(request.filter);
  std::array<char, MAX_PATH> path{};  // no initial file name

  OPENFILENAMEA ofn{};
  ofn.lStructSize = sizeof(ofn);
  ofn.hwndOwner = owner;
  ofn.lpstrFilter = filter.c_str();
  ofn.nFilterIndex = 1;
  ofn.lpstrFile = path.data();
  ofn.nMaxFile = static_cast<DWORD>(path.size());
  ofn.lpstrDefExt = request.default_ext.c_str();
  // OFN_NOCHANGEDIR: the chooser would otherwise make the folder it last
  // showed the working folder, and "TempDb.bin" is written to the working folder.
  ofn.Flags = OFN_HIDEREADONLY | OFN_EXPLORER | OFN_ENABLESIZING | OFN_NOCHANGEDIR;
  // FALSE also when the chooser failed (CommDlgExtendedError), e.g. for a
  // path too long for the buffer: the operator sees nothing happen, as for a
  // cancel, and can choose again.
  if (!GetOpenFileNameA(&ofn)) return std::nullopt;

  ChosenFile chosen;
  chosen.path = path.data();
  chosen.name = chosen.path.substr(ofn.nFileOffset);
  return chosen;
}

}  // namespace korvel::win32
