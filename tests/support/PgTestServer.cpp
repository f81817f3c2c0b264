#include "PgTestServer.h"

#include "LodvarSiteConfig.h"
#include "data/PgHandles.h"
#include "data/uDbConnection.h"
#include "platform/Exceptions.h"

#include <QByteArrayList>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QStringList>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

constexpr char ServerHost[] = "127.0.0.1";
constexpr char SuperUser[] = "postgres";

[[noreturn]] void Fail(const QString& step, const QString& detail) {
    throw EDatabaseError(QStringLiteral("Test server: %1: %2").arg(step, detail));
}

bool RunningAsRoot() {
    return geteuid() == 0;
}

QString FindBinDir() {
    // pg_config names the server binaries of the installed major version.
    QString fromPgConfig;
    if (FILE* pipe = popen("pg_config --bindir 2>/dev/null", "r")) {
        char line[4096] = {};
        if (fgets(line, sizeof line, pipe) != nullptr)
            fromPgConfig = QString::fromLocal8Bit(line).trimmed();
        pclose(pipe);
    }
    for (const QString& dir : {fromPgConfig, QStringLiteral("/usr/lib/postgresql/15/bin")})
        if (!dir.isEmpty() && QFile::exists(dir + QStringLiteral("/initdb")))
            return dir;
    Fail(QStringLiteral("initdb"), QStringLiteral("no PostgreSQL server binaries found"));
}

// A port that was free a moment ago on 127.0.0.1.
int FreePort() {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        Fail(QStringLiteral("port"), QString::fromLocal8Bit(strerror(errno)));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 0;
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    close(fd);
    if (port == 0)
        Fail(QStringLiteral("port"), QStringLiteral("no free port on 127.0.0.1"));
    return port;
}

// Spawns argv (as the postgres user when root) with stdout and stderr appended to
// logPath and stdin from inputFd (or /dev/null when -1). Returns the child's pid.
pid_t Spawn(QStringList argv, bool asPostgres, const QString& logPath, int inputFd = -1) {
    if (asPostgres && RunningAsRoot())
        argv = QStringList{QStringLiteral("runuser"), QStringLiteral("-u"),
                           QString::fromLatin1(SuperUser), QStringLiteral("--")} +
               argv;
    std::vector<QByteArray> storage;
    for (const QString& arg : argv)
        storage.push_back(arg.toLocal8Bit());
    std::vector<char*> args;
    for (QByteArray& arg : storage)
        args.push_back(arg.data());
    args.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const QByteArray log = logPath.toLocal8Bit();
    if (inputFd >= 0)
        posix_spawn_file_actions_adddup2(&actions, inputFd, STDIN_FILENO);
    else
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, log.constData(),
                                     O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    // The postgres user may not reach this process's working folder.
    posix_spawn_file_actions_addchdir_np(&actions, "/");
    pid_t pid = 0;
    const int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0)
        Fail(argv.first(), QString::fromLocal8Bit(strerror(rc)));
    return pid;
}

int WaitExit(pid_t pid) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0)
        if (errno != EINTR)
            return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

QString Tail(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray text = file.readAll();
    return QString::fromLocal8Bit(text.right(2000)).trimmed();
}

void Run(const QStringList& argv, bool asPostgres, const QString& logPath) {
    if (WaitExit(Spawn(argv, asPostgres, logPath)) != 0)
        Fail(QFileInfo(argv.first()).fileName(), Tail(logPath));
}

void GiveToPostgres(const QString& path) {
    if (!RunningAsRoot())
        return;
    const passwd* user = getpwnam(SuperUser);
    if (user == nullptr)
        Fail(QStringLiteral("setup"), QStringLiteral("no user \"postgres\" on this machine"));
    if (chown(path.toLocal8Bit().constData(), user->pw_uid, user->pw_gid) != 0)
        Fail(QStringLiteral("setup"), QString::fromLocal8Bit(strerror(errno)));
}

