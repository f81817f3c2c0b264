// The main window's live mode on the test database: a notification is one refresh, a
// burst at most two, polling finds a change without the trigger, a refresh keeps what
// the operator is doing, the map hears only of changed selected rows, and a lost server
// ends in the status bar, not in message boxes.
#include "PgTestServer.h"
#include "data/uDMQueries.h"
#include "data/uDbNotifier.h"
#include "platform/MessageBox.h"
#include "ui/LiveRefresh.h"
#include "ui/grid/Grid.h"
#include "ui/grid/GroupingModel.h"
#include "ui/ribbon/RibbonEdits.h"
#include "ui/ufrmMain.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QMenu>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>

namespace {

// "Within a second" is a bound on the wait for the event, never a measured time.
constexpr int DeadlineMs = 1000;
constexpr int SettleMs = 700; // time in which an extra, wrong refresh would show up

const char* const InsertBearing =
    "INSERT INTO lodvar.lodset (id, id_comset, id_arm, date, time, arm_name, lodvar, note) "
    "VALUES (%1, 1, 1, '2026-11-01', '08:09:00', 'АРМ-Alpha', 12, 'live')";

class LiveRefresh : public testing::Test {
protected:
    static void SetUpTestSuite() { TPgTestServer::Instance(); }

    void SetUp() override {
        TPgTestServer& server = TPgTestServer::Instance();
        server.ReloadFixtures();
        server.ExecFileAsSuperuser(TPgTestServer::DbFile(QStringLiteral("notify.sql")));
        ASSERT_TRUE(FFolder.isValid());
        FPrevious = QDir::currentPath();
        QDir::setCurrent(FFolder.path());
        FDm = std::make_unique<TDMQueries>();
        server.PointAt(*FDm->cnn);
        FDm->cnn->SetLocalFailover(true);
        FWindow = std::make_unique<TfrmMain>(*FDm);
        FWindow->edDateBegin->SetEditValue(QDateTime(QDate(2026, 10, 1), QTime(0, 0)));
        FWindow->edDateEnd->SetEditValue(QDateTime(QDate(2026, 11, 30), QTime(0, 0)));
        FWindow->actRefreshCommandsExecute();
        FocusCommand(1);
        ASSERT_EQ(Lodvars().model()->rowCount(), 3);
    }

    void TearDown() override {
        Exec(QStringLiteral("ALTER ROLE lodvar LOGIN"));
        FWindow.reset();
        FDm.reset();
        QDir::setCurrent(FPrevious);
        TPgTestServer::Instance().ReloadFixtures();
    }

    TLiveRefresh& Live() const { return *FWindow->FLiveRefresh; }
    TGridView& Commands() const { return *FWindow->tvCommands; }
    TGridView& Lodvars() const { return *FWindow->tvLodvars; }

    void FocusCommand(int id) {
        TGridView& view = Commands();
        for (int r = 0; r < view.Columns().rowCount(); ++r)
            if (view.Columns().FieldValue(r, QStringLiteral("_id")).toInt() == id) {
                view.FocusSourceRow(r);
                return;
            }
        FAIL() << "command " << id << " is not in the grid";
    }

    // Switches the live mode on and waits for its first look at the database.
    void SwitchOn() {
        FWindow->cbLiveUpdate->setChecked(true);
        ASSERT_TRUE(Live().Enabled());
        ASSERT_TRUE(Live().Notifier().Listening());
    }

    static int FieldOf(const TGridView& view, int sourceRow, const char* field) {
        return view.Columns().FieldValue(sourceRow, QString::fromLatin1(field)).toInt();
    }

    QList<int> SelectedLodvarIds() const {
        QList<int> ids;
        for (int row : Lodvars().SelectedSourceRows())
            ids << FieldOf(Lodvars(), row, "id");
        std::sort(ids.begin(), ids.end());
        return ids;
    }

    int LodvarRowOf(int id) const {
        for (int r = 0; r < Lodvars().Columns().rowCount(); ++r)
            if (FieldOf(Lodvars(), r, "id") == id)
                return r;
        return -1;
    }

