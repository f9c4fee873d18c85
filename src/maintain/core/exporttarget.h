#pragma once

#include <QString>
#include <QStringList>

namespace varnel {

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

} // namespace varnel
