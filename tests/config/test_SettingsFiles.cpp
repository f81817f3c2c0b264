#include "../platform/TestFiles.h"
#include "config/SettingsFiles.h"
#include "config/uUtils.h"

#include <gtest/gtest.h>

namespace {

QString S(const char* utf8) {
    return QString::fromUtf8(utf8);
}

QByteArray B(const char* bytes) {
    return QByteArray(bytes);
}

TEST(SettingsFiles, FileNamesAreFormedInTheUserFolder) {
    EXPECT_EQ(MainSettingsFileName(S("/home/op/.local/share/KAVEX/Lodvar/")),
              S("/home/op/.local/share/KAVEX/Lodvar/lodvar.ini"));
    EXPECT_EQ(ConnectionFileName(S("/u/"), S("main")), S("/u/main.pdb"));
    EXPECT_EQ(ConnectionFileName(S("/u/"), S("EMPTY")), S("/u/EMPTY.pdb"));
}

// What each key gives when the file is missing, when the file lacks the key, and
// when the file holds the given line in the key's section (names in other case).
struct TKeyCase {
    const char* Name;
    QByteArray FileWithValue;
    QString MissingText; // expected for a missing file (text keys)
    QString PresentText; // expected from FileWithValue
};

void PrintTo(const TKeyCase& c, std::ostream* os) {
    *os << c.Name;
}

class TextKeys : public testing::TestWithParam<std::pair<const TIniTextKey*, TKeyCase>> {};

TEST_P(TextKeys, GiveTheirDefaultOrTheValue) {
    const auto& [key, c] = GetParam();
    TTempFolder folder;
    const TIniFile missing(folder.File("absent.ini"));
    EXPECT_EQ(ReadKey(missing, *key), c.MissingText);

    const TIniFile other(folder.File("other.ini"));
    WriteFileBytes(other.FileName(), B("[ELSEWHERE]\nserver=x\nLogin=x\n"));
    EXPECT_EQ(ReadKey(other, *key), c.MissingText);

    const TIniFile present(folder.File("present.ini"));
    WriteFileBytes(present.FileName(), c.FileWithValue);
    EXPECT_EQ(ReadKey(present, *key), c.PresentText);
}

INSTANTIATE_TEST_SUITE_P(
    Defaults, TextKeys,
    testing::Values(
        std::pair{
            &MainSettings::DbAlias,
            TKeyCase{"MainDbAlias", B("[connection]\ndb_alias=main\n"), S("EMPTY"), S("main")}},
        std::pair{&MainSettings::Lang,
                  TKeyCase{"MainLang", B("[LOCALE]\nLANG=1033\n"), QString(), S("1033")}},
        std::pair{&MainSettings::Login,
                  TKeyCase{"MainLogin", B("[LOGIN]\nlogin=Оператор\n"), QString(), S("Оператор")}},
        std::pair{&ConnectionFile::Server,
                  TKeyCase{"ConnServer", B("[CONNECTION]\nSERVER=db.example\n"),
                           S("need_to_edit_server"), S("db.example")}},
        std::pair{&ConnectionFile::DbName,
                  TKeyCase{"ConnDbName", B("[CONNECTION]\nDB_NAME=lodvar\n"),
                           S("need_to_edit_idb_name"), S("lodvar")}},
        std::pair{&ConnectionFile::DbUserName,
                  TKeyCase{"ConnDbUserName", B("[Connection]\nDb_UserName=\"op\"\n"),
                           S("need_to_edit_idb_username"), S("op")}},
        std::pair{&ConnectionFile::Login,
                  TKeyCase{"ConnLogin", B("[login]\nLOGIN=Іван\n"), S("admin"), S("Іван")}},
        std::pair{&ConnectionFile::Password,
                  TKeyCase{"ConnPassword", B("[Login]\nPassword=FZg=\n"), QString(), S("FZg=")}}),
    [](const auto& info) { return std::string(info.param.second.Name); });

struct TNumberCase {
    const char* Name;
    const char* Line;
    int Port;
    bool Debug;
};

void PrintTo(const TNumberCase& c, std::ostream* os) {
    *os << c.Name;
}

class NumberKeys : public testing::TestWithParam<TNumberCase> {};

TEST_P(NumberKeys, PortAndDebugFlagsReadAsIntegers) {
    const TNumberCase& c = GetParam();
    TTempFolder folder;
    const TIniFile file(folder.File("test.ini"));
    WriteFileBytes(file.FileName(), B("[CONNECTION]\nport=") + B(c.Line) + B("\n[DEBUG]\nDEBUG=") +
                                        B(c.Line) + B("\nLOGREWRITE=") + B(c.Line) + B("\n"));
    EXPECT_EQ(ReadKey(file, ConnectionFile::Port), c.Port);
    EXPECT_EQ(ReadKey(file, MainSettings::Debug), c.Debug);
    EXPECT_EQ(ReadKey(file, MainSettings::LogRewrite), c.Debug);
}

INSTANTIATE_TEST_SUITE_P(
    Values, NumberKeys,
    testing::Values(TNumberCase{"Decimal", "5432", 5432, true},
                    TNumberCase{"Hex", "0x1F90", 8080, true}, TNumberCase{"Zero", "0", 0, false},
                    TNumberCase{"OutOfPortRange", "70000", 70000, true},
                    TNumberCase{"Negative", "-1", -1, true},
                    TNumberCase{"WordYes", "yes", 0, false}, TNumberCase{"Empty", "", 0, false}),
    [](const testing::TestParamInfo<TNumberCase>& info) { return std::string(info.param.Name); });

TEST(SettingsFiles, MissingMainFileGivesFalseFlagsAndIsNotCreated) {
    TTempFolder folder;
    const TIniFile main(MainSettingsFileName(folder.Path()));
    EXPECT_FALSE(ReadKey(main, MainSettings::Debug));
    EXPECT_FALSE(ReadKey(main, MainSettings::LogRewrite));
    EXPECT_EQ(
        ReadKey(TIniFile(ConnectionFileName(folder.Path(), EmptyAlias)), ConnectionFile::Port), 0);
    EXPECT_FALSE(QFile::exists(main.FileName()));
}

TEST(SettingsFiles, FirstStartCreatesTheMainFileWithLangOnly) {
    TTempFolder folder;
    const TIniFile main(MainSettingsFileName(folder.Path()));
    CreateDefaultSettingsFile(main.FileName());
    EXPECT_EQ(ReadFileBytes(main.FileName()), B("[LOCALE]\nLANG=1033\n"));
    EXPECT_EQ(ReadKey(main, MainSettings::DbAlias), EmptyAlias);
    EXPECT_EQ(ReadKey(main, MainSettings::Lang), MainSettings::DefaultLang);
    EXPECT_FALSE(ReadKey(main, MainSettings::Debug));
}

TEST(SettingsFiles, LoginNameIsWrittenToTheMainFileOnly) {
    TTempFolder folder;
    const TIniFile main(MainSettingsFileName(folder.Path()));
    const TIniFile connection(ConnectionFileName(folder.Path(), S("main")));
    WriteFileBytes(main.FileName(), B("[CONNECTION]\nDB_ALIAS=main\n"));
    WriteFileBytes(connection.FileName(), B("[Login]\nLogin=admin2\n"));
    WriteKey(main, MainSettings::Login, S("Оператор"));
    EXPECT_EQ(ReadFileBytes(main.FileName()), B("[CONNECTION]\nDB_ALIAS=main\n\n[Login]\nLogin=") +
                                                  S("Оператор").toUtf8() + B("\n"));
    EXPECT_EQ(ReadKey(connection, ConnectionFile::Login), S("admin2"));
}

TEST(SettingsFiles, StoredPasswordOfAConnectionFileDecrypts) {
    TTempFolder folder;
    const TIniFile connection(ConnectionFileName(folder.Path(), S("main")));
    WriteKey(connection, ConnectionFile::Password, EncryptStr(S("Пароль"), SystemPassPhrase()));
    WriteKey(connection, ConnectionFile::Port, 5433);
    EXPECT_EQ(DecryptStr(ReadKey(connection, ConnectionFile::Password), SystemPassPhrase()),
              S("Пароль"));
    EXPECT_EQ(ReadKey(connection, ConnectionFile::Port), 5433);
}

} // namespace
