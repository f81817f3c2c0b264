// Reading the commands of 100 000 commands through qCommands, beside a bare libpq loop
// over the same statement and rows in the same run. Prints the time ratio and the ratio
// of the bytes held for the rows to the bytes of text the server sent.
#include "PgTestServer.h"
#include "data/PgHandles.h"
#include "data/uDMQueries.h"

#include <QCoreApplication>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <map>
#include <memory>
#include <string>

namespace {

constexpr int Commands = 100000;

const QDateTime RangeBegin() {
    return QDateTime(QDate::currentDate().addDays(-60), QTime(0, 0));
}
const QDateTime RangeEnd() {
    return QDateTime(QDate::currentDate(), QTime(0, 0));
}

// Text bytes of the last bare read: what the server sent as values.
size_t GTextBytes = 0;
size_t GRowBytes = 0;

void BM_BareLibpq(benchmark::State& state) {
    auto& server = TPgTestServer::Instance();
    const QByteArray info =
        QStringLiteral("host=%1 port=%2 dbname=%3 user=%4 password=%5")
            .arg(server.Host())
            .arg(server.Port())
            .arg(server.Database(), server.LodvarUser(), server.LodvarPassword())
            .toUtf8();
    TPgConn conn(PQconnectdb(info.constData()));
    const QByteArray begin = RangeBegin().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")).toUtf8();
    const QByteArray end = RangeEnd().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")).toUtf8();
    const char* values[] = {begin.constData(), end.constData(), nullptr};
    const char* sql = "SELECT * FROM \nlodvar.tbl_fn_get_commands (\np_DateBegin => $1\n"
                      ",p_DateEnd  => $2\n,p_CommandsQueryMode => $3\n);\n";
    for (auto _ : state) {
        TPgResult result(PQexecParams(conn.get(), sql, 3, nullptr, values, nullptr, nullptr, 0));
        if (PQresultStatus(result.get()) != PGRES_TUPLES_OK) {
            state.SkipWithError(PQresultErrorMessage(result.get()));
            return;
        }
        const int rows = PQntuples(result.get());
        const int columns = PQnfields(result.get());
        size_t bytes = 0;
        for (int row = 0; row < rows; ++row)
            for (int column = 0; column < columns; ++column) {
                const char* value = PQgetvalue(result.get(), row, column);
                benchmark::DoNotOptimize(value);
                bytes += static_cast<size_t>(PQgetlength(result.get(), row, column));
            }
        GTextBytes = bytes;
        state.counters["rows"] = rows;
    }
    state.counters["text_bytes"] = static_cast<double>(GTextBytes);
}

// Re-runs qCommands over the benchmark's date range, as the main window does.
void Reopen(TDbQuery& q) {
    q.Close();
    q.ParamByName(QStringLiteral("DateBegin")).AsDateTime(RangeBegin());
    q.ParamByName(QStringLiteral("DateEnd")).AsDateTime(RangeEnd());
    q.Open();
}

void BM_Facility(benchmark::State& state) {
    TDMQueries dm;
    TPgTestServer::Instance().PointAt(*dm.cnn);
    TDbQuery& q = *dm.qCommands;
    for (auto _ : state) {
        Reopen(q);
        size_t bytes = 0;
        for (q.First(); !q.Eof(); q.Next())
            for (int i = 0; i < q.FieldCount(); ++i)
                bytes += q.Fields(i).AsUtf8().size();
        benchmark::DoNotOptimize(bytes);
        state.counters["rows"] = q.RecordCount();
    }
    GRowBytes = q.RowsByteSize();
    state.counters["row_bytes"] = static_cast<double>(GRowBytes);
}

// The same read with every value converted to its held form, as a grid would show it.
void BM_FacilityTyped(benchmark::State& state) {
    TDMQueries dm;
    TPgTestServer::Instance().PointAt(*dm.cnn);
    TDbQuery& q = *dm.qCommands;
    for (auto _ : state) {
        Reopen(q);
        for (q.First(); !q.Eof(); q.Next())
            for (int i = 0; i < q.FieldCount(); ++i) {
                QVariant value = q.Fields(i).AsVariant();
                benchmark::DoNotOptimize(value);
            }
    }
}

BENCHMARK(BM_BareLibpq)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_Facility)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_FacilityTyped)->Unit(benchmark::kMillisecond)->MinTime(1.0);

// Console output plus the two ratios at the end.
class TRatioReporter : public benchmark::ConsoleReporter {
public:
    TRatioReporter() : ConsoleReporter(OO_Tabular) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs)
            if (run.run_type == Run::RT_Iteration) {
                FTimes[run.benchmark_name()] = run.GetAdjustedRealTime();
                FCpuTimes[run.benchmark_name()] = run.GetAdjustedCPUTime();
            }
        ConsoleReporter::ReportRuns(runs);
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        const char* bare = "BM_BareLibpq/min_time:1.000";
        const char* facility = "BM_Facility/min_time:1.000";
        if (FTimes[bare] > 0 && FCpuTimes[bare] > 0 && GTextBytes > 0)
            std::printf("time facility / bare libpq: %.3f (target <= 1.5)\n"
                        "client CPU time, same ratio: %.3f (this process only)\n"
                        "row storage / text sent:    %.3f (%zu / %zu bytes; target <= 2)\n",
                        FTimes[facility] / FTimes[bare], FCpuTimes[facility] / FCpuTimes[bare],
                        static_cast<double>(GRowBytes) / GTextBytes, GRowBytes, GTextBytes);
    }

private:
    std::map<std::string, double> FTimes;
    std::map<std::string, double> FCpuTimes;
};

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    auto& server = TPgTestServer::Instance();
    server.ExecFileAsSuperuser(TPgTestServer::DbFile(QStringLiteral("demo.sql")));
    server.ExecAsSuperuser(
        QStringLiteral("SELECT lodvar.demo_generate(%1); ANALYZE").arg(Commands));
    TRatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    TPgTestServer::Shutdown();
    return 0;
}
