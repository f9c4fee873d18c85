#pragma once

#include <QString>

class QWidget;

namespace varnel {

// What a save-file dialog is asked for: the file-type filter ("Text files (*.txt)"), the
// suffix added to a name typed without one ("txt", never "*.txt"), the preset name, and
// whether choosing an existing file asks before it is replaced.
struct SaveFileRequest {
    QString title;
    QString filter;
    QString defaultSuffix;
    QString fileName;
    bool confirmOverwrite = true;
};

// Every message box and file dialog of the program goes through this interface, so that
// windows can be driven headless with a scripted stand-in for the person clicking.
class Prompts {
public:
    virtual ~Prompts() = default;

    // A modal box with the text, one "OK" button and no icon, centred on the screen and
    // titled with the program's title. Returns when the user closes it.
    virtual void message(const QString& text) = 0;

    // A box owned by `owner` with Yes and No, the question icon and No as the default.
    // True only for an explicit Yes: Escape and the close box answer No.
    virtual bool confirm(QWidget* owner, const QString& title, const QString& question) = 0;

    // A box titled with the program's title, the question icon and OK and Cancel.
    // True unless the answer is Cancel (Escape and the close box mean Cancel).
    virtual bool confirmOkCancel(QWidget* owner, const QString& question) = 0;

    // A save-file dialog: the chosen file's path, or an empty text when the user cancelled.
    virtual QString saveFileName(QWidget* owner, const SaveFileRequest& request) = 0;

    // The default error display: the error icon, one "OK" button, the program's title. The
    // text is shown as given; the caller has already applied the full-stop rule.
    virtual void showError(const QString& text) = 0;

    // The main window's status line, which keeps the text until the next one («Отменено»
    // after a cancelled operation); nothing while there is no main window.
    virtual void status(const QString& text) = 0;
};

} // namespace varnel
