// The live mode over 10 000 commands: a live refresh when nothing changed, beside the full
// refresh ("Оновити") of the same window until the commands grid has painted. A live
// refresh asks the server for one fingerprint per grid and leaves unchanged grids alone:
// the "repaints" counter shows the commands grid was not painted again.
#include "PgTestServer.h"
#include "data/uDMQueries.h"
#include "ui/LiveRefresh.h"
#include "ui/grid/Grid.h"
#include "ui/ribbon/RibbonEdits.h"
#include "ui/ufrmMain.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QEvent>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <map>
#include <memory>
#include <string>

namespace {

constexpr int Commands = 10000;

// Counts the paint events of a widget.
class TPaintCounter : public QObject {
public:
    int Count = 0;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            ++Count;
        return false;
    }
};

struct TWindow {
    TDMQueries Dm;
    std::unique_ptr<TfrmMain> Window;
    TPaintCounter Paints;

    TWindow() {
        TPgTestServer::Instance().PointAt(*Dm.cnn);
        Window = std::make_unique<TfrmMain>(Dm);
        Window->resize(1229, 912);
        Window->edDateBegin->SetEditValue(
            QDateTime(QDate::currentDate().addDays(-60), QTime(0, 0)));
        Window->edDateEnd->SetEditValue(QDateTime(QDate::currentDate().addDays(1), QTime(0, 0)));
        Window->show();
        Window->tvCommands->viewport()->installEventFilter(&Paints);
    }
    void Settle() const { QApplication::processEvents(); }
};

TWindow* GWindow = nullptr;

void BM_FullRefreshUntilPainted(benchmark::State& state) {
    for (auto _ : state) {
        GWindow->Window->actRefreshCommands->trigger();
        QPixmap pixmap = GWindow->Window->gridCommands->grab();
        benchmark::DoNotOptimize(pixmap);
    }
    state.counters["rows"] = GWindow->Window->tvCommands->model()->rowCount();
}

void BM_LiveRefreshNothingChanged(benchmark::State& state) {
    TLiveRefresh& live = *GWindow->Window->FLiveRefresh;
    live.Refresh(); // the first look sets what "unchanged" means
    GWindow->Settle();
    const int paintsBefore = GWindow->Paints.Count;
    int reloads = 0;
    for (auto _ : state) {
        reloads += live.Refresh() ? 1 : 0;
        GWindow->Settle();
    }
    state.counters["reloads"] = reloads;
    state.counters["repaints"] = GWindow->Paints.Count - paintsBefore;
}

BENCHMARK(BM_FullRefreshUntilPainted)->Unit(benchmark::kMillisecond)->MinTime(0.5);
BENCHMARK(BM_LiveRefreshNothingChanged)->Unit(benchmark::kMillisecond)->MinTime(0.5);

class TRatioReporter : public benchmark::ConsoleReporter {
public:
    TRatioReporter() : ConsoleReporter(OO_Tabular) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs)
            if (run.run_type == Run::RT_Iteration)
                FTimes[run.run_name.function_name] = run.GetAdjustedRealTime();
        ConsoleReporter::ReportRuns(runs);
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        const double full = FTimes["BM_FullRefreshUntilPainted"];
        const double live = FTimes["BM_LiveRefreshNothingChanged"];
        if (full > 0 && live > 0)
            std::printf("live refresh, nothing changed / full refresh: %.3f (target: a small "
                        "fraction)\n",
                        live / full);
    }

private:
    std::map<std::string, double> FTimes;
};

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    auto& server = TPgTestServer::Instance();
    server.ExecFileAsSuperuser(TPgTestServer::DbFile(QStringLiteral("demo.sql")));
    server.ExecAsSuperuser(
        QStringLiteral("SELECT lodvar.demo_generate(%1); ANALYZE").arg(Commands));
    QTemporaryDir folder;
    QDir::setCurrent(folder.path());
    {
        TWindow window;
        GWindow = &window;
        window.Window->actRefreshCommands->trigger();
        TRatioReporter reporter;
        benchmark::RunSpecifiedBenchmarks(&reporter);
        GWindow = nullptr;
    }
    benchmark::Shutdown();
    TPgTestServer::Shutdown();
    return 0;
}
