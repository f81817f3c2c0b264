// The map model without a browser: its lists and items, and what it sends to the page and
// when (one batch per outermost update, nothing before the load, view requests dropped
// before it).
#include "BatchRecorder.h"
#include "ui/map/WebMap.h"

#include <gtest/gtest.h>

namespace {

const TCoordinate Kyiv{50.45, 30.52};
const TCoordinate Lviv{49.84, 24.03};

} // namespace

TEST(WebMap, ItemsKeepOrderAndProperties) {
    TWebMap map;
    TMapMarker& first = map.AddMarker(Kyiv, QStringLiteral("a"), QStringLiteral("u1"));
    TMapMarker& second = map.AddMarker(Lviv, QStringLiteral("b"), QStringLiteral("u2"));
    EXPECT_EQ(&map.Markers.Last(), &second);
    EXPECT_EQ(&map.Markers[0], &first);
    EXPECT_EQ(first.DataInteger(), 0);
    EXPECT_TRUE(first.Visible());
    EXPECT_EQ(first.OverlayView(), nullptr);

    TMapOverlayView& info = second.AddOverlayView(QStringLiteral("<b>x</b>"));
    EXPECT_EQ(second.OverlayView(), &info);
    EXPECT_TRUE(info.Visible());
    EXPECT_EQ(&second.AddOverlayView(QStringLiteral("y")), &info) << "at most one info box";
    EXPECT_EQ(info.Text(), QStringLiteral("y"));

    TMapPolyline& line = map.AddPolyline({Kyiv, Lviv}, false);
    EXPECT_EQ(line.Coordinates().size(), 2);
    EXPECT_FALSE(line.Closed());
    EXPECT_FALSE(line.Geodesic());
    EXPECT_NE(line.Id(), first.Id());

    map.Markers.Clear();
    EXPECT_TRUE(map.Markers.IsEmpty());
    EXPECT_EQ(map.Polylines.Count(), 1) << "markers and lines clear apart";
}

TEST(WebMap, NothingGoesBeforeTheLoadAndEverythingAtIt) {
    TWebMap map;
    TBatchRecorder page(map);
    map.AddMarker(Kyiv, QStringLiteral("a"), QStringLiteral("u1"));
    map.AddPolyline({Kyiv, Lviv}, false).SetGeodesic(true);
    map.SetCenterCoordinate(Lviv);
    map.ZoomToBounds(Kyiv, Lviv);
    EXPECT_TRUE(page.Batches.isEmpty());

    int loaded = 0;
    QObject::connect(&map, &TWebMap::Loaded, [&] { ++loaded; });
    map.SetPageLoaded();
    EXPECT_EQ(loaded, 1);
    ASSERT_EQ(page.Batches.size(), 1);
    const QJsonObject& b = page.Last();
    EXPECT_EQ(b[QStringLiteral("cm")].toInt(), 1) << "a fresh page is cleared first";
    EXPECT_EQ(b[QStringLiteral("m")].toArray().size(), 1);
    EXPECT_EQ(b[QStringLiteral("l")].toArray().size(), 1);
    EXPECT_TRUE(b[QStringLiteral("v")].toArray().isEmpty()) << "view calls before load dropped";

    map.SetCenterCoordinate(Lviv);
    ASSERT_EQ(page.Batches.size(), 2) << "a change outside a bracket goes at once";
    const QJsonArray centre = page.Last()[QStringLiteral("v")].toArray()[0].toArray();
    EXPECT_EQ(centre, (QJsonArray{QStringLiteral("c"), Lviv.Latitude, Lviv.Longitude}));
    EXPECT_TRUE(page.Last()[QStringLiteral("m")].toArray().isEmpty()) << "only what changed";
    EXPECT_TRUE(page.Parsed);
}

TEST(WebMap, OneBatchAtTheOutermostEndUpdate) {
    TWebMap map;
    map.SetPageLoaded();
    TBatchRecorder page(map);
    {
        const TMapUpdate outer(map);
        map.Markers.Clear();
        {
            const TMapUpdate inner(map);
            map.AddMarker(Kyiv, QStringLiteral("a"), QStringLiteral("u1"));
            map.AddPolyline({Kyiv, Lviv}, false);
        }
        EXPECT_TRUE(page.Batches.isEmpty());
        EXPECT_EQ(map.UpdateCount(), 1);
    }
    ASSERT_EQ(page.Batches.size(), 1);
    EXPECT_EQ(map.UpdateCount(), 0);

    { const TMapUpdate nothing(map); }
    EXPECT_EQ(page.Batches.size(), 1) << "an update without a change sends nothing";
    map.EndUpdate();
    EXPECT_EQ(map.UpdateCount(), 0) << "an unmatched EndUpdate is harmless";
}

