// The map page in the real browser engine: what it drew, read back from the page (markers,
// lines and their end points, colour and width, info boxes, the view), the bundled base map
// with no network, and database text that tries to inject markup and script.
#include "FixtureGrid.h"
#include "data/uDMQueries.h"
#include "ui/map/MapOverlays.h"
#include "ui/map/StationColors.h"
#include "ui/map/WebMapView.h"

#include <QColor>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cmath>
#include <gtest/gtest.h>
#include <memory>

namespace {

// Bounded wait for the page: synchronisation, not timing.
bool WaitFor(const std::function<bool()>& done, int milliseconds = 30000) {
    const QDeadlineTimer deadline(milliseconds);
    while (!done() && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return done();
}

QVariantMap LodvarRow(double lat, double lng, int bearing, const QString& arm,
                      const QString& note) {
    return {{QStringLiteral("unit_x_coord"), lat},
            {QStringLiteral("unit_y_coord"), lng},
            {QStringLiteral("lodvar"), bearing},
            {QStringLiteral("arm_name"), arm},
            {QStringLiteral("note"), note}};
}

class MapPage : public testing::Test {
protected:
    void SetUp() override { Open(QString()); }

    void Open(const QString& tiles) {
        FView = std::make_unique<TWebMapView>(FMap, tiles);
        FView->resize(1000, 700);
        FView->show();
        ASSERT_TRUE(WaitFor([this] { return FMap.PageLoaded(); })) << "page did not load";
        ASSERT_TRUE(Drawn());
    }

    // Waits until the page has drawn everything the map has sent.
    bool Drawn() {
        const int seq = FMap.LastBatch();
        return WaitFor([this, seq] { return FView->DrawnBatch() >= seq; });
    }

    // The value of a script expression (JSON-able) in the page.
    QJsonValue Eval(const QString& expression) {
        auto result = std::make_shared<std::optional<QVariant>>();
        FView->page()->runJavaScript(QStringLiteral("JSON.stringify((() => %1)())").arg(expression),
                                     [result](const QVariant& v) { *result = v; });
        EXPECT_TRUE(WaitFor([result] { return result->has_value(); })) << expression.toStdString();
        const QByteArray json = "[" + result->value_or(QVariant()).toString().toUtf8() + "]";
        return QJsonDocument::fromJson(json).array().at(0);
    }

    TWebMap FMap;
    std::unique_ptr<TWebMapView> FView;
    TDMQueries FDm; // its units query is never opened here: the unit toggle stays off
    TFixtureGrid FLodvars;
    TFixtureGrid FIntersections;
    bool FShowInfo = true;
    TMapOverlays FOverlays{FMap,           *FDm.qUnits,          FLodvars,
                           FIntersections, [] { return false; }, [this] { return FShowInfo; }};
};

const QString Page = QStringLiteral("window.lodvarPage");

// "#rrggbb" of a colour in the platform's form $00BBGGRR.
QString Css(TColor c) {
    return QColor(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF)).name();
}

} // namespace

TEST_F(MapPage, ShowsTheBundledBaseMapOfflineAtTheDefaultView) {
    const QJsonObject state =
        Eval(QStringLiteral("({countries: %1.countries.getLayers().length,"
                            " centre: %1.map.getCenter(), zoom: %1.map.getZoom(),"
                            " background: getComputedStyle(document.getElementById('map'))"
                            ".backgroundColor, tiles: %1.tiles !== null})")
                 .arg(Page))
            .toObject();
    EXPECT_GT(state[QStringLiteral("countries")].toInt(), 200) << "the whole world, offline";
    EXPECT_NEAR(state[QStringLiteral("centre")][QStringLiteral("lat")].toDouble(), 51.507833, 1e-6);
    EXPECT_NEAR(state[QStringLiteral("centre")][QStringLiteral("lng")].toDouble(), 27.509642, 1e-6);
    EXPECT_EQ(state[QStringLiteral("zoom")].toDouble(), 12);
    EXPECT_EQ(state[QStringLiteral("background")].toString(), QStringLiteral("rgb(0, 0, 0)"));
    EXPECT_FALSE(state[QStringLiteral("tiles")].toBool());

    // Unreachable tiles leave the base map in place.
    Open(QStringLiteral("https://127.0.0.1:9/{z}/{x}/{y}.png"));
    const QJsonObject online =
        Eval(QStringLiteral(
                 "({countries: %1.countries.getLayers().length, tiles: %1.tiles !== null})")
                 .arg(Page))
            .toObject();
    EXPECT_GT(online[QStringLiteral("countries")].toInt(), 200);
    EXPECT_TRUE(online[QStringLiteral("tiles")].toBool());
}

