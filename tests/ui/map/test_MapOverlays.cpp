// The window's map operations over a map model (no browser), fixture grids and the real
// units query on the test server (stations Alpha (50, 30), Beta (50, 32), Gamma (49, 31)).
#include "BatchRecorder.h"
#include "FixtureGrid.h"
#include "PgTestServer.h"
#include "data/uDMQueries.h"
#include "platform/MessageBox.h"
#include "ui/map/MapOverlays.h"

#include <gtest/gtest.h>
#include <memory>

namespace {

const TCoordinate Gamma{49, 31};

QVariantMap LodvarRow(QVariant lat, QVariant lng, QVariant bearing, const QString& arm,
                      QVariant note = QStringLiteral("n")) {
    return {{QStringLiteral("unit_x_coord"), lat}, {QStringLiteral("unit_y_coord"), lng},
            {QStringLiteral("lodvar"), bearing},   {QStringLiteral("arm_name"), arm},
            {QStringLiteral("note"), note},        {QStringLiteral("id"), 1}};
}

QVariantMap IntersectionRow(TCoordinate at, TCoordinate s1, int b1, TCoordinate s2, int b2) {
    return {{QStringLiteral("i_x"), at.Latitude},
            {QStringLiteral("i_y"), at.Longitude},
            {QStringLiteral("_u1_x"), s1.Latitude},
            {QStringLiteral("_u1_y"), s1.Longitude},
            {QStringLiteral("_u2_x"), s2.Latitude},
            {QStringLiteral("_u2_y"), s2.Longitude},
            {QStringLiteral("_lodvar1"), b1},
            {QStringLiteral("_lodvar2"), b2},
            {QStringLiteral("_arm1_name"), QStringLiteral("АРМ-1")},
            {QStringLiteral("_arm2_name"), QStringLiteral("АРМ-2")},
            {QStringLiteral("_unit1_name"), QStringLiteral("Alpha")},
            {QStringLiteral("_unit2_name"), QStringLiteral("Beta")},
            {QStringLiteral("_lodvar1_note"), QStringLiteral("note1")},
            {QStringLiteral("_lodvar2_note"), QStringLiteral("n2")}};
}

class MapOverlays : public testing::Test {
protected:
    static void SetUpTestSuite() { TPgTestServer::Instance(); }

    void SetUp() override {
        TPgTestServer::Instance().PointAt(*FDm.cnn);
        FMap.SetPageLoaded();
        FLodvars.Rows = {LodvarRow(50.0, 30.0, 45, QStringLiteral("АРМ-Alpha")),
                         LodvarRow(50.0, 32.0, 315, QStringLiteral("АРМ-Beta")),
                         LodvarRow(49.0, 31.0, 0, QStringLiteral("АРМ-Gamma")),
                         LodvarRow(50.0, 30.0, 90, QStringLiteral("АРМ-Alpha"))};
        FIntersections.Rows = {IntersectionRow({50.5, 31}, {50, 30}, 45, {50, 32}, 315),
                               IntersectionRow({49.5, 31.5}, {49, 31}, 30, {50, 32}, 200)};
    }

    int Count(int tag, bool visibleOnly = false) const {
        int n = 0;
        for (const auto& m : FMap.Markers) {
            n += m->DataInteger() == tag && (!visibleOnly || m->Visible());
        }
        return n;
    }
    static TCoordinate End(const TMapPolyline& line) { return line.Coordinates().at(1); }

    TDMQueries FDm;
    TWebMap FMap;
    TBatchRecorder FPage{FMap};
    TFixtureGrid FLodvars;
    TFixtureGrid FIntersections;
    bool FShowUnits = true;
    bool FShowInfo = true;
    MessageRecorder FMessages;
    TMapOverlays FOverlays{FMap,
                           *FDm.qUnits,
                           FLodvars,
                           FIntersections,
                           [this] { return FShowUnits; },
                           [this] { return FShowInfo; }};
};

} // namespace

