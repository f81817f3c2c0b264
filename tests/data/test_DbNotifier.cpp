// The change notifications on the test server with the trigger script loaded: one change
// is one Changed signal, a burst is at most two, a client that listens sees nothing of
// other channels, and a dropped connection is reported once and listened to again.
#include "PgTestServer.h"
#include "data/uDbNotifier.h"
#include "platform/Exceptions.h"

#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

namespace {

// Waits for the events of the notifier up to the deadline; "within a second" is a bound
// on the wait, never a measured time.
constexpr int DeadlineMs = 1000;
// After the deadline, more time in which an extra, wrong signal would show up.
constexpr int SettleMs = 700;

class DbNotifier : public testing::Test {
protected:
    static void SetUpTestSuite() {
        TPgTestServer& server = TPgTestServer::Instance();
        server.ExecFileAsSuperuser(TPgTestServer::DbFile(QStringLiteral("notify.sql")));
    }

    void SetUp() override {
        TPgTestServer::Instance().PointAt(FSettings);
        FNotifier = std::make_unique<TDbNotifier>(FSettings);
        FNotifier->Start();
    }

    static void Exec(const QString& sql) { TPgTestServer::Instance().ExecAsSuperuser(sql); }

    TDbConnection FSettings;
    std::unique_ptr<TDbNotifier> FNotifier;
};

TEST_F(DbNotifier, ChangesOfCommandsAndBearingsEachGiveOneSignal) {
    struct TCase {
        const char* Name;
        const char* Sql;
    };
    const TCase cases[] = {
        {"bearing inserted",
         "INSERT INTO lodvar.lodset (id_comset, id_arm, date, time, arm_name, lodvar) "
         "SELECT c.id, l.id_arm, c.date, c.time, l.arm_name, 42 FROM lodvar.comset c "
         "JOIN lodvar.lodset l ON l.id_comset = c.id LIMIT 1"},
        {"bearing changed", "UPDATE lodvar.lodset SET note = 'live' WHERE lodvar = 42"},
        {"bearing removed", "DELETE FROM lodvar.lodset WHERE lodvar = 42"},
        {"command changed", "UPDATE lodvar.comset SET note = note"},
        {"explicit notification", "NOTIFY lodvar_changes"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        QSignalSpy changed(FNotifier.get(), &TDbNotifier::Changed);
        Exec(QString::fromUtf8(c.Sql));
        EXPECT_TRUE(changed.wait(DeadlineMs));
        QTest::qWait(SettleMs);
        EXPECT_EQ(changed.count(), 1);
    }
}

TEST_F(DbNotifier, BurstOfAHundredGivesAtMostTwoSignals) {
    QSignalSpy changed(FNotifier.get(), &TDbNotifier::Changed);
    const qint64 before = FNotifier->ReceivedCount();
    // Separate statements (not one transaction, which the server would fold into one).
    for (int i = 0; i < 100; ++i)
        Exec(QStringLiteral("SELECT pg_notify('lodvar_changes', '%1')").arg(i));
    ASSERT_TRUE(changed.wait(DeadlineMs));
    QTest::qWait(SettleMs);
    EXPECT_GE(changed.count(), 1);
    EXPECT_LE(changed.count(), 2);
    EXPECT_EQ(FNotifier->ReceivedCount() - before, 100);
}

TEST_F(DbNotifier, OtherChannelsAndReadsGiveNothing) {
    QSignalSpy changed(FNotifier.get(), &TDbNotifier::Changed);
    Exec(QStringLiteral("NOTIFY other_channel"));
    Exec(QStringLiteral("SELECT count(*) FROM lodvar.lodset"));
    EXPECT_FALSE(changed.wait(DeadlineMs));
}

TEST_F(DbNotifier, DroppedConnectionIsReportedOnceAndListenedToAgain) {
    QSignalSpy lost(FNotifier.get(), &TDbNotifier::Lost);
    QSignalSpy changed(FNotifier.get(), &TDbNotifier::Changed);
    const QString pid = TPgTestServer::Instance().QueryValueAsSuperuser(QStringLiteral(
        "SELECT pid FROM pg_stat_activity WHERE query ILIKE 'LISTEN%' AND usename = 'lodvar'"));
    ASSERT_FALSE(pid.isEmpty());
    TPgTestServer::Instance().TerminateBackend(pid.toInt());
    ASSERT_TRUE(lost.wait(DeadlineMs));
    QTest::qWait(SettleMs);
    EXPECT_EQ(lost.count(), 1);
    EXPECT_FALSE(FNotifier->Listening());

    FNotifier->Start();
    ASSERT_TRUE(FNotifier->Listening());
    Exec(QStringLiteral("NOTIFY lodvar_changes"));
    EXPECT_TRUE(changed.wait(DeadlineMs));
}

TEST_F(DbNotifier, UnreachableServerRaisesAndLeavesItStopped) {
    TDbConnection nowhere;
    TPgTestServer::Instance().PointAt(nowhere);
    nowhere.SetPassword(QStringLiteral("wrong password"));
    TDbNotifier notifier(nowhere);
    EXPECT_THROW(notifier.Start(), EDatabaseError);
    EXPECT_FALSE(notifier.Listening());
}

} // namespace
