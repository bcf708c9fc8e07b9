#pragma once
// The Qt side of the toolkit: real dialogs behind the core's responders, the
// event-loop wake-up of the notification queue, modal forms through one hook,
// and the application object whose top-level report shows any exception that
// leaves a handler.

#include <QApplication>
#include <QDialog>
#include <functional>
#include <string>

// Message boxes open QMessageBox, file dialogs QFileDialog, the beep
// QApplication::beep. Installed once by the program body; tests keep their
// scripted responders instead.
void InstallQtDialogResponders();

// A TFileDialog filter "description|pattern;pattern|..." in Qt's form
// "description (pattern pattern);;...", entries in the same order. A
// description that ends in a parenthesis (its patterns as it shows them) has
// that parenthesis replaced by the entry's own patterns. Qt matches the
// patterns without regard to letter case.
QString QtFileFilter(const std::string& filter);

// Makes a post to the notification queue wake the Qt event loop, which hands
// the messages on in turns on the GUI thread (GuiQueue::DeliverTurn), each
// turn a queued call of its own.
void BindGuiQueueToEventLoop();

// Shows a form modally and returns its result code. Tests install a hook that
// receives the form, drives its controls and returns the result instead.
int ShowModal(QDialog& form);
using ModalHook = std::function<int(QDialog&)>;
ModalHook SetModalHook(ModalHook hook);

// Shows the text of an exception that left a handler, in a message box.
void ReportException(const std::exception& error);

// The object that the key press `event`, while Qt delivers it, was sent to;
// null when no such delivery runs (or the application is no TApplication).
// Qt sends a key press to the focused control and then lets it travel up the
// control's parents, each seeing it in turn, so an event filter that acts on
// a key only where it was sent acts once a key press, however long a handler
// that it runs keeps the event on its way (a modal box, say).
QObject* KeyPressReceiver(const QEvent* event);

class TApplication : public QApplication {
  Q_OBJECT
public:
  TApplication(int& argc, char** argv);
  // Reports what a handler throws (ReportException), and records where each
  // key press is sent for KeyPressReceiver.
  bool notify(QObject* receiver, QEvent* event) override;
};