TEST_F(MapPage, DrawsSelectedBearingsAndIntersectionsWithIconsOffline) {
    FOverlays.edLodvarDistPropertiesEditValueChanged(2000000);
    FLodvars.Rows = {LodvarRow(50, 30, 90, QStringLiteral("АРМ-Alpha"), QStringLiteral("a")),
                     LodvarRow(49, 31, 0, QStringLiteral("АРМ-Gamma"), QStringLiteral("g"))};
    FLodvars.Selected = {0, 1};
    FOverlays.tvLodvarsSelectionChanged();
    ASSERT_TRUE(Drawn());
    // The icons are answered from the bundle: wait until both images have decoded.
    ASSERT_TRUE(WaitFor([this] {
        return Eval(QStringLiteral("[...%1.markers.values()].every(m => m._icon.complete && "
                                   "m._icon.naturalWidth > 0)")
                        .arg(Page))
            .toBool();
    }));
    const QJsonObject drawn =
        Eval(QStringLiteral(
                 "({markers: %1.markers.size, lines: [...%1.lines.values()].map(l => ({"
                 " first: l.getLatLngs()[0], last: l.getLatLngs()[l.getLatLngs().length - 1],"
                 " points: l.getLatLngs().length, color: l.options.color,"
                 " weight: l.options.weight, onMap: %1.map.hasLayer(l)})),"
                 " boxes: [...%1.markers.keys()].map(id => %1.map.hasLayer(%1.infos.get(id))),"
                 " titles: [...%1.markers.values()].map(m => m._icon.title),"
                 " centre: %1.map.getCenter()})")
                 .arg(Page))
            .toObject();
    EXPECT_EQ(drawn[QStringLiteral("markers")].toInt(), 2);
    const QJsonArray lines = drawn[QStringLiteral("lines")].toArray();
    ASSERT_EQ(lines.size(), 2);
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        const QJsonObject line = lines[i].toObject();
        const TMapPolyline& model = FMap.Polylines[i];
        EXPECT_EQ(line[QStringLiteral("color")].toString(), QStringLiteral("#0000ff"));
        EXPECT_EQ(line[QStringLiteral("weight")].toInt(), 3);
        EXPECT_TRUE(line[QStringLiteral("onMap")].toBool());
        EXPECT_GT(line[QStringLiteral("points")].toInt(), 10) << "drawn along the great circle";
        for (const auto& [end, point] :
             {std::pair{QStringLiteral("first"), model.Coordinates()[0]},
              std::pair{QStringLiteral("last"), model.Coordinates()[1]}}) {
            EXPECT_NEAR(line[end][QStringLiteral("lat")].toDouble(), point.Latitude, 1e-9);
            EXPECT_NEAR(line[end][QStringLiteral("lng")].toDouble(), point.Longitude, 1e-9);
        }
    }
    EXPECT_EQ(drawn[QStringLiteral("boxes")].toArray(), (QJsonArray{true, true}));
    EXPECT_EQ(drawn[QStringLiteral("titles")].toArray()[1].toString(),
              QStringLiteral("АРМ-Gamma | Пеленг:0 | g"));
    EXPECT_NEAR(drawn[QStringLiteral("centre")][QStringLiteral("lat")].toDouble(), 49, 1e-6)
        << "centred on the lowest selected row";

    FShowInfo = false;
    FOverlays.cbShowIntersectionInfoPropertiesEditValueChanged();
    ASSERT_TRUE(Drawn());
    EXPECT_EQ(Eval(QStringLiteral("[...%1.markers.keys()].map(id => %1.map.hasLayer("
                                  "%1.infos.get(id)))")
                       .arg(Page)),
              (QJsonArray{false, false}));

    QVariantMap fix = {{QStringLiteral("i_x"), 50.5},    {QStringLiteral("i_y"), 31.0},
                       {QStringLiteral("_u1_x"), 50.0},  {QStringLiteral("_u1_y"), 30.0},
                       {QStringLiteral("_u2_x"), 50.0},  {QStringLiteral("_u2_y"), 32.0},
                       {QStringLiteral("_lodvar1"), 45}, {QStringLiteral("_lodvar2"), 315}};
    for (const char* field : {"_arm1_name", "_arm2_name", "_unit1_name", "_unit2_name",
                              "_lodvar1_note", "_lodvar2_note"}) {
        fix[QString::fromLatin1(field)] = QString::fromLatin1(field);
    }
    FIntersections.Rows = {fix};
    FIntersections.Selected = {0};
    FOverlays.tvIntersectionsSelectionChanged();
    ASSERT_TRUE(Drawn());
    const QJsonObject after =
        Eval(QStringLiteral("({markers: %1.markers.size, lines: %1.lines.size,"
                            " title: [...%1.markers.values()][0]._icon.title,"
                            " icon: [...%1.markers.values()][0]._icon.src})")
                 .arg(Page))
            .toObject();
    EXPECT_EQ(after[QStringLiteral("markers")].toInt(), 1) << "the bearings are gone";
    EXPECT_EQ(after[QStringLiteral("lines")].toInt(), 2);
    EXPECT_TRUE(after[QStringLiteral("title")].toString().contains(QStringLiteral("\r\n")))
        << "a two-line title keeps its line break";
    EXPECT_EQ(after[QStringLiteral("icon")].toString(),
              QStringLiteral("lodvar://map/icons/plane.svg"))
        << "the plane icon's URL is answered from the bundle";
}