TEST(WebMap, BatchCarriesItemsAsTheyStandAtTheEnd) {
    TWebMap map;
    map.SetPageLoaded();
    TBatchRecorder page(map);
    const QString title = QStringLiteral("Alpha | \"Пеленг\":45 \\ x\r\nsecond line");
    {
        const TMapUpdate update(map);
        map.AddMarker(Lviv, QStringLiteral("gone"), QStringLiteral("u0"));
        map.Markers.Clear();
        TMapMarker& m = map.AddMarker(Kyiv, title, QStringLiteral("https://h/p.png"));
        m.AddOverlayView(QStringLiteral("<b>i</b>")).SetVisible(false);
        m.SetVisible(false);
        map.AddMarker(Lviv, QStringLiteral("t2"), QStringLiteral("https://h/p.png"));
        TMapPolyline& l = map.AddPolyline({Kyiv, Lviv}, false);
        l.SetStrokeColor(clBlue);
        l.SetStrokeWidth(3);
        l.SetGeodesic(true);
    }
    ASSERT_EQ(page.Batches.size(), 1);
    ASSERT_TRUE(page.Parsed);
    const QJsonObject& b = page.Last();
    EXPECT_EQ(b[QStringLiteral("cm")].toInt(), 1);
    EXPECT_EQ(b[QStringLiteral("cl")].toInt(), 0);
    EXPECT_EQ(b[QStringLiteral("icons")].toArray(), QJsonArray{QStringLiteral("https://h/p.png")});
    const QJsonArray markers = b[QStringLiteral("m")].toArray();
    ASSERT_EQ(markers.size(), 2) << "a marker cleared within the batch is not sent";
    const QJsonArray m = markers[0].toArray();
    EXPECT_EQ(m[1].toDouble(), Kyiv.Latitude);
    EXPECT_EQ(m[2].toDouble(), Kyiv.Longitude);
    EXPECT_EQ(m[3].toString(), title) << "text survives quotes, backslashes and line breaks";
    EXPECT_EQ(m[4].toInt(), 0);
    EXPECT_EQ(m[5].toInt(), 0) << "hidden";
    EXPECT_EQ(m[6].toString(), QStringLiteral("<b>i</b>"));
    EXPECT_EQ(m[7].toInt(), 0) << "info hidden";
    EXPECT_TRUE(markers[1].toArray()[6].isNull()) << "no info box";

    const QJsonArray line = b[QStringLiteral("l")].toArray()[0].toArray();
    EXPECT_EQ(line[1].toArray(),
              (QJsonArray{Kyiv.Latitude, Kyiv.Longitude, Lviv.Latitude, Lviv.Longitude}));
    EXPECT_EQ(line[2].toString(), QStringLiteral("#0000ff")) << "$00FF0000 is blue";
    EXPECT_EQ(line[3].toInt(), 3);
    EXPECT_EQ(line[4].toInt(), 1);
    EXPECT_EQ(line[5].toInt(), 0);

    map.Markers[0].OverlayView()->SetVisible(true);
    ASSERT_EQ(page.Batches.size(), 2);
    const QJsonArray changed = page.Last()[QStringLiteral("m")].toArray();
    ASSERT_EQ(changed.size(), 1) << "only the marker whose box changed";
    EXPECT_EQ(changed[0].toArray()[7].toInt(), 1);
}

