#include "common/postgrescluster.h"

#include "base/error.h"
#include "db/odbc/odbcengine.h"

#include <QCoreApplication>
#include <QFile>
#include <QHash>

#include <atomic>
#include <memory>
#include <optional>

namespace varnel::test {

namespace {

struct Found {
    std::optional<PostgresCluster> cluster;
    QString why;
};

#ifdef VARNEL_POSTGRES_STATE
// The state file that the fixture's start writes: "key=value" lines.
QHash<QString, QString> readState(const QString& path)
{
    QHash<QString, QString> values;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return values;
    for (const QByteArray& line : file.readAll().split('\n')) {
        const qsizetype equals = line.indexOf('=');
        if (equals > 0)
            values.insert(QString::fromUtf8(line.left(equals)),
                          QString::fromUtf8(line.mid(equals + 1)));
    }
    return values;
}
#endif

// With any connection still in it (a test that failed half way).
QString dropStatement(const QString& database)
{
    QString quoted = database;
    quoted.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QStringLiteral("drop database if exists \"%1\" with (force)").arg(quoted);
}

std::unique_ptr<odbc::OdbcEngine> openAdmin(const PostgresCluster& cluster)
{
    odbc::OdbcEngine::Options options;
    options.login = cluster.login(QStringLiteral("postgres"));
    return std::make_unique<odbc::OdbcEngine>(std::move(options));
}

} // namespace

const PostgresCluster* PostgresCluster::get(QString* why)
{
    static const Found found = [] {
        Found result;
#ifndef VARNEL_POSTGRES_STATE
        result.why = QStringLiteral("the PostgreSQL cluster of the tests is started by "
                                    "tests/postgres/cluster.sh, which needs a POSIX system");
        return result;
#else
        const QString state = QStringLiteral(VARNEL_POSTGRES_STATE);
        const QHash<QString, QString> values = readState(state);
        if (values.contains(QStringLiteral("skip"))) {
            result.why = values.value(QStringLiteral("skip"));
            return result;
        }
        if (!values.contains(QStringLiteral("port"))) {
            result.why = QStringLiteral("no PostgreSQL cluster runs for the tests (%1 is missing): "
                                        "ctest starts one (the fixture postgres_start), or run "
                                        "tests/postgres/cluster.sh start %1")
                             .arg(state);
            return result;
        }
        QString driver;
        for (const QString& name : odbc::OdbcCatalog::installed().drivers)
            if (driver.isEmpty() &&
                name.contains(QLatin1String("PostgreSQL"), Qt::CaseInsensitive) &&
                name.contains(QLatin1String("Unicode"), Qt::CaseInsensitive))
                driver = name;
        if (driver.isEmpty()) {
            result.why = QStringLiteral("psqlODBC's Unicode driver is not registered with the ODBC "
                                        "driver manager (Debian: odbc-postgresql, which "
                                        "scripts/install-deps installs)");
            return result;
        }
        PostgresCluster cluster;
        cluster.m_driver = driver;
        cluster.m_port = values.value(QStringLiteral("port"));
        cluster.m_user = values.value(QStringLiteral("user"));
        cluster.m_password = values.value(QStringLiteral("password"));
        cluster.m_countsStatements =
            values.value(QStringLiteral("statements")) == QLatin1String("counted");
        result.cluster = cluster;
        return result;
#endif
    }();
    if (why)
        *why = found.why;
    return found.cluster ? &*found.cluster : nullptr;
}

odbc::OdbcLogin PostgresCluster::login(const QString& database) const
{
    odbc::OdbcLogin login;
    login.driver = m_driver;
    login.attributes = {{QStringLiteral("Server"), QStringLiteral("127.0.0.1")},
                        {QStringLiteral("Port"), m_port},
                        {QStringLiteral("Database"), database}};
    login.user = m_user;
    login.password = m_password;
    return login;
}

PostgresDatabase::PostgresDatabase(const PostgresCluster& cluster, const QString& label)
    : m_cluster(cluster)
{
    // Unique among the tests that run at once (one process each) and within a test.
    static std::atomic<int> made{0};
    m_name = QStringLiteral("t%1_%2_%3")
                 .arg(QCoreApplication::applicationPid())
                 .arg(++made)
                 .arg(label.toLower())
                 .left(63);
    const auto admin = openAdmin(cluster);
    // A process of an earlier test may have had the same number and left its database.
    admin->execute(dropStatement(m_name));
    admin->execute(QStringLiteral("create database \"%1\"").arg(m_name));
}

PostgresDatabase::~PostgresDatabase()
{
    try {
        openAdmin(m_cluster)->execute(dropStatement(m_name));
    } catch (const Error&) {
        // The cluster is thrown away at the end of the run; a database left is no harm.
    }
}

} // namespace varnel::test
