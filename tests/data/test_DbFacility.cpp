// The facility against the real server: connecting, parameters, failures, failover,
// notifications and the table model.
#include "PgTestServer.h"
#include "data/uDataSource.h"
#include "data/uDbConnection.h"
#include "data/uDbQuery.h"
#include "platform/Exceptions.h"

#include <QAbstractItemModelTester>
#include <QDir>
#include <QSortFilterProxyModel>
#include <arpa/inet.h>
#include <condition_variable>
#include <csignal>
#include <gtest/gtest.h>
#include <memory>
#include <mutex>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <optional>
#include <sys/socket.h>
#include <thread>

namespace {

class DbFacility : public testing::Test {
protected:
    static void SetUpTestSuite() { TPgTestServer::Instance(); }

    void SetUp() override {
        TPgTestServer::Instance().PointAt(FCnn);
        FQuery.setObjectName(QStringLiteral("qTest"));
        FQuery.SetConnection(&FCnn);
    }

    // Opens a one-column statement and returns the value of its first row.
    QString Scalar(const QString& sql) {
        TDbQuery q;
        q.SetConnection(&FCnn);
        q.SetSQL({sql});
        q.Open();
        return q.Fields(0).AsString();
    }

    TDbConnection FCnn;
    TDbQuery FQuery;
};

TEST_F(DbFacility, NeverSetParameterIsSentAsNullAndValuesSurviveReopen) {
    FQuery.SetSQL(
        {QStringLiteral("SELECT :p::text IS NULL AS p_null, :p::text AS p_text, :q::int AS q")});
    FQuery.Open();
    EXPECT_EQ(FQuery.FieldByName(QStringLiteral("p_null")).AsString(), QStringLiteral("t"));
    EXPECT_TRUE(FQuery.FieldByName(QStringLiteral("q")).IsNull());
    EXPECT_EQ(FQuery.FieldByName(QStringLiteral("q")).AsInteger(), 0);
    FQuery.Close();

    FQuery.ParamByName(QStringLiteral("P")).AsString(QStringLiteral("Пеленг 'x'"));
    FQuery.ParamByName(QStringLiteral("q")).AsInteger(-7);
    FQuery.Open();
    FQuery.Close();
    // Reopened without setting anything: the values set last are sent again.
    FQuery.Open();
    EXPECT_EQ(FQuery.FieldByName(QStringLiteral("p_null")).AsString(), QStringLiteral("f"));
    EXPECT_EQ(FQuery.FieldByName(QStringLiteral("p_text")).AsString(),
              QStringLiteral("Пеленг 'x'"));
    EXPECT_EQ(FQuery.FieldByName(QStringLiteral("q")).AsInteger(), -7);
}

TEST_F(DbFacility, ParametersKeepTheirValueWhenTheStatementChanges) {
    FQuery.SetSQL({QStringLiteral("SELECT :a::int AS a")});
    FQuery.ParamByName(QStringLiteral("a")).AsInteger(5);
    FQuery.SetSQL({QStringLiteral("SELECT :a::int * 2 AS a, :b::int AS b")});
    FQuery.Open();
    EXPECT_EQ(FQuery.FieldByName(QStringLiteral("a")).AsInteger(), 10);
    EXPECT_TRUE(FQuery.FieldByName(QStringLiteral("b")).IsNull());
    EXPECT_THROW(FQuery.ParamByName(QStringLiteral("c")), EDatabaseError);
}

TEST_F(DbFacility, DateTimeParametersAndFieldsRoundTrip) {
    FQuery.SetSQL({QStringLiteral("SELECT :t::timestamp AS t, :t::timestamp::date AS d,"),
                   QStringLiteral("       :t::timestamp::time AS tm")});
    const QDateTime when(QDate(2026, 3, 29), QTime(2, 30, 15, 250), Qt::UTC);
    FQuery.ParamByName(QStringLiteral("t")).AsDateTime(when);
    FQuery.Open();
    EXPECT_EQ(FQuery.FieldByName(QStringLiteral("t")).AsDateTime(), when);
    EXPECT_EQ(FQuery.FieldByName(QStringLiteral("d")).AsDate(), when.date());
    EXPECT_EQ(FQuery.FieldByName(QStringLiteral("tm")).AsTime(), when.time());
    EXPECT_EQ(FQuery.FieldByName(QStringLiteral("d")).AsString(), QStringLiteral("2026-03-29"));
    EXPECT_THROW(FQuery.ParamByName(QStringLiteral("t")).AsDateTime(QDateTime()), EConvertError);
}

TEST_F(DbFacility, NavigationAndRecordCount) {
    FQuery.SetSQL({QStringLiteral("SELECT g AS n FROM generate_series(1, :count) g ORDER BY g")});
    FQuery.ParamByName(QStringLiteral("count")).AsInteger(3);
    FQuery.Open();
    EXPECT_EQ(FQuery.RecordCount(), 3);
    QList<int> seen;
    for (FQuery.First(); !FQuery.Eof(); FQuery.Next())
        seen << FQuery.FieldByName(QStringLiteral("n")).AsInteger();
    EXPECT_EQ(seen, (QList<int>{1, 2, 3}));
    FQuery.Close();

    FQuery.ParamByName(QStringLiteral("count")).AsInteger(0);
    FQuery.Open();
    EXPECT_EQ(FQuery.RecordCount(), 0);
    EXPECT_TRUE(FQuery.Eof());
    EXPECT_EQ(FQuery.FieldByName(QStringLiteral("n")).AsString(), QString());
    FQuery.Close();
    EXPECT_EQ(FQuery.RecordCount(), 0);
    EXPECT_THROW(FQuery.FieldByName(QStringLiteral("n")).AsString(), EDatabaseError);
}

struct TFailCase {
    const char* Name;
    const char* Sql;
    std::vector<TFieldDef> Fields;
    const char* MessagePart;
};

class DbFailure : public DbFacility, public testing::WithParamInterface<TFailCase> {};

TEST_P(DbFailure, LeavesTheQueryClosedWithTheMessage) {
    const TFailCase& c = GetParam();
    FQuery.DeclareFields(c.Fields);
    // Open a good statement first: the failure must also close what was shown before.
    FQuery.SetSQL({QStringLiteral("SELECT 1 AS a, 'x'::text AS b")});
    FQuery.Open();
    ASSERT_TRUE(FQuery.Active());
    FQuery.Close();
    FQuery.SetSQL({QString::fromUtf8(c.Sql)});
    try {
        FQuery.Open();
        FAIL() << "Open succeeded";
    } catch (const EDatabaseError& e) {
        EXPECT_TRUE(e.Message().contains(QString::fromUtf8(c.MessagePart))) << e.what();
    }
    EXPECT_FALSE(FQuery.Active());
    EXPECT_EQ(FQuery.RecordCount(), 0);
    // The connection stays usable.
    EXPECT_EQ(Scalar(QStringLiteral("SELECT 42")), QStringLiteral("42"));
}

const TFailCase FailCases[] = {
    {"MissingColumn",
     "SELECT 1 AS a",
     {{QStringLiteral("a"), TFieldClass::Integer}, {QStringLiteral("b"), TFieldClass::Memo}},
     "qTest: the result has no column \"b\""},
    {"WrongType",
     "SELECT 'one'::text AS a, 'x'::text AS b",
     {{QStringLiteral("a"), TFieldClass::Integer}, {QStringLiteral("b"), TFieldClass::Memo}},
     "column \"a\" is of type text, expected integer"},
    {"ZonedTimestamp",
     "SELECT now() AS a, 'x'::text AS b",
     {{QStringLiteral("a"), TFieldClass::Integer}, {QStringLiteral("b"), TFieldClass::Memo}},
     "column \"a\" is of type timestamp with time zone, expected integer"},
    {"TypeWithoutAName",
     "SELECT point(1, 2) AS a, 'x'::text AS b",
     {{QStringLiteral("a"), TFieldClass::Integer}, {QStringLiteral("b"), TFieldClass::Memo}},
     "column \"a\" is of type oid 600, expected integer"},
    {"ServerError",
     "SELECT 1 / 0 AS a, 'x'::text AS b",
     {{QStringLiteral("a"), TFieldClass::Integer}, {QStringLiteral("b"), TFieldClass::Memo}},
     "division by zero"},
    {"UnknownTable",
     "SELECT * FROM no_such_table",
     {},
     "relation \"no_such_table\" does not exist"},
    {"NoRows", "SET search_path = public", {}, "qTest: the statement returns no rows"},
};

INSTANTIATE_TEST_SUITE_P(Statements, DbFailure, testing::ValuesIn(FailCases),
                         [](const testing::TestParamInfo<TFailCase>& info) {
                             return info.param.Name;
                         });

TEST_F(DbFacility, SessionsAreReadOnly) {
    EXPECT_EQ(Scalar(QStringLiteral("SHOW default_transaction_read_only")), QStringLiteral("on"));
    FQuery.SetSQL({QStringLiteral("CREATE TEMP TABLE lodvar_scratch AS SELECT 1 AS n")});
    try {
        FQuery.Open();
        FAIL() << "the write went through";
    } catch (const EDatabaseError& e) {
        EXPECT_TRUE(e.Message().contains(QStringLiteral("read-only transaction"))) << e.what();
    }
    EXPECT_FALSE(FQuery.Active());
}

TEST_F(DbFacility, ImplicitConnectUsesTheSettingsHeldAtThatMoment) {
    auto& server = TPgTestServer::Instance();
    server.CreateReaderRole(QStringLiteral("profile_user"), QStringLiteral("Pr0file pass"));
    FQuery.SetSQL({QStringLiteral("SELECT current_user AS who")});
    struct TStep {
        QString User;
        QString Password;
        QString Expected; // empty: the connect must fail
    };
    const TStep steps[] = {
        {QStringLiteral("lodvar"), server.LodvarPassword(), QStringLiteral("lodvar")},
        {QStringLiteral("profile_user"), QStringLiteral("Pr0file pass"),
         QStringLiteral("profile_user")},
        {QStringLiteral("profile_user"), QStringLiteral("wrong"), QString()},
        {QStringLiteral("lodvar"), server.LodvarPassword(), QStringLiteral("lodvar")},
    };
    for (const TStep& step : steps) {
        FQuery.Close();
        FCnn.Close();
        FCnn.SetUsername(step.User);
        FCnn.SetPassword(step.Password);
        if (step.Expected.isEmpty()) {
            try {
                FQuery.Open();
                ADD_FAILURE() << "connected with a wrong password";
            } catch (const EDatabaseError& e) {
                EXPECT_TRUE(e.Message().contains(QStringLiteral("password authentication failed")))
                    << e.what();
            }
            EXPECT_FALSE(FCnn.Connected());
            EXPECT_FALSE(FQuery.Active());
        } else {
            FQuery.Open();
            EXPECT_TRUE(FCnn.Connected());
            EXPECT_EQ(FQuery.FieldByName(QStringLiteral("who")).AsString(), step.Expected);
        }
    }
}

TEST_F(DbFacility, ConnectFailureRaisesTheClientMessage) {
    FCnn.SetPortNumber(1);
    try {
        FCnn.SetConnected(true);
        FAIL() << "connected to port 1";
    } catch (const EDatabaseError& e) {
        EXPECT_TRUE(e.Message().contains(QStringLiteral("port 1 failed"))) << e.what();
    }
    EXPECT_FALSE(FCnn.Connected());
}

TEST_F(DbFacility, PortZeroMeansTheClientLibraryDefault) {
    // The client library's default port follows PGPORT; point it at the test server.
    const QByteArray saved = qgetenv("PGPORT");
    struct TRestore {
        QByteArray Value;
        ~TRestore() {
            if (Value.isNull())
                qunsetenv("PGPORT");
            else
                qputenv("PGPORT", Value);
        }
    } restore{saved};
    qputenv("PGPORT", QByteArray::number(TPgTestServer::Instance().Port()));
    FCnn.SetPortNumber(0);
    EXPECT_EQ(Scalar(QStringLiteral("SELECT current_setting('port')")),
              QString::number(TPgTestServer::Instance().Port()));
}

struct TFailoverCase {
    const char* Name;
    bool LocalFailover;
};

class DbFailover : public DbFacility, public testing::WithParamInterface<TFailoverCase> {};

TEST_P(DbFailover, ConnectionDroppedBetweenTwoOpens) {
    FCnn.SetLocalFailover(GetParam().LocalFailover);
    FQuery.SetSQL({QStringLiteral("SELECT pg_backend_pid() AS pid")});
    FQuery.Open();
    const int first = FQuery.FieldByName(QStringLiteral("pid")).AsInteger();
    EXPECT_EQ(first, FCnn.BackendPid());
    FQuery.Close();
    TPgTestServer::Instance().TerminateBackend(first);

    if (GetParam().LocalFailover) {
        FQuery.Open(); // restored and repeated without a message
        EXPECT_TRUE(FQuery.Active());
        EXPECT_NE(FQuery.FieldByName(QStringLiteral("pid")).AsInteger(), first);
    } else {
        try {
            FQuery.Open();
            FAIL() << "the lost connection went unnoticed";
        } catch (const EDatabaseError& e) {
            EXPECT_FALSE(e.Message().isEmpty());
        }
        EXPECT_FALSE(FQuery.Active());
        EXPECT_FALSE(FCnn.Connected());
        // The next open connects again (implicit connect).
        FQuery.Open();
        EXPECT_NE(FQuery.FieldByName(QStringLiteral("pid")).AsInteger(), first);
    }
}

TEST_F(DbFacility, FailoverThatCannotReconnectLeavesTheQueryClosed) {
    auto& server = TPgTestServer::Instance();
    FCnn.SetLocalFailover(true);
    FQuery.SetSQL({QStringLiteral("SELECT pg_backend_pid() AS pid")});
    FQuery.Open();
    const int pid = FQuery.FieldByName(QStringLiteral("pid")).AsInteger();
    FQuery.Close();
    // While the role may not log in, the lost connection cannot be restored.
    struct TLoginBack {
        ~TLoginBack() {
            TPgTestServer::Instance().ExecAsSuperuser(QStringLiteral("ALTER ROLE lodvar LOGIN"));
        }
    } loginBack;
    server.ExecAsSuperuser(QStringLiteral("ALTER ROLE lodvar NOLOGIN"));
    server.TerminateBackend(pid);
    try {
        FQuery.Open();
        FAIL() << "opened without a connection";
    } catch (const EDatabaseError& e) {
        EXPECT_TRUE(e.Message().contains(QStringLiteral("not permitted to log in"))) << e.what();
    }
    EXPECT_FALSE(FQuery.Active());
    EXPECT_FALSE(FCnn.Connected());
}

// The descriptor of this process's TCP socket whose local port is the one given; -1
// when there is none.
int SocketOnLocalPort(int port) {
    for (const QString& entry : QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::Files)) {
        const int fd = entry.toInt();
        sockaddr_in local{};
        socklen_t length = sizeof local;
        if (::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length) == 0 &&
            local.sin_family == AF_INET && ntohs(local.sin_port) == port)
            return fd;
    }
    return -1;
}

