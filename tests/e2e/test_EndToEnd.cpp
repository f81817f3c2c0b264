// The built program as an operator meets it, in its own process under the X server, on a
// throwaway PostgreSQL server with the test network: the login dialog with the remembered
// user, a wrong password, the right one, the main window with the commands of the stored
// date range, bearings selected with the mouse and drawn on the map (read back from the
// page and seen in a screenshot), a second instance that ends silently, and the window
// closed as a window manager closes it. A failing run leaves a screenshot in artefacts/.
#include "E2eDriver.h"
#include "LodvarSiteConfig.h"
#include "PgTestServer.h"

#include <QColor>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <iostream>

namespace {

QString S(const char* text) {
    return QString::fromUtf8(text);
}

quint16 FreePort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

const QString LoginTitle = S("^Provide Username and Password:$");
const QString BoxTitle = S("^Lodvar\\.$");
const QString MainTitle = S("^Lodvar$");

class EndToEnd : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(qEnvironmentVariableIsEmpty("DISPLAY"))
            << "needs an X display: the test command runs ctest under xvfb-run";
        ASSERT_TRUE(FHome.isValid() && FRuntime.isValid());
        TPgTestServer& server = TPgTestServer::Instance();
        server.CreateReaderRole(S("e2e_profile"), QString::fromLatin1(SiteConfig::ProfilePassword));

        FFolder = FHome.path() + S("/KAVEX/Lodvar");
        ASSERT_TRUE(QDir().mkpath(FFolder));
        WriteFile(S("lodvar.ini"), "[CONNECTION]\nDB_ALIAS=E2E\n");
        // The test network's commands lie in October and November 2026.
        WriteFile(S("cxPropertiesStore1"), "[Main]\nVersion=2\n"
                                           "[edDateBegin: TNullableDateEdit]\n"
                                           "EditValue=2026-10-01 00:00:00\n"
                                           "[edDateEnd: TNullableDateEdit]\n"
                                           "EditValue=2026-11-30 00:00:00\n");
        QProcess admin;
        admin.start(S(LODVAR_ADMIN_BIN),
                    {S("write-profile"), S("E2E"), S("--server"), server.Host(), S("--port"),
                     QString::number(server.Port()), S("--db"), server.Database(), S("--user"),
                     S("e2e_profile"), S("--folder"), FFolder + u'/', S("--login"), S("admin")});
        admin.closeWriteChannel();
        ASSERT_TRUE(admin.waitForFinished(30000));
        ASSERT_EQ(admin.exitCode(), 0) << admin.readAllStandardError().toStdString();

        FDebugPort = FreePort();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(S("QT_QPA_PLATFORM")); // the suites' offscreen platform is not for it
        env.insert(S("LOCALAPPDATA"), FHome.path());
        env.insert(S("XDG_RUNTIME_DIR"), FRuntime.path()); // its own single-instance lock
        // The built-in stored settings name no port: libpq's default reaches the server.
        env.insert(S("PGPORT"), QString::number(server.Port()));
        env.insert(S("QTWEBENGINE_REMOTE_DEBUGGING"), S("127.0.0.1:%1").arg(FDebugPort));
        env.insert(S("QTWEBENGINE_DISABLE_SANDBOX"), S("1"));
        env.insert(S("QTWEBENGINE_CHROMIUM_FLAGS"), S("--disable-gpu"));
        FEnvironment = env;
    }

    void TearDown() override {
        if (HasFailure()) {
            const QString folder = S(LODVAR_E2E_ARTEFACTS);
            QDir().mkpath(folder);
            const QString shot = folder + u'/' +
                                 S(testing::UnitTest::GetInstance()->current_test_info()->name()) +
                                 S(".png");
            E2e::Screenshot(shot);
            std::cerr << "screenshot of the failure: " << shot.toStdString() << '\n'
                      << "lodvar's standard error:\n"
                      << FLodvar.readAllStandardError().toStdString() << '\n';
        }
        if (FLodvar.state() != QProcess::NotRunning) {
            FLodvar.kill();
            FLodvar.waitForFinished(10000);
        }
    }

    void WriteFile(const QString& name, const char* text) {
        QFile file(FFolder + u'/' + name);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
    }

    void Start(QProcess& process) {
        process.setProcessEnvironment(FEnvironment);
        process.start(S(LODVAR_BIN), {});
        ASSERT_TRUE(process.waitForStarted(10000));
    }

    QTemporaryDir FHome;
    QTemporaryDir FRuntime;
    QString FFolder;
    quint16 FDebugPort = 0;
    QProcessEnvironment FEnvironment;
    QProcess FLodvar;
};

