#include "common/oraclestandin.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#if defined(VARNEL_ORACLE_STANDIN_LIBRARY) && !defined(_WIN32)
#include <dlfcn.h>
#endif

namespace varnel::test {

namespace {

struct Registration {
    QTemporaryDir dir;
    QString failure;

    Registration()
    {
#ifndef VARNEL_ORACLE_STANDIN_LIBRARY
        failure = QStringLiteral("the stand-in driver is registered through unixODBC's "
                                 "ODBCSYSINI, which this platform's driver manager lacks");
        return;
#else
        const QString library = QStringLiteral(VARNEL_ORACLE_STANDIN_LIBRARY);
        if (!QFileInfo::exists(library)) {
            failure = QStringLiteral("the stand-in driver %1 is not built").arg(library);
            return;
        }
        // The machine's drivers stay known (the SQLite ODBC driver of other tests).
        QByteArray ini;
        QFile system(QStringLiteral("/etc/odbcinst.ini"));
        if (system.open(QIODevice::ReadOnly))
            ini = system.readAll() + '\n';
        ini += QStringLiteral("[%1]\nDescription = Oracle-like ODBC driver over the embedded "
                              "engine, for tests\nDriver = %2\nThreading = 0\n")
                   .arg(QLatin1String(OracleStandin::kDriver), library)
                   .toUtf8();
        QFile file(dir.filePath(QStringLiteral("odbcinst.ini")));
        if (!file.open(QIODevice::WriteOnly) || file.write(ini) != ini.size()) {
            failure = QStringLiteral("cannot write %1").arg(file.fileName());
            return;
        }
        file.close();
        qputenv("ODBCSYSINI", QFile::encodeName(dir.path()));
        qputenv("VARNEL_ORACLE_STANDIN_DIR", QFile::encodeName(dir.path()));
        // Mapped until the process ends, whatever the driver manager unloads: the driver holds
        // thread-local data (the code of varnel_core it carries), and LeakSanitizer, which walks
        // every thread's dynamic TLS at exit, crashes on that of a library already unmapped.
#ifndef _WIN32
        dlopen(QFile::encodeName(library).constData(), RTLD_NOW | RTLD_NODELETE);
#endif
#endif
    }
};

Registration& registration()
{
    static Registration instance;
    return instance;
}

} // namespace

bool OracleStandin::available(QString* why)
{
    const Registration& r = registration();
    if (why)
        *why = r.failure;
    return r.failure.isEmpty();
}

QString OracleStandin::folder()
{
    return registration().dir.path();
}

QString OracleStandin::place(const QString& sqlitePath, const QString& name)
{
    const QString target = QDir(folder()).filePath(name + QStringLiteral(".sqlite"));
    QFile::remove(target);
    QFile::copy(sqlitePath, target);
    return target;
}

} // namespace varnel::test
