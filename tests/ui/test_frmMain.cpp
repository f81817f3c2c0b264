// The main window on the test database: the first run, restored dates, toggles and panel
// heights, the query mode across refreshes and restarts, the loads of a focused command,
// the colouring of commands, the grouping toggles, the bearing distance and every failure
// message, each with what remains after it.
#include "PgTestServer.h"
#include "data/uDMQueries.h"
#include "platform/MessageBox.h"
#include "ui/grid/Grid.h"
#include "ui/grid/GroupByBox.h"
#include "ui/map/WebMap.h"
#include "ui/ribbon/Ribbon.h"
#include "ui/ribbon/RibbonEdits.h"
#include "ui/uPropertiesStore.h"
#include "ui/ufrmMain.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QSplitter>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>
#include <optional>

namespace {

const QDate RangeBegin(2026, 10, 1);
const QDate RangeEnd(2026, 11, 30);

class frmMain : public testing::Test {
protected:
    static void SetUpTestSuite() { TPgTestServer::Instance(); }

    void SetUp() override {
        ASSERT_TRUE(FFolder.isValid());
        FPrevious = QDir::currentPath();
        QDir::setCurrent(FFolder.path());
        NewSession();
    }

    void TearDown() override {
        FWindow.reset();
        FDm.reset();
        QDir::setCurrent(FPrevious);
    }

    // A new process as far as the window can tell: new queries, a new window; the state
    // file, when given, replaces the one the former window wrote.
    void NewSession(const std::optional<QString>& state = std::nullopt) {
        FWindow.reset();
        if (state)
            WriteState(*state);
        FDm = std::make_unique<TDMQueries>();
        TPgTestServer::Instance().PointAt(*FDm->cnn);
        FWindow = std::make_unique<TfrmMain>(*FDm);
        FWindow->resize(1229, 912);
    }

    void WriteState(const QString& text) {
        QFile file(QDir::current().filePath(QStringLiteral("cxPropertiesStore1")));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text.toUtf8());
    }

