#include "ui/qtprompts.h"

#include "ui/core/errortext.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

namespace varnel {

namespace {

QString title()
{
    return programTitle(QCoreApplication::applicationFilePath());
}

// Runs a box and tells which of its standard buttons closed it. Escape and the close box
// give the escape button, so a box never answers with a button the user did not choose.
QMessageBox::StandardButton ask(QMessageBox& box)
{
    box.exec();
    return box.standardButton(box.clickedButton());
}

} // namespace

void QtPrompts::message(const QString& text)
{
    // No parent: Qt centres a parentless box on the screen.
    QMessageBox box(QMessageBox::NoIcon, title(), text, QMessageBox::Ok);
    box.setEscapeButton(QMessageBox::Ok);
    ask(box);
}

bool QtPrompts::confirm(QWidget* owner, const QString& boxTitle, const QString& question)
{
    QMessageBox box(QMessageBox::Question, boxTitle, question, QMessageBox::Yes | QMessageBox::No,
                    owner);
    box.setDefaultButton(QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    return ask(box) == QMessageBox::Yes;
}

bool QtPrompts::confirmOkCancel(QWidget* owner, const QString& question)
{
    QMessageBox box(QMessageBox::Question, title(), question, QMessageBox::Ok | QMessageBox::Cancel,
                    owner);
    box.setDefaultButton(QMessageBox::Ok);
    box.setEscapeButton(QMessageBox::Cancel);
    return ask(box) != QMessageBox::Cancel;
}

QString QtPrompts::saveFileName(QWidget* owner, const SaveFileRequest& request)
{
    QFileDialog dialog(owner, request.title, QString(), request.filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(request.defaultSuffix);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, !request.confirmOverwrite);
    if (!request.fileName.isEmpty())
        dialog.selectFile(request.fileName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

void QtPrompts::showError(const QString& text)
{
    QMessageBox box(QMessageBox::Critical, title(), text, QMessageBox::Ok,
                    QApplication::activeWindow());
    box.setEscapeButton(QMessageBox::Ok);
    ask(box);
}

void QtPrompts::status(const QString& text)
{
    if (statusLine)
        statusLine(text);
}

} // namespace varnel
