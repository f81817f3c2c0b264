// Drawing selected bearings on the map page, beside a plain Leaflet page in the same browser
// that adds the same markers and lines itself (same points, icon and canvas renderer).
//
// Ours: from the bearings' selection change (TMapOverlays::tvLodvarsSelectionChanged) until
// the page reports the batch drawn. Plain: from the call of its draw() until it reports the
// same. Also the frame after a pan of each page once drawn. Prints the time ratios at the
// end. Run it under Xvfb with the browser-engine variables of the README's test command.
#include "FixtureGrid.h"
#include "data/uDMQueries.h"
#include "ui/map/MapOverlays.h"
#include "ui/map/WebMapView.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QWebChannel>
#include <QWebEnginePage>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <string>

namespace {

constexpr double DistanceMetres = 200000;

void WaitFor(const std::function<bool()>& done) {
    const QDeadlineTimer deadline(900000);
    while (!done() && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    if (!done()) {
        std::fprintf(stderr, "the page did not answer\n");
        std::exit(2);
    }
}

QVariant Eval(QWebEnginePage& page, const QString& script) {
    auto result = std::make_shared<std::optional<QVariant>>();
    page.runJavaScript(script, [result](const QVariant& v) { *result = v; });
    WaitFor([result] { return result->has_value(); });
    return **result;
}

// Stations spread over the operating area, bearings all round; the same for every run.
struct TBearing {
    double Lat, Lng;
    int Bearing;
    QString Title;
};
std::vector<TBearing> MakeBearings(int count) {
    std::vector<TBearing> out;
    quint32 seed = 12345;
    auto next = [&seed] { return (seed = seed * 1664525u + 1013904223u) >> 8; };
    for (int i = 0; i < count; ++i) {
        const double lat = 45.5 + (next() % 9000) / 1000.0;
        const double lng = 24.0 + (next() % 23000) / 1000.0;
        const int bearing = static_cast<int>(next() % 360);
        out.push_back(
            {lat, lng, bearing, QStringLiteral("АРМ-%1 | Пеленг:%2 | ").arg(i % 40).arg(bearing)});
    }
    return out;
}

class TBenchBridge : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    int Drawn = 0;
    bool Ready = false;
public slots:
    void ready() { Ready = true; }
    void drawn() { ++Drawn; }
};

struct TPages {
    TWebMap Map;
    std::unique_ptr<TWebMapView> Ours;
    std::unique_ptr<QWebEngineView> Plain;
    TBenchBridge Bridge;
    TDMQueries Dm; // its units query is never opened: the unit toggle is off
    TFixtureGrid Lodvars, Intersections;
    bool ShowInfo = false;
    std::unique_ptr<TMapOverlays> Overlays;
    int Loaded = -1; // count of bearings loaded into the grid and the plain page

    TPages() {
        Ours = std::make_unique<TWebMapView>(Map, QString());
        Ours->setGeometry(0, 0, 790, 900);
        Ours->show();
        Plain = std::make_unique<QWebEngineView>();
        auto* page = new QWebEnginePage(TWebMapView::Profile(), Plain.get());
        auto* channel = new QWebChannel(page);
        channel->registerObject(QStringLiteral("benchBridge"), &Bridge);
        page->setWebChannel(channel);
        Plain->setPage(page);
        Plain->setGeometry(800, 0, 790, 900);
        Plain->show();
        page->load(QUrl(QStringLiteral("lodvar://map/bench/baseline.html")));
        WaitFor([this] { return Map.PageLoaded(); });

        WaitFor([this] { return Bridge.Ready; });
        Overlays = std::make_unique<TMapOverlays>(
            Map, *Dm.qUnits, Lodvars, Intersections, [] { return false; },
            [this] { return ShowInfo; });
        Overlays->edLodvarDistPropertiesEditValueChanged(DistanceMetres);
    }