TEST_F(MapOverlays, FormShowPutsUnitsFitsTheAreaAndTakesTheDistance) {
    FOverlays.FormShow(2000000);
    EXPECT_EQ(Count(TMapOverlays::UnitMarkerTag), 3);
    EXPECT_EQ(FMap.Markers.Last().Title(), QStringLiteral("Gamma"));
    EXPECT_EQ(FMap.Markers.Last().IconURL(), AntennaIconURL());
    EXPECT_EQ(FMap.Markers.Last().OverlayView()->Text(), QStringLiteral("Gamma"));
    EXPECT_EQ(FPage.ViewOps().last().toArray(),
              (QJsonArray{QStringLiteral("b"), 55.15242200298276, 47.00449557216678,
                          45.3473299028322, 23.950354756230258}));
    EXPECT_EQ(FOverlays.LodvarDistance(), 2000000);
    EXPECT_TRUE(FMessages.Messages().isEmpty());
}

TEST_F(MapOverlays, BeforeTheLoadViewCallsAreDroppedAndUnitsAppearAtIt) {
    TWebMap fresh;
    TBatchRecorder page(fresh);
    TMapOverlays overlays(
        fresh, *FDm.qUnits, FLodvars, FIntersections, [] { return true; }, [] { return false; });
    overlays.FormShow(2000000);
    overlays.actCenterMapExecute();
    EXPECT_TRUE(page.Batches.isEmpty());
    fresh.SetPageLoaded();
    ASSERT_EQ(page.Batches.size(), 1);
    EXPECT_EQ(page.Last()[QStringLiteral("m")].toArray().size(), 3);
    EXPECT_TRUE(page.ViewOps().isEmpty()) << "the first view stays the default one";
    overlays.actCenterMapExecute();
    EXPECT_EQ(page.ViewOps().size(), 1) << "after the load the centre action fits the area";
}

TEST_F(MapOverlays, BearingsRedrawDrawsSelectedRowsTopToBottomAndCentresOnTheLowest) {
    FOverlays.FormShow(2000000);
    FLodvars.Selected = {2, 0, 3}; // picked out of order; 1 is not selected
    FOverlays.tvLodvarsSelectionChanged();

    EXPECT_EQ(Count(TMapOverlays::UnitMarkerTag), 0) << "units are not put back";
    ASSERT_EQ(FMap.Markers.Count(), 3);
    ASSERT_EQ(FMap.Polylines.Count(), 3);
    EXPECT_EQ(FMap.Markers[0].Title(), QStringLiteral("АРМ-Alpha | Пеленг:45 | n"));
    EXPECT_EQ(FMap.Markers[1].Title(), QStringLiteral("АРМ-Gamma | Пеленг:0 | n"));
    EXPECT_EQ(FMap.Markers[2].Coordinate().Latitude, FMap.Markers[0].Coordinate().Latitude)
        << "two bearings of one station give two markers at one place";
    EXPECT_EQ(FMap.Markers[2].Coordinate().Longitude, FMap.Markers[0].Coordinate().Longitude);
    EXPECT_EQ(FPage.ViewOps().last().toArray(), (QJsonArray{QStringLiteral("c"), 50.0, 30.0}));
    EXPECT_NEAR(End(FMap.Polylines[1]).Latitude, 49 + 17.966306, 1e-6);
    EXPECT_EQ(FMap.Markers[0].OverlayView()->Text(),
              QStringLiteral("<b><font color=\"red\">АРМ-Alpha</font></b> "
                             "Пеленг:<b>45</b>|n<br>"));
    EXPECT_EQ(FMap.UpdateCount(), 0);
}

