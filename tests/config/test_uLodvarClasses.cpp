#include "../platform/TestFiles.h"
#include "LodvarSiteConfig.h"
#include "PgTestServer.h"
#include "config/uLodvarClasses.h"
#include "config/uUtils.h"
#include "data/uDbConnection.h"
#include "platform/Exceptions.h"
#include "platform/IniFile.h"
#include "platform/MessageBox.h"

#include <QDir>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString S(const char* utf8) {
    return QString::fromUtf8(utf8);
}

// A TCP port on 127.0.0.1 that accepts connections (the kernel completes the
// handshake from the backlog; nothing is ever read).
class TListeningPort {
public:
    TListeningPort() {
        FFd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof a;
        EXPECT_EQ(::bind(FFd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
        EXPECT_EQ(::listen(FFd, 8), 0);
        EXPECT_EQ(::getsockname(FFd, reinterpret_cast<sockaddr*>(&a), &length), 0);
        FPort = ntohs(a.sin_port);
    }
    ~TListeningPort() { ::close(FFd); }
    TListeningPort(const TListeningPort&) = delete;
    TListeningPort& operator=(const TListeningPort&) = delete;

    int Port() const { return FPort; }

private:
    int FFd = -1;
    int FPort = 0;
};

// A port on 127.0.0.1 that nothing listens on: bound, then released.
int ClosedPort() {
    int port = 0;
    {
        TListeningPort probe;
        port = probe.Port();
    }
    return port;
}

TEST(TLodvarConnection, SetPortClampsToOneThrough65534) {
    const struct {
        int given;
        int held;
    } cases[] = {{1, 1},        {5432, 5432}, {8080, 8080}, {65534, 65534}, {65535, 5432},
                 {70000, 5432}, {0, 5432},    {-1, 5432},   {INT_MIN, 5432}};
    TDbConnection cnn;
    TLodvarConnection profile(QString(), cnn);
    EXPECT_EQ(profile.Port(), 0) << "a new profile";
    for (const auto& c : cases) {
        profile.SetPortNumber(c.given);
        EXPECT_EQ(profile.Port(), c.held) << "SetPortNumber(" << c.given << ")";
    }
}

struct TLoadCase {
    const char* name;
    const char* fileName; // created in the folder
    QByteArray contents;
    const char* alias;     // passed to LoadByAlias
    const char* heldAlias; // Alias afterwards
    const char* server;
    int port;
    const char* dbName;
    const char* dbUserName;
};

const TLoadCase kLoadCases[] = {
    {"plain alias", "main.pdb",
     "[CONNECTION]\nserver=db1\nPort=6543\ndb_name=lodvar\ndb_username=op\n", "main", "main", "db1",
     6543, "lodvar", "op"},
    {"extension in capitals", "SITE.PDB", "[CONNECTION]\nserver=db2\n", "SITE.PDB", "SITE", "db2",
     5432, "need_to_edit_idb_name", "need_to_edit_idb_username"},
    {"extension in the middle", "a.pdb.old", "[CONNECTION]\nserver=db3\n", "a.pdb.old", "a", "db3",
     5432, "need_to_edit_idb_name", "need_to_edit_idb_username"},
    {"no CONNECTION section", "bare.pdb", "[Login]\nLogin=x\n", "bare", "bare",
     "need_to_edit_server", 5432, "need_to_edit_idb_name", "need_to_edit_idb_username"},
    {"hexadecimal port", "hex.pdb", "[CONNECTION]\nPort=0x1F90\n", "hex", "hex",
     "need_to_edit_server", 8080, "need_to_edit_idb_name", "need_to_edit_idb_username"},
    {"port above range", "big.pdb", "[CONNECTION]\nPort=70000\n", "big", "big",
     "need_to_edit_server", 5432, "need_to_edit_idb_name", "need_to_edit_idb_username"},
    {"negative port", "neg.pdb", "[CONNECTION]\nPort=-1\n", "neg", "neg", "need_to_edit_server",
     5432, "need_to_edit_idb_name", "need_to_edit_idb_username"},
    {"key names in other case", "case.pdb",
     "[connection]\nSERVER=db4\nport=1234\nDB_NAME=d\nDB_USERNAME=u\n", "case", "case", "db4", 1234,
     "d", "u"},
    {"garbage bytes", "junk.pdb", QByteArray("\x00\xff[CONNECTION\n=\n\x01\x02", 12), "junk",
     "junk", "need_to_edit_server", 5432, "need_to_edit_idb_name", "need_to_edit_idb_username"},
};

TEST(TLodvarConnection, LoadByAliasReadsTheConnectionFile) {
    for (const TLoadCase& c : kLoadCases) {
        SCOPED_TRACE(c.name);
        TTempFolder folder;
        WriteFileBytes(folder.File(c.fileName), c.contents);
        TDbConnection cnn;
        TLodvarConnection profile(folder.Path(), cnn);
        MessageRecorder messages;
        EXPECT_TRUE(profile.LoadByAlias(S(c.alias), false));
        EXPECT_TRUE(messages.Messages().isEmpty());
        EXPECT_EQ(profile.Alias(), S(c.heldAlias));
        EXPECT_EQ(profile.server(), S(c.server));
        EXPECT_EQ(profile.Port(), c.port);
        EXPECT_EQ(profile.DBName(), S(c.dbName));
        EXPECT_EQ(profile.DBUserName(), S(c.dbUserName));
        EXPECT_EQ(profile.dbPasswd(), QString());
    }
}

TEST(TLodvarConnection, LoadByAliasOnAMissingFile) {
    TTempFolder folder;
    TDbConnection cnn;
    TLodvarConnection profile(folder.Path(), cnn);
    profile.setServer(S("kept"));
    profile.SetPortNumber(1234);
    profile.setAlias(S("before"));
    {
        MessageRecorder messages;
        EXPECT_TRUE(profile.LoadByAlias(S("missing"), true));
        EXPECT_TRUE(messages.Messages().isEmpty());
        EXPECT_EQ(profile.server(), S("kept"));
        EXPECT_EQ(profile.Port(), 1234);
        EXPECT_EQ(profile.Alias(), S("before"));
    }
    {
        MessageRecorder messages;
        EXPECT_FALSE(profile.LoadByAlias(S("missing"), false));
        EXPECT_EQ(messages.Messages(),
                  QStringList{S("Error in LoadByAlias: DB settings file ") + folder.Path() +
                              S("missing.pdb for alias missing not found.\r0")});
        EXPECT_EQ(profile.Alias(), S("before"));
    }
}

TEST(TLodvarConnection, LoadByAliasRefusesAFileItCannotRead) {
    TTempFolder folder;
    ASSERT_TRUE(QDir().mkdir(folder.File("folder.pdb")));
    ASSERT_EQ(::mkfifo(folder.File("fifo.pdb").toLocal8Bit().constData(), 0600), 0);
    WriteFileBytes(folder.File("huge.pdb"), QByteArray("[CONNECTION]\nserver=db1\n") +
                                                QByteArray(TIniFile::MaxFileSize, '\n'));
    WriteFileBytes(folder.File("locked.pdb"), "[CONNECTION]\nserver=db1\n");
    ASSERT_EQ(::chmod(folder.File("locked.pdb").toLocal8Bit().constData(), 0), 0);
    QStringList aliases{S("folder"), S("fifo"), S("huge")};
    // Permissions do not hold back the superuser.
    if (::geteuid() != 0)
        aliases.append(S("locked"));
    for (const QString& alias : aliases) {
        SCOPED_TRACE(alias.toStdString());
        TDbConnection cnn;
        TLodvarConnection profile(folder.Path(), cnn);
        profile.setServer(S("kept"));
        for (const bool ignore : {true, false}) {
            MessageRecorder messages;
            EXPECT_FALSE(profile.LoadByAlias(alias, ignore));
            EXPECT_EQ(messages.Messages(),
                      QStringList{S("Error in LoadByAlias: DB settings file ") + folder.Path() +
                                  alias + S(".pdb for alias ") + alias + S(" cannot be read.\r0")});
            EXPECT_EQ(profile.server(), S("kept"));
        }
    }
}

TEST(TLodvarConnection, SaveByAliasWritesWhatLoadByAliasReads) {
    TTempFolder folder;
    TDbConnection cnn;
    TLodvarConnection saved(folder.Path(), cnn);
    saved.setServer(S("db.example"));
    saved.SetPortNumber(6000);
    saved.setDBName(S("lodvar"));
    saved.setDBUserName(S("оператор"));
    saved.setDbPasswd(S("таємно"));
    EXPECT_TRUE(saved.SaveByAlias(S("site")));

    TLodvarConnection loaded(folder.Path(), cnn);
    ASSERT_TRUE(loaded.LoadByAlias(S("site"), false));
    EXPECT_EQ(loaded.Alias(), S("site"));
    EXPECT_EQ(loaded.server(), saved.server());
    EXPECT_EQ(loaded.Port(), 6000);
    EXPECT_EQ(loaded.DBName(), saved.DBName());
    EXPECT_EQ(loaded.DBUserName(), saved.DBUserName());
    const TIniFile file(folder.File("site.pdb"));
    EXPECT_EQ(DecryptStr(file.ReadString(S("IDB_CONNECTION"), S("idb_passwd"), QString()),
                         SystemPassPhrase()),
              S("таємно"));
}

TEST(TLodvarConnection, SaveByAliasRaisesWhenTheFolderIsMissing) {
    TTempFolder folder;
    TDbConnection cnn;
    TLodvarConnection profile(folder.Path() + S("absent/"), cnn);
    try {
        profile.SaveByAlias(S("site"));
        FAIL() << "no error";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), S("Unable to write to ") + folder.Path() + S("absent/site.pdb"));
    }
}