int SocketOption(int fd, int level, int option) {
    int value = -1;
    socklen_t length = sizeof value;
    EXPECT_EQ(::getsockopt(fd, level, option, &value, &length), 0);
    return value;
}

TEST_F(DbFacility, ConnectionsProbeForADeadPeer) {
    // The server's view of this connection's port finds the client's socket.
    const int fd = SocketOnLocalPort(Scalar(QStringLiteral("SELECT inet_client_port()")).toInt());
    ASSERT_GE(fd, 0);
    EXPECT_EQ(SocketOption(fd, SOL_SOCKET, SO_KEEPALIVE), 1);
    EXPECT_EQ(SocketOption(fd, IPPROTO_TCP, TCP_KEEPIDLE), 30);
    EXPECT_EQ(SocketOption(fd, IPPROTO_TCP, TCP_KEEPINTVL), 10);
    EXPECT_EQ(SocketOption(fd, IPPROTO_TCP, TCP_KEEPCNT), 3);
    EXPECT_EQ(SocketOption(fd, IPPROTO_TCP, TCP_USER_TIMEOUT), 30000);
}

// Stops a backend process while it lives, and at most for a bound time, so that an
// unbounded wait of the code under test ends too (and then fails the test).
class TStoppedBackend {
public:
    TStoppedBackend(int pid, std::chrono::seconds bound) : FPid(pid) {
        EXPECT_EQ(::kill(pid, SIGSTOP), 0);
        FResume = std::thread([this, bound] {
            std::unique_lock lock(FMutex);
            FReleased.wait_for(lock, bound, [this] { return FDone; });
            ::kill(FPid, SIGCONT);
        });
    }
    ~TStoppedBackend() {
        {
            const std::lock_guard lock(FMutex);
            FDone = true;
        }
        FReleased.notify_all();
        FResume.join();
    }
    TStoppedBackend(const TStoppedBackend&) = delete;
    TStoppedBackend& operator=(const TStoppedBackend&) = delete;

private:
    int FPid;
    std::mutex FMutex;
    std::condition_variable FReleased;
    bool FDone = false;
    std::thread FResume;
};