    void Load(int count) {
        if (Loaded == count) {
            return;
        }
        Lodvars.Rows.clear();
        Lodvars.Selected.clear();
        QJsonArray plain;
        const std::vector<TBearing> bearings = MakeBearings(count);
        for (int i = 0; i < count; ++i) {
            const TBearing& b = bearings[static_cast<size_t>(i)];
            Lodvars.Rows.append({{QStringLiteral("unit_x_coord"), b.Lat},
                                 {QStringLiteral("unit_y_coord"), b.Lng},
                                 {QStringLiteral("lodvar"), b.Bearing},
                                 {QStringLiteral("arm_name"), QStringLiteral("АРМ-%1").arg(i % 40)},
                                 {QStringLiteral("note"), QString()}});
            Lodvars.Selected.append(i);
            const TCoordinate end = DestinationPoint({b.Lat, b.Lng}, b.Bearing, DistanceMetres);
            plain.append(QJsonArray{b.Lat, b.Lng, end.Latitude, end.Longitude, b.Title});
        }
        Eval(*Plain->page(),
             QStringLiteral("bench.load(%1)")
                 .arg(QString::fromUtf8(QJsonDocument(plain).toJson(QJsonDocument::Compact))));
        Loaded = count;
    }

    // Milliseconds of the frame after a pan, measured in the page.
    static double PanMs(QWebEnginePage& page, const QString& mapExpression) {
        Eval(page, QStringLiteral("(() => { window.panMs = undefined; const t = performance.now();"
                                  " %1.panBy([300, 150], {animate: false});"
                                  " requestAnimationFrame(() => setTimeout(() =>"
                                  " { window.panMs = performance.now() - t; }, 0)); })()")
                       .arg(mapExpression));
        QVariant ms;
        WaitFor([&] {
            ms = Eval(page, QStringLiteral("window.panMs === undefined ? -1 : window.panMs"));
            return ms.toDouble() >= 0;
        });
        return ms.toDouble();
    }
};

TPages* GPages = nullptr;
std::map<std::string, double> GMeanSeconds;

void Record(benchmark::State& state, const std::string& name, double total) {
    GMeanSeconds[name + "/" + std::to_string(state.range(0))] =
        total / static_cast<double>(state.iterations());
}

void BM_MapPage(benchmark::State& state, bool infoBoxes) {
    TPages& p = *GPages;
    p.Load(static_cast<int>(state.range(0)));
    p.ShowInfo = infoBoxes;
    double total = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        p.Overlays->tvLodvarsSelectionChanged();
        const int seq = p.Map.LastBatch();
        WaitFor([&] { return p.Ours->DrawnBatch() >= seq; });
        const double s =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.SetIterationTime(s);
        total += s;
    }
    p.ShowInfo = false;
    Record(state, infoBoxes ? "ours+info" : "ours", total);
    state.counters["pan_ms"] = TPages::PanMs(*p.Ours->page(), QStringLiteral("lodvarPage.map"));
}

void BM_PlainLeaflet(benchmark::State& state) {
    TPages& p = *GPages;
    p.Load(static_cast<int>(state.range(0)));
    double total = 0;
    for (auto _ : state) {
        const int before = p.Bridge.Drawn;
        const auto start = std::chrono::steady_clock::now();
        p.Plain->page()->runJavaScript(QStringLiteral("bench.draw()"));
        WaitFor([&] { return p.Bridge.Drawn > before; });
        const double s =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.SetIterationTime(s);
        total += s;
    }
    Record(state, "plain", total);
    state.counters["pan_ms"] = TPages::PanMs(*p.Plain->page(), QStringLiteral("benchMap"));
}

// Each size: the plain page, then ours, alternating, so that both see the same browser state.
BENCHMARK(BM_PlainLeaflet)
    ->Arg(1000)
    ->Iterations(5)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_MapPage, lines, false)
    ->Arg(1000)
    ->Iterations(5)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainLeaflet)
    ->Arg(10000)
    ->Iterations(5)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_MapPage, lines, false)
    ->Arg(10000)
    ->Iterations(5)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_MapPage, info_boxes, true)
    ->Arg(10000)
    ->Iterations(3)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainLeaflet)
    ->Arg(100000)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_MapPage, lines, false)
    ->Arg(100000)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    TPages pages;
    GPages = &pages;
    benchmark::RunSpecifiedBenchmarks();
    std::printf("\nTime ratio to the plain Leaflet page (mean of the iterations):\n");
    for (const char* size : {"1000", "10000", "100000"}) {
        const auto plain = GMeanSeconds.find(std::string("plain/") + size);
        if (plain == GMeanSeconds.end()) {
            continue;
        }
        for (const char* ours : {"ours", "ours+info"}) {
            const auto it = GMeanSeconds.find(std::string(ours) + "/" + size);
            if (it != GMeanSeconds.end()) {
                std::printf("  %-10s %7s bearings: %.2f\n", ours, size, it->second / plain->second);
            }
        }
    }
    GPages = nullptr;
    benchmark::Shutdown();
    return 0;
}

#include "bench_Map.moc"