TEST(TLodvarConnection, CheckServerPort) {
    TListeningPort listening;
    const struct {
        const char* name;
        QString server;
        int port;
        bool reachable;
    } cases[] = {
        {"any program accepting TCP", S("127.0.0.1"), listening.Port(), true},
        {"by host name", S("localhost"), listening.Port(), true},
        {"nothing listening", S("127.0.0.1"), ClosedPort(), false},
        {"empty host", QString(), listening.Port(), false},
        {"port 0", S("127.0.0.1"), 0, false},
        {"port out of range", S("127.0.0.1"), 70000, false},
        {"name that does not resolve", S("no-such-host.invalid"), 5432, false},
    };
    MessageRecorder messages;
    for (const auto& c : cases)
        EXPECT_EQ(TLodvarConnection::CheckServerPort(c.server, c.port), c.reachable) << c.name;
    EXPECT_TRUE(messages.Messages().isEmpty());
}

TEST(TLodvarConnection, ConnectOnAnEmptyProfileNamesServerAndPort) {
    TDbConnection cnn;
    cnn.SetServer(S("untouched"));
    TLodvarConnection profile(QString(), cnn);
    try {
        profile.Connect();
        FAIL() << "no error";
    } catch (const EDatabaseError&) {
        FAIL() << "the probe's failure is not a database error";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), S("PostgreSQL Server: could not connect to   on port 0"));
    }
    EXPECT_EQ(cnn.Server(), S("untouched"));
}

