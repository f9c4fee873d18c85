#pragma once

#include <QByteArray>
#include <QString>

namespace varnel {

// The files the program keeps for itself (Login.ini, Varnel.ini) are read, written and replaced
// only where their name holds a regular file or nothing: never through a symbolic link, and
// never a folder, a device or a pipe that stands in their place. Such a thing was put there by
// someone else: a link planted in the folder would lead a run as root into any file of the
// system, a pipe would hold the start-up forever.

// Why what stands at `path` is not taken for the program's file ("Это символическая ссылка",
// "Это папка", "Это не обычный файл"); empty for a regular file or nothing at all.
QString notOwnFileReason(const QString& path);

// What reading one of the program's files found.
struct OwnFileRead {
    enum class State {
        Missing, // nothing at the name: the file is made on the first save
        Read,
        NotRead, // something is there, but it was not read; `reason` says why
    };
    State state = State::Missing;
    QByteArray bytes;
    QString reason;
};

// The bytes of the file at `path`, at most `maxBytes` + 1 of them when `maxBytes` is not
// negative, so that the caller can tell a file that is too large.
OwnFileRead readOwnFile(const QString& path, qint64 maxBytes = -1);

// Whether the regular file at `path` may be written where it is. Permission bits cannot tell
// (root writes anywhere; read-only mounts and access lists are not in them): it is opened for
// writing, without following a link, making a file or changing a byte.
bool canRewriteInPlace(const QString& path);

// "Не удалось записать файл "<full native path>". <reason>", without the reason when empty.
QString ownFileFailure(const QString& path, const QString& reason);

// Puts `bytes` in place of the file at `path` in one step: written under a new name beside it,
// then renamed over the name, which replaces whatever stands there by then (a link planted
// meanwhile is replaced, never followed). The folder is made when missing; an existing file's
// permissions are kept. Where the folder takes no new file, a regular file that may be written
// is rewritten in place instead (a failure there may leave it cut). Throws
// Error(ownFileFailure(path, why)) when the file is not the program's or cannot be written; a
// file replaced in one step is then as it was.
void replaceOwnFile(const QString& path, const QByteArray& bytes);

} // namespace varnel