    QByteArray ReadStateBytes() const {
        QFile file(QDir::current().filePath(QStringLiteral("cxPropertiesStore1")));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    QString ReadState() const { return QString::fromUtf8(ReadStateBytes()); }

    static QString StateWithDates() {
        return QStringLiteral("[Main]\nVersion=2\n[edDateBegin: TNullableDateEdit]\n"
                              "EditValue=2026-10-01 00:00:00\n"
                              "[edDateEnd: TNullableDateEdit]\nEditValue=2026-11-30 00:00:00\n");
    }

    void SetDates() {
        FWindow->edDateBegin->SetEditValue(QDateTime(RangeBegin, QTime(0, 0)));
        FWindow->edDateEnd->SetEditValue(QDateTime(RangeEnd, QTime(0, 0)));
    }

    // The "_id" of the commands in the grid's order.
    QList<int> CommandIds() const {
        QList<int> ids;
        TGridView& view = *FWindow->tvCommands;
        for (int r = 0; r < view.model()->rowCount(); ++r)
            ids << view.Columns()
                       .FieldValue(view.SourceRow(view.model()->index(r, 0)), QStringLiteral("_id"))
                       .toInt();
        return ids;
    }

    void FocusCommand(int id) {
        TGridView& view = *FWindow->tvCommands;
        for (int r = 0; r < view.Columns().rowCount(); ++r)
            if (view.Columns().FieldValue(r, QStringLiteral("_id")).toInt() == id) {
                view.FocusSourceRow(r);
                return;
            }
        FAIL() << "command " << id << " is not in the grid";
    }

    void BreakConnection() {
        FDm->cnn->SetConnected(false);
        FDm->cnn->SetPortNumber(1);
    }

    QTemporaryDir FFolder;
    QString FPrevious;
    std::unique_ptr<TDMQueries> FDm;
    std::unique_ptr<TfrmMain> FWindow;
    MessageRecorder FMessages;
};

TEST_F(frmMain, ComponentsCarryTheirDesignNamesCaptionsAndInitialValues) {
    EXPECT_EQ(FWindow->objectName(), QStringLiteral("frmMain"));
    EXPECT_EQ(FWindow->windowTitle(), QStringLiteral("Lodvar"));
    for (const char* name : {"dxRibbon1",
                             "pnlPageControl",
                             "pageCntrl",
                             "pageInterception",
                             "cxSplitter2",
                             "dxPanel1",
                             "pnlCommandsAndLodvars",
                             "pnlCommands",
                             "cxSplitter4",
                             "pnlLodvars",
                             "cxSplitter1",
                             "pnlIntersections",
                             "cxLabel1",
                             "cxLabel2",
                             "cxLabel3",
                             "gridCommands",
                             "tvCommands",
                             "gridLodvars",
                             "tvLodvars",
                             "gridInterceptions",
                             "tvIntersections",
                             "edDateBegin",
                             "edDateEnd",
                             "actRefreshCommands",
                             "cbGroupCommands",
                             "cbGroupLodvars",
                             "cbGroupIntersections",
                             "rbgComandsQueryMode",
                             "edLodvarDist",
                             "cbShowUnits",
                             "cbShowIntersectionInfo",
                             "actCenterMap",
                             "alMain",
                             "cxPropertiesStore1"})
        EXPECT_NE(FWindow->findChild<QObject*>(QString::fromLatin1(name)), nullptr) << name;
    EXPECT_EQ(FWindow->dxRibbon1->count(), 1);
    EXPECT_EQ(FWindow->dxRibbon1->tabText(0), QStringLiteral("Команди-Пеленги-Засічки"));
    QStringList groups;
    for (const TRibbonGroup* group : FWindow->dxRibbon1->widget(0)->findChildren<TRibbonGroup*>())
        groups << group->Caption();
    EXPECT_EQ(groups, (QStringList{QStringLiteral("Налаштування"), QStringLiteral("Команди"),
                                   QStringLiteral("Пеленги"), QStringLiteral("Засічки")}));
    EXPECT_EQ(FWindow->actRefreshCommands->text(), QStringLiteral("Оновити"));
    EXPECT_EQ(FWindow->actCenterMap->text(), QStringLiteral("Центрувати мапу"));
    EXPECT_FALSE(FWindow->actRefreshCommands->icon().isNull());
    EXPECT_EQ(FWindow->cbShowUnits->text(), QStringLiteral("Показати МРПК"));
    EXPECT_EQ(FWindow->edDateBegin->toolTip(), QStringLiteral("Початкова дата"));
    EXPECT_EQ(FWindow->edLodvarDist->text(), QStringLiteral("2000000"));
    EXPECT_FALSE(FWindow->rbgComandsQueryMode->EditValue().isValid());
    EXPECT_EQ(FWindow->pageCntrl->currentWidget(), FWindow->pageInterception);
    // The distance edit shows negative numbers in parentheses, and reads them back.
    FWindow->edLodvarDist->setValue(-1500);
    EXPECT_EQ(FWindow->edLodvarDist->text(), QStringLiteral("(1500)"));
    FWindow->edLodvarDist->findChild<QLineEdit*>()->setText(QStringLiteral("(250)"));
    FWindow->edLodvarDist->interpretText();
    EXPECT_EQ(FWindow->edLodvarDist->value(), -250);

    // Columns as designed: order, captions, shown or hidden.
    const TGridColumnsModel& commands = FWindow->tvCommands->Columns();
    ASSERT_EQ(commands.columnCount(), 12);
    EXPECT_EQ(commands.Column(1).FieldName, QStringLiteral("_lodvar_cnt"));
    EXPECT_EQ(commands.Column(1).Caption, QStringLiteral("Пеленгів:"));
    EXPECT_FALSE(commands.Column(2).Visible);
    EXPECT_EQ(FWindow->tvLodvars->Columns().columnCount(), 14);
    EXPECT_EQ(FWindow->tvIntersections->Columns().columnCount(), 29);
    EXPECT_EQ(FWindow->tvIntersections->Columns().Column(6).MinWidth, 90);
}

TEST_F(frmMain, FirstRunFailsWithEmptyDatesThenLoadsWithoutAMode) {
    EXPECT_TRUE(FWindow->edDateBegin->IsEmpty());
    EXPECT_EQ(FWindow->edDateBegin->text(), TNullableDateEdit::EmptyText);
    for (QCheckBox* box :
         {FWindow->cbGroupCommands, FWindow->cbGroupLodvars, FWindow->cbGroupIntersections,
          FWindow->cbShowUnits, FWindow->cbShowIntersectionInfo})
        EXPECT_TRUE(box->isChecked()) << box->objectName().toStdString();
    FWindow->show();
    EXPECT_EQ(FMessages.Messages(),
              QStringList{QStringLiteral("Error while fetching \"commands\":\r"
                                         "\"Початкова дата\" is empty: enter a date")});
    EXPECT_FALSE(FDm->qCommands->Active());
    EXPECT_EQ(FWindow->tvCommands->model()->rowCount(), 0);
    EXPECT_EQ(FWindow->tvCommands->EmptyText(), QStringLiteral("<Немає даних>"));
    // Controls and views are back in every case.
    EXPECT_FALSE(FDm->qCommands->ControlsDisabled());
    EXPECT_FALSE(FDm->qLodvarsByCommand->ControlsDisabled());
    EXPECT_FALSE(FWindow->tvCommands->IsUpdating());
    EXPECT_FALSE(FWindow->tvLodvars->IsUpdating());

    FMessages.Clear();
    SetDates();
    FWindow->actRefreshCommands->trigger();
    EXPECT_TRUE(FMessages.Messages().isEmpty());
    EXPECT_TRUE(FDm->qCommands->ParamByName(QStringLiteral("CommandsQueryMode")).IsNull());
    EXPECT_EQ(CommandIds(), (QList<int>{4, 3, 2, 1, 5}));
    // The first command (id 4, two bearings) is focused and its details are loaded.
    EXPECT_EQ(FWindow->tvCommands->FocusedSourceRow(), 0);
    EXPECT_EQ(FWindow->tvLodvars->model()->rowCount(), 2);
    EXPECT_EQ(FWindow->tvIntersections->model()->rowCount(), 1);
}

TEST_F(frmMain, RestoredDatesAreUsedByTheFirstRefresh) {
    NewSession(StateWithDates());
    EXPECT_EQ(FWindow->edDateBegin->EditValue(), QVariant(QDateTime(RangeBegin, QTime(0, 0))));
    FWindow->show();
    EXPECT_TRUE(FMessages.Messages().isEmpty()) << FMessages.Messages().join(u'|').toStdString();
    EXPECT_EQ(CommandIds(), (QList<int>{4, 3, 2, 1, 5}));
    EXPECT_EQ(FWindow->LodvarDistance(), 2000000.0);
}

TEST_F(frmMain, QueryModeIsKeptAcrossRefreshesAndForgottenOnRestart) {
    NewSession(StateWithDates());
    FWindow->show();
    FWindow->rbgComandsQueryMode->SetEditValue(3); // "Команди без пеленгів"
    EXPECT_EQ(FWindow->CommandsQueryMode(), 3);
    EXPECT_EQ(CommandIds(), (QList<int>{2, 5}));
    FWindow->edDateBegin->SetEditValue(QDateTime(QDate(2026, 11, 1), QTime(0, 0)));
    FWindow->actRefreshCommands->trigger();
    EXPECT_EQ(CommandIds(), QList<int>{2});
    FWindow->rbgComandsQueryMode->SetEditValue(2);
    EXPECT_EQ(CommandIds(), (QList<int>{4, 3, 1}));

    NewSession();
    FWindow->show();
    EXPECT_EQ(FWindow->CommandsQueryMode(), 0);
    EXPECT_FALSE(FWindow->rbgComandsQueryMode->EditValue().isValid());
    EXPECT_TRUE(FDm->qCommands->ParamByName(QStringLiteral("CommandsQueryMode")).IsNull());
    // The dates of the last run came back, the mode did not.
    EXPECT_EQ(CommandIds(), (QList<int>{4, 3, 2, 1}));
    EXPECT_TRUE(FMessages.Messages().isEmpty()) << FMessages.Messages().join(u'|').toStdString();
}

TEST_F(frmMain, FocusingACommandLoadsItsIntersectionsThenItsBearings) {
    NewSession(StateWithDates());
    FWindow->show();
    // Which query opened, in order, with how many rows.
    QStringList opened;
    const QObject scope; // ends the logging before `opened` goes
    const auto log = [&opened, &scope](const char* name, TDbQuery* q) {
        QObject::connect(q, &TDbQuery::DataSetChanged, &scope, [&opened, name, q] {
            if (q->Active() && !q->ParamByName(QStringLiteral("command_id")).IsNull())
                opened << QStringLiteral("%1 %2").arg(QLatin1String(name)).arg(q->RecordCount());
        });
    };
    log("intersections", FDm->qIntersections);
    log("bearings", FDm->qLodvarsByCommand);

    struct TCase {
        int Command;
        std::string Opened;
        int Bearings;
        int Intersections;
    };
    // The bearings follow the focused command first (its master link leaves none), then
    // the handler loads the intersections and the bearings of the command, in that order.
    const TCase cases[] = {
        {1, "bearings 0|intersections 3|bearings 3", 3, 3},
        // No bearings: nothing is loaded, both grids are empty.
        {2, "bearings 0", 0, 0},
        {4, "bearings 0|intersections 1|bearings 2", 2, 1},
    };
    for (const TCase& c : cases) {
        opened.clear();
        FocusCommand(c.Command);
        EXPECT_EQ(opened.join(u'|').toStdString(), c.Opened) << c.Command;
        EXPECT_EQ(FWindow->tvLodvars->model()->rowCount(), c.Bearings) << c.Command;
        EXPECT_EQ(FWindow->tvIntersections->model()->rowCount(), c.Intersections) << c.Command;
        EXPECT_EQ(FDm->qIntersections->Active(), c.Intersections > 0) << c.Command;
    }
    EXPECT_TRUE(FMessages.Messages().isEmpty());
}

TEST_F(frmMain, CommandsWithBearingsAreGreenAndTheSelectedRowIsHighlighted) {
    NewSession(StateWithDates());
    FWindow->show();
    FocusCommand(2);
    TGridView& view = *FWindow->tvCommands;
    const QColor highlight = FWindow->palette().color(QPalette::Highlight);
    struct TCase {
        int Command;
        QColor Brush;
        QColor Font;
    };
    const TCase cases[] = {
        {1, QColor(0, 128, 0), QColor()},      // three bearings
        {3, QColor(0, 128, 0), QColor()},      // two bearings
        {5, QColor(), QColor()},               // none: the grid's colours
        {2, highlight, QColor(255, 255, 255)}, // the selected row, without bearings
    };
    for (const TCase& c : cases) {
        QModelIndex index;
        for (int r = 0; r < view.Columns().rowCount(); ++r)
            if (view.Columns().FieldValue(r, QStringLiteral("_id")).toInt() == c.Command)
                index = view.IndexOfSourceRow(r);
        for (int column : {0, 3, 8}) {
            const TGridView::TCellColours colours = view.CellColours(index.siblingAtColumn(column));
            EXPECT_EQ(colours.Brush, c.Brush) << c.Command << " column " << column;
            EXPECT_EQ(colours.Font, c.Font) << c.Command << " column " << column;
        }
    }
    // The selected row with bearings shows the highlight too, not green.
    FocusCommand(1);
    const QModelIndex selected = view.currentIndex();
    EXPECT_EQ(view.CellColours(selected).Brush, highlight);
    EXPECT_EQ(view.CellColours(selected).Font, QColor(255, 255, 255));
}

TEST_F(frmMain, UncheckedGroupingToggleComesBackWithItsBoxStillShown) {
    NewSession(QStringLiteral("[cbGroupCommands: QCheckBox]\nEditValue=\"False\"\n"
                              "[cbGroupLodvars: QCheckBox]\nEditValue=\"True\"\n"));
    FWindow->show();
    EXPECT_FALSE(FWindow->cbGroupCommands->isChecked());
    EXPECT_TRUE(FWindow->tvCommands->GroupByBox());
    EXPECT_FALSE(FWindow->gridCommands->GroupByBoxWidget().isHidden());
    FWindow->cbGroupCommands->click(); // to checked: nothing changes
    EXPECT_TRUE(FWindow->tvCommands->GroupByBox());
    FWindow->cbGroupCommands->click(); // to unchecked: the box goes
    EXPECT_FALSE(FWindow->tvCommands->GroupByBox());
    EXPECT_TRUE(FWindow->gridCommands->GroupByBoxWidget().isHidden());
    // Each toggle acts on its own grid.
    FWindow->cbGroupIntersections->click();
    EXPECT_FALSE(FWindow->tvIntersections->GroupByBox());
    EXPECT_TRUE(FWindow->tvLodvars->GroupByBox());
    FWindow->cbGroupLodvars->click();
    EXPECT_FALSE(FWindow->tvLodvars->GroupByBox());
}

TEST_F(frmMain, BearingDistanceIsTwoMillionAtEveryStart) {
    FWindow->edLodvarDist->setValue(5000);
    NewSession();
    EXPECT_EQ(FWindow->edLodvarDist->value(), TfrmMain::InitialLodvarDistance);
    FWindow->show();
    EXPECT_EQ(FWindow->LodvarDistance(), 2000000.0);
    EXPECT_FALSE(ReadState().contains(QStringLiteral("edLodvarDist")));
}

TEST_F(frmMain, SelectionsAndMapControlsReachTheMap) {
    NewSession(StateWithDates());
    FWindow->show();
    const TWebMap& map = *FWindow->tmsMap;
    // Shown with "Показати МРПК" on: the three fixture stations.
    const auto tags = [&map] {
        QList<int> list;
        for (const auto& marker : map.Markers)
            list << marker->DataInteger();
        return list;
    };
    EXPECT_EQ(tags(), QList<int>({555, 555, 555}));

    FocusCommand(1);
    FWindow->edLodvarDist->setValue(1000);
    EXPECT_EQ(FWindow->LodvarDistance(), 1000.0);
    FWindow->tvLodvars->selectAll();
    EXPECT_EQ(tags(), QList<int>({0, 0, 0})); // a station marker a bearing, units gone
    ASSERT_EQ(map.Polylines.Count(), 3);
    EXPECT_EQ(map.Polylines[0].DataInteger(), 6);

    FWindow->tvIntersections->selectAll();
    EXPECT_EQ(tags(), QList<int>({555, 555, 555, 0, 0, 0})); // units, then three fixes
    EXPECT_EQ(map.Polylines.Count(), 6);

    FWindow->cbShowUnits->setChecked(false);
    for (const auto& marker : map.Markers)
        EXPECT_EQ(marker->Visible(), marker->DataInteger() != 555);
    FWindow->actCenterMap->trigger();
    EXPECT_EQ(map.Markers.Count(), 6);
    EXPECT_TRUE(FMessages.Messages().isEmpty());
}

TEST_F(frmMain, StateFileRoundTripsTogglesDatesAndPanelHeights) {
    FWindow->show();
    SetDates();
    FWindow->cbShowUnits->setChecked(false);
    FWindow->cbGroupLodvars->setChecked(false);
    FWindow->splitPage->setSizes({450, 300});
    FWindow->splitCommandsAndLodvars->setSizes({220, 200});
    const int commandsAndLodvars = FWindow->pnlCommandsAndLodvars->height();
    const int commands = FWindow->pnlCommands->height();
    NewSession();

    const QString state = ReadState();
    // UTF-8 with its byte-order mark, so that the INI service reads it as UTF-8 anywhere.
    EXPECT_TRUE(ReadStateBytes().startsWith("\xEF\xBB\xBF[Main]\r\nVersion=2\r\n"));
    for (const char* line :
         {"[cbGroupCommands: QCheckBox]\r\nEditValue=\"True\"\r\n",
          "[cbGroupLodvars: QCheckBox]\r\nEditValue=\"False\"\r\n",
          "[cbShowUnits: QCheckBox]\r\nEditValue=\"False\"\r\n",
          "[edDateBegin: TNullableDateEdit]\r\nEditValue=2026-10-01 00:00:00\r\n",
          "[edDateEnd: TNullableDateEdit]\r\nEditValue=2026-11-30 00:00:00\r\n",
          "[pnlCommands: QWidget]\r\nHeight=", "[gridCommands: TGrid]\r\nHeight=",
          "[pnlLodvars: QWidget]\r\nHeight=", "[pnlIntersections: QWidget]\r\nHeight="})
        EXPECT_TRUE(state.contains(QString::fromUtf8(line))) << line;
    // The twelve properties, in their order.
    QStringList sections;
    for (const QString& l : state.split(QStringLiteral("\r\n")))
        if (l.startsWith(u'['))
            sections << l.section(u':', 0, 0).mid(1).remove(u']');
    EXPECT_EQ(sections,
              (QStringList{QStringLiteral("Main"), QStringLiteral("cbGroupCommands"),
                           QStringLiteral("cbGroupIntersections"), QStringLiteral("cbGroupLodvars"),
                           QStringLiteral("cbShowIntersectionInfo"), QStringLiteral("cbShowUnits"),
                           QStringLiteral("edDateBegin"), QStringLiteral("edDateEnd"),
                           QStringLiteral("gridCommands"), QStringLiteral("pnlCommands"),
                           QStringLiteral("pnlCommandsAndLodvars"),
                           QStringLiteral("pnlIntersections"), QStringLiteral("pnlLodvars")}));

    EXPECT_FALSE(FWindow->cbShowUnits->isChecked());
    EXPECT_FALSE(FWindow->cbGroupLodvars->isChecked());
    FWindow->show();
    EXPECT_EQ(FWindow->pnlCommandsAndLodvars->height(), commandsAndLodvars);
    EXPECT_EQ(FWindow->pnlCommands->height(), commands);
    EXPECT_EQ(CommandIds(), (QList<int>{4, 3, 2, 1, 5}));
}

TEST_F(frmMain, DamagedStateFileRestoresWhatItCan) {
    struct TCase {
        const char* Name;
        const char* Text;
    };
    const TCase cases[] = {
        {"garbage", "\x01\x02 not an ini file\n[[[\n=\n\xff\xfe"},
        {"impossible values",
         "[Main]\nVersion=2\n[cbGroupCommands: QCheckBox]\nEditValue=\"maybe\"\n"
         "[edDateBegin: TNullableDateEdit]\nEditValue=2026-02-31 00:00:00\n"
         "[edDateEnd: TNullableDateEdit]\nEditValue=yesterday\n"
         "[pnlCommands: QWidget]\nHeight=-160\n"
         "[pnlCommandsAndLodvars: QWidget]\nHeight=99999999999\n"},
        {"other version and classes",
         "[Main]\nVersion=7\n[cbShowUnits: TSomething]\nEditValue=\"False\"\n"},
    };
    for (const TCase& c : cases) {
        NewSession(QString::fromUtf8(c.Text));
        EXPECT_TRUE(FWindow->cbGroupCommands->isChecked()) << c.Name;
        EXPECT_TRUE(FWindow->cbShowUnits->isChecked()) << c.Name;
        EXPECT_TRUE(FWindow->edDateBegin->IsEmpty()) << c.Name;
        EXPECT_TRUE(FWindow->edDateEnd->IsEmpty()) << c.Name;
        FWindow->show();
        EXPECT_EQ(FWindow->pnlCommandsAndLodvars->height(), 368) << c.Name;
        EXPECT_EQ(FWindow->pnlCommands->height(), 160) << c.Name;
    }
    // Good values beside bad ones still come back.
    NewSession(QStringLiteral("[edDateBegin: TNullableDateEdit]\nEditValue=2026-10-01T00:00:00\n"
                              "[edDateEnd: TNullableDateEdit]\nEditValue=31.11.2026\n"
                              "[pnlCommands: QWidget]\nHeight=200\n"));
    EXPECT_EQ(FWindow->edDateBegin->EditValue(), QVariant(QDateTime(RangeBegin, QTime(0, 0))));
    EXPECT_TRUE(FWindow->edDateEnd->IsEmpty());
    FWindow->show();
    EXPECT_EQ(FWindow->pnlCommands->height(), 200);
}

TEST_F(frmMain, EachFailureShowsItsLabelAndLeavesTheWindowWorking) {
    NewSession(StateWithDates());
    FWindow->show();
    ASSERT_EQ(CommandIds().size(), 5);
    BreakConnection();

    FMessages.Clear();
    FWindow->actRefreshCommands->trigger();
    ASSERT_EQ(FMessages.Messages().size(), 1);
    EXPECT_TRUE(
        FMessages.Messages()[0].startsWith(QStringLiteral("Error while fetching \"commands\":\r")));
    EXPECT_GT(FMessages.Messages()[0].size(), 36) << "the error's own message follows";
    EXPECT_EQ(FWindow->tvCommands->model()->rowCount(), 0);
    EXPECT_EQ(FWindow->tvLodvars->model()->rowCount(), 0);
    EXPECT_FALSE(FDm->qIntersections->Active());
    EXPECT_FALSE(FDm->qCommands->ControlsDisabled());
    EXPECT_FALSE(FWindow->tvCommands->IsUpdating());

    FMessages.Clear();
    FWindow->rbgComandsQueryMode->SetEditValue(1);
    ASSERT_EQ(FMessages.Messages().size(), 1);
    EXPECT_TRUE(
        FMessages.Messages()[0].startsWith(QStringLiteral("Error while fetching Commands:\r")));
    EXPECT_EQ(FWindow->tvCommands->model()->rowCount(), 0);

    // The server back: the commands load; away again while moving through them.
    FDm->cnn->SetPortNumber(TPgTestServer::Instance().Port());
    FWindow->actRefreshCommands->trigger();
    ASSERT_EQ(CommandIds().size(), 5);
    BreakConnection();
    FMessages.Clear();
    FocusCommand(1);
    ASSERT_EQ(FMessages.Messages().size(), 2);
    EXPECT_TRUE(FMessages.Messages()[0].startsWith(
        QStringLiteral("Error while fetching \"intersections\":\r")));
    EXPECT_TRUE(
        FMessages.Messages()[1].startsWith(QStringLiteral("Error while fetching Lodvars:\r")));
    EXPECT_EQ(FWindow->tvIntersections->model()->rowCount(), 0);
    EXPECT_EQ(FWindow->tvLodvars->model()->rowCount(), 0);

    // And the window goes on: back again, the next command loads.
    FDm->cnn->SetPortNumber(TPgTestServer::Instance().Port());
    FMessages.Clear();
    FocusCommand(4);
    EXPECT_TRUE(FMessages.Messages().isEmpty());
    EXPECT_EQ(FWindow->tvLodvars->model()->rowCount(), 2);
}

} // namespace
