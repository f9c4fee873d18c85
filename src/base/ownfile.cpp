#include "base/ownfile.h"

#include "base/error.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#ifdef Q_OS_WIN
#include <io.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace varnel {

namespace {

const QString kNotRegular = QStringLiteral("Это не обычный файл");

#ifndef Q_OS_WIN
QByteArray nativeName(const QString& path)
{
    return QFile::encodeName(path);
}
#endif

// Opens `file` by its name for `mode` (ReadOnly; WriteOnly with Append to change nothing; or
// WriteOnly with Truncate) without following a link at the name or waiting on a pipe, and only
// when a regular file is there. Without the mode's flags no file is ever made.
bool openWithoutFollowing(QFile& file, QIODevice::OpenMode mode, QString& reason)
{
#ifdef Q_OS_WIN
    // Symbolic links need an administrator there; the caller has looked at the name.
    if (!file.open(mode | QIODevice::ExistingOnly)) {
        reason = file.errorString();
        return false;
    }
    return true;
#else
    const bool write = mode.testFlag(QIODevice::WriteOnly);
    const int fd = ::open(nativeName(file.fileName()).constData(),
                          (write ? O_WRONLY : O_RDONLY) | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        reason = qt_error_string(errno);
        return false;
    }
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        reason = kNotRegular;
        ::close(fd);
        return false;
    }
    // Cut only now that the file is known to be one.
    if (mode.testFlag(QIODevice::Truncate) && ::ftruncate(fd, 0) != 0) {
        reason = qt_error_string(errno);
        ::close(fd);
        return false;
    }
    const QIODevice::OpenMode kept = mode & ~QIODevice::Truncate;
    if (!file.open(fd, kept, QFileDevice::AutoCloseHandle)) {
        reason = file.errorString();
        ::close(fd);
        return false;
    }
    return true;
#endif
}

// The bytes are on the disk, not only in the system's cache, before the name is given to them:
// a crash right after the rename leaves the new file whole, not empty.
bool syncToDisk(QFile& file, QString& reason)
{
#ifdef Q_OS_WIN
    if (FlushFileBuffers(reinterpret_cast<HANDLE>(_get_osfhandle(file.handle()))))
        return true;
    reason = qt_error_string(static_cast<int>(GetLastError()));
#else
    if (::fsync(file.handle()) == 0)
        return true;
    reason = qt_error_string(errno);
#endif
    return false;
}

bool writeWhole(QFile& file, const QByteArray& bytes, QString& reason)
{
    // The flush comes before the sync: a buffered write that fails there (a full disk) is seen.
    if (file.write(bytes) == bytes.size() && file.flush())
        return syncToDisk(file, reason);
    reason = file.errorString();
    return false;
}

// A file made by this call beside `path` under a name of its own: an existing name, a link
// among them, is never opened. Made with the permissions of any new file (the umask's).
bool openNewBeside(QFile& file, const QString& path, QString& reason)
{
    for (int attempt = 0; attempt < 16; ++attempt) {
        file.setFileName(path + u'.' + QString::number(QRandomGenerator::global()->generate(), 36));
        if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
            return true;
        reason = file.errorString();
        const QFileInfo clash(file.fileName());
        if (!clash.exists() && !clash.isSymLink())
            return false; // not a name in use: the folder takes no new file
    }
    return false;
}

// The replacement gets the permissions of the file it replaces.
void keepPermissions(const QFile& replacement, const QString& path)
{
#ifdef Q_OS_WIN
    Q_UNUSED(replacement);
    Q_UNUSED(path);
#else
    struct stat status {};
    if (::lstat(nativeName(path).constData(), &status) == 0 && S_ISREG(status.st_mode))
        ::fchmod(replacement.handle(), status.st_mode & 07777);
#endif
}

// Gives `from` the name `to`, replacing whatever has that name: a link itself, never its target.
bool renameOver(const QString& from, const QString& to, QString& reason)
{
#ifdef Q_OS_WIN
    if (MoveFileExW(reinterpret_cast<const wchar_t*>(QDir::toNativeSeparators(from).utf16()),
                    reinterpret_cast<const wchar_t*>(QDir::toNativeSeparators(to).utf16()),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    reason = qt_error_string(static_cast<int>(GetLastError()));
#else
    if (::rename(nativeName(from).constData(), nativeName(to).constData()) == 0)
        return true;
    reason = qt_error_string(errno);
#endif
    return false;
}

[[noreturn]] void failToWrite(const QString& path, const QString& reason)
{
    throw Error(ownFileFailure(path, reason));
}

} // namespace

QString notOwnFileReason(const QString& path)
{
    const QFileInfo info(path);
    if (info.isSymLink())
        return QStringLiteral("Это символическая ссылка");
    if (!info.exists())
        return {};
    if (info.isDir())
        return QStringLiteral("Это папка");
    return info.isFile() ? QString() : kNotRegular;
}

OwnFileRead readOwnFile(const QString& path, qint64 maxBytes)
{
    OwnFileRead read;
    read.reason = notOwnFileReason(path);
    if (read.reason.isEmpty() && !QFileInfo::exists(path))
        return read;
    read.state = OwnFileRead::State::NotRead;
    if (!read.reason.isEmpty())
        return read;
    QFile file(path);
    QString reason;
    if (openWithoutFollowing(file, QIODevice::ReadOnly, reason)) {
        read.bytes = maxBytes < 0 ? file.readAll() : file.read(maxBytes + 1);
        if (file.error() == QFileDevice::NoError) {
            read.state = OwnFileRead::State::Read;
            return read;
        }
        reason = file.errorString();
    }
    read.bytes.clear();
    read.reason = QStringLiteral("Файл не читается: ") + reason;
    return read;
}

bool canRewriteInPlace(const QString& path)
{
    if (!notOwnFileReason(path).isEmpty())
        return false;
    QFile file(path);
    QString reason;
    return openWithoutFollowing(file, QIODevice::WriteOnly | QIODevice::Append, reason);
}

QString ownFileFailure(const QString& path, const QString& reason)
{
    const QString what = QStringLiteral("Не удалось записать файл \"") +
                         QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath()) + u'"';
    return reason.isEmpty() ? what : what + QStringLiteral(". ") + reason;
}

void replaceOwnFile(const QString& path, const QByteArray& bytes)
{
    if (const QString reason = notOwnFileReason(path); !reason.isEmpty())
        failToWrite(path, reason);
    const QFileInfo info(path);
    const bool exists = info.exists();
    QString reason;
    // As QSaveFile: a file that may not be written is not replaced either.
    if (exists) {
        QFile existing(path);
        if (!openWithoutFollowing(existing, QIODevice::WriteOnly | QIODevice::Append, reason))
            failToWrite(path, reason);
    }
    // The folder may not exist yet; when it cannot be made, the new file cannot be either.
    QDir().mkpath(info.absolutePath());
    QFile replacement;
    if (openNewBeside(replacement, info.absoluteFilePath(), reason)) {
        if (exists)
            keepPermissions(replacement, path);
        const bool written = writeWhole(replacement, bytes, reason);
        replacement.close();
        if (written && renameOver(replacement.fileName(), info.absoluteFilePath(), reason))
            return;
        QFile::remove(replacement.fileName());
        failToWrite(path, reason);
    }
    // Where the folder forbids a new file but the file itself may be written.
    if (!exists)
        failToWrite(path, reason);
    QFile file(path);
    if (!openWithoutFollowing(file, QIODevice::WriteOnly | QIODevice::Truncate, reason) ||
        !writeWhole(file, bytes, reason))
        failToWrite(path, reason);
}

} // namespace varnel