    void SelectLodvars(const QList<int>& ids) {
        QItemSelection selection;
        for (int id : ids) {
            const QModelIndex index = Lodvars().IndexOfSourceRow(LodvarRowOf(id));
            selection.select(index, index);
        }
        Lodvars().selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect |
                                                          QItemSelectionModel::Rows);
    }

    static void Exec(const QString& sql) { TPgTestServer::Instance().ExecAsSuperuser(sql); }

    QTemporaryDir FFolder;
    QString FPrevious;
    std::unique_ptr<TDMQueries> FDm;
    std::unique_ptr<TfrmMain> FWindow;
    MessageRecorder FMessages;
};

TEST_F(LiveRefresh, OffByDefaultAndKeptInTheStateFile) {
    EXPECT_FALSE(FWindow->cbLiveUpdate->isChecked());
    EXPECT_FALSE(Live().Enabled());
    EXPECT_EQ(Live().IntervalSeconds(), TLiveRefresh::DefaultIntervalSeconds);
    // Off, the state file is the one a window without live mode writes.
    FWindow.reset();
    QFile state(QDir::current().filePath(QStringLiteral("cxPropertiesStore1")));
    ASSERT_TRUE(state.open(QIODevice::ReadOnly));
    EXPECT_FALSE(state.readAll().contains("cbLiveUpdate"));
    state.close();
    FWindow = std::make_unique<TfrmMain>(*FDm);
    EXPECT_FALSE(FWindow->cbLiveUpdate->isChecked());
    FWindow->cbLiveUpdate->setChecked(true);
    FWindow.reset();
    FWindow = std::make_unique<TfrmMain>(*FDm);
    EXPECT_TRUE(FWindow->cbLiveUpdate->isChecked());
}

TEST_F(LiveRefresh, IntervalComesFromTheMainSettingsFile) {
    struct TCase {
        const char* Name;
        const char* Ini;
        int Seconds;
    };
    const TCase cases[] = {
        {"set", "[LIVE]\nINTERVAL=3\n", 3},
        {"absent", "[DEBUG]\nDEBUG=0\n", 10},
        {"zero", "[LIVE]\nINTERVAL=0\n", 10},
        {"negative", "[LIVE]\nINTERVAL=-5\n", 10},
        {"not a number", "[LIVE]\nINTERVAL=soon\n", 10},
    };
    for (const TCase& c : cases) {
        QFile ini(QDir::current().filePath(QStringLiteral("lodvar.ini")));
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ini.write(c.Ini);
        ini.close();
        FWindow.reset();
        FWindow = std::make_unique<TfrmMain>(*FDm);
        EXPECT_EQ(FWindow->FLiveRefresh->IntervalSeconds(), c.Seconds) << c.Name;
    }
}

TEST_F(LiveRefresh, NotificationGivesExactlyOneRefreshWithTheNewRowMarked) {
    SwitchOn();
    QSignalSpy refreshed(&Live(), &TLiveRefresh::Refreshed);
    QTest::qWait(SettleMs);
    refreshed.clear();
    Exec(QString::fromUtf8(InsertBearing).arg(200));
    ASSERT_TRUE(refreshed.wait(DeadlineMs));
    QTest::qWait(SettleMs);
    EXPECT_EQ(refreshed.count(), 1);
    ASSERT_EQ(Lodvars().model()->rowCount(), 4);
    const int row = LodvarRowOf(200);
    EXPECT_TRUE(Live().IsMarked(Lodvars(), row));
    EXPECT_TRUE(Lodvars().CellColours(Lodvars().IndexOfSourceRow(row)).Brush.isValid());
    EXPECT_FALSE(Lodvars().CellColours(Lodvars().IndexOfSourceRow(LodvarRowOf(1))).Brush.isValid());
    EXPECT_FALSE(Live().IsMarked(Lodvars(), LodvarRowOf(1)));
    // Selected rows keep the grid's highlight, arrived or not.
    SelectLodvars({1, 200});
    for (int id : {1, 200})
        EXPECT_EQ(Lodvars().CellColours(Lodvars().IndexOfSourceRow(LodvarRowOf(id))).Brush,
                  Lodvars().palette().color(QPalette::Highlight))
            << id;
    EXPECT_TRUE(FMessages.Messages().isEmpty());
}