TEST_F(DbFacility, AStatementWithoutAnAnswerInTimeIsCancelledAndTheConnectionClosed) {
    const struct {
        const char* Name;
        const char* Sql;
        bool StopBackend;
    } cases[] = {{"slow statement", "SELECT pg_sleep(20) AS a", false},
                 {"stopped backend", "SELECT 1 AS a", true}};
    FCnn.SetLocalFailover(true);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        FCnn.SetStatementTimeout(std::chrono::milliseconds(1500));
        FCnn.Open();
        const int pid = FCnn.BackendPid();
        FQuery.SetSQL({QString::fromUtf8(c.Sql)});
        {
            std::optional<TStoppedBackend> stopped;
            if (c.StopBackend)
                stopped.emplace(pid, std::chrono::seconds(20));
            try {
                FQuery.Open();
                ADD_FAILURE() << "the statement was waited for without a limit";
            } catch (const EDatabaseError& e) {
                EXPECT_EQ(e.Message(), QStringLiteral("The database server did not answer within "
                                                      "1.5 s; the statement was cancelled and "
                                                      "the connection closed."));
            }
            EXPECT_FALSE(FQuery.Active());
            EXPECT_FALSE(FCnn.Connected()) << "the connection counts as lost";
        }
        // The next open connects again, with the site's limit back in place.
        FCnn.SetStatementTimeout(std::chrono::seconds(60));
        EXPECT_NE(Scalar(QStringLiteral("SELECT pg_backend_pid()")), QString::number(pid));
    }
}

