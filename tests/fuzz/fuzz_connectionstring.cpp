// The login's connection string and the ODBC string made from it: whatever a user types as
// password, user and data source, each built string reads back as exactly those values, so
// that no password is cut and no typed text becomes a keyword of its own. Any text at all
// parses without a memory error.

#include "db/connectionstring.h"
#include "db/dberror.h"
#include "db/odbc/odbclogin.h"
#include "fuzzcheck.h"

#include <QHash>

#include <cstddef>
#include <cstdint>
#include <fuzzer/FuzzedDataProvider.h>
#include <optional>

using namespace varnel;

namespace {

// An ODBC connection string as a driver reads it: "key=value" parts split at ";", a value
// starting with "{" runs to the "}" that is not doubled, and "}}" inside stands for "}".
// Keys compare in upper case. Nothing when the string is not well formed.
std::optional<QHash<QString, QString>> readOdbc(const QString& text)
{
    QHash<QString, QString> values;
    qsizetype i = 0;
    while (i < text.size()) {
        const qsizetype equals = text.indexOf(u'=', i);
        if (equals < 0)
            return std::nullopt;
        const QString key = text.mid(i, equals - i).toUpper();
        i = equals + 1;
        QString value;
        if (i < text.size() && text[i] == u'{') {
            for (++i;; ++i) {
                if (i >= text.size())
                    return std::nullopt;
                if (text[i] == u'}') {
                    if (i + 1 < text.size() && text[i + 1] == u'}') {
                        value += u'}';
                        ++i;
                        continue;
                    }
                    ++i;
                    break;
                }
                value += text[i];
            }
            if (i < text.size() && text[i] != u';')
                return std::nullopt;
        } else {
            const qsizetype end = text.indexOf(u';', i);
            value = text.mid(i, (end < 0 ? text.size() : end) - i);
            i = end < 0 ? text.size() : end;
        }
        if (values.contains(key))
            return std::nullopt; // a typed value made a keyword of its own
        values.insert(key, value);
        ++i; // the ";"
    }
    return values;
}

void checkRoundTrip(const QString& password, const QString& user, const QString& dataSource)
{
    const QString built = buildConnectionString(password, user, dataSource);
    ConnectionParams params;
    try {
        params = parseConnectionString(built);
    } catch (const DbError&) {
        FUZZ_CHECK(false, QStringLiteral("the built string does not parse: ") + built);
    }
    FUZZ_CHECK(params.password == password && params.user == user &&
                   params.dataSource == dataSource &&
                   params.provider == QLatin1String("MSDAORA.1") && params.all.size() == 5,
               built);

    // One installed Oracle driver and one data source of another name, in the driver
    // manager's order; a data source of the typed name (any case) is taken instead.
    const odbc::OdbcCatalog catalog{{QStringLiteral("Oracle in OraClient19Home1")},
                                    {QStringLiteral("LogsDsn")}};
    const odbc::OdbcLogin login = odbc::oracleLogin(params, catalog);
    const QString odbcText = login.connectString();
    const std::optional<QHash<QString, QString>> odbcValues = readOdbc(odbcText);
    FUZZ_CHECK(odbcValues.has_value(), odbcText);
    const bool viaDsn = dataSource.compare(QLatin1String("LogsDsn"), Qt::CaseInsensitive) == 0;
    FUZZ_CHECK(odbcValues->value(QStringLiteral("UID")) == user &&
                   odbcValues->value(QStringLiteral("PWD")) == password &&
                   odbcValues->size() == 2 + !user.isEmpty() + !password.isEmpty() - viaDsn &&
                   (viaDsn ? odbcValues->value(QStringLiteral("DSN")) == QLatin1String("LogsDsn")
                           : odbcValues->value(QStringLiteral("DBQ")) == dataSource &&
                                 odbcValues->value(QStringLiteral("DRIVER")) ==
                                     QLatin1String("Oracle in OraClient19Home1")),
               odbcText);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // The whole input as a connection string from anywhere.
    try {
        const ConnectionParams params = parseConnectionString(
            QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
        checkRoundTrip(params.password, params.user, params.dataSource);
    } catch (const DbError&) {
    }

    // The same bytes as three typed values.
    FuzzedDataProvider provider(data, size);
    const QString password = QString::fromStdString(provider.ConsumeRandomLengthString(256));
    const QString user = QString::fromStdString(provider.ConsumeRandomLengthString(256));
    const QString dataSource = QString::fromStdString(provider.ConsumeRemainingBytesAsString());
    checkRoundTrip(password, user, dataSource);
    return 0;
}
