#pragma once
// Message boxes, the beep and file dialogs, Qt-free. The GUI installs
// responders that open the real Qt dialogs; tests install scripted ones. With
// no responder a message box answers its first button and a file dialog is
// cancelled, so core code never blocks without a GUI. GUI thread only.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

enum class MsgDlgType { Warning, Error, Information, Confirmation, Custom };

// Buttons of a message box, combinable.
enum MsgButton : unsigned {
  mbOK = 1u << 0,
  mbCancel = 1u << 1,
  mbAbort = 1u << 2,
  mbRetry = 1u << 3,
  mbIgnore = 1u << 4,
  mbYes = 1u << 5,
  mbNo = 1u << 6,
};

enum class ModalResult { None, Ok, Cancel, Abort, Retry, Ignore, Yes, No };

struct MessageBoxRequest {
  std::string caption;  // empty: the application title
  std::string text;
  MsgDlgType type = MsgDlgType::Information;
  unsigned buttons = mbOK;
};

using MessageBoxResponder = std::function<ModalResult(const MessageBoxRequest&)>;
// Installs the responder; returns the one it replaces.
MessageBoxResponder SetMessageBoxResponder(MessageBoxResponder responder);

// Sees every message box as it is shown, before the responder answers it,
// whichever responder that is (a run that nobody watches keeps the texts).
// It must not show a box itself. Installs the observer; returns the one it
// replaces.
using MessageBoxObserver = std::function<void(const MessageBoxRequest&)>;
MessageBoxObserver SetMessageBoxObserver(MessageBoxObserver observer);

// The general box: text, kind and buttons; returns the button pressed. Its
// caption is the toolkit's stock caption of the kind (StockCaption).
ModalResult MessageDlg(std::string_view text, MsgDlgType type, unsigned buttons);
// "Warning", "Error", "Information", "Confirm"; empty (the application title)
// for Custom.
std::string_view StockCaption(MsgDlgType type);
// A plain box with one OK button and the application title.
void ShowMessage(std::string_view text);
// A box with its own caption (the platform's classic message box).
ModalResult MessageBox(std::string_view text, std::string_view caption, unsigned buttons,
                       MsgDlgType type = MsgDlgType::Information);
// The result a box of these buttons gives when nobody answers: its first button.
ModalResult FirstButton(unsigned buttons);

// Sounds the platform beep of the given kind (0 = default).
void MessageBeep(unsigned kind);
using BeepHook = std::function<void(unsigned)>;
BeepHook SetBeepHook(BeepHook hook);

enum class FileDialogKind { Open, Save };

// TFileDialog: the properties of the window's open and save dialogs. Execute
// asks the responder; true when the user chose a file, then FileName and
// FilterIndex hold the choice.
class TFileDialog {
public:
  explicit TFileDialog(FileDialogKind kind = FileDialogKind::Open) : Kind(kind) {}
  bool Execute();

  FileDialogKind Kind;
  std::string Title;
  // Pairs "description|pattern|description|pattern" (QtFileFilter turns them into Qt's form).
  std::string Filter;
  std::string DefaultExt;
  std::string InitialDir;
  std::string FileName;
  int FilterIndex = 1;  // 1-based, as the save handler counts the entries
};

using FileDialogResponder = std::function<bool(TFileDialog&)>;
FileDialogResponder SetFileDialogResponder(FileDialogResponder responder);