TEST_F(EndToEnd, OperatorLogsInBrowsesAndDrawsBearings) {
    Start(FLodvar);
    const QString login = E2e::WaitForWindow(LoginTitle, 90000);
    ASSERT_FALSE(login.isEmpty()) << "no login dialog";

    // The remembered user is offered, so the password box has the focus.
    E2e::TypeText(login, S("wrong"));
    E2e::SendKeys(login, S("Return"));
    const QString box = E2e::WaitForWindow(BoxTitle, 30000);
    ASSERT_FALSE(box.isEmpty()) << "no message box after a wrong password";
    // Every box's text also goes to standard error.
    QByteArray errors;
    for (int i = 0; i < 50 && !errors.contains("Wrong password."); ++i) {
        FLodvar.waitForReadyRead(100);
        errors += FLodvar.readAllStandardError();
    }
    EXPECT_TRUE(errors.split('\n').contains("Wrong password.")) << errors.toStdString();
    E2e::SendKeys(box, S("Return"));
    ASSERT_TRUE(E2e::WaitForNoWindow(BoxTitle, 10000));

    E2e::SendKeys(login, S("ctrl+a"));
    E2e::TypeText(login, S("U*U"));
    E2e::SendKeys(login, S("Return"));
    const QString main = E2e::WaitForWindow(MainTitle, 60000);
    ASSERT_FALSE(main.isEmpty()) << "no main window after the right password";
    EXPECT_TRUE(E2e::WaitForNoWindow(LoginTitle, 10000));

    // A second instance meanwhile ends at once, silently.
    QProcess second;
    Start(second);
    ASSERT_TRUE(second.waitForFinished(30000));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_TRUE(second.readAllStandardOutput().isEmpty());
    EXPECT_EQ(E2e::Xdo({S("search"), S("--onlyvisible"), S("--name"), MainTitle}), main);

    E2e::TPageInspector page(FDebugPort);
    ASSERT_TRUE(page.Attach(60000)) << "the map page cannot be inspected";
    // Shown with "Показати МРПК" on: the three stations of the test network.
    EXPECT_EQ(page.WaitFor(S("window.lodvarPage && lodvarPage.markers.size === 3"), 60000),
              QJsonValue(true));

    // The stored range loads the commands, newest first; the first (2026-11-03, two
    // bearings, one fix) is focused, so its bearings fill their grid. Select both rows.
    const QRect frame = E2e::WindowGeometry(main);
    ASSERT_TRUE(frame.isValid());
    const int firstBearingRow = frame.top() + 423; // pixels: the designed panel heights
    E2e::ClickAt(frame.left() + 60, firstBearingRow);
    E2e::ClickAt(frame.left() + 60, firstBearingRow + 14, true);
    EXPECT_EQ(
        page.WaitFor(S("lodvarPage.lines.size === 2 && lodvarPage.markers.size === 2"), 20000),
        QJsonValue(true));
    const QJsonValue colours =
        page.Evaluate(S("[...lodvarPage.lines.values()].map(l => l.options.color)"));
    EXPECT_EQ(colours.toArray(), QJsonArray({S("#0000ff"), S("#0000ff")}));

    // And on screen: blue line pixels in the map panel.
    const QString shot = FHome.path() + S("/map.png");
    ASSERT_TRUE(E2e::Screenshot(shot));
    const QImage image(shot);
    int blue = 0;
    for (int y = frame.top() + 130; y < qMin(frame.bottom(), image.height()); ++y)
        for (int x = frame.left() + 650; x < qMin(frame.right(), image.width()); ++x) {
            const QColor c = image.pixelColor(x, y);
            blue += c.blue() > 200 && c.red() < 60 && c.green() < 60;
        }
    EXPECT_GT(blue, 200) << "blue pixels of bearing lines in the map panel";

    // Closed as a window manager closes it: exit code 0 and the state file written.
    ASSERT_TRUE(E2e::CloseWindow(main));
    ASSERT_TRUE(FLodvar.waitForFinished(30000));
    EXPECT_EQ(FLodvar.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(FLodvar.exitCode(), 0);
    QFile state(FFolder + S("/cxPropertiesStore1"));
    ASSERT_TRUE(state.open(QIODevice::ReadOnly));
    EXPECT_TRUE(state.readAll().contains("Version=2"));
}

} // namespace
