#include "toolkit/qt/qt_bindings.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QMetaObject>
#include <QStringList>

#include "toolkit/dialogs.h"
#include "toolkit/gui_queue.h"

namespace {

QMessageBox::StandardButtons ToQt(unsigned buttons) {
  QMessageBox::StandardButtons out;
  if (buttons & mbOK) out |= QMessageBox::Ok;
  if (buttons & mbCancel) out |= QMessageBox::Cancel;
  if (buttons & mbAbort) out |= QMessageBox::Abort;
  if (buttons & mbRetry) out |= QMessageBox::Retry;
  if (buttons & mbIgnore) out |= QMessageBox::Ignore;
  if (buttons & mbYes) out |= QMessageBox::Yes;
  if (buttons & mbNo) out |= QMessageBox::No;
  return out;
}

ModalResult FromQt(int button) {
  switch (button) {
    case QMessageBox::Ok: return ModalResult::Ok;
    case QMessageBox::Cancel: return ModalResult::Cancel;
    case QMessageBox::Abort: return ModalResult::Abort;
    case QMessageBox::Retry: return ModalResult::Retry;
    case QMessageBox::Ignore: return ModalResult::Ignore;
    case QMessageBox::Yes: return ModalResult::Yes;
    case QMessageBox::No: return ModalResult::No;
    default: return ModalResult::Cancel;
  }
}

QMessageBox::Icon IconOf(MsgDlgType type) {
  switch (type) {
    case MsgDlgType::Warning: return QMessageBox::Warning;
    case MsgDlgType::Error: return QMessageBox::Critical;
    case MsgDlgType::Information: return QMessageBox::Information;
    case MsgDlgType::Confirmation: return QMessageBox::Question;
    case MsgDlgType::Custom: return QMessageBox::NoIcon;
  }
  return QMessageBox::NoIcon;
}

ModalHook& Hook() {
  static ModalHook hook;
  return hook;
}

// The key presses under delivery, innermost first: one per notify call, on
// that call's stack. A press that the window system gives a window is
// forwarded from there to the focused control, one level further in.
struct KeyDelivery {
  const QEvent* event;
  QObject* receiver;
  const KeyDelivery* outer;
};
thread_local const KeyDelivery* innermostKeyDelivery = nullptr;

class KeyDeliveryScope {
public:
  KeyDeliveryScope(QObject* receiver, const QEvent* event)
      : delivery_{event, receiver, innermostKeyDelivery}, active_(event->type() == QEvent::KeyPress) {
    if (active_) innermostKeyDelivery = &delivery_;
  }
  ~KeyDeliveryScope() {
    if (active_) innermostKeyDelivery = delivery_.outer;
  }
  KeyDeliveryScope(const KeyDeliveryScope&) = delete;
  KeyDeliveryScope& operator=(const KeyDeliveryScope&) = delete;

private:
  KeyDelivery delivery_;
  bool active_;
};

}  // namespace

QString QtFileFilter(const std::string& filter) {
  const QStringList parts = QString::fromStdString(filter).split('|');
  QStringList out;
  for (int i = 0; i + 1 < parts.size(); i += 2) {
    QString description = parts[i];
    const QString patterns = parts[i + 1].split(';', Qt::SkipEmptyParts).join(' ');
    // Qt takes the patterns from the last parenthesis of the entry, so a
    // description that already shows its patterns there gets the real ones in
    // their place instead of a second parenthesis.
    if (description.endsWith(')')) {
      const qsizetype open = description.lastIndexOf('(');
      if (open >= 0) description.truncate(open);
    } else {
      description += ' ';
    }
    out << description + "(" + patterns + ")";
  }
  return out.join(";;");
}

void InstallQtDialogResponders() {
  SetMessageBoxResponder([](const MessageBoxRequest& request) {
    QMessageBox box(IconOf(request.type),
                    request.caption.empty() ? QApplication::applicationName() : QString::fromStdString(request.caption),
                    QString::fromStdString(request.text), ToQt(request.buttons), QApplication::activeWindow());
    return FromQt(box.exec());
  });
  SetBeepHook([](unsigned) { QApplication::beep(); });
  SetFileDialogResponder([](TFileDialog& dialog) {
    QFileDialog box(QApplication::activeWindow(), QString::fromStdString(dialog.Title),
                    QString::fromStdString(dialog.InitialDir), QtFileFilter(dialog.Filter));
    box.setAcceptMode(dialog.Kind == FileDialogKind::Save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    box.setFileMode(dialog.Kind == FileDialogKind::Save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    if (!dialog.DefaultExt.empty()) box.setDefaultSuffix(QString::fromStdString(dialog.DefaultExt));
    QStringList filters = box.nameFilters();
    if (dialog.FilterIndex >= 1 && dialog.FilterIndex <= filters.size()) box.selectNameFilter(filters[dialog.FilterIndex - 1]);
    if (!dialog.FileName.empty()) box.selectFile(QString::fromStdString(dialog.FileName));
    if (box.exec() != QDialog::Accepted || box.selectedFiles().isEmpty()) return false;
    dialog.FileName = box.selectedFiles().front().toStdString();
    dialog.FilterIndex = static_cast<int>(filters.indexOf(box.selectedNameFilter())) + 1;
    if (dialog.FilterIndex < 1) dialog.FilterIndex = 1;
    return true;
  });
}

void BindGuiQueueToEventLoop() {
  // Posting a queued call is thread-safe; the application outlives the serial
  // threads, which the main window stops before it goes. Each turn is a queued
  // call of its own, so the events that came in during a turn (input, paints,
  // timers) are taken before the next one.
  QCoreApplication* app = QCoreApplication::instance();
  TheGuiQueue().SetWake([app] {
    QMetaObject::invokeMethod(app, [] { TheGuiQueue().DeliverTurn(); }, Qt::QueuedConnection);
  });
}

int ShowModal(QDialog& form) {
  if (Hook()) return Hook()(form);
  return form.exec();
}

ModalHook SetModalHook(ModalHook hook) {
  ModalHook old = std::move(Hook());
  Hook() = std::move(hook);
  return old;
}

// The application's own report: its title as caption, the error icon.
void ReportException(const std::exception& error) {
  MessageBox(error.what(), "", mbOK, MsgDlgType::Error);
}

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {}

QObject* KeyPressReceiver(const QEvent* event) {
  for (const KeyDelivery* d = innermostKeyDelivery; d != nullptr; d = d->outer)
    if (d->event == event) return d->receiver;
  return nullptr;
}

bool TApplication::notify(QObject* receiver, QEvent* event) {
  const KeyDeliveryScope delivery(receiver, event);
  // A handler's exception ends that handler only: the window stays open and the
  // user sees the text, as the program's error reports promise.
  try {
    return QApplication::notify(receiver, event);
  } catch (const std::exception& error) {
    ReportException(error);
  }
  return false;
}