TEST_F(MapPage, GreatCirclesSplitAtTheAntimeridianAndOverThePole) {
    FOverlays.edLodvarDistPropertiesEditValueChanged(2000000);
    FLodvars.Rows = {LodvarRow(0, 179, 90, QStringLiteral("east"), QString()),
                     LodvarRow(80, 10, 0, QStringLiteral("north"), QString()),
                     LodvarRow(-10, -175, 270, QStringLiteral("west"), QString())};
    FLodvars.Selected = {0, 1, 2};
    FOverlays.tvLodvarsSelectionChanged();
    ASSERT_TRUE(Drawn());
    // Each line as its parts, each part as [first lat, first lng, last lat, last lng, max |lng|
    // step].
    const QJsonArray lines =
        Eval(QStringLiteral(
                 "[...%1.lines.values()].map(l => { const ll = l.getLatLngs();"
                 " const parts = Array.isArray(ll[0]) ? ll : [ll];"
                 " return parts.map(p => { let step = 0; for (let i = 1; i < p.length; ++i)"
                 " step = Math.max(step, Math.abs(p[i].lng - p[i - 1].lng));"
                 " return [p[0].lat, p[0].lng, p[p.length - 1].lat, p[p.length - 1].lng, step]; });"
                 " })")
                 .arg(Page))
            .toArray();
    ASSERT_EQ(lines.size(), 3);
    struct {
        const char* name;
        double lastLng, nextLng; // where the first part ends and the second begins
        double splitLat;         // NaN: any, equal on both sides
    } const cases[] = {
        {"across the antimeridian eastwards", 180, -180, 0},
        {"over the north pole", 10, -170, 90},
        {"across the antimeridian westwards", -180, 180, qQNaN()},
    };
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(cases[i].name);
        const QJsonArray parts = lines[i].toArray();
        ASSERT_EQ(parts.size(), 2);
        const QJsonArray first = parts[0].toArray();
        const QJsonArray second = parts[1].toArray();
        const TCoordinate start = FMap.Polylines[i].Coordinates()[0];
        TCoordinate end = FMap.Polylines[i].Coordinates()[1];
        end.Longitude = std::remainder(end.Longitude, 360.0);
        EXPECT_NEAR(first[0].toDouble(), start.Latitude, 1e-9);
        EXPECT_NEAR(first[1].toDouble(), start.Longitude, 1e-9);
        EXPECT_NEAR(first[3].toDouble(), cases[i].lastLng, 1e-9);
        EXPECT_NEAR(second[1].toDouble(), cases[i].nextLng, 1e-9);
        EXPECT_NEAR(first[2].toDouble(), second[0].toDouble(), 1e-9) << "continuous";
        if (!qIsNaN(cases[i].splitLat)) {
            EXPECT_NEAR(first[2].toDouble(), cases[i].splitLat, 1e-9);
        }
        EXPECT_NEAR(second[2].toDouble(), end.Latitude, 1e-9);
        EXPECT_NEAR(second[3].toDouble(), end.Longitude, 1e-9);
        EXPECT_LT(first[4].toDouble(), 180) << "no part jumps across the world";
        EXPECT_LT(second[4].toDouble(), 180);
    }
}

