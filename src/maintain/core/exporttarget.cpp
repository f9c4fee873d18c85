#include "maintain/core/exporttarget.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <filesystem>
#include <system_error>

namespace varnel {

namespace fs = std::filesystem;

namespace {

fs::path toPath(const QString& path)
{
#ifdef Q_OS_WIN
    return fs::path(path.toStdWString());
#else
    return fs::path(QFile::encodeName(path).toStdString());
#endif
}

// Where a write to `path` lands: QSaveFile follows symbolic links, even one whose target does
// not exist yet, and the folders along the path may be links or spelled with "." and "..".
fs::path landing(const QString& path)
{
    std::error_code error;
    fs::path at = fs::absolute(toPath(path), error);
    if (error)
        return toPath(path).lexically_normal();
    for (int depth = 0; depth < 40 && fs::is_symlink(at, error); ++depth) {
        const fs::path next = fs::read_symlink(at, error);
        if (error)
            break;
        at = next.is_absolute() ? next : at.parent_path() / next;
    }
    fs::path resolved = fs::weakly_canonical(at, error);
    return error ? at.lexically_normal() : resolved;
}

} // namespace

QStringList databaseFiles(const QString& databaseFile)
{
    if (databaseFile.isEmpty())
        return {};
    return {databaseFile, databaseFile + QStringLiteral("-journal"),
            databaseFile + QStringLiteral("-wal"), databaseFile + QStringLiteral("-shm")};
}

bool isSameFile(const QString& target, const QString& file)
{
    if (target.isEmpty() || file.isEmpty())
        return false;
    const fs::path a = landing(target);
    const fs::path b = landing(file);
    std::error_code error;
    if (fs::equivalent(a, b, error) && !error)
        return true;
#ifdef Q_OS_WIN
    // Windows' file names ignore letter case.
    return QString::fromStdWString(a.wstring())
               .compare(QString::fromStdWString(b.wstring()), Qt::CaseInsensitive) == 0;
#else
    return a == b;
#endif
}

QString fileWrittenOver(const QString& target, const QStringList& files)
{
    for (const QString& file : files)
        if (isSameFile(target, file))
            return file;
    return {};
}

QString ownFileRefusal(const QString& target, const QString& databaseFile,
                       const QStringList& programFiles)
{
    const QStringList own = databaseFiles(databaseFile) + programFiles +
                            QStringList{QCoreApplication::applicationFilePath()};
    if (fileWrittenOver(target, own).isEmpty())
        return {};
    return QStringLiteral("Нельзя выгрузить записи в файл ") + QDir::toNativeSeparators(target) +
           QStringLiteral(": это файл, с которым работает программа.");
}

} // namespace varnel
