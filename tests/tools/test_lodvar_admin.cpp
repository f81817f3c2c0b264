// lodvar-admin end to end: the real program in a child process, its exit codes and
// its exact output.
#include "../platform/TestFiles.h"
#include "AdminToolRun.h"
#include "LodvarSiteConfig.h"
#include "PgTestServer.h"
#include "config/uLodvarClasses.h"
#include "config/uUtils.h"
#include "data/uDbConnection.h"
#include "platform/IniFile.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QThread>
#include <functional>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>

namespace {

struct TCase {
    const char* name;
    QStringList args;
    QByteArray input;
    int exitCode;
    const char* outPattern; // whole standard output, a regular expression
    const char* errContains;
};

const QString kVectorHash = S("$2a$05$CCCCCCCCCCCCCCCCCCCCC.E5YPO9kmyuRGyh0XouQYb4YMJKvyOeW");

const TCase kCases[] = {
    {"no command", {}, {}, 2, "", "usage: lodvar-admin COMMAND"},
    {"unknown command", {S("frobnicate")}, {}, 2, "", "unknown command frobnicate"},
    {"overview",
     {S("--help")},
     {},
     0,
     "usage: lodvar-admin COMMAND[\\s\\S]*probe ALIAS[\\s\\S]*",
     ""},
    {"destination help",
     {S("destination"), S("--help")},
     {},
     0,
     "usage: lodvar-admin destination LAT LON BEARING DISTANCE\n\n[\\s\\S]*",
     ""},
    {"write-profile help",
     {S("write-profile"), S("--help")},
     {},
     0,
     "usage: lodvar-admin write-profile ALIAS[\\s\\S]*--force[\\s\\S]*",
     ""},
    {"unknown option",
     {S("hash-password"), S("--salt"), S("x")},
     {},
     2,
     "",
     "unknown option --salt"},
    {"destination east",
     {S("destination"), S("50"), S("30"), S("90"), S("2000000")},
     {},
     0,
     "46\\.776738 56\\.769759\n",
     ""},
    {"destination negative distance",
     {S("destination"), S("50"), S("30"), S("90"), S("-2000000")},
     {},
     0,
     "46\\.776738 3\\.230241\n",
     ""},
    {"destination past the antimeridian",
     {S("destination"), S("0"), S("179"), S("90"), S("2000000")},
     {},
     0,
     "0\\.000000 196\\.966306\n",
     ""},
    {"destination zero distance",
     {S("destination"), S("-0"), S("0"), S("0"), S("0")},
     {},
     0,
     "0\\.000000 0\\.000000\n",
     ""},
    {"destination not a number",
     {S("destination"), S("abc"), S("30"), S("90"), S("1")},
     {},
     2,
     "",
     "LAT must be a finite decimal number: abc"},
    {"destination not finite",
     {S("destination"), S("1"), S("2"), S("3"), S("inf")},
     {},
     2,
     "",
     "DISTANCE must be a finite decimal number"},
    {"destination latitude beyond a pole",
     {S("destination"), S("91"), S("0"), S("0"), S("0")},
     {},
     2,
     "",
     "LAT must lie within -90..90 degrees"},
    {"destination too few",
     {S("destination"), S("1"), S("2"), S("3")},
     {},
     2,
     "",
     "expected 4 argument(s), got 3"},
    {"hash cost too low",
     {S("hash-password"), S("--cost"), S("3")},
     "pw\n",
     2,
     "",
     "--cost must be a whole number from 4 to 31"},
    {"hash cost not a number",
     {S("hash-password"), S("--cost=x")},
     "pw\n",
     2,
     "",
     "--cost must be a whole number from 4 to 31"},
    {"hash empty password",
     {S("hash-password"), S("--cost"), S("4")},
     "\n",
     2,
     "",
     "the password is empty"},
    {"hash new string",
     {S("hash-password"), S("--cost"), S("4")},
     "secret\n",
     0,
     "\\$2b\\$04\\$[./A-Za-z0-9]{53}\n",
     ""},
    {"check public vector",
     {S("check-password"), kVectorHash},
     "U*U\n",
     0,
     "match\nrenewal advised\n",
     ""},
    {"check wrong password",
     {S("check-password"), kVectorHash},
     "U*V",
     1,
     "no match\nrenewal advised\n",
     ""},
    {"check unreadable hash",
     {S("check-password"), S("$2a$05$short")},
     "x\n",
     2,
     "",
     "Invalid base64 hash string"},
    {"check cost out of range",
     {S("check-password"), S("$2a$03$CCCCCCCCCCCCCCCCCCCCC.E5YPO9kmyuRGyh0XouQYb4YMJKvyOeW")},
     "x\n",
     2,
     "",
     "BCrypt cost factor must be between 4..31 (3)"},
    {"encrypt invalid UTF-8",
     {S("encrypt-password")},
     "\xff\xfe\n",
     2,
     "",
     "standard input is not valid UTF-8"},
    {"input line too long",
     {S("encrypt-password")},
     QByteArray(5000, 'a'),
     2,
     "",
     "the input line is longer than 4096 bytes"},
    {"longest input line",
     {S("hash-password"), S("--cost"), S("4")},
     QByteArray(4096, 'a'),
     0,
     "\\$2b\\$04\\$[./A-Za-z0-9]{53}\n",
     ""},
    {"longest input line ending in CR LF",
     {S("hash-password"), S("--cost"), S("4")},
     QByteArray(4096, 'a') + "\r\n",
     0,
     "\\$2b\\$04\\$[./A-Za-z0-9]{53}\n",
     ""},
    {"input line too long before its CR LF",
     {S("encrypt-password")},
     QByteArray(4097, 'a') + "\r\n",
     2,
     "",
     "the input line is longer than 4096 bytes"},
    {"decrypt empty", {S("decrypt-password")}, "\n", 0, "\n", ""},
};

TEST(LodvarAdmin, CommandTable) {
    for (const TCase& c : kCases) {
        SCOPED_TRACE(c.name);
        const TRun run = RunAdminTool(c.args, c.input);
        EXPECT_EQ(run.exitCode, c.exitCode) << run.err.toStdString();
        const QRegularExpression pattern(
            QRegularExpression::anchoredPattern(QString::fromUtf8(c.outPattern)));
        EXPECT_TRUE(pattern.match(run.out).hasMatch()) << run.out.toStdString();
        EXPECT_TRUE(run.err.contains(QString::fromUtf8(c.errContains))) << run.err.toStdString();
    }
}

TEST(LodvarAdmin, HashedPasswordChecksAndStoredPasswordDecrypts) {
    const TRun hashed = RunAdminTool({S("hash-password"), S("--cost"), S("5")}, "Пароль 1\n");
    ASSERT_EQ(hashed.exitCode, 0);
    const QString hash = hashed.out.trimmed();
    EXPECT_EQ(RunAdminTool({S("check-password"), hash}, "Пароль 1\n").out,
              S("match\nrenewal advised\n"));
    EXPECT_EQ(RunAdminTool({S("check-password"), hash}, "Пароль 2\n").exitCode, 1);

    const TRun encrypted = RunAdminTool({S("encrypt-password")}, "Пароль 1\r\n");
    ASSERT_EQ(encrypted.exitCode, 0);
    EXPECT_EQ(encrypted.out, EncryptStr(S("Пароль 1"), SystemPassPhrase()) + S("\n"));
    EXPECT_EQ(RunAdminTool({S("decrypt-password")}, encrypted.out.toUtf8()).out, S("Пароль 1\n"));
}

TEST(LodvarAdmin, StandardInputThatCannotBeReadIsAnError) {
    TTempFolder folder;
    const auto fromAFolder = [&folder](QProcess& process) {
        process.setStandardInputFile(folder.Path());
    };
    const QStringList commands[] = {
        {S("encrypt-password")},
        {S("decrypt-password")},
        {S("hash-password"), S("--cost"), S("4")},
        {S("check-password"), kVectorHash},
        {S("write-profile"), S("site"), S("--server"), S("h"), S("--port"), S("1"), S("--db"),
         S("d"), S("--user"), S("u"), S("--folder"), folder.Path(), S("--remember-password")},
    };
    for (const QStringList& args : commands) {
        SCOPED_TRACE(args.first().toStdString());
        const TRun run =
            RunAdminTool(args, {}, QProcessEnvironment::systemEnvironment(), fromAFolder);
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_EQ(run.out, QString());
        EXPECT_TRUE(run.err.contains(S(": standard input cannot be read\n")))
            << run.err.toStdString();
    }
    EXPECT_EQ(QDir(folder.Path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList());
}

// The memory of the tool as it ends: gdb stops it at its exit system call and saves
// a core. Empty when gdb could not.
QByteArray MemoryAtExit(const QStringList& args, const QByteArray& input,
                        const TTempFolder& folder) {
    const QString inputFile = folder.File("input");
    const QString coreFile = folder.File("core");
    WriteFileBytes(inputFile, input);
    QStringList quoted;
    for (const QString& arg : args)
        quoted.append(QLatin1Char('\'') + arg + QLatin1Char('\''));
    QProcess gdb;
    gdb.start(S("gdb"),
              {S("-q"), S("-batch"), S("-nx"), S("-ex"), S("catch syscall exit_group"), S("-ex"),
               S("run ") + quoted.join(QLatin1Char(' ')) + S(" < '") + inputFile +
                   S("' > /dev/null 2>&1"),
               S("-ex"), S("gcore ") + coreFile, QStringLiteral(LODVAR_ADMIN_PATH)});
    EXPECT_TRUE(gdb.waitForFinished(120000));
    QFile core(coreFile);
    const QByteArray memory = core.open(QIODevice::ReadOnly) ? core.readAll() : QByteArray();
    QFile::remove(coreFile);
    return memory;
}

TEST(LodvarAdmin, NoCopyOfAPasswordIsLeftInMemoryAtExit) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizer's quarantine keeps freed blocks as they were";
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    GTEST_SKIP() << "the sanitizer's quarantine keeps freed blocks as they were";
#endif
#endif
    if (QStandardPaths::findExecutable(S("gdb")).isEmpty())
        GTEST_SKIP() << "gdb is not installed";
    const QString password = S("Zq7Wombat-Пароль-9913");
    const QByteArray line = password.toUtf8() + "\n";
    TTempFolder folder;
    const struct {
        const char* Name;
        QStringList Args;
        QByteArray Input;
    } cases[] = {
        {"encrypt", {S("encrypt-password")}, line},
        {"decrypt",
         {S("decrypt-password")},
         EncryptStr(password, SystemPassPhrase()).toUtf8() + "\n"},
        {"hash", {S("hash-password"), S("--cost"), S("4")}, line},
        {"write-profile",
         {S("write-profile"), S("site"), S("--server"), S("h"), S("--port"), S("1"), S("--db"),
          S("d"), S("--user"), S("u"), S("--folder"), folder.Path(), S("--remember-password")},
         line},
        {"invalid UTF-8 after the password", {S("encrypt-password")}, password.toUtf8() + "\xff\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const QByteArray memory = MemoryAtExit(c.Args, c.Input, folder);
        // The arguments lie on the stack: the core holds the process's memory.
        ASSERT_TRUE(memory.contains(c.Args.last().toUtf8())) << "no core of the process";
        EXPECT_EQ(memory.count(password.toUtf8()), 0);
        EXPECT_EQ(memory.count(Utf16Le(password)), 0);
    }
}

class LodvarAdminProfiles : public testing::Test {
protected:
    QStringList WriteArgs(const char* alias) const {
        return {S("write-profile"), S(alias),      S("--server"), S("db.example"),
                S("--port"),        S("6543"),     S("--db"),     S("lodvar"),
                S("--user"),        S("оператор"), S("--folder"), FFolder.Path()};
    }
    // Names in the folder, so a test can tell that nothing was left behind.
    QStringList Entries() const {
        return QDir(FFolder.Path())
            .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    }
    TTempFolder FFolder;
};

TEST_F(LodvarAdminProfiles, WritesAProfileThatLoadsBack) {
    const TRun run = RunAdminTool(
        WriteArgs("site") << S("--login") << S("Іван") << S("--remember-password"), "таємно\n");
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(run.out, S("wrote ") + FFolder.File("site.pdb") + S("\n"));
    EXPECT_EQ(Entries(), QStringList{S("site.pdb")});

    TDbConnection cnn;
    TLodvarConnection profile(FFolder.Path(), cnn);
    ASSERT_TRUE(profile.LoadByAlias(S("site"), false));
    EXPECT_EQ(profile.server(), S("db.example"));
    EXPECT_EQ(profile.Port(), 6543);
    EXPECT_EQ(profile.DBName(), S("lodvar"));
    EXPECT_EQ(profile.DBUserName(), S("оператор"));
    const TIniFile file(FFolder.File("site.pdb"));
    EXPECT_EQ(file.ReadString(S("Login"), S("Login"), QString()), S("Іван"));
    EXPECT_EQ(DecryptStr(file.ReadString(S("Login"), S("Password"), QString()), SystemPassPhrase()),
              S("таємно"));
}

TEST_F(LodvarAdminProfiles, RefusalsWriteNothing) {
    const struct {
        const char* name;
        QStringList args;
        const char* errContains;
    } cases[] = {
        {"missing port",
         {S("write-profile"), S("a"), S("--server"), S("h"), S("--db"), S("d"), S("--user"), S("u"),
          S("--folder"), FFolder.Path()},
         "--port is required"},
        {"port out of range",
         {S("write-profile"), S("a"), S("--server"), S("h"), S("--port=65535"), S("--db"), S("d"),
          S("--user"), S("u"), S("--folder"), FFolder.Path()},
         "--port must be a whole number from 1 to 65534"},
        {"option given twice", WriteArgs("a") << S("--port=1"), "option --port is given twice"},
        {"missing server",
         {S("write-profile"), S("a"), S("--port"), S("1"), S("--db"), S("d"), S("--user"), S("u"),
          S("--folder"), FFolder.Path()},
         "--server is required"},
        {"alias with a path", WriteArgs("../a"), "the alias must be a plain file name"},
        {"alias with the extension", WriteArgs("a.PDB"), "give the alias without \".pdb\""},
        {"folder missing",
         {S("write-profile"), S("a"), S("--server"), S("h"), S("--port"), S("1"), S("--db"), S("d"),
          S("--user"), S("u"), S("--folder"), FFolder.File("absent")},
         "folder does not exist"},
        {"value that would not read back",
         {S("write-profile"), S("a"), S("--server"), S(" h"), S("--port"), S("1"), S("--db"),
          S("d"), S("--user"), S("u"), S("--folder"), FFolder.Path()},
         "would not read back as given"},
        {"line break in a value",
         {S("write-profile"), S("a"), S("--server"), S("h\n[X]"), S("--port"), S("1"), S("--db"),
          S("d"), S("--user"), S("u"), S("--folder"), FFolder.Path()},
         "--server must not hold control characters"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const TRun run = RunAdminTool(c.args);
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_TRUE(run.err.contains(S(c.errContains))) << run.err.toStdString();
        EXPECT_EQ(Entries(), QStringList());
    }
}

TEST_F(LodvarAdminProfiles, KeepsAnExistingFileUnlessForced) {
    WriteFileBytes(FFolder.File("site.pdb"), "[CONNECTION]\nserver=old\n");
    const TRun refused = RunAdminTool(WriteArgs("site"));
    EXPECT_EQ(refused.exitCode, 2);
    EXPECT_TRUE(refused.err.contains(S("exists; use --force to overwrite it")));
    EXPECT_EQ(ReadFileBytes(FFolder.File("site.pdb")), QByteArray("[CONNECTION]\nserver=old\n"));

    EXPECT_EQ(RunAdminTool(WriteArgs("site") << S("--force")).exitCode, 0);
    EXPECT_EQ(TIniFile(FFolder.File("site.pdb")).ReadString(S("CONNECTION"), S("server"), {}),
              S("db.example"));
    EXPECT_EQ(Entries(), QStringList{S("site.pdb")});
}

mode_t ModeOf(const QString& fileName) {
    struct stat info {};
    EXPECT_EQ(::stat(fileName.toLocal8Bit().constData(), &info), 0);
    return info.st_mode & 07777;
}

TEST_F(LodvarAdminProfiles, ProfilesAreTheOwnersAloneAndForceKeepsAStricterMode) {
    // Without a umask the mode shows what the tool asked for.
    const auto noUmask = [](QProcess& process) {
        process.setChildProcessModifier([] { ::umask(0); });
    };
    const auto write = [&](QStringList args) {
        return RunAdminTool(args << S("--remember-password"), "secret\n",
                            QProcessEnvironment::systemEnvironment(), noUmask);
    };
    ASSERT_EQ(write(WriteArgs("site")).exitCode, 0);
    EXPECT_EQ(ModeOf(FFolder.File("site.pdb")), 0600u);

    const struct {
        mode_t Before;
        mode_t After;
    } cases[] = {{0644, 0600}, {0666, 0600}, {0640, 0600}, {0600, 0600}, {0400, 0400}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Before);
        ASSERT_EQ(::chmod(FFolder.File("site.pdb").toLocal8Bit().constData(), c.Before), 0);
        ASSERT_EQ(write(WriteArgs("site") << S("--force")).exitCode, 0);
        EXPECT_EQ(ModeOf(FFolder.File("site.pdb")), c.After);
    }
    EXPECT_EQ(Entries(), QStringList{S("site.pdb")});
}

// True while the process is blocked reading its standard input (Linux: the system
// call and first argument in /proc/PID/syscall).
bool WaitsOnStandardInput(qint64 pid) {
    QFile file(QStringLiteral("/proc/%1/syscall").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QList<QByteArray> fields = file.readAll().split(' ');
    return fields.size() > 1 && fields[0].toLong() == SYS_read && fields[1] == "0x0";
}

TEST_F(LodvarAdminProfiles, AProfileThatAppearsAfterTheTestIsNeverReplaced) {
    QProcess process;
    process.start(QStringLiteral(LODVAR_ADMIN_PATH), WriteArgs("site") << S("--remember-password"));
    ASSERT_TRUE(process.waitForStarted());
    // The tool has found the name free and waits for the password; now the file appears.
    const QDeadlineTimer patience(5000);
    while (!WaitsOnStandardInput(process.processId()) && !patience.hasExpired())
        QThread::msleep(10);
    const QByteArray theirs = "[CONNECTION]\nserver=theirs\n";
    WriteFileBytes(FFolder.File("site.pdb"), theirs);
    process.write("secret\n");
    process.closeWriteChannel();
    ASSERT_TRUE(process.waitForFinished(60000));
    EXPECT_EQ(process.exitCode(), 2);
    EXPECT_TRUE(
        QString::fromUtf8(process.readAllStandardError())
            .contains(FFolder.File("site.pdb") + S(" exists; use --force to overwrite it")));
    EXPECT_EQ(ReadFileBytes(FFolder.File("site.pdb")), theirs);
    EXPECT_EQ(Entries(), QStringList{S("site.pdb")});
}

TEST_F(LodvarAdminProfiles, AliasesThatLodvarIniCannotNameAreRefused) {
    const QString tooLong(300, QLatin1Char('a'));
    const char* const unnamable = "lodvar.ini cannot name this alias";
    const struct {
        const char* Name;
        QString Alias;
        QString ErrContains;
    } cases[] = {
        {"tab", S("a\tb"), S(unnamable)},
        {"delete", S("a\x7f"), S(unnamable)},
        {"C1 control", S("a\u0085"), S(unnamable)},
        {"leading blank", S(" a"), S(unnamable)},
        {"trailing blank", S("a "), S(unnamable)},
        {"enclosing quotes", S("'a'"), S(unnamable)},
        {"too long for a file name", tooLong,
         S("the file name is too long: ") + FFolder.Path() + tooLong + S(".pdb")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        QStringList args = WriteArgs("x");
        args[1] = c.Alias;
        const TRun run = RunAdminTool(args);
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_TRUE(run.err.contains(c.ErrContains)) << run.err.toStdString();
        EXPECT_EQ(Entries(), QStringList());
    }

    // Bytes that are no UTF-8 can only come from a shell.
    QProcess shell;
    shell.start(S("/bin/sh"), {S("-c"),
                               S("exec \"$0\" write-profile \"$(printf 'a\\377b')\" "
                                 "--server h --port 1 --db d --user u --folder \"$1\""),
                               QStringLiteral(LODVAR_ADMIN_PATH), FFolder.Path()});
    ASSERT_TRUE(shell.waitForFinished(60000));
    EXPECT_EQ(shell.exitCode(), 2);
    EXPECT_TRUE(QString::fromUtf8(shell.readAllStandardError()).contains(S(unnamable)));
    EXPECT_EQ(Entries(), QStringList());
}

TEST_F(LodvarAdminProfiles, AFileSizeLimitFailsTheWriteAndLeavesNothingBehind) {
    const auto noFileBytes = [](QProcess& process) {
        process.setChildProcessModifier([] {
            const rlimit none{0, 0};
            ::setrlimit(RLIMIT_FSIZE, &none);
        });
    };
    const TRun run =
        RunAdminTool(WriteArgs("site"), {}, QProcessEnvironment::systemEnvironment(), noFileBytes);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains(S("Unable to write to ") + FFolder.File("site.pdb")))
        << run.err.toStdString();
    EXPECT_EQ(Entries(), QStringList());
}

TEST_F(LodvarAdminProfiles, DefaultFolderIsThePerUserSettingsFolder) {
    ASSERT_TRUE(QDir().mkpath(FFolder.Path() + S("KAVEX/Lodvar")));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(S("LOCALAPPDATA"), FFolder.Path() + S("."));
    QStringList args = WriteArgs("site");
    args.removeLast();
    args.removeLast();
    const TRun run = RunAdminTool(args, {}, env);
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(QFileInfo::exists(FFolder.Path() + S("KAVEX/Lodvar/site.pdb")));
}

TEST_F(LodvarAdminProfiles, ProbeSaysWhatFailed) {
    auto& server = TPgTestServer::Instance();
    server.CreateReaderRole(S("probe_user"), QString::fromLatin1(SiteConfig::ProfilePassword));
    const QByteArray port = QByteArray::number(server.Port());
    WriteFileBytes(FFolder.File("good.pdb"), "[CONNECTION]\nserver=127.0.0.1\nPort=" + port +
                                                 "\ndb_name=lodvar\ndb_username=probe_user\n");
    WriteFileBytes(FFolder.File("refused.pdb"), "[CONNECTION]\nserver=127.0.0.1\nPort=" + port +
                                                    "\ndb_name=lodvar\ndb_username=nobody\n");
    WriteFileBytes(FFolder.File("closed.pdb"), "[CONNECTION]\nserver=127.0.0.1\nPort=1\n");
    const struct {
        const char* alias;
        int exitCode;
        QString out;
        const char* errContains;
    } cases[] = {
        {"good", 0,
         S("profile: server 127.0.0.1, port ") + QString::fromLatin1(port) +
             S(", database lodvar, user probe_user\nport: reachable\ndatabase: connected\n"),
         ""},
        {"closed", 1,
         S("profile: server 127.0.0.1, port 1, database need_to_edit_idb_name, user "
           "need_to_edit_idb_username\nport: nothing accepts TCP connections at 127.0.0.1:1\n"),
         ""},
        {"missing", 1, S("profile: could not be loaded (see the message above)\n"),
         "Error in LoadByAlias: DB settings file "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.alias);
        const TRun run = RunAdminTool({S("probe"), S(c.alias), S("--folder"), FFolder.Path()});
        EXPECT_EQ(run.exitCode, c.exitCode);
        EXPECT_EQ(run.out, c.out);
        EXPECT_TRUE(run.err.contains(S(c.errContains))) << run.err.toStdString();
    }
    const TRun refused = RunAdminTool({S("probe"), S("refused"), S("--folder"), FFolder.Path()});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_TRUE(refused.out.contains(S("port: reachable\ndatabase: could not connect: ")));
    EXPECT_TRUE(refused.out.contains(S("nobody"))) << refused.out.toStdString();
}

} // namespace
