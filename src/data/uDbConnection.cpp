#include "data/uDbConnection.h"

#include "LodvarSiteConfig.h"
#include "platform/Exceptions.h"
#include "platform/SecureBytes.h"
#include "platform/TcpProbe.h"

#include <algorithm>
#include <limits>
#include <system_error>
#include <thread>

namespace {

using TClock = std::chrono::steady_clock;

// Seconds a connect may take before it fails, so that an unreachable server does not
// hold the user interface indefinitely.
constexpr char ConnectTimeout[] = "15";

// Dead peers: after 30 s of silence the system probes every 10 s and gives up after
// 3 probes; data the peer does not acknowledge within 30 s ends the connection.
constexpr char KeepalivesIdle[] = "30";
constexpr char KeepalivesInterval[] = "10";
constexpr char KeepalivesCount[] = "3";
constexpr char TcpUserTimeoutMs[] = "30000";

// Asks the server to cancel what the connection runs. The request opens a connection
// of its own, which libpq cannot bound with a timeout, so it goes from a short-lived
// thread of its own: a server that does not answer cannot hold the caller.
void SendCancelRequest(PGconn* conn) {
    PGcancel* const cancel = PQgetCancel(conn);
    if (cancel == nullptr)
        return;
    try {
        std::thread([cancel] {
            char error[256];
            PQcancel(cancel, error, sizeof error);
            PQfreeCancel(cancel);
        }).detach();
    } catch (const std::system_error&) {
        PQfreeCancel(cancel);
    }
}

} // namespace

TDbConnection::TDbConnection(QObject* parent)
    : QObject(parent),
      FStatementTimeout(std::chrono::seconds(SiteConfig::StatementTimeoutSeconds)) {}

TDbConnection::~TDbConnection() = default;

bool TDbConnection::Connected() const noexcept {
    return FConn && PQstatus(FConn.get()) == CONNECTION_OK;
}

void TDbConnection::SetConnected(bool connected) {
    if (!connected) {
        FConn.reset();
        return;
    }
    if (Connected())
        return;
    FConn.reset();
    FConn = MakeConnection();
}

int TDbConnection::BackendPid() const noexcept {
    return Connected() ? PQbackendPID(FConn.get()) : 0;
}

TPgConn TDbConnection::MakeConnection() const {
    const QByteArray host = FServer.toUtf8();
    const QByteArray port = QByteArray::number(FPort);
    const QByteArray database = FDatabase.toUtf8();
    const QByteArray user = FUsername.toUtf8();
    QByteArray password = FPassword.toUtf8();
    const TCleanseOnExit wipePassword(password.data(), static_cast<size_t>(password.size()));

    std::vector<const char*> keys;
    std::vector<const char*> values;
    auto add = [&](const char* key, const char* value) {
        keys.push_back(key);
        values.push_back(value);
    };
    if (!host.isEmpty())
        add("host", host.constData());
    if (FPort != 0)
        add("port", port.constData());
    if (!database.isEmpty())
        add("dbname", database.constData());
    if (!user.isEmpty())
        add("user", user.constData());
    add("password", password.constData());
    add("client_encoding", "UTF8");
    add("connect_timeout", ConnectTimeout);
    add("keepalives", "1");
    add("keepalives_idle", KeepalivesIdle);
    add("keepalives_interval", KeepalivesInterval);
    add("keepalives_count", KeepalivesCount);
    add("tcp_user_timeout", TcpUserTimeoutMs);
    add("application_name", "Lodvar");
    // The client only reads; the server then refuses any write, whatever a role may do.
    add("options", "-c default_transaction_read_only=on");
    keys.push_back(nullptr);
    values.push_back(nullptr);

    // expand_dbname 0: a database name is only ever a name, never a connection string.
    TPgConn conn(PQconnectdbParams(keys.data(), values.data(), 0));
    // Non-blocking, so that sending a statement never waits on the server either.
    if (!conn || PQstatus(conn.get()) != CONNECTION_OK || PQsetnonblocking(conn.get(), 1) != 0)
        throw EDatabaseError(PgConnError(conn.get()));
    return conn;
}