TPgResult Exec(PGconn* conn, const QString& sql) {
    TPgResult result(PQexec(conn, sql.toUtf8().constData()));
    const ExecStatusType status = result ? PQresultStatus(result.get()) : PGRES_FATAL_ERROR;
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK)
        throw EDatabaseError(PgResultError(result.get(), conn));
    return result;
}

QString ReadText(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        Fail(QStringLiteral("load"), QStringLiteral("cannot read ") + path);
    return QString::fromUtf8(file.readAll());
}

QString Literal(PGconn* conn, const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    char* quoted = PQescapeLiteral(conn, utf8.constData(), static_cast<size_t>(utf8.size()));
    if (quoted == nullptr)
        throw EDatabaseError(PgConnError(conn));
    QString result = QString::fromUtf8(quoted);
    PQfreemem(quoted);
    return result;
}

QString Identifier(PGconn* conn, const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    char* quoted = PQescapeIdentifier(conn, utf8.constData(), static_cast<size_t>(utf8.size()));
    if (quoted == nullptr)
        throw EDatabaseError(PgConnError(conn));
    QString result = QString::fromUtf8(quoted);
    PQfreemem(quoted);
    return result;
}

std::unique_ptr<TPgTestServer> GServer;

// Stops the server after the last test of any program that links this library.
class TPgTestEnvironment : public testing::Environment {
public:
    void TearDown() override { TPgTestServer::Shutdown(); }
};
[[maybe_unused]] testing::Environment* const GEnvironment =
    testing::AddGlobalTestEnvironment(new TPgTestEnvironment);

} // namespace

struct TPgTestServer::TImpl {
    QString BinDir;
    QString Root; // temporary folder: data/, the password file, the logs, the socket
    int Port = 0;
    QByteArray SuperPassword;
    pid_t Watchdog = -1;
    int WatchdogPipe = -1; // write end; its closing lets the watchdog clean up

    TPgConn Connect(const QString& database) const {
        const QByteArray info =
            QStringLiteral("host=%1 port=%2 user=%3 password=%4 dbname=%5 "
                           "connect_timeout=10")
                .arg(QString::fromLatin1(ServerHost))
                .arg(Port)
                .arg(QString::fromLatin1(SuperUser), QString::fromLatin1(SuperPassword), database)
                .toUtf8();
        TPgConn conn(PQconnectdb(info.constData()));
        if (PQstatus(conn.get()) != CONNECTION_OK)
            throw EDatabaseError(PgConnError(conn.get()));
        PQsetClientEncoding(conn.get(), "UTF8");
        Exec(conn.get(), QStringLiteral("SET client_min_messages = warning"));
        return conn;
    }
};

TPgTestServer::TPgTestServer() : FImpl(std::make_unique<TImpl>()) {}

TPgTestServer::~TPgTestServer() {
    Stop();
}

TPgTestServer& TPgTestServer::Instance() {
    if (!GServer) {
        std::unique_ptr<TPgTestServer> server(new TPgTestServer);
        server->Start();
        GServer = std::move(server);
    }
    return *GServer;
}

bool TPgTestServer::IsRunning() {
    return GServer != nullptr;
}

void TPgTestServer::Shutdown() {
    GServer.reset();
}