TEST_F(LiveRefresh, BurstOfAHundredGivesAtMostTwoRefreshes) {
    SwitchOn();
    QTest::qWait(SettleMs);
    const int before = Live().RefreshCount();
    QSignalSpy refreshed(&Live(), &TLiveRefresh::Refreshed);
    for (int i = 0; i < 100; ++i)
        Exec(QString::fromUtf8(InsertBearing).arg(300 + i));
    ASSERT_TRUE(refreshed.wait(DeadlineMs));
    QTest::qWait(SettleMs);
    EXPECT_GE(Live().RefreshCount() - before, 1);
    EXPECT_LE(Live().RefreshCount() - before, 2);
    EXPECT_EQ(Lodvars().model()->rowCount(), 103);
}

TEST_F(LiveRefresh, RefreshWaitsWhileAPopupIsOpen) {
    FWindow->show(); // refreshes the commands: the focus goes back to command 1
    FocusCommand(1);
    SwitchOn();
    QTest::qWait(SettleMs);
    QSignalSpy refreshed(&Live(), &TLiveRefresh::Refreshed);
    QMenu* menu = Lodvars().CreateHeaderMenu(0, FWindow.get());
    menu->popup(FWindow->mapToGlobal(QPoint(100, 100)));
    ASSERT_TRUE(QTest::qWaitFor([] { return QApplication::activePopupWidget() != nullptr; }));
    Exec(QString::fromUtf8(InsertBearing).arg(205));
    EXPECT_FALSE(refreshed.wait(DeadlineMs));
    EXPECT_EQ(LodvarRowOf(205), -1);
    menu->close();
    delete menu;
    EXPECT_TRUE(refreshed.wait(DeadlineMs));
    EXPECT_NE(LodvarRowOf(205), -1);
}

TEST_F(LiveRefresh, PollingFindsANewBearingWithoutTheTrigger) {
    Exec(QStringLiteral("DROP TRIGGER lodset_notify ON lodvar.lodset; "
                        "DROP TRIGGER comset_notify ON lodvar.comset"));
    Live().SetIntervalSeconds(1);
    SwitchOn();
    QTest::qWait(SettleMs);
    QSignalSpy refreshed(&Live(), &TLiveRefresh::Refreshed);
    Exec(QString::fromUtf8(InsertBearing).arg(201));
    // One interval, plus the time of the refresh itself.
    ASSERT_TRUE(refreshed.wait(1000 + DeadlineMs));
    EXPECT_NE(LodvarRowOf(201), -1);
}

TEST_F(LiveRefresh, RefreshKeepsFocusSelectionGroupingFilterAndExpandedGroups) {
    Lodvars().GroupBy(Lodvars().Columns().ColumnOfField(QStringLiteral("arm_name")));
    Commands().SetFindText(QStringLiteral("0"));
    const int focusedCommand = FieldOf(Commands(), Commands().FocusedSourceRow(), "_id");
    SelectLodvars({1, 3});
    const TGroupingModel& groups = Lodvars().Grouping();
    Lodvars().collapseAll();
    Lodvars().expand(groups.index(0, 0));
    Live().Refresh(); // the first look: what "unchanged" means
    Lodvars().collapseAll();
    Lodvars().expand(groups.index(0, 0));
    SelectLodvars({1, 3});

    // Adds, changes and removes rows of the focused command and adds a command.
    Exec(QString::fromUtf8(InsertBearing).arg(202));
    Exec(QStringLiteral("UPDATE lodvar.lodset SET note = 'змінено' WHERE id = 2"));
    Exec(QStringLiteral("INSERT INTO lodvar.comset (id, id_arm, date, time, day_num) "
                        "VALUES (210, 1, '2026-11-05', '09:00', 9)"));
    ASSERT_TRUE(Live().Refresh());

    EXPECT_EQ(FieldOf(Commands(), Commands().FocusedSourceRow(), "_id"), focusedCommand);
    EXPECT_EQ(SelectedLodvarIds(), (QList<int>{1, 3}));
    EXPECT_EQ(Lodvars().GroupColumns().size(), 1);
    EXPECT_EQ(Commands().SearchText(), QStringLiteral("0"));
    EXPECT_TRUE(Lodvars().isExpanded(groups.index(0, 0)));
    EXPECT_FALSE(Lodvars().isExpanded(groups.index(1, 0)));
    EXPECT_EQ(Lodvars().Columns().rowCount(), 4);

    Exec(QStringLiteral("DELETE FROM lodvar.lodset WHERE id IN (2, 202)"));
    ASSERT_TRUE(Live().Refresh());
    EXPECT_EQ(SelectedLodvarIds(), (QList<int>{1, 3}));
    EXPECT_EQ(Lodvars().Columns().rowCount(), 2);
    EXPECT_TRUE(FMessages.Messages().isEmpty());
}