TEST_F(MapOverlays, EveryItemHasItsTagIconColourWidthAndGeodesicFlag) {
    FLodvars.Selected = {0, 1};
    FOverlays.edLodvarDistPropertiesEditValueChanged(1000);
    FOverlays.tvLodvarsSelectionChanged();
    FIntersections.Selected = {0};
    FOverlays.tvIntersectionsSelectionChanged();
    ASSERT_EQ(FMap.Markers.Count(), 4) << "three units and one intersection";
    ASSERT_EQ(FMap.Polylines.Count(), 2) << "two lines per intersection";
    for (const auto& line : FMap.Polylines) {
        EXPECT_EQ(line->DataInteger(), TMapOverlays::LodvarLineTag);
        EXPECT_EQ(line->StrokeColor(), 0x00FF0000u);
        EXPECT_EQ(line->StrokeWidth(), 3);
        EXPECT_TRUE(line->Geodesic());
        EXPECT_FALSE(line->Closed());
        EXPECT_EQ(line->Coordinates().size(), 2);
    }
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(FMap.Markers[i].DataInteger(), 555);
    }
    const TMapMarker& fix = FMap.Markers.Last();
    EXPECT_EQ(fix.DataInteger(), 0);
    EXPECT_EQ(fix.IconURL(), PlaneIconURL());
    EXPECT_EQ(FPage.ViewOps().last().toArray(), (QJsonArray{QStringLiteral("c"), 50.5, 31.0}));
    EXPECT_EQ(fix.Title(), QStringLiteral("Alpha | АРМ-1 | Пеленг:45 | note1\r\n"
                                          "Beta | АРМ-2 | Пеленг:315 | n2"));
    EXPECT_EQ(fix.OverlayView()->Text(),
              QStringLiteral("<b><font color=\"Green\">Alpha</font></b> <b><font "
                             "color=\"red\">АРМ-1</font></b> Пеленг:<b>45</b>|note1<br>"
                             "<b><font color=\"Green\">Beta</font></b> <b><font "
                             "color=\"red\">АРМ-2</font></b> Пеленг:<b>315</b>|n2"));
    EXPECT_EQ(FMap.Polylines[0].Coordinates()[0].Longitude, 30.0) << "from station 1";
    EXPECT_EQ(FMap.Polylines[1].Coordinates()[0].Longitude, 32.0) << "from station 2";
}

TEST_F(MapOverlays, EmptySelections) {
    FOverlays.FormShow(2000000);
    const int viewOps = FPage.ViewOps().size();
    FOverlays.tvLodvarsSelectionChanged();
    EXPECT_TRUE(FMap.Markers.IsEmpty());
    EXPECT_TRUE(FMap.Polylines.IsEmpty());
    EXPECT_EQ(FPage.ViewOps().size(), viewOps) << "the view stays where it was";

    FOverlays.tvIntersectionsSelectionChanged();
    EXPECT_EQ(FMap.Markers.Count(), 3) << "only the unit markers";
    EXPECT_EQ(FPage.ViewOps().last().toArray(),
              (QJsonArray{QStringLiteral("c"), Gamma.Latitude, Gamma.Longitude}));

    FShowUnits = false;
    FOverlays.tvIntersectionsSelectionChanged();
    EXPECT_TRUE(FMap.Markers.IsEmpty());
}

TEST_F(MapOverlays, ShowUnitsToggleHidesAndPilesUpSets) {
    FOverlays.FormShow(2000000);
    FOverlays.tvLodvarsSelectionChanged();
    EXPECT_EQ(Count(555), 0);

    FShowUnits = false;
    FOverlays.cbShowUnitsPropertiesEditValueChanged();
    FShowUnits = true;
    FOverlays.cbShowUnitsPropertiesEditValueChanged();
    EXPECT_EQ(Count(555), 3) << "toggle brings them back";

    FShowUnits = false;
    FOverlays.cbShowUnitsPropertiesEditValueChanged();
    EXPECT_EQ(Count(555, true), 0);
    for (const auto& m : FMap.Markers) {
        EXPECT_FALSE(m->OverlayView()->Visible()) << "their boxes hide too";
    }
    FShowUnits = true;
    const int batches = FPage.Batches.size();
    FOverlays.cbShowUnitsPropertiesEditValueChanged();
    EXPECT_EQ(FPage.Batches.size(), batches + 1) << "one page update per toggle";
    EXPECT_EQ(Count(555), 6) << "the hidden set stays in the list";
    EXPECT_EQ(Count(555, true), 3);
}

TEST_F(MapOverlays, InfoToggleActsOnExistingBoxesOnly) {
    FLodvars.Selected = {0, 1};
    FShowInfo = false;
    FOverlays.tvLodvarsSelectionChanged();
    FShowInfo = true;
    FOverlays.cbShowIntersectionInfoPropertiesEditValueChanged();
    for (const auto& m : FMap.Markers) {
        EXPECT_EQ(m->OverlayView(), nullptr) << "no box until the next redraw";
    }
    FOverlays.tvLodvarsSelectionChanged();
    FShowInfo = false;
    FOverlays.cbShowIntersectionInfoPropertiesEditValueChanged();
    for (const auto& m : FMap.Markers) {
        ASSERT_NE(m->OverlayView(), nullptr);
        EXPECT_FALSE(m->OverlayView()->Visible());
    }
    FShowInfo = true;
    FOverlays.cbShowIntersectionInfoPropertiesEditValueChanged();
    for (const auto& m : FMap.Markers) {
        EXPECT_TRUE(m->OverlayView()->Visible());
    }
}

