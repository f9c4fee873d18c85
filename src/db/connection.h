#pragma once

#include "engine.h"

#include <QString>

#include <functional>
#include <memory>
#include <vector>

namespace varnel {

// The one database connection of the program (`ADOConnectionBase`). It takes the connection
// string that the login builds, picks the engine from its data source and never asks the
// user anything itself: every failure is a DbError for the caller.
class Connection {
public:
    using EngineFactory = std::function<std::unique_ptr<Engine>(const QString& connectionString)>;

    Connection();
    // Tests and the Oracle path hand in another way to open an engine.
    explicit Connection(EngineFactory factory);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    const QString& name() const { return m_name; }

    const QString& connectionString() const { return m_connectionString; }
    // A string different from the current one closes an open connection first: the next
    // connect() opens the new database, never the old one under a new name.
    void setConnectionString(const QString& connectionString);

    // Opens the connection with the current string; nothing happens when it is open.
    void connect();
    void connect(const QString& connectionString);
    // Closes the connection, and with it every statement slot; allowed when closed.
    void disconnect();
    bool connected() const { return m_engine != nullptr; }

    // The open engine; raises DbError when the connection is closed.
    Engine& engine();

    // The file of the open database on this machine (Engine::localFile); empty when closed.
    QString localFile() const { return m_engine ? m_engine->localFile() : QString(); }

    // Handed to the open engine and to each engine opened later: see
    // Engine::setProgressHandler.
    void setProgressHandler(std::function<void()> handler);

    // Called with no argument just before the connection closes (the slots close their rows).
    void onDisconnect(std::function<void()> callback)
    {
        m_onDisconnect.push_back(std::move(callback));
    }

    // The engine for a connection string: the embedded engine for a local database file,
    // Oracle through ODBC otherwise.
    static std::unique_ptr<Engine> openEngine(const QString& connectionString);

private:
    QString m_name = QStringLiteral("ADOConnectionBase");
    QString m_connectionString;
    EngineFactory m_factory;
    std::unique_ptr<Engine> m_engine;
    std::function<void()> m_progress;
    std::vector<std::function<void()>> m_onDisconnect;
};

} // namespace varnel
