// The start-up: one instance per user session (real processes of the program), the
// session's paths to the main window or to the end, and the connection-error box.
#include "SessionTestKit.h"
#include "app/Application.h"
#include "app/Startup.h"
#include "platform/Exceptions.h"
#include "platform/MessageBox.h"
#include "platform/SingleInstance.h"

#include <QFile>
#include <QLineEdit>
#include <QMainWindow>
#include <QProcess>
#include <QTest>
#include <sys/stat.h>

namespace {

// Whether the process holds a flock, as the kernel lists them.
bool HoldsFlock(qint64 pid) {
    QFile locks(S("/proc/locks"));
    if (!locks.open(QIODevice::ReadOnly))
        return false;
    for (const QByteArray& line : locks.readAll().split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() > 4 && fields[1] == "FLOCK" && fields[4].toLongLong() == pid)
            return true;
    }
    return false;
}

// Real processes of the program with a runtime folder and a per-user folder of their own.
class TProgramTest : public testing::Test {
protected:
    TProgramTest() {
        EXPECT_TRUE(FRuntime.isValid());
        ::chmod(QFile::encodeName(FRuntime.path()).constData(), 0700);
        FEnvironment = QProcessEnvironment::systemEnvironment();
        FEnvironment.insert(S("QT_QPA_PLATFORM"), S("offscreen"));
        FEnvironment.insert(S("XDG_RUNTIME_DIR"), FRuntime.path());
        FEnvironment.insert(S("LOCALAPPDATA"), FAppData.path());
    }

    std::unique_ptr<QProcess> Start() {
        auto process = std::make_unique<QProcess>();
        process->setProcessEnvironment(FEnvironment);
        process->start(S(LODVAR_PROGRAM), {});
        EXPECT_TRUE(process->waitForStarted());
        return process;
    }

    // Waits until the program has passed its guard (it then waits in its first box,
    // whatever the built-in server answers).
    static void AwaitGuard(const QProcess& process) {
        EXPECT_TRUE(QTest::qWaitFor([&] { return HoldsFlock(process.processId()); }, 30000));
        EXPECT_EQ(process.state(), QProcess::Running);
    }

    static void Stop(QProcess& process) {
        process.kill();
        process.waitForFinished();
    }

    QTemporaryDir FRuntime;
    QTemporaryDir FAppData;
    QProcessEnvironment FEnvironment;
};

TEST_F(TProgramTest, SecondInstanceEndsSilentlyAndTheNextStartRunsAgain) {
    const auto first = Start();
    AwaitGuard(*first);

    const auto second = Start();
    ASSERT_TRUE(second->waitForFinished(30000));
    EXPECT_EQ(second->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second->exitCode(), ExitNormal);
    EXPECT_TRUE(second->readAllStandardOutput().isEmpty());
    EXPECT_TRUE(second->readAllStandardError().isEmpty());
    EXPECT_EQ(first->state(), QProcess::Running);

    Stop(*first);
    const auto third = Start();
    AwaitGuard(*third);
    Stop(*third);
}

TEST_F(TProgramTest, GuardThatCannotBeCreatedEndsWithTheSystemMessage) {
    // Whatever the lock file's name, a folder there cannot be opened as the lock.
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(FRuntime.path()));
    const QString lock = SingleInstanceLockPath(SingleInstanceName);
    qunsetenv("XDG_RUNTIME_DIR");
    ASSERT_TRUE(QDir().mkpath(lock));

    const auto process = Start();
    ASSERT_TRUE(process->waitForFinished(30000));
    EXPECT_EQ(process->exitCode(), ExitSystemError);
    const QString error = QString::fromLocal8Bit(process->readAllStandardError());
    EXPECT_TRUE(error.startsWith(S("lodvar: Cannot open the lock file ") + lock + S(": ")))
        << error.toStdString();
}

class TSessionStartTest : public testing::Test {
protected:
    static void SetUpTestSuite() {
        // An empty database name makes the client library use the user's name.
        auto& server = TPgTestServer::Instance();
        if (server.QueryValueAsSuperuser(
                S("SELECT count(*) FROM pg_database WHERE datname = 'profile_user'")) == S("0"))
            server.ExecAsSuperuser(S("CREATE DATABASE profile_user"), S("postgres"));
    }

    TSessionSite site;
    MessageRecorder messages;
    TStandardErrorRecorder errors;
    int windows = 0;
};

// Logs in as admin.
void LogIn(TfrmLogin& dialog) {
    auto* edPassword = dialog.findChild<QLineEdit*>(S("edPassword"));
    edPassword->setText(S("U*U"));
    QTest::keyClick(edPassword, Qt::Key_Return);
}

