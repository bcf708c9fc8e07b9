#include "toolkit/scripted_dialogs.h"

ScriptedMessageBoxes::ScriptedMessageBoxes() {
  previous_ = SetMessageBoxResponder([this](const MessageBoxRequest& request) {
    shown_.push_back(request);
    if (answers_.empty()) return FirstButton(request.buttons);
    ModalResult answer = answers_.front();
    answers_.pop_front();
    return answer;
  });
  previousBeep_ = SetBeepHook([this](unsigned kind) { beeps_.push_back(kind); });
}

ScriptedMessageBoxes::~ScriptedMessageBoxes() {
  SetMessageBoxResponder(std::move(previous_));
  SetBeepHook(std::move(previousBeep_));
}

std::vector<std::string> ScriptedMessageBoxes::Texts() const {
  std::vector<std::string> texts;
  for (const MessageBoxRequest& r : shown_) texts.push_back(r.text);
  return texts;
}

ScriptedFileDialogs::ScriptedFileDialogs() {
  previous_ = SetFileDialogResponder([this](TFileDialog& dialog) {
    opened_.push_back(dialog);
    if (choices_.empty()) return false;
    Choice choice = choices_.front();
    choices_.pop_front();
    if (!choice.accept) return false;
    dialog.FileName = choice.fileName;
    dialog.FilterIndex = choice.filterIndex;
    return true;
  });
}

ScriptedFileDialogs::~ScriptedFileDialogs() { SetFileDialogResponder(std::move(previous_)); }
