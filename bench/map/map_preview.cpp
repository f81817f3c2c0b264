// Shows the map widget with a few bearings ("bearings", the default) or intersections
// ("intersections") of the stations Alpha (50, 30), Beta (50, 32) and Gamma (49, 31), info
// boxes on, for a look at the page (e.g. under Xvfb with a screenshot). Closes after the
// number of seconds given as the second argument (default: stays open).
#include "FixtureGrid.h"
#include "data/uDMQueries.h"
#include "ui/map/MapOverlays.h"
#include "ui/map/WebMapView.h"

#include <QApplication>
#include <QTimer>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    const bool intersections = args.size() > 1 && args[1] == QStringLiteral("intersections");

    TWebMap map;
    TWebMapView view(map);
    view.resize(1500, 950);
    view.show();

    TDMQueries dm; // its units query is never opened: the unit toggle is off
    TFixtureGrid lodvars, fixes;
    TMapOverlays overlays(
        map, *dm.qUnits, lodvars, fixes, [] { return false; }, [] { return true; });
    overlays.edLodvarDistPropertiesEditValueChanged(300000);
    auto lodvar = [](double lat, double lng, int bearing, const QString& arm,
                     const QString& note) -> QVariantMap {
        return {{QStringLiteral("unit_x_coord"), lat},
                {QStringLiteral("unit_y_coord"), lng},
                {QStringLiteral("lodvar"), bearing},
                {QStringLiteral("arm_name"), arm},
                {QStringLiteral("note"), note}};
    };
    lodvars.Rows = {lodvar(50, 30, 45, QStringLiteral("АРМ-Alpha"), QStringLiteral("Сильний")),
                    lodvar(50, 32, 315, QStringLiteral("АРМ-Beta"), QString()),
                    lodvar(49, 31, 0, QStringLiteral("АРМ-Gamma"),
                           QStringLiteral("<img src=x onerror=alert(1)></b><script>"))};
    lodvars.Selected = {0, 1, 2};
    auto fix = [](TCoordinate at, int b1, int b2) -> QVariantMap {
        return {{QStringLiteral("i_x"), at.Latitude},
                {QStringLiteral("i_y"), at.Longitude},
                {QStringLiteral("_u1_x"), 50.0},
                {QStringLiteral("_u1_y"), 30.0},
                {QStringLiteral("_u2_x"), 50.0},
                {QStringLiteral("_u2_y"), 32.0},
                {QStringLiteral("_lodvar1"), b1},
                {QStringLiteral("_lodvar2"), b2},
                {QStringLiteral("_arm1_name"), QStringLiteral("АРМ-Alpha")},
                {QStringLiteral("_arm2_name"), QStringLiteral("АРМ-Beta")},
                {QStringLiteral("_unit1_name"), QStringLiteral("Alpha")},
                {QStringLiteral("_unit2_name"), QStringLiteral("Beta")},
                {QStringLiteral("_lodvar1_note"), QStringLiteral("Сильний")},
                {QStringLiteral("_lodvar2_note"), QString()}};
    };
    fixes.Rows = {fix({50.7049, 31.0}, 45, 315), fix({50.3, 31.4}, 60, 250)};
    fixes.Selected = {0, 1};

    QObject::connect(&map, &TWebMap::Loaded, &map, [&] {
        overlays.FitOperatingArea();
        if (intersections) {
            overlays.tvIntersectionsSelectionChanged();
        } else {
            overlays.tvLodvarsSelectionChanged();
        }
    });
    if (args.size() > 2) {
        QTimer::singleShot(args[2].toInt() * 1000, &app, &QApplication::quit);
    }
    return app.exec();
}
