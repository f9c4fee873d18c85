#pragma once

#include "ui/core/prompts.h"

#include <functional>

namespace varnel {

// The real message boxes and file dialog. The only place that includes QMessageBox or
// QFileDialog.
class QtPrompts : public Prompts {
public:
    void message(const QString& text) override;
    bool confirm(QWidget* owner, const QString& title, const QString& question) override;
    bool confirmOkCancel(QWidget* owner, const QString& question) override;
    QString saveFileName(QWidget* owner, const SaveFileRequest& request) override;
    void showError(const QString& text) override;
    void status(const QString& text) override;

    // Where status texts go: the main window's status bar, once there is one.
    std::function<void(const QString&)> statusLine;
};

} // namespace varnel
