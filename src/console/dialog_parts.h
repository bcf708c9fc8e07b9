#pragma once
// What the console's small dialogs share: their OK and Cancel buttons, and
// an OK that always closes the dialog.

#include <QStyle>
#include <functional>

class QDialog;
class QPushButton;

// A 100 x 30 button with the style's icon; the OK button is the default one.
QPushButton* AddDialogButton(QDialog* form, const char* name, const char* caption, QStyle::StandardPixmap icon, int x,
                             int y);

// Runs `store`, then closes `form` with OK. An exception that leaves `store`
// (a number the user typed that is not one) is shown by the toolkit's report
// once the dialog has closed, as the handler's error would be.
void StoreAndClose(QDialog& form, const std::function<void()>& store);
