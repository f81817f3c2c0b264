// A session site for the start-up, session-context and login-dialog suites: a
// throwaway local application-data folder (LOCALAPPDATA points at it while the site
// lives), the settings files in its per-user folder, a connection profile on the
// PostgreSQL test server, and a driver for the modal login dialog.
#pragma once

#include "LodvarSiteConfig.h"
#include "PgTestServer.h"
#include "auth/ufrmLogin.h"
#include "config/SettingsFiles.h"
#include "config/uUtils.h"
#include "data/uDbConnection.h"
#include "platform/KeyboardLayout.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <arpa/inet.h>
#include <cstdlib>
#include <functional>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <optional>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

inline QString S(const char* text) {
    return QString::fromUtf8(text);
}

// Role of the profiles on the test server; every profile login uses the fixed password.
inline const QString ProfileUser = QStringLiteral("profile_user");
inline const QString Alias = QStringLiteral("TEST");

// A loopback port where nothing listens (bound, never listening, for the object's life).
class TDeadPort {
public:
    TDeadPort() {
        FSocket = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        EXPECT_EQ(::bind(FSocket, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        EXPECT_EQ(::getsockname(FSocket, reinterpret_cast<sockaddr*>(&address), &length), 0);
        FPort = ntohs(address.sin_port);
    }
    ~TDeadPort() { ::close(FSocket); }
    TDeadPort(const TDeadPort&) = delete;
    TDeadPort& operator=(const TDeadPort&) = delete;
    int Port() const noexcept { return FPort; }

private:
    int FSocket = -1;
    int FPort = 0;
};

class TSessionSite {
public:
    TSessionSite() {
        EXPECT_TRUE(FRoot.isValid());
        FOldAppData = qgetenv("LOCALAPPDATA");
        FHadAppData = qEnvironmentVariableIsSet("LOCALAPPDATA");
        qputenv("LOCALAPPDATA", QFile::encodeName(FRoot.path()));
        FOldDir = QDir::currentPath();
        TPgTestServer::Instance().CreateReaderRole(
            ProfileUser, QString::fromLatin1(SiteConfig::ProfilePassword));
    }
    ~TSessionSite() {
        QDir::setCurrent(FOldDir); // the session moves into its per-user folder
        if (FHadAppData)
            qputenv("LOCALAPPDATA", FOldAppData);
        else
            qunsetenv("LOCALAPPDATA");
    }
    TSessionSite(const TSessionSite&) = delete;
    TSessionSite& operator=(const TSessionSite&) = delete;

    QString LocalAppData() const { return FRoot.path(); }
    QString HDDir() const { return FRoot.path() + S("/KAVEX/"); }
    QString UserBinDir() const { return UserBinDirUnder(FRoot.path()); }
    QString IniFileName() const { return MainSettingsFileName(UserBinDir()); }

    void MakeFolders() const { EXPECT_TRUE(QDir().mkpath(UserBinDir())); }

    void WriteFile(const QString& name, const QByteArray& text) const {
        QFile file(UserBinDir() + name);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << name.toStdString();
        file.write(text);
    }

    // lodvar.ini naming the alias TEST, and TEST.pdb pointing at the test server.
    void WriteProfile(std::optional<int> port = std::nullopt, const QString& dbName = S("lodvar"),
                      const QString& rememberedPassword = QString()) const {
        MakeFolders();
        auto& server = TPgTestServer::Instance();
        WriteFile(S("lodvar.ini"), "[CONNECTION]\nDB_ALIAS=TEST\n");
        QByteArray pdb = QStringLiteral("[CONNECTION]\nserver=%1\nPort=%2\ndb_name=%3\n"
                                        "db_username=%4\n[Login]\nLogin=admin\n")
                             .arg(server.Host())
                             .arg(port.value_or(server.Port()))
                             .arg(dbName, ProfileUser)
                             .toUtf8();
        if (!rememberedPassword.isEmpty())
            pdb += "Password=" + EncryptStr(rememberedPassword, SystemPassPhrase()).toUtf8() + "\n";
        WriteFile(Alias + S(".pdb"), pdb);
    }

    // The stored settings of the session connection: the test server.
    static void PointAtServer(TDbConnection& cnn) { TPgTestServer::Instance().PointAt(cnn); }

private:
    QTemporaryDir FRoot;
    QByteArray FOldAppData;
    bool FHadAppData = false;
    QString FOldDir;
};

// Runs AAction once ACondition holds, polling from the event loop (also inside a modal
// dialog's loop), at most once and only while the object lives. A condition that does
// not hold within a minute fails the test and cancels a login dialog that waits.
class TWhen {
public:
    TWhen(std::function<bool()> ACondition, std::function<void()> AAction)
        : FCondition(std::move(ACondition)), FAction(std::move(AAction)) {
        FClock.start();
        FTimer.setInterval(5);
        QObject::connect(&FTimer, &QTimer::timeout, [this] { Poll(); });
        FTimer.start();
    }
    TWhen(const TWhen&) = delete;
    TWhen& operator=(const TWhen&) = delete;

    bool Done() const noexcept { return FDone; }

private:
    void Poll() {
        if (FCondition()) {
            FTimer.stop();
            FDone = true;
            FAction();
        } else if (FClock.elapsed() > 60000) {
            FTimer.stop();
            ADD_FAILURE() << "the awaited state never came";
            if (frmLogin != nullptr)
                frmLogin->reject();
        }
    }

    std::function<bool()> FCondition;
    std::function<void()> FAction;
    QTimer FTimer;
    QElapsedTimer FClock;
    bool FDone = false;
};

// Runs AAction on the login dialog once it is shown and no attempt runs.
class TLoginDriver : public TWhen {
public:
    explicit TLoginDriver(std::function<void(TfrmLogin&)> AAction)
        : TWhen(
              [] {
                  return frmLogin != nullptr && frmLogin->isVisible() &&
                         !frmLogin->LoginInProgress();
              },
              [AAction] { AAction(*frmLogin); }) {}
};

// Uses a layout source of its own while it lives.
class TScopedLayoutSource {
public:
    explicit TScopedLayoutSource(Os::KeyboardLayoutSource source)
        : FPrevious(Os::InstallKeyboardLayoutSource(std::move(source))) {}
    ~TScopedLayoutSource() { Os::InstallKeyboardLayoutSource(std::move(FPrevious)); }
    TScopedLayoutSource(const TScopedLayoutSource&) = delete;
    TScopedLayoutSource& operator=(const TScopedLayoutSource&) = delete;

private:
    Os::KeyboardLayoutSource FPrevious;
};
