// The window log, its context menu, the About and exit commands, and what
// happens when the main window closes.
#include <fcntl.h>
#include <unistd.h>

#include <QClipboard>
#include <QGuiApplication>
#include <cerrno>
#include <cstdio>

#include "console/about_form.h"
#include "console/main_window.h"
#include "toolkit/clock.h"
#include "toolkit/dialogs.h"
#include "toolkit/errors.h"
#include "toolkit/qt/memo_view.h"
#include "toolkit/qt/qt_bindings.h"

namespace {

// A log of this many lines or fewer is not worth a file, but for an
// unattended run, whose log is the only account of it.
constexpr size_t kLogLinesKeptInMemoryOnly = 6;
// Characters of the name before the date that the separator rule skips
// (the name begins "/ORxBEM_").
constexpr size_t kNameSeparatorsFrom = 6;

constexpr const char* kWriteLogFileErrorText = "Write Log File error!";
// Runs that end within one second share a name; this many of them keep
// their logs apart.
constexpr unsigned kMaxLogSuffix = 9999;

// "/ORxBEM_<date>_<time>", the date's and time's separators made file-name safe.
std::string WindowLogName(const std::tm& when) {
  std::string name = "/ORxBEM_" + ShortDateText(when) + "_" + LongTimeText(when);
  for (size_t i = kNameSeparatorsFrom; i < name.size(); ++i)
    if (name[i] == '-' || name[i] == '/' || name[i] == ':') name[i] = '_';
  return name;
}

// The first of base + ".log", base + "_1.log", base + "_2.log" ... that is not
// there yet, created empty so that a program closing at the same moment
// cannot take the same name: an existing log is never written over. Throws
// EInOutError (path and reason) when none can be created.
std::string ClaimFreeLogPath(const std::string& base) {
  for (unsigned suffix = 0; suffix <= kMaxLogSuffix; ++suffix) {
    const std::string path = base + (suffix == 0 ? "" : "_" + std::to_string(suffix)) + ".log";
    // With O_EXCL a name that is there, a link included, is never opened.
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
      ::close(fd);
      return path;
    }
    if (errno != EEXIST) throw EInOutError(path, errno);
  }
  throw EInOutError(base + "_" + std::to_string(kMaxLogSuffix) + ".log", EEXIST);
}

// Every line as it stands, each ended by a line end.
void WriteLinesToStandardError(const TMemo& memo) {
  for (size_t i = 0; i < memo.Count(); ++i) {
    const std::string_view line = memo.Line(i);
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fputc('\n', stderr);
  }
  std::fflush(stderr);
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
  const std::string base = g.ProgramDir + "Log" + WindowLogName(Now());
  const bool unattended = Unattended();
  if (!unattended && infoMemo_.Count() <= kLogLinesKeptInMemoryOnly) return;
  std::string claimed;
  try {
    claimed = ClaimFreeLogPath(base);
    infoMemo_.SaveToFile(claimed);
  } catch (const std::exception& error) {
    // The name was taken for this log alone: no empty file stands for it.
    if (!claimed.empty()) ::unlink(claimed.c_str());
    // A box nobody closes would hold the close, and the program, for good.
    if (NobodyAtTheClose())
      TellStandardError(std::string(kWriteLogFileErrorText) + " " + error.what());
    else
      ShowMessage(kWriteLogFileErrorText);
    // The run's only account then goes where its caller still sees it.
    if (unattended) WriteLinesToStandardError(infoMemo_);
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