class TLodvarConnectionOnServer : public testing::Test {
protected:
    static void SetUpTestSuite() {
        TPgTestServer::Instance().CreateReaderRole(
            S("profile_user"), QString::fromLatin1(SiteConfig::ProfilePassword));
    }
};

TEST_F(TLodvarConnectionOnServer, ConnectPointsTheSessionConnectionAtTheProfile) {
    auto& server = TPgTestServer::Instance();
    TDbConnection cnn;
    server.PointAt(cnn);
    cnn.SetConnected(true);
    TLodvarConnection profile(QString(), cnn);
    profile.setServer(server.Host());
    profile.SetPortNumber(server.Port());
    profile.setDBName(server.Database());
    profile.setDBUserName(S("profile_user"));
    MessageRecorder messages;
    ASSERT_TRUE(profile.Connect());
    EXPECT_TRUE(cnn.Connected());
    EXPECT_EQ(cnn.Username(), S("profile_user"));
    EXPECT_EQ(cnn.Password(), QString::fromLatin1(SiteConfig::ProfilePassword));
    EXPECT_EQ(cnn.Port(), server.Port());
    const TPgResult who = cnn.Execute("select current_user", {});
    EXPECT_STREQ(PQgetvalue(who.get(), 0, 0), "profile_user");
    EXPECT_TRUE(messages.Messages().isEmpty());
}

TEST_F(TLodvarConnectionOnServer, RefusedLoginGivesFalseWithoutAMessage) {
    auto& server = TPgTestServer::Instance();
    const struct {
        const char* name;
        const char* database;
        const char* user;
    } cases[] = {
        {"unknown user", "lodvar", "nobody_here"},
        {"unknown database", "no_such_db", "profile_user"},
        {"user whose password is not the profile password", "lodvar", "lodvar"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TDbConnection cnn;
        TLodvarConnection profile(QString(), cnn);
        profile.setServer(server.Host());
        profile.SetPortNumber(server.Port());
        profile.setDBName(S(c.database));
        profile.setDBUserName(S(c.user));
        MessageRecorder messages;
        EXPECT_FALSE(profile.Connect());
        EXPECT_FALSE(cnn.Connected());
        EXPECT_TRUE(messages.Messages().isEmpty());
    }
}

} // namespace