const TFailoverCase FailoverCases[] = {{"LocalFailoverOn", true}, {"LocalFailoverOff", false}};

INSTANTIATE_TEST_SUITE_P(Modes, DbFailover, testing::ValuesIn(FailoverCases),
                         [](const testing::TestParamInfo<TFailoverCase>& info) {
                             return info.param.Name;
                         });

// Counts the notifications a data source passes on.
struct TCounter {
    explicit TCounter(TDataSource& source) {
        QObject::connect(&source, &TDataSource::DataChanged, [this] { ++Changed; });
        QObject::connect(&source, &QAbstractItemModel::modelAboutToBeReset, [this] { ++Begun; });
        QObject::connect(&source, &QAbstractItemModel::modelReset, [this] { ++Reset; });
        QObject::connect(&source, &TDataSource::CurrentRowChanged, [this](int row) { Row = row; });
    }
    int Changed = 0;
    int Begun = 0;
    int Reset = 0;
    int Row = -2;
};

TEST_F(DbFacility, NestedDisableControlsNotifiesOnceAtTheOutermostEnable) {
    TDataSource source;
    source.SetDataSet(&FQuery);
    FQuery.SetSQL({QStringLiteral("SELECT g AS n FROM generate_series(1, :count) g")});
    FQuery.ParamByName(QStringLiteral("count")).AsInteger(2);
    TCounter counter(source);

    FQuery.DisableControls();
    FQuery.DisableControls();
    FQuery.Open();
    FQuery.Next();
    FQuery.Close();
    FQuery.ParamByName(QStringLiteral("count")).AsInteger(4);
    FQuery.Open();
    FQuery.EnableControls();
    EXPECT_EQ(counter.Changed, 0);
    EXPECT_EQ(counter.Reset, 0);
    FQuery.EnableControls();
    EXPECT_EQ(counter.Changed, 1);
    EXPECT_EQ(counter.Begun, 1);
    EXPECT_EQ(counter.Reset, 1);
    EXPECT_EQ(source.rowCount(), 4);
    EXPECT_EQ(counter.Row, 0);

    // An unmatched enable changes nothing; without a bracket each change is heard.
    FQuery.EnableControls();
    EXPECT_EQ(counter.Changed, 1);
    FQuery.Close();
    FQuery.Open();
    EXPECT_EQ(counter.Changed, 3);
    EXPECT_EQ(counter.Reset, 3);
}

