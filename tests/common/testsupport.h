#pragma once

#include "base/ansicodepage.h"

#include <QByteArray>
#include <QLocale>
#include <QString>
#include <QTemporaryDir>
#include <QtGlobal>

#include <cstdint>
#include <functional>
#include <ostream>
#include <span>

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

// Makes `locale` the default one until the end of the scope, then puts the last one back.
class DefaultLocale {
public:
    explicit DefaultLocale(const QLocale& locale) { QLocale::setDefault(locale); }
    ~DefaultLocale() { QLocale::setDefault(m_saved); }
    DefaultLocale(const DefaultLocale&) = delete;
    DefaultLocale& operator=(const DefaultLocale&) = delete;

private:
    QLocale m_saved;
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

// A database file with the log table LOG_TABLE holding `records`, each the values of one
// record in parentheses in the table's column order: sid, ddate, stable, saction, schanges,
// suser_info ("(1, '2025-03-01 10:00:00', 'ORDERS', 'INSERT', 'a', 'PETROV - WS12 - APPUSER')").
QString makeLogDatabase(const TempFolder& folder, const QString& name,
                        std::span<const char* const> records);

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
