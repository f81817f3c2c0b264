#include "TestFiles.h"
#include "platform/OsServices.h"

#include <QDir>
#include <QFileInfo>
#include <QSysInfo>
#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

namespace {

QString S(const char* utf8) {
    return QString::fromUtf8(utf8);
}

// --- Expansion --------------------------------------------------------------------

struct TExpandCase {
    const char* Name;
    const char* Text;
    const char* Expected;
};

void PrintTo(const TExpandCase& c, std::ostream* os) {
    *os << c.Name;
}

class OsExpand : public testing::TestWithParam<TExpandCase> {};

TEST_P(OsExpand, ReplacesDefinedNamesAndKeepsTheRest) {
    const TExpandCase& c = GetParam();
    const TScopedEnv a("LODVAR_T_A", S("alpha"));
    const TScopedEnv empty("LODVAR_T_EMPTY", QString());
    const TScopedEnv cyr("LODVAR_T_CYR", S("Сервер ї"));
    const TScopedEnv undefined("LODVAR_T_UNDEF", std::nullopt);
    EXPECT_EQ(Os::ExpandEnvironment(S(c.Text)), S(c.Expected));
}

INSTANTIATE_TEST_SUITE_P(
    Rules, OsExpand,
    testing::Values(TExpandCase{"Plain", "no references", "no references"},
                    TExpandCase{"Empty", "", ""}, TExpandCase{"One", "%LODVAR_T_A%", "alpha"},
                    TExpandCase{"Embedded", "x%LODVAR_T_A%/y", "xalpha/y"},
                    TExpandCase{"Twice", "%LODVAR_T_A%%LODVAR_T_A%", "alphaalpha"},
                    TExpandCase{"Undefined", "%LODVAR_T_UNDEF%\\KAVEX\\",
                                "%LODVAR_T_UNDEF%\\KAVEX\\"},
                    TExpandCase{"UndefinedThenDefined", "%LODVAR_T_UNDEF%%LODVAR_T_A%",
                                "%LODVAR_T_UNDEF%alpha"},
                    TExpandCase{"DefinedButEmpty", "[%LODVAR_T_EMPTY%]", "[]"},
                    TExpandCase{"Cyrillic", "%LODVAR_T_CYR%", "Сервер ї"},
                    TExpandCase{"DoublePercent", "100%%", "100%%"},
                    TExpandCase{"DoublePercentBeforeName", "%%LODVAR_T_A%", "%%LODVAR_T_A%"},
                    TExpandCase{"LonePercent", "50% done", "50% done"},
                    TExpandCase{"UnclosedName", "%LODVAR_T_A", "%LODVAR_T_A"},
                    TExpandCase{"NameWithEquals", "%A=B%", "%A=B%"},
                    TExpandCase{"OnlyPercents", "%%%", "%%%"}),
    [](const testing::TestParamInfo<TExpandCase>& info) { return std::string(info.param.Name); });

// --- Files and folders ------------------------------------------------------------

struct TExistsCase {
    const char* Name;
    const char* Path; // inside the test folder; empty asks for ""
    bool IsDirectory;
    bool IsFile;
};

void PrintTo(const TExistsCase& c, std::ostream* os) {
    *os << c.Name;
}

class OsExists : public testing::TestWithParam<TExistsCase> {};

TEST_P(OsExists, FollowsLinksAndTellsFoldersFromFiles) {
    const TExistsCase& c = GetParam();
    TTempFolder folder;
    ASSERT_TRUE(QDir().mkdir(folder.File("dir")));
    WriteFileBytes(folder.File("file"), "x");
    ASSERT_TRUE(QFile::link(folder.File("dir"), folder.File("dirlink")));
    ASSERT_TRUE(QFile::link(folder.File("file"), folder.File("filelink")));
    ASSERT_TRUE(QFile::link(folder.File("gone"), folder.File("broken")));
    const QString path = *c.Path != '\0' ? folder.File(c.Path) : QString();
    EXPECT_EQ(Os::DirectoryExists(path), c.IsDirectory);
    EXPECT_EQ(Os::FileExists(path), c.IsFile);
}

INSTANTIATE_TEST_SUITE_P(Rules, OsExists,
                         testing::Values(TExistsCase{"Folder", "dir", true, false},
                                         TExistsCase{"FolderWithDelimiter", "dir/", true, false},
                                         TExistsCase{"File", "file", false, true},
                                         TExistsCase{"LinkToFolder", "dirlink", true, false},
                                         TExistsCase{"LinkToFile", "filelink", false, true},
                                         TExistsCase{"BrokenLink", "broken", false, false},
                                         TExistsCase{"Missing", "nothing", false, false},
                                         TExistsCase{"BelowAFile", "file/x", false, false},
                                         TExistsCase{"EmptyPath", "", false, false}),
                         [](const testing::TestParamInfo<TExistsCase>& info) {
                             return std::string(info.param.Name);
                         });

struct TCreateCase {
    const char* Name;
    const char* Path;
    bool Created;
};

void PrintTo(const TCreateCase& c, std::ostream* os) {
    *os << c.Name;
}

class OsCreateDir : public testing::TestWithParam<TCreateCase> {};

TEST_P(OsCreateDir, CreatesOneLevelOrReportsFalse) {
    const TCreateCase& c = GetParam();
    TTempFolder folder;
    ASSERT_TRUE(QDir().mkdir(folder.File("KAVEX")));
    WriteFileBytes(folder.File("file"), "x");
    const QString path = folder.File(c.Path);
    const bool existed = QFileInfo::exists(path);
    EXPECT_EQ(Os::CreateDir(path), c.Created);
    EXPECT_EQ(Os::DirectoryExists(path), c.Created || (existed && QFileInfo(path).isDir()));
}

INSTANTIATE_TEST_SUITE_P(
    Rules, OsCreateDir,
    testing::Values(TCreateCase{"NewLevel", "KAVEX/Lodvar", true},
                    TCreateCase{"NewLevelWithDelimiter", "KAVEX/Lodvar/", true},
                    TCreateCase{"CyrillicName", "KAVEX/Лодвар", true},
                    TCreateCase{"AlreadyThere", "KAVEX", false},
                    TCreateCase{"ParentMissing", "missing/Lodvar", false},
                    TCreateCase{"FileInTheWay", "file", false},
                    TCreateCase{"BelowAFile", "file/Lodvar", false},
                    TCreateCase{"UnexpandedReference", "%LOCALAPPDATA%/KAVEX/", false}),
    [](const testing::TestParamInfo<TCreateCase>& info) { return std::string(info.param.Name); });

TEST(OsServices, CreateDirRefusesAnEmptyPath) {
    EXPECT_FALSE(Os::CreateDir(QString()));
}

TEST(OsServices, MovesReplacingOrOnlyOntoAFreeName) {
    TTempFolder folder;
    const QString from = folder.File("staged");
    const QString taken = folder.File("taken");
    WriteFileBytes(taken, "old");

    WriteFileBytes(from, "new");
    EXPECT_EQ(Os::MoveNoReplace(from, taken), Os::TMoveOutcome::NameTaken);
    EXPECT_EQ(ReadFileBytes(taken), QByteArray("old"));
    EXPECT_EQ(ReadFileBytes(from), QByteArray("new")) << "the file stays where it was";

    EXPECT_EQ(Os::MoveNoReplace(from, folder.File("free")), Os::TMoveOutcome::Moved);
    EXPECT_FALSE(QFileInfo::exists(from));
    EXPECT_EQ(ReadFileBytes(folder.File("free")), QByteArray("new"));

    EXPECT_EQ(Os::MoveNoReplace(folder.File("absent"), folder.File("other")),
              Os::TMoveOutcome::Failed);
    EXPECT_EQ(Os::MoveNoReplace(QString(), folder.File("other")), Os::TMoveOutcome::Failed);

    EXPECT_TRUE(Os::MoveReplacing(folder.File("free"), taken));
    EXPECT_EQ(ReadFileBytes(taken), QByteArray("new"));
    EXPECT_FALSE(Os::MoveReplacing(folder.File("absent"), taken));
}

TEST(OsServices, SetCurrentDirMovesTheProcessOrReportsFalse) {
    TTempFolder folder;
    const QString before = QDir::currentPath();
    ASSERT_TRUE(QDir().mkdir(folder.File("Lodvar")));
    EXPECT_TRUE(Os::SetCurrentDir(folder.File("Lodvar/")));
    EXPECT_EQ(QFileInfo(QDir::currentPath()).canonicalFilePath(),
              QFileInfo(folder.File("Lodvar")).canonicalFilePath());
    EXPECT_FALSE(Os::SetCurrentDir(folder.File("missing")));
    EXPECT_FALSE(Os::SetCurrentDir(QString()));
    EXPECT_EQ(QFileInfo(QDir::currentPath()).canonicalFilePath(),
              QFileInfo(folder.File("Lodvar")).canonicalFilePath());
    ASSERT_TRUE(QDir::setCurrent(before));
}

// --- Names ------------------------------------------------------------------------

TEST(OsServices, ComputerNameIsTheShortHostName) {
    const std::optional<QString> name = Os::ComputerName();
    ASSERT_TRUE(name.has_value());
    EXPECT_FALSE(name->isEmpty());
    EXPECT_LE(name->size(), 15);
    EXPECT_FALSE(name->contains(QLatin1Char('.')));
    EXPECT_TRUE(QSysInfo::machineHostName().startsWith(*name));
}

TEST(OsServices, UserNameIsTheProcessOwner) {
    const passwd* entry = getpwuid(getuid());
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(Os::UserName(), QString::fromLocal8Bit(entry->pw_name));
}

// --- Local application-data folder ------------------------------------------------

struct TAppDataCase {
    const char* Name;
    std::optional<const char*> LocalAppData;
    std::optional<const char*> XdgDataHome;
    std::optional<const char*> Home;
    const char* Expected;
};

void PrintTo(const TAppDataCase& c, std::ostream* os) {
    *os << c.Name;
}

std::optional<QString> Opt(std::optional<const char*> value) {
    return value ? std::optional<QString>(S(*value)) : std::nullopt;
}

class OsLocalAppData : public testing::TestWithParam<TAppDataCase> {};

TEST_P(OsLocalAppData, FollowsTheFallbackOrder) {
    const TAppDataCase& c = GetParam();
    const TScopedEnv local("LOCALAPPDATA", Opt(c.LocalAppData));
    const TScopedEnv xdg("XDG_DATA_HOME", Opt(c.XdgDataHome));
    const TScopedEnv home("HOME", Opt(c.Home));
    EXPECT_EQ(Os::LocalAppDataFolder(), S(c.Expected));
}

INSTANTIATE_TEST_SUITE_P(
    Rules, OsLocalAppData,
    testing::Values(
        TAppDataCase{"LocalAppDataFirst", "/srv/appdata", "/xdg", "/home/op", "/srv/appdata"},
        TAppDataCase{"XdgDataHomeNext", std::nullopt, "/xdg/data", "/home/op", "/xdg/data"},
        TAppDataCase{"EmptyLocalAppDataSkipped", "", "/xdg/data", "/home/op", "/xdg/data"},
        TAppDataCase{"HomeLast", std::nullopt, std::nullopt, "/home/op", "/home/op/.local/share"},
        TAppDataCase{"RelativeXdgIgnored", std::nullopt, "rel/data", "/home/op",
                     "/home/op/.local/share"},
        TAppDataCase{"EmptyXdgIgnored", std::nullopt, "", "/home/оператор",
                     "/home/оператор/.local/share"}),
    [](const testing::TestParamInfo<TAppDataCase>& info) { return std::string(info.param.Name); });

TEST(OsServices, WithoutHomeTheUserDatabaseGivesTheFolder) {
    const TScopedEnv local("LOCALAPPDATA", std::nullopt);
    const TScopedEnv xdg("XDG_DATA_HOME", std::nullopt);
    const TScopedEnv home("HOME", std::nullopt);
    const passwd* entry = getpwuid(getuid());
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(Os::LocalAppDataFolder(), QFile::decodeName(entry->pw_dir) + S("/.local/share"));
}

TEST(OsServices, ExportLocalAppDataMakesTheReferenceExpand) {
    const TScopedEnv xdg("XDG_DATA_HOME", S("/xdg/данные"));
    {
        const TScopedEnv local("LOCALAPPDATA", std::nullopt);
        Os::ExportLocalAppData();
        EXPECT_EQ(Os::ExpandEnvironment(S("%LOCALAPPDATA%/KAVEX/")), S("/xdg/данные/KAVEX/"));
    }
    {
        const TScopedEnv local("LOCALAPPDATA", S("/already/set"));
        Os::ExportLocalAppData();
        EXPECT_EQ(Os::ExpandEnvironment(S("%LOCALAPPDATA%")), S("/already/set"));
    }
}

TEST(OsServices, PathDelimiterIsTheNativeOne) {
    EXPECT_EQ(Os::PathDelimiter(), QDir::separator());
}

} // namespace
