// The test server itself: reachable with the contract's roles, and gone without a trace
// after a normal stop and after the test process crashed.
#include "PgTestServer.h"
#include "data/uDbConnection.h"
#include "data/uDbQuery.h"
#include "platform/Exceptions.h"

#include <QDir>
#include <chrono>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

bool GoneWithin(const QString& folder, std::chrono::seconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (QDir(folder).exists()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return true;
}

TEST(PgTestServer, ServesTheContractToTheLodvarRole) {
    auto& server = TPgTestServer::Instance();
    EXPECT_TRUE(QDir(server.Folder()).exists());
    TDbConnection cnn;
    server.PointAt(cnn);
    TDbQuery q;
    q.SetConnection(&cnn);
    q.SetSQL({QStringLiteral(
        "SELECT current_user AS who, (SELECT count(*) FROM kavex.central_users) AS users")});
    q.Open();
    EXPECT_EQ(q.FieldByName(QStringLiteral("who")).AsString(), QStringLiteral("lodvar"));
    EXPECT_EQ(q.FieldByName(QStringLiteral("users")).AsInteger(), 4);
    EXPECT_EQ(server.QueryValueAsSuperuser(QStringLiteral("SELECT current_user")),
              QStringLiteral("postgres"));
    // The role reads, nothing more.
    q.Close();
    q.SetSQL({QStringLiteral("DELETE FROM lodvar.units RETURNING id")});
    EXPECT_THROW(q.Open(), EDatabaseError);
}

TEST(PgTestServer, ReloadFixturesRestoresTheData) {
    auto& server = TPgTestServer::Instance();
    server.ExecAsSuperuser(QStringLiteral("DELETE FROM lodvar.lodset; DELETE FROM lodvar.comset"));
    EXPECT_EQ(server.QueryValueAsSuperuser(QStringLiteral("SELECT count(*) FROM lodvar.comset")),
              QStringLiteral("0"));
    server.ReloadFixtures();
    EXPECT_EQ(server.QueryValueAsSuperuser(QStringLiteral("SELECT count(*) FROM lodvar.comset")),
              QStringLiteral("5"));
    EXPECT_EQ(server.QueryValueAsSuperuser(QStringLiteral("SELECT count(*) FROM lodvar.lodset")),
              QStringLiteral("7"));
}

TEST(PgTestServer, ShutdownRemovesEverything) {
    const QString folder = TPgTestServer::Instance().Folder();
    TPgTestServer::Shutdown();
    EXPECT_FALSE(TPgTestServer::IsRunning());
    EXPECT_TRUE(GoneWithin(folder, std::chrono::seconds(30)));
}

TEST(PgTestServer, CrashedProcessLeavesNothingBehind) {
    // The child must start a server of its own, not inherit this process's one.
    TPgTestServer::Shutdown();
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(fds[0]);
        const QByteArray folder = TPgTestServer::Instance().Folder().toLocal8Bit() + '\n';
        if (write(fds[1], folder.constData(), static_cast<size_t>(folder.size())) < 0)
            _exit(2);
        std::abort();
    }
    close(fds[1]);
    QByteArray folder;
    char buffer[512];
    ssize_t n = 0;
    while ((n = read(fds[0], buffer, sizeof buffer)) > 0)
        folder.append(buffer, n);
    close(fds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFSIGNALED(status));
    ASSERT_FALSE(folder.trimmed().isEmpty());
    EXPECT_TRUE(GoneWithin(QString::fromLocal8Bit(folder.trimmed()), std::chrono::seconds(30)));
}

} // namespace