void TPgTestServer::Start() {
    TImpl& d = *FImpl;
    d.BinDir = FindBinDir();

    // The postgres user must reach the folder, so a root process makes it in /tmp.
    const QString base = RunningAsRoot() ? QStringLiteral("/tmp") : QDir::tempPath();
    QByteArray pattern = (base + QStringLiteral("/lodvar-pgtest-XXXXXX")).toLocal8Bit();
    if (mkdtemp(pattern.data()) == nullptr)
        Fail(QStringLiteral("setup"), QString::fromLocal8Bit(strerror(errno)));
    d.Root = QString::fromLocal8Bit(pattern);
    GiveToPostgres(d.Root);

    // The watchdog removes the folder (stopping the server first) as soon as the write
    // end of its pipe closes: at Stop(), or when this process dies in any way.
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        Fail(QStringLiteral("setup"), QString::fromLocal8Bit(strerror(errno)));
    const QString script = QStringLiteral(
        "cat >/dev/null; pid=$(head -n1 \"$1/data/postmaster.pid\" 2>/dev/null); "
        "if [ -n \"$pid\" ]; then kill -QUIT \"$pid\" 2>/dev/null; i=0; "
        "while kill -0 \"$pid\" 2>/dev/null && [ $i -lt 300 ]; do sleep 0.1; i=$((i+1)); done; "
        "fi; rm -rf \"$1\"");
    d.Watchdog = Spawn({QStringLiteral("setsid"), QStringLiteral("sh"), QStringLiteral("-c"),
                        script, QStringLiteral("pgtest-watchdog"), d.Root},
                       false, QStringLiteral("/dev/null"), fds[0]);
    close(fds[0]);
    d.WatchdogPipe = fds[1];

    d.SuperPassword = QByteArray::number(QRandomGenerator::system()->generate64(), 16) +
                      QByteArray::number(QRandomGenerator::system()->generate64(), 16);
    const QString pwFile = d.Root + QStringLiteral("/superuser.pw");
    {
        QFile file(pwFile);
        if (!file.open(QIODevice::WriteOnly) || file.write(d.SuperPassword + '\n') < 0)
            Fail(QStringLiteral("setup"), QStringLiteral("cannot write ") + pwFile);
    }
    GiveToPostgres(pwFile);

    const QString dataDir = d.Root + QStringLiteral("/data");
    const QString log = d.Root + QStringLiteral("/setup.log");
    Run({d.BinDir + QStringLiteral("/initdb"), QStringLiteral("-D"), dataDir, QStringLiteral("-U"),
         QString::fromLatin1(SuperUser), QStringLiteral("-A"), QStringLiteral("scram-sha-256"),
         QStringLiteral("--pwfile=") + pwFile, QStringLiteral("-E"), QStringLiteral("UTF8"),
         QStringLiteral("--locale=C"), QStringLiteral("--no-sync")},
        true, log);

    // The chosen port may be taken between the probe and the start; try a few.
    for (int attempt = 0;; ++attempt) {
        d.Port = FreePort();
        const QString options =
            QStringLiteral("-p %1 -c listen_addresses=%2 -c unix_socket_directories=%3 "
                           "-c fsync=off -c synchronous_commit=off -c full_page_writes=off "
                           "-c max_connections=40 -c shared_buffers=32MB")
                .arg(d.Port)
                .arg(QString::fromLatin1(ServerHost), d.Root);
        const int rc =
            WaitExit(Spawn({d.BinDir + QStringLiteral("/pg_ctl"), QStringLiteral("-D"), dataDir,
                            QStringLiteral("-l"), d.Root + QStringLiteral("/server.log"),
                            QStringLiteral("-w"), QStringLiteral("-t"), QStringLiteral("60"),
                            QStringLiteral("-o"), options, QStringLiteral("start")},
                           true, log));
        if (rc == 0)
            break;
        if (attempt == 4)
            Fail(QStringLiteral("pg_ctl start"), Tail(d.Root + QStringLiteral("/server.log")));
    }

    {
        TPgConn admin = d.Connect(QStringLiteral("postgres"));
        Exec(admin.get(), QStringLiteral("CREATE ROLE %1 LOGIN PASSWORD %2")
                              .arg(LodvarUser(), Literal(admin.get(), LodvarPassword())));
        Exec(admin.get(), QStringLiteral("CREATE DATABASE %1").arg(Database()));
    }
    ExecFileAsSuperuser(DbFile(QStringLiteral("schema.sql")));
    ExecFileAsSuperuser(QStringLiteral(LODVAR_TEST_FIXTURES));
}

void TPgTestServer::Stop() {
    TImpl& d = *FImpl;
    if (d.Watchdog < 0)
        return;
    if (QFile::exists(d.Root + QStringLiteral("/data/postmaster.pid")))
        WaitExit(Spawn({d.BinDir + QStringLiteral("/pg_ctl"), QStringLiteral("-D"),
                        d.Root + QStringLiteral("/data"), QStringLiteral("-m"),
                        QStringLiteral("fast"), QStringLiteral("-w"), QStringLiteral("stop")},
                       true, QStringLiteral("/dev/null")));
    close(d.WatchdogPipe);
    WaitExit(d.Watchdog);
    d.Watchdog = -1;
    d.WatchdogPipe = -1;
}

