#include "toolkit/dialogs.h"

namespace {
MessageBoxResponder& BoxResponder() {
  static MessageBoxResponder r;
  return r;
}
MessageBoxObserver& BoxObserver() {
  static MessageBoxObserver o;
  return o;
}
BeepHook& Beep() {
  static BeepHook h;
  return h;
}
FileDialogResponder& FileResponder() {
  static FileDialogResponder r;
  return r;
}

ModalResult Ask(MessageBoxRequest request) {
  if (BoxObserver()) BoxObserver()(request);
  if (BoxResponder()) return BoxResponder()(request);
  return FirstButton(request.buttons);
}
}  // namespace

MessageBoxResponder SetMessageBoxResponder(MessageBoxResponder responder) {
  MessageBoxResponder old = std::move(BoxResponder());
  BoxResponder() = std::move(responder);
  return old;
}

MessageBoxObserver SetMessageBoxObserver(MessageBoxObserver observer) {
  MessageBoxObserver old = std::move(BoxObserver());
  BoxObserver() = std::move(observer);
  return old;
}

ModalResult FirstButton(unsigned buttons) {
  if (buttons & mbYes) return ModalResult::Yes;
  if (buttons & mbOK) return ModalResult::Ok;
  if (buttons & mbAbort) return ModalResult::Abort;
  if (buttons & mbRetry) return ModalResult::Retry;
  if (buttons & mbIgnore) return ModalResult::Ignore;
  if (buttons & mbNo) return ModalResult::No;
  if (buttons & mbCancel) return ModalResult::Cancel;
  return ModalResult::None;
}

std::string_view StockCaption(MsgDlgType type) {
  switch (type) {
    case MsgDlgType::Warning: return "Warning";
    case MsgDlgType::Error: return "Error";
    case MsgDlgType::Information: return "Information";
    case MsgDlgType::Confirmation: return "Confirm";
    case MsgDlgType::Custom: return "";
  }
  return "";
}

ModalResult MessageDlg(std::string_view text, MsgDlgType type, unsigned buttons) {
  return Ask({std::string(StockCaption(type)), std::string(text), type, buttons});
}

void ShowMessage(std::string_view text) {
  Ask({std::string(), std::string(text), MsgDlgType::Custom, mbOK});
}

ModalResult MessageBox(std::string_view text, std::string_view caption, unsigned buttons, MsgDlgType type) {
  return Ask({std::string(caption), std::string(text), type, buttons});
}

void MessageBeep(unsigned kind) {
  if (Beep()) Beep()(kind);
}

BeepHook SetBeepHook(BeepHook hook) {
  BeepHook old = std::move(Beep());
  Beep() = std::move(hook);
  return old;
}

bool TFileDialog::Execute() {
  if (!FileResponder()) return false;
  return FileResponder()(*this);
}

FileDialogResponder SetFileDialogResponder(FileDialogResponder responder) {
  FileDialogResponder old = std::move(FileResponder());
  FileResponder() = std::move(responder);
  return old;
}