TEST_F(DbFacility, DataSourceIsATableModelOverTheQueryRows) {
    TDataSource source;
    source.SetDataSet(&FQuery);
    FQuery.SetSQL(
        {QStringLiteral("SELECT g AS n, (g * 1.5)::float8 AS f, CASE WHEN g = 2 THEN NULL"),
         QStringLiteral("  ELSE 'row ' || g END AS t, '2026-11-0' || g || '' AS d_text,"),
         QStringLiteral("  ('2026-11-0' || g)::date AS d, gen_random_uuid() AS u"),
         QStringLiteral("FROM generate_series(1, 3) g ORDER BY g")});
    TCounter counter(source);
    FQuery.Open();
    ASSERT_EQ(source.rowCount(), 3);
    ASSERT_EQ(source.columnCount(), 6);
    EXPECT_EQ(source.headerData(2, Qt::Horizontal).toString(), QStringLiteral("t"));
    EXPECT_EQ(source.data(source.index(1, 0)), QVariant(2));
    EXPECT_EQ(source.data(source.index(2, 1)), QVariant(4.5));
    EXPECT_FALSE(source.data(source.index(1, 2)).isValid());
    EXPECT_EQ(source.data(source.index(2, 2)), QVariant(QStringLiteral("row 3")));
    EXPECT_EQ(source.data(source.index(0, 4)), QVariant(QDate(2026, 11, 1)));
    const QString uuid = source.data(source.index(0, 5)).toString();
    EXPECT_EQ(uuid.size(), 38);
    EXPECT_EQ(uuid, uuid.toUpper());
    EXPECT_TRUE(uuid.startsWith(QLatin1Char('{')) && uuid.endsWith(QLatin1Char('}')));
    EXPECT_FALSE(source.data(source.index(3, 0)).isValid());
    EXPECT_FALSE(source.flags(source.index(0, 0)).testFlag(Qt::ItemIsEditable));

    // The view's focused row and the query's current row move together.
    source.SetCurrentRow(2);
    EXPECT_EQ(FQuery.FieldByName(QStringLiteral("n")).AsInteger(), 3);
    EXPECT_EQ(counter.Row, 2);
    FQuery.First();
    EXPECT_EQ(source.CurrentRow(), 0);
    EXPECT_EQ(counter.Row, 0);

    FQuery.Close();
    EXPECT_EQ(source.rowCount(), 0);
}