QString TPgTestServer::Host() const {
    return QString::fromLatin1(ServerHost);
}
QString TPgTestServer::Folder() const {
    return FImpl->Root;
}
int TPgTestServer::Port() const {
    return FImpl->Port;
}
QString TPgTestServer::Database() const {
    return QStringLiteral("lodvar");
}
QString TPgTestServer::LodvarUser() const {
    return QStringLiteral("lodvar");
}
QString TPgTestServer::LodvarPassword() const {
    return QString::fromUtf8(SiteConfig::DbPassword);
}

void TPgTestServer::PointAt(TDbConnection& cnn) const {
    cnn.SetServer(Host());
    cnn.SetPortNumber(Port());
    cnn.SetDatabase(Database());
    cnn.SetUsername(LodvarUser());
    cnn.SetPassword(LodvarPassword());
}

QByteArray TPgTestServer::SuperuserConnInfo(const QString& database) const {
    return QStringLiteral("host=%1 port=%2 user=%3 password=%4 dbname=%5")
        .arg(Host())
        .arg(Port())
        .arg(QString::fromLatin1(SuperUser), QString::fromLatin1(FImpl->SuperPassword), database)
        .toUtf8();
}

void TPgTestServer::ExecAsSuperuser(const QString& sql, const QString& database) const {
    TPgConn conn = FImpl->Connect(database);
    Exec(conn.get(), sql);
}

QString TPgTestServer::QueryValueAsSuperuser(const QString& sql, const QString& database) const {
    TPgConn conn = FImpl->Connect(database);
    TPgResult result = Exec(conn.get(), sql);
    if (PQntuples(result.get()) == 0 || PQnfields(result.get()) == 0)
        return {};
    return QString::fromUtf8(PQgetvalue(result.get(), 0, 0));
}

void TPgTestServer::ExecFileAsSuperuser(const QString& path, const QString& database) const {
    try {
        ExecAsSuperuser(ReadText(path), database);
    } catch (const EDatabaseError& e) {
        Fail(QStringLiteral("load ") + path, e.Message());
    }
}

void TPgTestServer::CreateReaderRole(const QString& name, const QString& password) const {
    TPgConn conn = FImpl->Connect(Database());
    const QString role = Identifier(conn.get(), name);
    const QString exists = QStringLiteral("SELECT count(*) FROM pg_roles WHERE rolname = %1")
                               .arg(Literal(conn.get(), name));
    const bool known =
        QString::fromUtf8(PQgetvalue(Exec(conn.get(), exists).get(), 0, 0)) != QStringLiteral("0");
    Exec(conn.get(), QStringLiteral("%1 ROLE %2 LOGIN PASSWORD %3")
                         .arg(known ? QStringLiteral("ALTER") : QStringLiteral("CREATE"), role,
                              Literal(conn.get(), password)));
    Exec(conn.get(), QStringLiteral("GRANT lodvar_reader TO %1").arg(role));
}

void TPgTestServer::TerminateBackend(int pid) const {
    // The timeout makes the call wait until the backend has really gone.
    const QString done =
        QueryValueAsSuperuser(QStringLiteral("SELECT pg_terminate_backend(%1, 10000)").arg(pid));
    if (done != QStringLiteral("t"))
        Fail(QStringLiteral("terminate"), QStringLiteral("backend %1 did not end").arg(pid));
}

void TPgTestServer::ReloadFixtures() const {
    ExecAsSuperuser(QStringLiteral("TRUNCATE kavex.central_users, lodvar.lodset, lodvar.comset, "
                                   "lodvar.arms, lodvar.units RESTART IDENTITY"));
    ExecFileAsSuperuser(QStringLiteral(LODVAR_TEST_FIXTURES));
}

QString TPgTestServer::DbFile(const QString& name) {
    return QStringLiteral(LODVAR_DB_DIR) + QLatin1Char('/') + name;
}
