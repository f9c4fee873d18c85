#include "db/connectionstring.h"

#include "db/dberror.h"

namespace varnel {

namespace {

QString quoted(const QString& value)
{
    if (!value.contains(QLatin1Char(';')) && !value.contains(QLatin1Char('"')))
        return value;
    QString inner = value;
    inner.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + inner + QLatin1Char('"');
}

} // namespace

bool ConnectionParams::isLocalFile() const
{
    for (const char* suffix : {".sqlite", ".sqlite3", ".db"})
        if (dataSource.endsWith(QLatin1String(suffix), Qt::CaseInsensitive))
            return true;
    return false;
}

QString buildConnectionString(const QString& password, const QString& user,
                              const QString& dataSource)
{
    return QStringLiteral("Provider=MSDAORA.1;Password=") + quoted(password) +
           QStringLiteral(";User ID=") + quoted(user) + QStringLiteral(";Data Source=") +
           quoted(dataSource) + QStringLiteral(";Persist Security Info=False");
}

ConnectionParams parseConnectionString(const QString& text)
{
    ConnectionParams params;
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n) {
        const qsizetype equals = text.indexOf(QLatin1Char('='), i);
        const qsizetype semicolon = text.indexOf(QLatin1Char(';'), i);
        if (equals < 0 || (semicolon >= 0 && semicolon < equals)) {
            // A part without "=": nothing to read, e.g. the empty part after a final ";".
            if (semicolon < 0)
                break;
            i = semicolon + 1;
            continue;
        }
        const QString key = text.mid(i, equals - i).trimmed();
        i = equals + 1;
        QString value;
        if (i < n && text.at(i) == QLatin1Char('"')) {
            ++i;
            for (;;) {
                if (i >= n)
                    throw DbError(
                        QStringLiteral("Invalid connection string: a quoted value is not closed"));
                if (text.at(i) == QLatin1Char('"')) {
                    if (i + 1 < n && text.at(i + 1) == QLatin1Char('"')) {
                        value += QLatin1Char('"');
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                value += text.at(i++);
            }
            const qsizetype end = text.indexOf(QLatin1Char(';'), i);
            i = end < 0 ? n : end + 1;
        } else {
            const qsizetype end = text.indexOf(QLatin1Char(';'), i);
            value = text.mid(i, (end < 0 ? n : end) - i);
            i = end < 0 ? n : end + 1;
        }
        params.all.append({key, value});
        if (key.compare(QLatin1String("Provider"), Qt::CaseInsensitive) == 0)
            params.provider = value;
        else if (key.compare(QLatin1String("Password"), Qt::CaseInsensitive) == 0)
            params.password = value;
        else if (key.compare(QLatin1String("User ID"), Qt::CaseInsensitive) == 0)
            params.user = value;
        else if (key.compare(QLatin1String("Data Source"), Qt::CaseInsensitive) == 0)
            params.dataSource = value;
    }
    return params;
}

} // namespace varnel