TEST_F(DbFacility, ModelStaysConsistentForViewsAndProxies) {
    TDataSource source;
    source.SetDataSet(&FQuery);
    QSortFilterProxyModel proxy;
    proxy.setSourceModel(&source);
    const QAbstractItemModelTester sourceTester(
        &source, QAbstractItemModelTester::FailureReportingMode::Fatal);
    const QAbstractItemModelTester proxyTester(
        &proxy, QAbstractItemModelTester::FailureReportingMode::Fatal);
    FQuery.SetSQL(
        {QStringLiteral("SELECT g AS n, 'row ' || g AS t FROM generate_series(1, :c) g")});
    for (const int count : {3, 0, 5}) {
        FQuery.Close();
        FQuery.ParamByName(QStringLiteral("c")).AsInteger(count);
        FQuery.Open();
        EXPECT_EQ(proxy.rowCount(), count);
    }
    FQuery.DisableControls();
    FQuery.Close();
    FQuery.ParamByName(QStringLiteral("c")).AsInteger(2);
    FQuery.Open();
    FQuery.EnableControls();
    EXPECT_EQ(proxy.rowCount(), 2);
    EXPECT_EQ(proxy.data(proxy.index(1, 1)), QVariant(QStringLiteral("row 2")));
}

} // namespace
