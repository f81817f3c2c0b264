// The main window over 100 000 commands: the refresh until the commands grid has painted,
// beside the facility's open of the same query alone; grouping the commands by one and by
// two columns; filtering them through the find panel. Prints the ratio to the facility's
// open and the resident memory with the rows loaded.
#include "PgTestServer.h"
#include "data/uDMQueries.h"
#include "ui/grid/Grid.h"
#include "ui/ribbon/RibbonEdits.h"
#include "ui/ufrmMain.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <map>
#include <memory>
#include <string>

namespace {

constexpr int Commands = 100000;
constexpr int DateColumn = 3; // "_date" in the commands grid
constexpr int ArmColumn = 6;  // "_arm_name"

const QDateTime RangeBegin() {
    return QDateTime(QDate::currentDate().addDays(-60), QTime(0, 0));
}
const QDateTime RangeEnd() {
    return QDateTime(QDate::currentDate().addDays(1), QTime(0, 0));
}

// Resident memory of this process, in MiB.
double ResidentMiB() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
    return 0;
}

// The window of every benchmark but the facility's, loaded once.
struct TWindow {
    TDMQueries Dm;
    std::unique_ptr<TfrmMain> Window;

    TWindow() {
        TPgTestServer::Instance().PointAt(*Dm.cnn);
        Window = std::make_unique<TfrmMain>(Dm);
        Window->resize(1229, 912);
        Window->edDateBegin->SetEditValue(RangeBegin());
        Window->edDateEnd->SetEditValue(RangeEnd());
        Window->show();
    }
    // Paints the commands grid as the screen would show it; layout included.
    void Paint() const {
        QPixmap pixmap = Window->gridCommands->grab();
        benchmark::DoNotOptimize(pixmap);
    }
};

TWindow* GWindow = nullptr;
double GRssBefore = 0;
double GRssLoaded = 0;
double GRowsMiB = 0; // what the facility holds for the rows themselves

void BM_FacilityOpen(benchmark::State& state) {
    TDMQueries dm;
    TPgTestServer::Instance().PointAt(*dm.cnn);
    TDbQuery& q = *dm.qCommands;
    for (auto _ : state) {
        q.Close();
        q.ParamByName(QStringLiteral("DateBegin")).AsDateTime(RangeBegin());
        q.ParamByName(QStringLiteral("DateEnd")).AsDateTime(RangeEnd());
        q.Open();
        state.counters["rows"] = q.RecordCount();
    }
}

void BM_RefreshUntilPainted(benchmark::State& state) {
    for (auto _ : state) {
        GWindow->Window->actRefreshCommands->trigger();
        GWindow->Paint();
    }
    state.counters["rows"] = GWindow->Window->tvCommands->model()->rowCount();
    GRssLoaded = ResidentMiB();
    GRowsMiB = double(GWindow->Dm.qCommands->RowsByteSize()) / (1024.0 * 1024.0);
}

void Group(benchmark::State& state, const QList<int>& columns) {
    TGridView& view = *GWindow->Window->tvCommands;
    for (auto _ : state) {
        for (int column : columns)
            view.GroupBy(column);
        GWindow->Paint();
        state.PauseTiming();
        state.counters["groups"] = view.model()->rowCount();
        view.ClearGrouping();
        GWindow->Paint();
        state.ResumeTiming();
    }
}

void BM_GroupByDate(benchmark::State& state) {
    Group(state, {DateColumn});
}

void BM_GroupByDateAndArm(benchmark::State& state) {
    Group(state, {DateColumn, ArmColumn});
}

void BM_FindPanel(benchmark::State& state) {
    TGrid& grid = *GWindow->Window->gridCommands;
    grid.ShowFindPanel();
    for (auto _ : state) {
        grid.FindEdit().setText(QStringLiteral("КП-2"));
        GWindow->Paint();
        state.PauseTiming();
        state.counters["rows"] = grid.View().model()->rowCount();
        grid.FindEdit().clear();
        GWindow->Paint();
        state.ResumeTiming();
    }
    grid.HideFindPanel();
}

BENCHMARK(BM_FacilityOpen)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_RefreshUntilPainted)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_GroupByDate)->Unit(benchmark::kMillisecond)->MinTime(0.5);
BENCHMARK(BM_GroupByDateAndArm)->Unit(benchmark::kMillisecond)->MinTime(0.5);
BENCHMARK(BM_FindPanel)->Unit(benchmark::kMillisecond)->MinTime(0.5);

// Console output plus the ratios and the memory at the end.
class TRatioReporter : public benchmark::ConsoleReporter {
public:
    TRatioReporter() : ConsoleReporter(OO_Tabular) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs)
            if (run.run_type == Run::RT_Iteration) {
                FTimes[run.run_name.function_name] = run.GetAdjustedRealTime();
                FCpuTimes[run.run_name.function_name] = run.GetAdjustedCPUTime();
            }
        ConsoleReporter::ReportRuns(runs);
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        const double open = FTimes["BM_FacilityOpen"];
        const double refresh = FTimes["BM_RefreshUntilPainted"];
        if (open <= 0 || refresh <= 0)
            return;
        std::printf("refresh until painted / facility open: %.3f (target <= 1.5, aim 1.2)\n"
                    "client CPU time, same ratio:           %.3f (this process only)\n",
                    refresh / open,
                    FCpuTimes["BM_RefreshUntilPainted"] / FCpuTimes["BM_FacilityOpen"]);
        for (const char* name : {"BM_GroupByDate", "BM_GroupByDateAndArm", "BM_FindPanel"})
            std::printf("%-22s / refresh:             %.3f (must stay <= 1)\n", name,
                        FTimes[name] / refresh);
        std::printf("resident memory: %.1f MiB before the window, %.1f MiB with %d rows loaded"
                    " (of which %.1f MiB the rows as the facility holds them)\n",
                    GRssBefore, GRssLoaded, Commands, GRowsMiB);
    }

private:
    std::map<std::string, double> FTimes;
    std::map<std::string, double> FCpuTimes;
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
    // The window keeps its state file in the current directory: a throwaway one.
    QTemporaryDir folder;
    QDir::setCurrent(folder.path());
    GRssBefore = ResidentMiB();
    {
        TWindow window;
        GWindow = &window;
        TRatioReporter reporter;
        benchmark::RunSpecifiedBenchmarks(&reporter);
        GWindow = nullptr;
    }
    benchmark::Shutdown();
    TPgTestServer::Shutdown();
    return 0;
}
