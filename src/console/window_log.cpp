// The window log, its context menu, the About and exit commands, and what
// happens when the main window closes.
#include <QClipboard>
#include <QGuiApplication>
#include <cstdio>

#include "console/about_form.h"
#include "console/main_window.h"
#include "toolkit/clock.h"
#include "toolkit/dialogs.h"
#include "toolkit/qt/memo_view.h"
#include "toolkit/qt/qt_bindings.h"

namespace {

// A log of this many lines or fewer is not worth a file.
constexpr size_t kLogLinesKeptInMemoryOnly = 6;
// Characters of the name before the date that the separator rule skips
// (the name begins "/ORxBEM_").
constexpr size_t kNameSeparatorsFrom = 6;

constexpr const char* kWriteLogFileErrorText = "Write Log File error!";

// "/ORxBEM_<date>_<time>", the date's and time's separators made file-name safe.
std::string WindowLogName(const std::tm& when) {
  std::string name = "/ORxBEM_" + ShortDateText(when) + "_" + LongTimeText(when);
  for (size_t i = kNameSeparatorsFrom; i < name.size(); ++i)
    if (name[i] == '-' || name[i] == '/' || name[i] == ':') name[i] = '_';
  return name;
}

}  // namespace

void TellStandardError(std::string_view text) {
  std::string line = "OrvantGenBEM: ";
  line.append(text);
  line += '\n';
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
}

void TOrvantBEMxPrg::LogLine(std::string_view text) {
  std::string line = "> " + LongTimeText(Now()) + " ";
  line.append(text);
  infoMemo_.Add(line);
}

void TOrvantBEMxPrg::SpdBtnExitClick(QObject*) {
  CloseOpenPorts();
  close();
}

bool TOrvantBEMxPrg::CloseOnSignal() {
  closeOnSignal_ = true;
  return close();
}

void TOrvantBEMxPrg::FormClose(QObject*) {
  CloseOpenPorts();
  const std::string path = g.ProgramDir + "Log" + WindowLogName(Now()) + ".log";
  if (infoMemo_.Count() <= kLogLinesKeptInMemoryOnly) return;
  try {
    infoMemo_.SaveToFile(path);
  } catch (const std::exception& error) {
    // A box nobody closes would hold the close, and the program, for good.
    if (NobodyAtTheClose())
      TellStandardError(std::string(kWriteLogFileErrorText) + " " + error.what());
    else
      ShowMessage(kWriteLogFileErrorText);
  }
}

void TOrvantBEMxPrg::ClearInformation1Click(QObject*) { infoMemo_.Clear(); }

void TOrvantBEMxPrg::CopytoCli1Click(QObject*) {
  const QString selected = InfoMemoView->SelectedText();
  if (selected.isEmpty()) return;
  QGuiApplication::clipboard()->setText(selected);
}

void TOrvantBEMxPrg::About1Click(QObject*) {
  if (g.AboutForm) ShowModal(*g.AboutForm);
}