TEST_F(TSessionStartTest, StoredSettingsThatFailGiveTheBoxWithEmptyTexts) {
    const TDeadPort dead;
    const TLoginDriver driver([](TfrmLogin& dialog) { dialog.reject(); });
    const int code = RunSession(
        [&](Tdm&) {
            ++windows;
            return std::make_unique<QMainWindow>();
        },
        [&](TDbConnection& cnn) {
            TSessionSite::PointAtServer(cnn);
            cnn.SetPortNumber(dead.Port());
        });
    EXPECT_EQ(code, ExitWithoutMainWindow);
    EXPECT_FALSE(driver.Done());
    EXPECT_EQ(windows, 0);
    ASSERT_EQ(messages.Messages().size(), 1);
    const QString prefix = S("Error while connecting to:\rServer: \rPort: \rDatabase: \rMessage: ");
    EXPECT_TRUE(messages.Messages()[0].startsWith(prefix)) << messages.Messages()[0].toStdString();
    EXPECT_GT(messages.Messages()[0].size(), prefix.size());
}

TEST_F(TSessionStartTest, MainWindowThatFailsShowsTheRememberedTextsWithDemoForNoDatabase) {
    site.WriteProfile(std::nullopt, QString());
    const TLoginDriver driver(LogIn);
    const int code = RunSession(
        [&](Tdm& dm) -> std::unique_ptr<QWidget> {
            ++windows;
            dm.cnn().SetServer(S("changed after the texts were taken"));
            throw Exception(S("no window"));
        },
        TSessionSite::PointAtServer);
    EXPECT_EQ(code, ExitWithoutMainWindow);
    EXPECT_EQ(windows, 1);
    EXPECT_EQ(messages.Messages(),
              QStringList{S("Error while connecting to:\rServer: 127.0.0.1\rPort: %1\r"
                            "Database: DEMO\rMessage: no window")
                              .arg(TPgTestServer::Instance().Port())});
}

TEST(ConnectionTexts, Substitutions) {
    const struct {
        const char* name;
        const char* server;
        int port;
        const char* database;
        bool substitute;
        TConnectionTexts texts;
    } cases[] = {
        {"all empty, substituted", "", 0, "", true, {S("127.0.0.1"), S("0"), S("DEMO")}},
        {"all empty, as they are", "", 0, "", false, {S(""), S("0"), S("")}},
        {"all set", "db.site", 6543, "lodvar", true, {S("db.site"), S("6543"), S("lodvar")}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TDbConnection cnn;
        cnn.SetServer(S(c.server));
        cnn.SetPortNumber(c.port);
        cnn.SetDatabase(S(c.database));
        const TConnectionTexts texts = ConnectionTexts(cnn, c.substitute);
        EXPECT_EQ(texts.Server, c.texts.Server);
        EXPECT_EQ(texts.Port, c.texts.Port);
        EXPECT_EQ(texts.Database, c.texts.Database);
    }
}

TEST_F(TSessionStartTest, CancelledLoginEndsWithoutMainWindowOrMessage) {
    site.WriteProfile();
    const TLoginDriver driver([](TfrmLogin& dialog) { dialog.reject(); });
    const int code = RunSession(
        [&](Tdm&) {
            ++windows;
            return std::make_unique<QMainWindow>();
        },
        TSessionSite::PointAtServer);
    EXPECT_EQ(code, ExitWithoutMainWindow);
    EXPECT_TRUE(driver.Done());
    EXPECT_EQ(windows, 0);
    EXPECT_TRUE(messages.Messages().isEmpty());
    EXPECT_TRUE(errors.Messages().isEmpty());
}

TEST_F(TSessionStartTest, LoginOpensTheMainWindowMaximisedUntilItCloses) {
    site.WriteProfile();
    const TLoginDriver driver(LogIn);
    QPointer<QWidget> shown;
    std::optional<TWhen> closer;
    const int code = RunSession(
        [&](Tdm& dm) -> std::unique_ptr<QWidget> {
            ++windows;
            EXPECT_TRUE(dm.isStart());
            EXPECT_EQ(dm.Login(), S("admin"));
            auto window = CreateMainWindow(dm);
            shown = window.get();
            closer.emplace([&] { return shown && shown->isVisible(); },
                           [&] {
                               EXPECT_TRUE(shown->windowState() & Qt::WindowMaximized);
                               shown->close();
                           });
            return window;
        },
        TSessionSite::PointAtServer);
    EXPECT_EQ(code, ExitNormal);
    EXPECT_EQ(windows, 1);
    EXPECT_TRUE(closer && closer->Done());
    EXPECT_TRUE(shown.isNull()); // freed before the session context
    // A first run has no stored date range, so the window's first refresh says so.
    ASSERT_EQ(messages.Messages().size(), 1);
    EXPECT_TRUE(messages.Messages().front().startsWith(S("Error while fetching \"commands\":\r")))
        << messages.Messages().front().toStdString();
    EXPECT_TRUE(errors.Messages().isEmpty());
}

} // namespace
