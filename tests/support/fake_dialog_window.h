#pragma once
// A DialogWindow that records everything the logic shows and answers the
// file chooser from a script.

#include <deque>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/dialog_window.h"

namespace korvel::testing {

class FakeDialogWindow : public DialogWindow {
 public:
  void SetItemText(int id, const std::string& text) override {
    texts[id] = text;
    text_log.emplace_back(id, text);
  }
  void EnableItem(int id, bool enable) override { enabled[id] = enable; }
  std::optional<ChosenFile> ChooseFile(const OpenFileRequest& request) override {
    requests.push_back(request);
    if (choices.empty()) return std::nullopt;
    auto choice = choices.front();
    choices.pop_front();
    return choice;
  }
  void ShowFileError(const FileError& error) override { file_errors.push_back(error); }
  void Close(int result) override { closed_with = result; }

  /// Text of control `id`; empty when never set.
  std::string Text(int id) const {
    auto it = texts.find(id);
    return it == texts.end() ? std::string() : it->second;
  }
  /// Enabled state of control `id`; controls start enabled, as in the template.
  bool Enabled(int id) const {
    auto it = enabled.find(id);
    return it == enabled.end() || it->second;
  }

  std::map<int, std::string> texts;
  std::vector<std::pair<int, std::string>> text_log;
  std::map<int, bool> enabled;
  /// The chooser's answers, in order; nullopt is a cancel. Empty: cancel.
  std::deque<std::optional<ChosenFile>> choices;
  std::vector<OpenFileRequest> requests;
  std::vector<FileError> file_errors;
  std::optional<int> closed_with;
};

}  // namespace korvel::testing