TEST(WebMap, PlatformColoursBecomeCssColours) {
    struct {
        const char* name;
        TColor color;
        const char* css;
    } const cases[] = {
        {"blue", clBlue, "#0000ff"},
        {"red", clRed, "#ff0000"},
        {"green 008000", 0x00008000, "#008000"},
        {"mixed", 0x00123456, "#563412"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TWebMap map;
        map.SetPageLoaded();
        TBatchRecorder page(map);
        map.AddPolyline({Kyiv, Lviv}, false).SetStrokeColor(c.color);
        EXPECT_EQ(page.Last()[QStringLiteral("l")].toArray()[0].toArray()[2].toString(),
                  QString::fromLatin1(c.css));
    }
}

TEST(WebMap, ReloadedPageGetsEverythingAgain) {
    TWebMap map;
    map.SetPageLoaded();
    map.AddMarker(Kyiv, QStringLiteral("a"), QStringLiteral("u"));
    map.AddPolyline({Kyiv, Lviv}, false);
    map.SetPageUnloaded();
    TBatchRecorder page(map);
    map.AddMarker(Lviv, QStringLiteral("b"), QStringLiteral("u"));
    map.SetCenterCoordinate(Lviv);
    EXPECT_TRUE(page.Batches.isEmpty());
    map.SetPageLoaded();
    ASSERT_EQ(page.Batches.size(), 1);
    EXPECT_EQ(page.Last()[QStringLiteral("m")].toArray().size(), 2);
    EXPECT_EQ(page.Last()[QStringLiteral("l")].toArray().size(), 1);
    EXPECT_EQ(page.Last()[QStringLiteral("cl")].toInt(), 1);
}

// Polygons, marker rings and labels and the legend ride in the same batches as the rest,
// and only when there is something of theirs: a map that never uses them sends what it
// always sent.
TEST(WebMap, PolygonsRingsLabelsAndLegendOnlyWhenUsed) {
    TWebMap map;
    TBatchRecorder page(map);
    map.SetPageLoaded();
    {
        const TMapUpdate update(map);
        map.AddMarker(Kyiv, QStringLiteral("a"), QStringLiteral("u1"));
        map.AddPolyline({Kyiv, Lviv}, false);
    }
    const QJsonObject plain = page.Last();
    for (const char* key : {"p", "cp", "lg"}) {
        EXPECT_FALSE(plain.contains(QLatin1String(key))) << key;
    }
    const QJsonArray markers = plain[QStringLiteral("m")].toArray();
    ASSERT_EQ(markers.size(), 1);
    EXPECT_EQ(markers.at(0).toArray().size(), 8) << "no ring or label";

    {
        const TMapUpdate update(map);
        TMapPolygon& area = map.AddPolygon({Kyiv, Lviv, {49.0, 28.0}});
        area.SetStrokeColor(0x00FFFFFF);
        area.SetFillColor(0x00B27200);
        area.SetFillOpacityPercent(150); // clamped
        TMapMarker& station = map.AddMarker(Lviv, QStringLiteral("b"), QStringLiteral("u1"));
        station.SetRingColor(0x00009FE6);
        station.SetLabel(QStringLiteral("Львів \"1\""));
        map.SetLegend({{QStringLiteral("Львів \"1\""), 0x00009FE6}, {QStringLiteral("K"), clRed}});
    }
    ASSERT_TRUE(page.Parsed);
    const QJsonObject b = page.Last();
    EXPECT_EQ(b[QStringLiteral("cp")].toInt(), 0);
    const QJsonArray polygon = b[QStringLiteral("p")].toArray().at(0).toArray();
    EXPECT_EQ(polygon.at(1).toArray().size(), 6);
    EXPECT_EQ(polygon.at(1).toArray().at(2).toDouble(), Lviv.Latitude);
    EXPECT_EQ(polygon.at(2).toString(), QStringLiteral("#ffffff"));
    EXPECT_EQ(polygon.at(4).toString(), QStringLiteral("#0072b2"));
    EXPECT_EQ(polygon.at(5).toInt(), 100);
    const QJsonArray marker = b[QStringLiteral("m")].toArray().at(0).toArray();
    EXPECT_EQ(marker.at(8).toString(), QStringLiteral("#e69f00"));
    EXPECT_EQ(marker.at(9).toString(), QStringLiteral("Львів \"1\""));
    const QJsonArray legend = b[QStringLiteral("lg")].toArray();
    ASSERT_EQ(legend.size(), 2);
    EXPECT_EQ(legend.at(1).toArray().at(1).toString(), QStringLiteral("#ff0000"));

    const int sent = page.Batches.size();
    map.SetLegend(map.Legend());
    EXPECT_EQ(page.Batches.size(), sent) << "an unchanged legend sends nothing";
    map.Polygons.Clear();
    EXPECT_EQ(page.Last()[QStringLiteral("cp")].toInt(), 1);
    EXPECT_TRUE(page.Last()[QStringLiteral("p")].toArray().isEmpty());
    map.SetLegend({});
    EXPECT_TRUE(page.Last()[QStringLiteral("lg")].toArray().isEmpty()) << "empty removes it";

    // A reloaded page gets the polygons and the legend again, without a clear of polygons.
    map.AddPolygon({Kyiv, Lviv, {49.0, 28.0}});
    map.SetLegend({{QStringLiteral("K"), clRed}});
    map.SetPageLoaded();
    EXPECT_EQ(page.Last()[QStringLiteral("p")].toArray().size(), 1);
    EXPECT_EQ(page.Last()[QStringLiteral("lg")].toArray().size(), 1);
    EXPECT_EQ(page.Last()[QStringLiteral("m")].toArray().size(), 2);
}