TEST_F(MapOverlays, DistanceAppliesToLaterRedrawsOnly) {
    struct {
        const char* name;
        double metres;
        TCoordinate end; // of the bearing 45 from Alpha (50, 30)
    } const cases[] = {
        {"2000 km", 2000000, DestinationPoint({50, 30}, 45, 2000000)},
        {"negative goes the opposite way", -500000, DestinationPoint({50, 30}, 225, 500000)},
        {"zero", 0, {50, 30}},
    };
    FLodvars.Selected = {0};
    FOverlays.edLodvarDistPropertiesEditValueChanged(1000);
    FOverlays.tvLodvarsSelectionChanged();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const TCoordinate before = End(FMap.Polylines[0]);
        FOverlays.edLodvarDistPropertiesEditValueChanged(c.metres);
        EXPECT_EQ(End(FMap.Polylines[0]).Latitude, before.Latitude) << "nothing redrawn";
        FOverlays.tvLodvarsSelectionChanged();
        EXPECT_NEAR(End(FMap.Polylines[0]).Latitude, c.end.Latitude, 1e-9);
        EXPECT_NEAR(End(FMap.Polylines[0]).Longitude, c.end.Longitude, 1e-9);
    }
}

TEST_F(MapOverlays, CentreActionFitsTheAreaAndChangesNothingElse) {
    FLodvars.Selected = {0};
    FOverlays.tvLodvarsSelectionChanged();
    const int batches = FPage.Batches.size();
    FOverlays.actCenterMapExecute();
    ASSERT_EQ(FPage.Batches.size(), batches + 1);
    const QJsonObject& b = FPage.Last();
    EXPECT_TRUE(b[QStringLiteral("m")].toArray().isEmpty());
    EXPECT_TRUE(b[QStringLiteral("l")].toArray().isEmpty());
    EXPECT_EQ(b[QStringLiteral("cm")].toInt() + b[QStringLiteral("cl")].toInt(), 0);
    EXPECT_EQ(b[QStringLiteral("v")].toArray()[0].toArray()[0].toString(), QStringLiteral("b"));
    EXPECT_EQ(FMap.Markers.Count(), 1);
}

TEST_F(MapOverlays, DatabaseTextIsEscapedInInfoAndPlainInTitles) {
    const QString note = QStringLiteral("<img src=x onerror=alert(1)></b><script>x()</script>&");
    FLodvars.Rows = {LodvarRow(50.0, 30.0, 45, QStringLiteral("<i>arm</i>"), note)};
    FLodvars.Selected = {0};
    FOverlays.tvLodvarsSelectionChanged();
    const TMapMarker& m = FMap.Markers[0];
    EXPECT_EQ(m.OverlayView()->Text(),
              QStringLiteral("<b><font color=\"red\">&lt;i&gt;arm&lt;/i&gt;</font></b> "
                             "Пеленг:<b>45</b>|&lt;img src=x onerror=alert(1)&gt;&lt;/b&gt;"
                             "&lt;script&gt;x()&lt;/script&gt;&amp;<br>"));
    EXPECT_EQ(m.Title(), QStringLiteral("<i>arm</i> | Пеленг:45 | ") + note);
}

