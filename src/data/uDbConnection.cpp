#include "data/uDbConnection.h"

#include "platform/Exceptions.h"
#include "platform/SecureBytes.h"

namespace {

// Seconds a connect may take before it fails, so that an unreachable server does not
// hold the user interface indefinitely.
constexpr char ConnectTimeout[] = "15";

} // namespace

TDbConnection::TDbConnection(QObject* parent) : QObject(parent) {}

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
    add("application_name", "Lodvar");
    // The client only reads; the server then refuses any write, whatever a role may do.
    add("options", "-c default_transaction_read_only=on");
    keys.push_back(nullptr);
    values.push_back(nullptr);

    // expand_dbname 0: a database name is only ever a name, never a connection string.
    TPgConn conn(PQconnectdbParams(keys.data(), values.data(), 0));
    if (!conn || PQstatus(conn.get()) != CONNECTION_OK)
        throw EDatabaseError(PgConnError(conn.get()));
    return conn;
}

bool TDbConnection::ConnectionLost() const noexcept {
    return !FConn || PQstatus(FConn.get()) == CONNECTION_BAD;
}

TPgResult TDbConnection::ExecuteOnce(const QByteArray& sql,
                                     const std::vector<TDbParamValue>& params) {
    std::vector<const char*> values;
    values.reserve(params.size());
    for (const TDbParamValue& value : params)
        values.push_back(value ? value->constData() : nullptr);
    return TPgResult(PQexecParams(FConn.get(), sql.constData(), static_cast<int>(values.size()),
                                  nullptr, values.data(), nullptr, nullptr, 0));
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
        if (PQstatus(FConn.get()) != CONNECTION_OK) {
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
