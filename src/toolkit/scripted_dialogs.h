#pragma once
// Scripted answers for message boxes, the beep and file dialogs, for tests and
// unattended tools. Each object installs its responders for its lifetime and
// restores the previous ones after.

#include <deque>
#include <string>
#include <vector>

#include "toolkit/dialogs.h"

class ScriptedMessageBoxes {
public:
  ScriptedMessageBoxes();
  ~ScriptedMessageBoxes();
  ScriptedMessageBoxes(const ScriptedMessageBoxes&) = delete;
  ScriptedMessageBoxes& operator=(const ScriptedMessageBoxes&) = delete;

  // Answers for the next boxes, in order; once used up, each box gets its first button.
  void Answer(ModalResult result) { answers_.push_back(result); }
  const std::vector<MessageBoxRequest>& Shown() const { return shown_; }
  std::vector<std::string> Texts() const;
  const std::vector<unsigned>& Beeps() const { return beeps_; }
  void Clear() { shown_.clear(); beeps_.clear(); }

private:
  MessageBoxResponder previous_;
  BeepHook previousBeep_;
  std::deque<ModalResult> answers_;
  std::vector<MessageBoxRequest> shown_;
  std::vector<unsigned> beeps_;
};

class ScriptedFileDialogs {
public:
  struct Choice {
    bool accept = true;
    std::string fileName;
    int filterIndex = 1;
  };
  ScriptedFileDialogs();
  ~ScriptedFileDialogs();
  ScriptedFileDialogs(const ScriptedFileDialogs&) = delete;
  ScriptedFileDialogs& operator=(const ScriptedFileDialogs&) = delete;

  void Choose(std::string fileName, int filterIndex = 1) { choices_.push_back({true, std::move(fileName), filterIndex}); }
  void Cancel() { choices_.push_back({false, {}, 1}); }
  // What each executed dialog looked like when it was opened.
  const std::vector<TFileDialog>& Opened() const { return opened_; }

private:
  FileDialogResponder previous_;
  std::deque<Choice> choices_;
  std::vector<TFileDialog> opened_;
};
