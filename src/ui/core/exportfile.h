#pragma once

#include <QDate>
#include <QString>
#include <QStringList>

#include <functional>

class QWidget;

namespace varnel {

class Call;
class Connection;
class LocaleText;
class Prompts;

// The steps that every export of the program takes with its file, whatever it writes: the
// preset name, the save dialog, the refusal of the program's own files, the write on the
// connection's thread and the message that ends it.

// What sets one export's file apart from another's.
struct ExportFile {
    QString dialogTitle; // the save dialog's; empty: the dialog's own
    QString filter;      // "Текстовый файл (*.txt)"
    QString suffix;      // "txt": the preset's, and the one a name typed without one gets
    QString waitTitle;   // the progress window's while the file is written
    QString finished;    // the message once it is written
};

// The save dialog's preset name: "Varnel_", the day's date text with every character that a
// file name on Windows or Linux cannot hold made "-", a dot and `suffix`.
QString exportFileName(QDate today, const LocaleText& locale, const QString& suffix);

// The files SQLite keeps for a database file: the file itself and the journals beside it.
QStringList databaseFiles(const QString& databaseFile);

// Whether writing `target` would write over `file`: the same file where both exist (a
// symbolic link or a hard link to it, another spelling of its path), otherwise the same path
// once the existing folders and links along it are resolved. Empty paths name no file.
bool isSameFile(const QString& target, const QString& file);

// The first of `files` that writing `target` would write over, or an empty text.
QString fileWrittenOver(const QString& target, const QStringList& files);

// Why an export may not write `target`, or an empty text: it would replace whole a file the
// program works with, the database (`databaseFile` and its journals), one of `programFiles`
// (the login history, the settings) or the program itself.
QString ownFileRefusal(const QString& target, const QString& databaseFile,
                       const QStringList& programFiles);

// Asks through `prompts` for the file of an export: the save dialog over `owner`, preset with
// today's name in `locale`, asking before an existing file is replaced. A file that
// ownFileRefusal() refuses, for the database `connection` has open as it stands once the
// dialog has closed, is not taken: the refusal is shown. The chosen path, or an empty text
// when there is nothing to write (the dialog cancelled or the file refused).
QString chooseExportFile(QWidget* owner, Prompts& prompts, const ExportFile& file,
                         const Connection& connection, const QStringList& programFiles,
                         const LocaleText& locale);

// Runs `write` on the connection's thread under the progress window `file.waitTitle`, then
// shows `file.finished`. `write` puts the file in place as it returns: up to then a cancel
// stops it and raises Cancelled, the old file as it was; a cancel after it is too late, and
// the message comes all the same, or the user would believe the old file still there.
// Failures propagate without the message.
void writeExportFile(Connection& connection, Prompts& prompts, const ExportFile& file,
                     const std::function<void(Call&)>& write);

} // namespace varnel
