#include "ui/core/exportfile.h"

#include "base/localetext.h"
#include "db/call.h"
#include "db/connection.h"
#include "db/dberror.h"
#include "ui/core/prompts.h"

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

QString exportFileName(QDate today, const LocaleText& locale, const QString& suffix)
{
    QString name = QStringLiteral("Varnel_") + locale.dateText(today);
    // The date text is no file name: "/" would make folders of it, ":" is refused on Windows.
    for (QChar& c : name)
        if (c.unicode() < 0x20 || QStringView(u"/\\:*?\"<>|").contains(c))
            c = u'-';
    // A date text with dots ("08.12.2026") would pass for an extension and keep the dialog
    // from adding one.
    return name + u'.' + suffix;
}

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

QString chooseExportFile(QWidget* owner, Prompts& prompts, const ExportFile& file,
                         const Connection& connection, const QStringList& programFiles,
                         const LocaleText& locale)
{
    SaveFileRequest request;
    request.title = file.dialogTitle;
    request.filter = file.filter;
    request.defaultSuffix = file.suffix;
    request.fileName = exportFileName(QDate::currentDate(), locale, file.suffix);
    // A file the user picked is replaced whole: the dialog asks first.
    request.confirmOverwrite = true;
    const QString path = prompts.saveFileName(owner, request);
    if (path.isEmpty())
        return {};
    if (const QString refusal = ownFileRefusal(path, connection.localFile(), programFiles);
        !refusal.isEmpty()) {
        prompts.message(refusal);
        return {};
    }
    return path;
}

void writeExportFile(Connection& connection, Prompts& prompts, const ExportFile& file,
                     const std::function<void(Call&)>& write)
{
    bool replaced = false;
    try {
        connection.work(file.waitTitle, [&](Call& call) {
            write(call);
            replaced = true;
        });
    } catch (const Cancelled&) {
        if (!replaced)
            throw;
    }
    prompts.message(file.finished);
}

} // namespace varnel