TEST_F(MapPage, FitOperatingAreaShowsTheWholeArea) {
    FOverlays.actCenterMapExecute();
    ASSERT_TRUE(Drawn());
    const QJsonObject b =
        Eval(QStringLiteral("(() => { const b = %1.map.getBounds(); return {n: b.getNorth(),"
                            " e: b.getEast(), s: b.getSouth(), w: b.getWest()}; })()")
                 .arg(Page))
            .toObject();
    const TCoordinate ne = TMapOverlays::OperatingAreaNorthEast;
    const TCoordinate sw = TMapOverlays::OperatingAreaSouthWest;
    EXPECT_GE(b[QStringLiteral("n")].toDouble(), ne.Latitude);
    EXPECT_GE(b[QStringLiteral("e")].toDouble(), ne.Longitude);
    EXPECT_LE(b[QStringLiteral("s")].toDouble(), sw.Latitude);
    EXPECT_LE(b[QStringLiteral("w")].toDouble(), sw.Longitude);
    // Fitted, not merely contained: one side of the area spans most of the view.
    const double widthShare = (ne.Longitude - sw.Longitude) / (b[QStringLiteral("e")].toDouble() -
                                                               b[QStringLiteral("w")].toDouble());
    const double heightShare = (ne.Latitude - sw.Latitude) / (b[QStringLiteral("n")].toDouble() -
                                                              b[QStringLiteral("s")].toDouble());
    EXPECT_GT(std::max(widthShare, heightShare), 0.75);
}

