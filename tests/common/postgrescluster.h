#pragma once

#include "db/odbc/odbclogin.h"

#include <QString>
#include <QStringList>

namespace varnel::test {

// The throw-away PostgreSQL cluster of the test run, which ctest starts before the tests that
// need it and stops after them (tests/postgres/cluster.sh, a fixture of tests/CMakeLists.txt),
// reached through psqlODBC, a real client/server driver that no one here wrote. Each test
// makes databases of its own in it, so that tests run in parallel; a database is dropped when
// its test ends.
class PostgresCluster {
public:
    // The cluster of this run, or null (and the reason in `why`) when there is none: no
    // PostgreSQL or psqlODBC on this machine, or the test was run without ctest's fixture.
    static const PostgresCluster* get(QString* why);

    // psqlODBC's Unicode driver, as the driver manager has it registered.
    const QString& driver() const { return m_driver; }
    // Where the tests' role logs in to `database`.
    odbc::OdbcLogin login(const QString& database) const;
    // Whether pg_stat_statements counts the executions of statements in every database.
    bool countsStatements() const { return m_countsStatements; }

private:
    QString m_driver;
    QString m_port;
    QString m_user;
    QString m_password;
    bool m_countsStatements = false;
};

// A database of the cluster for one test: created empty with a name of its own, dropped (with
// any connection still in it) when this goes.
class PostgresDatabase {
public:
    // `label` ends the database's name, for a reader of the server's log.
    PostgresDatabase(const PostgresCluster& cluster, const QString& label);
    ~PostgresDatabase();
    PostgresDatabase(const PostgresDatabase&) = delete;
    PostgresDatabase& operator=(const PostgresDatabase&) = delete;

    const QString& name() const { return m_name; }
    odbc::OdbcLogin login() const { return m_cluster.login(m_name); }

private:
    const PostgresCluster& m_cluster;
    QString m_name;
};

} // namespace varnel::test
