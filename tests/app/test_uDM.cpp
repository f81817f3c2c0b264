// The session context: construction over the stored settings, the per-user folders,
// the debug flags, the login and the connect with the chosen profile.
#include "SessionTestKit.h"
#include "app/Application.h"
#include "app/uDM.h"
#include "platform/Exceptions.h"
#include "platform/MessageBox.h"

#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QTest>

namespace {

class TdmTest : public testing::Test {
protected:
    TSessionSite site;
    MessageRecorder messages;
    TStandardErrorRecorder errors;
};

// Types the password into the dialog and presses Enter in the password box.
void LogIn(TfrmLogin& dialog, const char* password) {
    auto* edPassword = dialog.findChild<QLineEdit*>(S("edPassword"));
    edPassword->setText(S(password));
    QTest::keyClick(edPassword, Qt::Key_Return);
}

TEST_F(TdmTest, AServerThatCannotBeReachedEndsTheConstructionBeforeAnyFolderOrDialog) {
    const TDeadPort dead;
    const TLoginDriver driver([](TfrmLogin& dialog) { dialog.reject(); });
    EXPECT_THROW(Tdm(nullptr,
                     [&](TDbConnection& cnn) {
                         TSessionSite::PointAtServer(cnn);
                         cnn.SetPortNumber(dead.Port());
                     }),
                 EDatabaseError);
    EXPECT_FALSE(QFileInfo::exists(site.HDDir()));
    EXPECT_FALSE(driver.Done());
    EXPECT_TRUE(messages.Messages().isEmpty());
    EXPECT_TRUE(errors.Messages().isEmpty());
}

TEST_F(TdmTest, PerUserFolders) {
    const struct {
        const char* name;
        std::function<void(const TSessionSite&)> prepare;
        bool unsetLocalAppData;
        bool dialogShown;
    } cases[] = {
        {"both present", [](const TSessionSite& s) { s.MakeFolders(); }, false, true},
        {"only the per-user one missing", [](const TSessionSite& s) { QDir().mkpath(s.HDDir()); },
         false, true},
        {"neither present", [](const TSessionSite&) {}, false, true},
        {"a file at the per-user folder's path",
         [](const TSessionSite& s) {
             QDir().mkpath(s.HDDir());
             QFile file(s.UserBinDir().chopped(1));
             ASSERT_TRUE(file.open(QIODevice::WriteOnly));
         },
         false, false},
        {"LOCALAPPDATA not set", [](const TSessionSite&) {}, true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TSessionSite caseSite;
        c.prepare(caseSite);
        if (c.unsetLocalAppData)
            qunsetenv("LOCALAPPDATA");
        messages.Clear();
        const QString before = QDir::currentPath();
        const TLoginDriver driver([](TfrmLogin& dialog) { dialog.reject(); });
        Tdm dm(nullptr, TSessionSite::PointAtServer);

        EXPECT_FALSE(dm.isStart());
        EXPECT_EQ(driver.Done(), c.dialogShown);
        if (c.dialogShown) {
            EXPECT_TRUE(messages.Messages().isEmpty())
                << messages.Messages().join(S("|")).toStdString();
            EXPECT_TRUE(QFileInfo(caseSite.UserBinDir()).isDir());
            EXPECT_EQ(QDir::currentPath() + S("/"), caseSite.UserBinDir());
            EXPECT_EQ(dm.UserBinDir(), caseSite.UserBinDir());
        } else {
            const QString folder =
                c.unsetLocalAppData ? S("%LOCALAPPDATA%/KAVEX/") : caseSite.UserBinDir();
            EXPECT_EQ(messages.Messages(), QStringList{S("Can not create Directory:\r") + folder});
            EXPECT_EQ(QDir::currentPath(), before);
        }
    }
    EXPECT_TRUE(errors.Messages().isEmpty());
}

TEST_F(TdmTest, DebugFlagOfTheMainSettingsFile) {
    const struct {
        const char* name;
        const char* ini; // nullptr: no file
        bool debug;
    } cases[] = {
        {"no file", nullptr, false},
        {"DEBUG=1", "[DEBUG]\nDEBUG=1\n", true},
        {"DEBUG=0", "[DEBUG]\nDEBUG=0\n", false},
        {"not a number", "[DEBUG]\nDEBUG=yes\n", false},
        {"only LOGREWRITE", "[DEBUG]\nLOGREWRITE=1\n", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TSessionSite caseSite;
        caseSite.MakeFolders();
        if (c.ini != nullptr)
            caseSite.WriteFile(S("lodvar.ini"), c.ini);
        const TLoginDriver driver([](TfrmLogin& dialog) { dialog.reject(); });
        const Tdm dm(nullptr, TSessionSite::PointAtServer);
        EXPECT_EQ(dm.Debug(), c.debug);
        EXPECT_TRUE(driver.Done());
    }
}

TEST_F(TdmTest, CancelledLoginLeavesNoProfileAndNoMessage) {
    site.WriteProfile();
    const TLoginDriver driver([](TfrmLogin& dialog) { dialog.reject(); });
    const Tdm dm(nullptr, TSessionSite::PointAtServer);
    EXPECT_TRUE(driver.Done());
    EXPECT_FALSE(dm.isStart());
    EXPECT_EQ(dm.db_cnn(), nullptr);
    EXPECT_FALSE(dm.cnn().Connected());
    EXPECT_TRUE(messages.Messages().isEmpty());
    EXPECT_TRUE(errors.Messages().isEmpty());
}

TEST_F(TdmTest, ProfileWhosePortDoesNotListenGivesOneErrorBoxNamingServerAndPort) {
    const TDeadPort dead;
    site.WriteProfile(dead.Port());
    const TLoginDriver driver([](TfrmLogin& dialog) { LogIn(dialog, "U*U"); });
    const Tdm dm(nullptr, TSessionSite::PointAtServer);
    EXPECT_TRUE(driver.Done());
    EXPECT_FALSE(dm.isStart());
    EXPECT_EQ(
        errors.Messages(),
        QStringList{
            S("PostgreSQL Server: could not connect to  127.0.0.1 on port %1.").arg(dead.Port())});
    EXPECT_TRUE(messages.Messages().isEmpty());
}

TEST_F(TdmTest, ProfileThatTheDatabaseRefusesEndsWithoutAMessage) {
    site.WriteProfile(std::nullopt, S("no_such_database"));
    const TLoginDriver driver([](TfrmLogin& dialog) { LogIn(dialog, "U*U"); });
    const Tdm dm(nullptr, TSessionSite::PointAtServer);
    EXPECT_TRUE(driver.Done());
    EXPECT_FALSE(dm.isStart());
    EXPECT_NE(dm.db_cnn(), nullptr);
    EXPECT_TRUE(messages.Messages().isEmpty());
    EXPECT_TRUE(errors.Messages().isEmpty());
}

TEST_F(TdmTest, SuccessfulLoginAndConnect) {
    site.WriteProfile();
    site.WriteFile(S("lodvar.ini"), "[CONNECTION]\nDB_ALIAS=TEST\n[DEBUG]\nDEBUG=1\n");
    const TLoginDriver driver([](TfrmLogin& dialog) { LogIn(dialog, "U*U"); });
    const Tdm dm(nullptr, TSessionSite::PointAtServer);

    EXPECT_TRUE(driver.Done());
    EXPECT_TRUE(dm.isStart());
    EXPECT_TRUE(dm.Debug());
    EXPECT_EQ(dm.Login(), S("admin"));
    ASSERT_NE(dm.db_cnn(), nullptr);
    EXPECT_EQ(dm.db_cnn()->Alias(), Alias);
    EXPECT_EQ(dm.db_cnn()->DBUserName(), ProfileUser);
    EXPECT_EQ(QDir::currentPath() + S("/"), site.UserBinDir());
    // The session now runs on the profile's connection.
    ASSERT_TRUE(dm.cnn().Connected());
    EXPECT_EQ(dm.cnn().Username(), ProfileUser);
    const TPgResult who = dm.cnn().Execute("select current_user", {});
    EXPECT_STREQ(PQgetvalue(who.get(), 0, 0), "profile_user");
    EXPECT_TRUE(messages.Messages().isEmpty());
    EXPECT_TRUE(errors.Messages().isEmpty());
}

} // namespace
