// Change notifications of the database: a connection of its own that listens on the
// channel "lodvar_changes" (sent by the optional trigger script db/notify.sql) and a
// QSocketNotifier on its socket, so the window is never blocked waiting for them.
//
// - Start connects with the settings of the given connection (local failover on) and
//   listens; a server that cannot be reached raises EDatabaseError. Start on a listening
//   notifier does nothing; after Lost it connects again.
// - Changed is sent once per burst: the first notification opens a window of
//   CoalesceDelay, and everything that arrives within it is the same change.
// - Lost is sent once when the connection drops; the notifier then stops listening.
#pragma once

#include "data/uDbConnection.h"

#include <QObject>
#include <QTimer>
#include <chrono>

class QSocketNotifier;

class TDbNotifier : public QObject {
    Q_OBJECT

public:
    static constexpr char Channel[] = "lodvar_changes";
    static constexpr std::chrono::milliseconds DefaultCoalesceDelay{300};

    explicit TDbNotifier(const TDbConnection& settings, QObject* parent = nullptr);
    ~TDbNotifier() override;

    void Start();
    void Stop();
    bool Listening() const noexcept { return FSocket != nullptr; }

    std::chrono::milliseconds CoalesceDelay() const noexcept;
    void SetCoalesceDelay(std::chrono::milliseconds delay);

    // Notifications received since construction (each one, before coalescing).
    qint64 ReceivedCount() const noexcept { return FReceived; }

signals:
    void Changed();
    void Lost();

private:
    void SocketReady();

    const TDbConnection& FSettings;
    TDbConnection FConn;
    QSocketNotifier* FSocket = nullptr;
    QTimer FCoalesce;
    qint64 FReceived = 0;
};