TEST_F(LiveRefresh, MapHearsOnlyOfChangedSelectedRows) {
    SelectLodvars({1});
    Live().Refresh();
    QSignalSpy selection(&Lodvars(), &TGridView::SelectionChanged);
    struct TCase {
        const char* Name;
        const char* Sql;
        int Signals;
    };
    const TCase cases[] = {
        {"unselected row changed", "UPDATE lodvar.lodset SET note = 'x' WHERE id = 2", 0},
        {"row added",
         "INSERT INTO lodvar.lodset (id, id_comset, id_arm, date, time, arm_name, "
         "lodvar) VALUES (203, 1, 1, '2026-11-01', '08:09', 'АРМ-Alpha', 1)",
         0},
        {"selected row changed", "UPDATE lodvar.lodset SET lodvar = 46 WHERE id = 1", 1},
        {"nothing changed", "SELECT 1", 0},
    };
    for (const TCase& c : cases) {
        selection.clear();
        Exec(QString::fromUtf8(c.Sql));
        Live().Refresh();
        EXPECT_EQ(selection.count(), c.Signals) << c.Name;
        EXPECT_EQ(SelectedLodvarIds(), QList<int>{1}) << c.Name;
    }
}

TEST_F(LiveRefresh, LostServerWaitsInTheStatusBarWithoutMessageBoxes) {
    SwitchOn();
    QTest::qWait(SettleMs);
    QSignalSpy lost(&Live().Notifier(), &TDbNotifier::Lost);
    // The server goes away for the client: its sessions end and no new one is let in.
    Exec(QStringLiteral("ALTER ROLE lodvar NOLOGIN; SELECT pg_terminate_backend(pid) FROM "
                        "pg_stat_activity WHERE usename = 'lodvar'"));
    ASSERT_TRUE(lost.wait(DeadlineMs));
    QTest::qWait(SettleMs); // the live mode's own attempt after the loss
    for (int i = 0; i < 3; ++i)
        EXPECT_FALSE(Live().Refresh());
    EXPECT_EQ(FWindow->statusBar()->currentMessage(), TLiveRefresh::WaitingText);
    EXPECT_FALSE(Live().Notifier().Listening());
    EXPECT_LE(FMessages.Messages().size(), 1);

    // The server is back: the next refresh reconnects, clears the text, listens again and
    // loads what arrived meanwhile.
    Exec(QStringLiteral("ALTER ROLE lodvar LOGIN"));
    Exec(QString::fromUtf8(InsertBearing).arg(204));
    EXPECT_TRUE(Live().Refresh());
    EXPECT_TRUE(FWindow->statusBar()->currentMessage().isEmpty());
    EXPECT_TRUE(Live().Notifier().Listening());
    EXPECT_NE(LodvarRowOf(204), -1);
    EXPECT_LE(FMessages.Messages().size(), 1);
}

} // namespace
