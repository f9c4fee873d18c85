#pragma once

#include "base/ansicodepage.h"

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>
#include <QtGlobal>

#include <cstdint>
#include <functional>
#include <ostream>

// Failures show texts as text, not as UTF-16 code units.
inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

namespace varnel::test {

// Puts an environment variable back as it was at the end of the scope.
struct EnvRestorer {
    const char* name;
    bool had = qEnvironmentVariableIsSet(name);
    QByteArray old = qgetenv(name);
    ~EnvRestorer() { had ? qputenv(name, old) : qunsetenv(name); }
};

// A folder of the test's own, removed afterwards, so that tests run in parallel.
class TempFolder {
public:
    TempFolder();
    QString path(const QString& name) const { return m_dir.filePath(name); }

private:
    QTemporaryDir m_dir;
};

// The message of the error (DbError or any other Error) that `action` raises, or "<no error>".
QString errorOf(const std::function<void()>& action);

// A connection string for a local database file.
QString localConnectionString(const QString& file);

// Creates an empty database file holding the given statements (SQLite dialect, run as they
// are); returns its path.
QString makeDatabase(const TempFolder& folder, const QString& name,
                     const QStringList& statements = {});

// The first value of `sql` run straight on the database file, or -1 when it yields no row.
long long queryScalar(const QString& path, const QString& sql);

// A demo log database made by the generator; returns its path.
QString makeDemoDatabase(const TempFolder& folder, int64_t records, uint64_t seed = 1,
                         const QString& table = QStringLiteral("LOG_TABLE"));

} // namespace varnel::test

// The golden bytes of the files the program writes are Windows-1251's: on a Windows machine
// with another active code page the test skips, as the code page's own tests do.
#define VARNEL_SKIP_UNLESS_WINDOWS_1251()                                                          \
    do {                                                                                           \
        if (::varnel::ansiCodePage() != 1251)                                                      \
            GTEST_SKIP() << "active code page " << ::varnel::ansiCodePage();                       \
    } while (false)