TEST_F(MapOverlays, RowsWithoutPositionOrBearingAreSkippedAndCounted) {
    QStringList status;
    QObject::connect(&FOverlays, &TMapOverlays::StatusTextChanged,
                     [&](const QString& t) { status << t; });
    FLodvars.Rows = {LodvarRow(QVariant(), 30.0, 45, QStringLiteral("no latitude")),
                     LodvarRow(50.0, 30.0, QVariant(), QStringLiteral("no bearing")),
                     LodvarRow(50.0, 31.0, 10, QStringLiteral("null note"), QVariant()),
                     LodvarRow(50.0, qQNaN(), 10, QStringLiteral("NaN longitude"))};
    FLodvars.Selected = {0, 1, 2, 3};
    FOverlays.tvLodvarsSelectionChanged();
    ASSERT_EQ(FMap.Markers.Count(), 1);
    EXPECT_EQ(FMap.Markers[0].Title(), QStringLiteral("null note | Пеленг:10 | "));
    EXPECT_EQ(status, QStringList{QStringLiteral(
                          "3 selected rows could not be drawn: no position or bearing.")});

    QVariantMap row = IntersectionRow({50.5, 31}, {50, 30}, 45, {50, 32}, 315);
    row[QStringLiteral("_u2_y")] = QVariant();
    FIntersections.Rows = {row, IntersectionRow({49.5, 31.5}, {49, 31}, 30, {50, 32}, 200)};
    FIntersections.Selected = {0, 1};
    FShowUnits = false;
    FOverlays.tvIntersectionsSelectionChanged();
    EXPECT_EQ(FMap.Markers.Count(), 1);
    EXPECT_EQ(FMap.Polylines.Count(), 2);
    EXPECT_EQ(status.last(),
              QStringLiteral("1 selected row could not be drawn: no position or bearing."));
    FIntersections.Selected = {1};
    FOverlays.tvIntersectionsSelectionChanged();
    EXPECT_TRUE(status.last().isEmpty()) << "all drawn clears the text";
}

TEST_F(MapOverlays, ValueThatIsNoNumberEndsTheRedrawWithDrawnRowsKept) {
    FLodvars.Rows = {LodvarRow(50.0, 30.0, 45, QStringLiteral("ok")),
                     LodvarRow(QStringLiteral("north"), 30.0, 45, QStringLiteral("bad")),
                     LodvarRow(50.0, 31.0, 10, QStringLiteral("after"))};
    FLodvars.Selected = {0, 1, 2};
    EXPECT_THROW(FOverlays.tvLodvarsSelectionChanged(), EConvertError);
    EXPECT_EQ(FMap.Markers.Count(), 1);
    EXPECT_EQ(FMap.UpdateCount(), 0) << "the bracket is closed";
    EXPECT_EQ(FPage.Last()[QStringLiteral("m")].toArray().size(), 1) << "and the page updated";
}

TEST_F(MapOverlays, UnitsQueryIsReadOnceAndItsErrorsAreShown) {
    FOverlays.ShowUnitMarkers();
    TPgTestServer::Instance().ExecAsSuperuser(QStringLiteral(
        "INSERT INTO lodvar.units (name, x_coord, y_coord) VALUES ('Delta', 48, 33)"));
    FOverlays.ShowUnitMarkers();
    TPgTestServer::Instance().ReloadFixtures();
    EXPECT_EQ(Count(555), 6) << "the second set walks the same three rows";

    TDMQueries broken;
    broken.cnn->SetServer(QStringLiteral("127.0.0.1"));
    broken.cnn->SetPortNumber(1);
    TMapOverlays overlays(
        FMap, *broken.qUnits, FLodvars, FIntersections, [] { return true; }, [] { return true; });
    overlays.ShowUnitMarkers();
    ASSERT_EQ(FMessages.Messages().size(), 1);
    EXPECT_TRUE(FMessages.Messages()[0].startsWith(
        QStringLiteral("Error while creating Units' markers: \r")));
    EXPECT_GT(FMessages.Messages()[0].size(), 40) << "followed by the error's own message";
    EXPECT_EQ(Count(555), 6) << "the markers already added stay";
    EXPECT_EQ(FMap.UpdateCount(), 0);
}

TEST_F(MapOverlays, StationWithoutPositionGetsNoMarker) {
    // The contract allows a NULL position although the test schema does not.
    auto& server = TPgTestServer::Instance();
    server.ExecAsSuperuser(QStringLiteral(
        "ALTER TABLE lodvar.units ALTER COLUMN x_coord DROP NOT NULL;"
        "INSERT INTO lodvar.units (name, x_coord, y_coord) VALUES ('Nowhere', NULL, 33)"));
    FOverlays.ShowUnitMarkers();
    server.ReloadFixtures();
    server.ExecAsSuperuser(
        QStringLiteral("ALTER TABLE lodvar.units ALTER COLUMN x_coord SET NOT NULL"));
    EXPECT_EQ(Count(555), 3) << "not drawn at (0, 0)";
    for (const auto& m : FMap.Markers) {
        EXPECT_NE(m->Title(), QStringLiteral("Nowhere"));
    }
    EXPECT_TRUE(FMessages.Messages().isEmpty());
}