TEST_F(MapPage, InjectedMarkupShowsLiterallyAndNoScriptRuns) {
    const QString note = QStringLiteral("<img src=x onerror=\"window.lodvarInjected=1\">"
                                        "</b><script>window.lodvarInjected=2</script>");
    FLodvars.Rows = {LodvarRow(50, 30, 45, QStringLiteral("АРМ <i>x</i>"), note)};
    FLodvars.Selected = {0};
    FOverlays.tvLodvarsSelectionChanged();
    // Markup that is not escaped (the design's own, here with a handler) cannot run either:
    // the page's security policy runs no inline script.
    FMap.AddMarker({49, 31}, QStringLiteral("raw"), AntennaIconURL())
        .AddOverlayView(QStringLiteral("<img id=raw src=x onerror=\"window.lodvarInjected=3\">"));
    ASSERT_TRUE(Drawn());
    ASSERT_TRUE(WaitFor([this] {
        return Eval(QStringLiteral("document.getElementById('raw') !== null")).toBool();
    }));
    ASSERT_TRUE(Drawn()); // a further frame for any error handler of the images
    const QJsonObject box =
        Eval(QStringLiteral("(() => { const e = [...%1.infos.values()][0]"
                            ".getElement(); return {text: e.textContent,"
                            " elements: e.querySelectorAll('img, script, i').length,"
                            " injected: window.lodvarInjected === undefined ? 0 :"
                            " window.lodvarInjected}; })()")
                 .arg(Page))
            .toObject();
    EXPECT_EQ(box[QStringLiteral("text")].toString(),
              QStringLiteral("АРМ <i>x</i> Пеленг:45|") + note);
    EXPECT_EQ(box[QStringLiteral("elements")].toInt(), 0);
    EXPECT_EQ(box[QStringLiteral("injected")].toInt(), 0) << "no script ran";
    EXPECT_EQ(Eval(QStringLiteral("[...%1.markers.values()][0]._icon.title").arg(Page)).toString(),
              QStringLiteral("АРМ <i>x</i> | Пеленг:45 | ") + note);
}