bool TDbConnection::ConnectionLost() const noexcept {
    return !FConn || PQstatus(FConn.get()) == CONNECTION_BAD;
}

void TDbConnection::WaitForServer(bool write, TClock::time_point deadline) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - TClock::now());
    const int waitMs = static_cast<int>(std::clamp<std::chrono::milliseconds::rep>(
        left.count(), 0, std::numeric_limits<int>::max()));
    if (waitMs > 0 && WaitForSocket(PQsocket(FConn.get()), write, waitMs))
        return;
    SendCancelRequest(FConn.get());
    FConn.reset();
    throw EDatabaseError(QStringLiteral("The database server did not answer within %1 s; the "
                                        "statement was cancelled and the connection closed.")
                             .arg(QString::number(FStatementTimeout.count() / 1000.0)));
}

TPgResult TDbConnection::ExecuteOnce(const QByteArray& sql,
                                     const std::vector<TDbParamValue>& params) {
    const TClock::time_point deadline = TClock::now() + FStatementTimeout;
    std::vector<const char*> values;
    values.reserve(params.size());
    for (const TDbParamValue& value : params)
        values.push_back(value ? value->constData() : nullptr);
    PGconn* const conn = FConn.get();
    // Any failure on the way leaves a null result; the connection's state and message
    // then tell the caller what happened.
    if (PQsendQueryParams(conn, sql.constData(), static_cast<int>(values.size()), nullptr,
                          values.data(), nullptr, nullptr, 0) != 1)
        return TPgResult();
    for (int pending; (pending = PQflush(conn)) != 0;) {
        if (pending < 0)
            return TPgResult();
        WaitForServer(true, deadline);
        if (PQconsumeInput(conn) != 1)
            return TPgResult();
    }
    // One statement gives one result; should more come, an error among them wins.
    // Each result is waited for under the deadline, the end of them too.
    TPgResult result;
    for (;;) {
        while (PQisBusy(conn)) {
            WaitForServer(false, deadline);
            if (PQconsumeInput(conn) != 1)
                break; // lost: PQgetResult reports it without waiting
        }
        PGresult* const next = PQgetResult(conn);
        if (next == nullptr)
            break;
        if (!result || PQresultStatus(result.get()) != PGRES_FATAL_ERROR)
            result.reset(next);
        else
            PQclear(next);
    }
    return result;
}

TPgResult TDbConnection::Execute(const QByteArray& sql, const std::vector<TDbParamValue>& params) {
    if (!Connected())
        SetConnected(true);
    TPgResult result = ExecuteOnce(sql, params);
    if ((!result || PQresultStatus(result.get()) == PGRES_FATAL_ERROR) && ConnectionLost()) {
        if (!FLocalFailover) {
            const QString message = PgResultError(result.get(), FConn.get());
            FConn.reset();
            throw EDatabaseError(message);
        }
        // Reconnect with the settings of the lost connection, then repeat once.
        PQreset(FConn.get());
        if (PQstatus(FConn.get()) != CONNECTION_OK || PQsetnonblocking(FConn.get(), 1) != 0) {
            const QString message = PgConnError(FConn.get());
            FConn.reset();
            throw EDatabaseError(message);
        }
        result = ExecuteOnce(sql, params);
        if ((!result || PQresultStatus(result.get()) == PGRES_FATAL_ERROR) && ConnectionLost()) {
            const QString message = PgResultError(result.get(), FConn.get());
            FConn.reset();
            throw EDatabaseError(message);
        }
    }
    const ExecStatusType status = result ? PQresultStatus(result.get()) : PGRES_FATAL_ERROR;
    if (status != PGRES_TUPLES_OK && status != PGRES_COMMAND_OK)
        throw EDatabaseError(PgResultError(result.get(), FConn.get()));
    return result;
}
