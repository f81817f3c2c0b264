// The database connection: libpq under the settings and rules the system relies on.
//
// - Server, Port, Database, Username, Password are plain settings; they take effect at
//   the next connect. Port 0 means the client library's default port (5432).
// - SetConnected(true) connects with the settings held at that moment; a failure raises
//   EDatabaseError with the client library's or the server's message. SetConnected(false)
//   and Close() disconnect.
// - Execute() runs one statement for a query: it connects first when the connection is
//   closed (implicit connect) and, with LocalFailover on, re-establishes a connection that
//   was lost and runs the statement once more, without a message.
// - No wait for the server is unbounded: connects give up after 15 s, TCP keepalives
//   and a user timeout notice a dead peer, and a statement whose answer has not come
//   in full within StatementTimeout is cancelled; the connection is then closed (the
//   next use connects again; the statement is not repeated) and EDatabaseError raises
//   "The database server did not answer within ... s; ...".
#pragma once

#include "data/PgHandles.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <chrono>
#include <optional>
#include <vector>

// One parameter value as sent to the server: text, or NULL when empty.
using TDbParamValue = std::optional<QByteArray>;

class TDbConnection : public QObject {
    Q_OBJECT

public:
    explicit TDbConnection(QObject* parent = nullptr);
    ~TDbConnection() override;

    const QString& Server() const noexcept { return FServer; }
    void SetServer(const QString& server) { FServer = server; }
    int Port() const noexcept { return FPort; }
    void SetPortNumber(int port) { FPort = port; }
    const QString& Database() const noexcept { return FDatabase; }
    void SetDatabase(const QString& database) { FDatabase = database; }
    const QString& Username() const noexcept { return FUsername; }
    void SetUsername(const QString& username) { FUsername = username; }
    const QString& Password() const noexcept { return FPassword; }
    void SetPassword(const QString& password) { FPassword = password; }

    // How long a statement may wait for the server's whole answer; the site's
    // SiteConfig::StatementTimeoutSeconds unless set.
    std::chrono::milliseconds StatementTimeout() const noexcept { return FStatementTimeout; }
    void SetStatementTimeout(std::chrono::milliseconds timeout) { FStatementTimeout = timeout; }

    // Re-establish a lost connection and repeat the failed statement once.
    bool LocalFailover() const noexcept { return FLocalFailover; }
    void SetLocalFailover(bool on) { FLocalFailover = on; }

    // True while a connection is established (as far as the client library knows: a
    // connection dropped by the server is noticed at its next use).
    bool Connected() const noexcept;
    void SetConnected(bool connected);
    void Open() { SetConnected(true); }
    void Close() { SetConnected(false); }

    // Process id of the server backend of this connection; 0 when not connected.
    int BackendPid() const noexcept;

    // The client library's connection, for watching its socket and reading what the
    // server sends unasked (notifications); null when not connected. Owned here.
    PGconn* Handle() const noexcept { return FConn.get(); }

    // Runs one statement with positional text parameters ($1 = params[0]) and returns
    // its result, which has succeeded. Raises EDatabaseError with the server's message.
    TPgResult Execute(const QByteArray& sql, const std::vector<TDbParamValue>& params);

private:
    TPgConn MakeConnection() const;
    TPgResult ExecuteOnce(const QByteArray& sql, const std::vector<TDbParamValue>& params);
    // Waits for the socket until the deadline; when it passes, cancels the statement,
    // closes the connection and raises.
    void WaitForServer(bool write, std::chrono::steady_clock::time_point deadline);
    bool ConnectionLost() const noexcept;

    QString FServer;
    int FPort = 0;
    QString FDatabase;
    QString FUsername;
    QString FPassword;
    bool FLocalFailover = false;
    std::chrono::milliseconds FStatementTimeout;
    TPgConn FConn;
};