// The additions on the page: the fix estimate's ellipse and marker, station colours on the
// lines and rings, the legend and the station labels (text, never markup), and each going
// away with its toggle.
TEST_F(MapPage, DrawsTheFixEllipseStationColoursLegendAndLabels) {
    FOverlays.edLodvarDistPropertiesEditValueChanged(300000);
    const QString hostile = QStringLiteral("<img src=x onerror=\"window.hit=1\">");
    FLodvars.Rows = {LodvarRow(50, 30, 52, hostile, QStringLiteral("a")),
                     LodvarRow(50, 32, 308, QStringLiteral("Beta"), QStringLiteral("b")),
                     LodvarRow(49.5, 31, 0, QStringLiteral("Gamma"), QStringLiteral("c"))};
    for (int i = 0; i < 3; ++i) {
        FLodvars.Rows[i][QStringLiteral("id")] = i + 1;
        FLodvars.Selected << i;
    }
    FOverlays.SetStationColorsEnabled(true);
    FOverlays.SetFixEnabled(true);
    FOverlays.tvLodvarsSelectionChanged();
    ASSERT_TRUE(Drawn());
    ASSERT_TRUE(FOverlays.FixModel().Estimate().IsFix());
    ASSERT_TRUE(WaitFor([this] {
        return Eval(QStringLiteral("[...%1.markers.values()].every(m => m._icon.complete && "
                                   "m._icon.naturalWidth > 0)")
                        .arg(Page))
            .toBool();
    })) << "the estimate's inline icon shows too";
    const QJsonObject drawn =
        Eval(QStringLiteral(
                 "({polygons: [...%1.polygons.values()].map(p => ({points: p.getLatLngs()[0],"
                 " color: p.options.color, fill: p.options.fillColor,"
                 " opacity: p.options.fillOpacity, onMap: %1.map.hasLayer(p)})),"
                 " lines: [...%1.lines.values()].map(l => l.options.color),"
                 " rings: [...%1.rings.values()].map(r => r.options.color),"
                 " labels: [...document.querySelectorAll('.lodvar-label')].map(e => e.textContent),"
                 " legend: [...document.querySelectorAll('.lodvar-legend-row')].map(e =>"
                 " [e.textContent, e.firstChild.style.backgroundColor]),"
                 " images: document.querySelectorAll('.lodvar-legend img, .lodvar-label img')"
                 ".length, hit: window.hit === 1})")
                 .arg(Page))
            .toObject();
    const QJsonArray polygons = drawn[QStringLiteral("polygons")].toArray();
    ASSERT_EQ(polygons.size(), 1);
    const QJsonObject ellipse = polygons[0].toObject();
    const QJsonArray points = ellipse[QStringLiteral("points")].toArray();
    ASSERT_EQ(points.size(), TMapOverlays::FixEllipseVertices);
    const TCoordinate first = FMap.Polygons[0].Coordinates()[0];
    EXPECT_NEAR(points[0][QStringLiteral("lat")].toDouble(), first.Latitude, 1e-9);
    EXPECT_NEAR(points[0][QStringLiteral("lng")].toDouble(), first.Longitude, 1e-9);
    EXPECT_EQ(ellipse[QStringLiteral("color")].toString(), QStringLiteral("#ffffff"));
    EXPECT_DOUBLE_EQ(ellipse[QStringLiteral("opacity")].toDouble(), 0.15);
    EXPECT_TRUE(ellipse[QStringLiteral("onMap")].toBool());

    const QString alpha = Css(StationColor(StationKey({50, 30})));
    const QJsonArray lines = drawn[QStringLiteral("lines")].toArray();
    ASSERT_EQ(lines.size(), 3);
    EXPECT_EQ(lines[0].toString(), alpha);
    EXPECT_NE(lines[0].toString(), QStringLiteral("#0000ff"));
    EXPECT_EQ(drawn[QStringLiteral("rings")].toArray().size(), 3) << "not the estimate";
    EXPECT_EQ(drawn[QStringLiteral("rings")].toArray()[0].toString(), alpha);
    EXPECT_EQ(drawn[QStringLiteral("labels")].toArray(),
              (QJsonArray{hostile, QStringLiteral("Beta"), QStringLiteral("Gamma")}))
        << QJsonDocument(drawn[QStringLiteral("labels")].toArray()).toJson().toStdString();
    const QJsonArray legend = drawn[QStringLiteral("legend")].toArray();
    ASSERT_EQ(legend.size(), 3);
    EXPECT_EQ(legend[0][0].toString(), hostile) << "names are text";
    EXPECT_FALSE(legend[0][1].toString().isEmpty());
    EXPECT_EQ(drawn[QStringLiteral("images")].toInt(), 0);
    EXPECT_FALSE(drawn[QStringLiteral("hit")].toBool());

    // The labels go with the info boxes; the legend, rings and ellipse with their toggles.
    FShowInfo = false;
    FOverlays.cbShowIntersectionInfoPropertiesEditValueChanged();
    ASSERT_TRUE(Drawn());
    EXPECT_EQ(Eval(QStringLiteral("%1.labels.size").arg(Page)).toInt(), 0);
    // Leaflet fades a closing label out before it leaves the document.
    EXPECT_TRUE(WaitFor([this] {
        return Eval(QStringLiteral("document.querySelectorAll('.lodvar-label').length")).toInt() ==
               0;
    }));
    FOverlays.SetStationColorsEnabled(false);
    FOverlays.SetFixEnabled(false);
    ASSERT_TRUE(Drawn());
    const QJsonObject off =
        Eval(QStringLiteral("({legend: document.querySelector('.lodvar-legend') !== null,"
                            " rings: %1.rings.size, polygons: %1.polygons.size,"
                            " lines: [...%1.lines.values()].map(l => l.options.color)})")
                 .arg(Page))
            .toObject();
    EXPECT_FALSE(off[QStringLiteral("legend")].toBool());
    EXPECT_EQ(off[QStringLiteral("rings")].toInt(), 0);
    EXPECT_EQ(off[QStringLiteral("polygons")].toInt(), 0);
    EXPECT_EQ(off[QStringLiteral("lines")].toArray(),
              (QJsonArray{QStringLiteral("#0000ff"), QStringLiteral("#0000ff"),
                          QStringLiteral("#0000ff")}));
}
