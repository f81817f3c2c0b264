#include "data/uDbNotifier.h"

#include <QSocketNotifier>
#include <libpq-fe.h>

TDbNotifier::TDbNotifier(const TDbConnection& settings, QObject* parent)
    : QObject(parent), FSettings(settings) {
    FCoalesce.setSingleShot(true);
    FCoalesce.setInterval(DefaultCoalesceDelay);
    connect(&FCoalesce, &QTimer::timeout, this, &TDbNotifier::Changed);
}

TDbNotifier::~TDbNotifier() = default;

std::chrono::milliseconds TDbNotifier::CoalesceDelay() const noexcept {
    return FCoalesce.intervalAsDuration();
}

void TDbNotifier::SetCoalesceDelay(std::chrono::milliseconds delay) {
    FCoalesce.setInterval(delay);
}

void TDbNotifier::Start() {
    if (Listening())
        return;
    FConn.SetServer(FSettings.Server());
    FConn.SetPortNumber(FSettings.Port());
    FConn.SetDatabase(FSettings.Database());
    FConn.SetUsername(FSettings.Username());
    FConn.SetPassword(FSettings.Password());
    FConn.SetStatementTimeout(FSettings.StatementTimeout());
    FConn.SetLocalFailover(true);
    FConn.Execute(QByteArray("LISTEN ") + Channel, {});
    FSocket = new QSocketNotifier(PQsocket(FConn.Handle()), QSocketNotifier::Read, this);
    connect(FSocket, &QSocketNotifier::activated, this, &TDbNotifier::SocketReady);
}

void TDbNotifier::Stop() {
    FCoalesce.stop();
    delete FSocket;
    FSocket = nullptr;
    FConn.Close();
}

void TDbNotifier::SocketReady() {
    PGconn* const conn = FConn.Handle();
    if (conn == nullptr || PQconsumeInput(conn) != 1 || PQstatus(conn) != CONNECTION_OK) {
        Stop();
        emit Lost();
        return;
    }
    int arrived = 0;
    while (PGnotify* note = PQnotifies(conn)) {
        PQfreemem(note);
        ++arrived;
    }
    FReceived += arrived;
    if (arrived > 0 && !FCoalesce.isActive())
        FCoalesce.start();
}
