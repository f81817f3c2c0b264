#include "TestFiles.h"
#include "platform/Exceptions.h"
#include "platform/IniFile.h"

#include <QDir>
#include <QFileInfo>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

namespace {

const QString Default = QStringLiteral("dflt");

QString S(const char* utf8) {
    return QString::fromUtf8(utf8);
}

QByteArray B(const char* bytes) {
    return QByteArray(bytes);
}

// --- Reading text --------------------------------------------------------------

struct TReadCase {
    const char* Name;
    QByteArray Content;
    const char* Section;
    const char* Key;
    QString Expected;
};

void PrintTo(const TReadCase& c, std::ostream* os) {
    *os << c.Name;
}

class IniReadString : public testing::TestWithParam<TReadCase> {};

TEST_P(IniReadString, GivesTheValueOrTheDefault) {
    const TReadCase& c = GetParam();
    TTempFolder folder;
    const QString fileName = folder.File("test.ini");
    WriteFileBytes(fileName, c.Content);
    EXPECT_EQ(TIniFile(fileName).ReadString(S(c.Section), S(c.Key), Default), c.Expected);
}

const QString Long3000(3000, QLatin1Char('x'));

INSTANTIATE_TEST_SUITE_P(
    Rules, IniReadString,
    testing::Values(
        TReadCase{"Plain", B("[CONNECTION]\nserver=db1\n"), "CONNECTION", "server", S("db1")},
        TReadCase{"NamesIgnoreCase", B("[connection]\nSERVER=db1\n"), "CONNECTION", "server",
                  S("db1")},
        TReadCase{"LowerCaseKeyAsked", B("[CONNECTION]\nPort=5\n"), "Connection", "port", S("5")},
        TReadCase{"BlanksAroundEverything", B("  [ CONNECTION ] \t\n \tserver =  db1 \t \n"),
                  "CONNECTION", "server", S("db1")},
        TReadCase{"DoubleQuotesDropped", B("[S]\nk=\" a b \"\n"), "S", "k", S(" a b ")},
        TReadCase{"SingleQuotesDropped", B("[S]\nk=  ' x'  \n"), "S", "k", S(" x")},
        TReadCase{"OnlyOnePairDropped", B("[S]\nk=\"\"x\"\"\n"), "S", "k", S("\"x\"")},
        TReadCase{"MixedQuotesKept", B("[S]\nk=\"x'\n"), "S", "k", S("\"x'")},
        TReadCase{"LoneQuoteKept", B("[S]\nk=\"\n"), "S", "k", S("\"")},
        TReadCase{"EmptyQuotesGiveEmpty", B("[S]\nk=''\n"), "S", "k", QString()},
        TReadCase{"EmptyValueIsNotTheDefault", B("[S]\nk=\n"), "S", "k", QString()},
        TReadCase{"ValueMayHoldEquals", B("[S]\nk=a=b\n"), "S", "k", S("a=b")},
        TReadCase{"CrLfLines", B("[S]\r\nk=v\r\nother=1\r\n"), "S", "k", S("v")},
        TReadCase{"LastLineUnterminated", B("[S]\nk=v"), "S", "k", S("v")},
        TReadCase{"LoneCarriageReturnEndsTheLastLine", B("[S]\nk=v\r"), "S", "k", S("v")},
        TReadCase{"MissingKey", B("[S]\nother=1\n"), "S", "k", Default},
        TReadCase{"MissingSection", B("[T]\nk=1\n"), "S", "k", Default},
        TReadCase{"KeyOfTheNextSection", B("[S]\na=1\n[T]\nk=1\n"), "S", "k", Default},
        TReadCase{"KeyBeforeAnySection", B("k=1\n[S]\n"), "S", "k", Default},
        TReadCase{"CommentLine", B("[S]\n;k=1\n"), "S", "k", Default},
        TReadCase{"KeyWithoutEquals", B("[S]\nk\n"), "S", "k", Default},
        TReadCase{"SectionWithoutBracket", B("[S\nk=1\n"), "S", "k", Default},
        TReadCase{"TextAfterBracketIgnored", B("[S] ; note\nk=1\n"), "S", "k", S("1")},
        TReadCase{"FirstKeyWins", B("[S]\nk=1\nk=2\n"), "S", "k", S("1")},
        TReadCase{"RepeatedSectionSearched", B("[S]\na=1\n[T]\n[S]\nk=2\n"), "S", "k", S("2")},
        TReadCase{"Utf8Cyrillic", B("[Login]\nLogin=Оператор Ї\n"), "Login", "Login",
                  S("Оператор Ї")},
        TReadCase{"Utf8ByteOrderMark", B("\xEF\xBB\xBF[S]\nk=v\n"), "S", "k", S("v")},
        TReadCase{"NulInsideSectionLine", QByteArray("[S]\0\nk=5\n", 10), "S", "k", S("5")},
        TReadCase{"CutTo2047", B("[S]\nk=") + Long3000.toLatin1() + B("\n"), "S", "k",
                  Long3000.left(2047)},
        TReadCase{"QuotesDroppedBeforeCut", B("[S]\nk=\"") + Long3000.toLatin1() + B("\"\n"), "S",
                  "k", Long3000.left(2047)},
        TReadCase{"NoHalfSurrogateAtTheCut",
                  B("[S]\nk=") + QString(2046, QLatin1Char('y')).toLatin1() +
                      B("\xF0\x9F\x94\x91\n"),
                  "S", "k", QString(2046, QLatin1Char('y'))},
        TReadCase{"Utf16File", B("\xFF\xFE") + Utf16Le(S("[CONNECTION]\r\nserver=Сервер-1\r\n")),
                  "connection", "SERVER", S("Сервер-1")}),
    [](const testing::TestParamInfo<TReadCase>& info) { return std::string(info.param.Name); });

TEST(IniFile, MissingFileGivesTheDefaults) {
    TTempFolder folder;
    const TIniFile ini(folder.File("absent.ini"));
    EXPECT_EQ(ini.ReadString(S("S"), S("k"), Default), Default);
    EXPECT_EQ(ini.ReadInteger(S("S"), S("k"), -7), -7);
    EXPECT_TRUE(ini.ReadBool(S("S"), S("k"), true));
    EXPECT_FALSE(QFile::exists(ini.FileName())) << "reading must not create the file";
}

// --- Reading integers and Booleans -----------------------------------------------

struct TIntegerCase {
    const char* Name;
    const char* Text;
    int Expected; // with the default 77
};

void PrintTo(const TIntegerCase& c, std::ostream* os) {
    *os << c.Name;
}

class IniReadInteger : public testing::TestWithParam<TIntegerCase> {};

TEST_P(IniReadInteger, ReadsDecimalAndHexOrGivesTheDefault) {
    const TIntegerCase& c = GetParam();
    TTempFolder folder;
    const QString fileName = folder.File("test.ini");
    WriteFileBytes(fileName, B("[CONNECTION]\nPort=") + QByteArray(c.Text) + B("\n"));
    EXPECT_EQ(TIniFile(fileName).ReadInteger(S("CONNECTION"), S("Port"), 77), c.Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, IniReadInteger,
    testing::Values(
        TIntegerCase{"Decimal", "8080", 8080}, TIntegerCase{"Zero", "0", 0},
        TIntegerCase{"Negative", "-1", -1}, TIntegerCase{"Plus", "+5", 5},
        TIntegerCase{"LeadingZeros", "007", 7}, TIntegerCase{"AboveAnyPort", "70000", 70000},
        TIntegerCase{"HexLowerX", "0x1F90", 8080}, TIntegerCase{"HexUpperX", "0X1f90", 8080},
        TIntegerCase{"HexDollar", "$1F90", 8080},
        TIntegerCase{"HexAllBitsIsMinusOne", "$FFFFFFFF", -1},
        TIntegerCase{"HexTooWide", "0x100000000", 77},
        TIntegerCase{"ZeroXAloneIsNotANumber", "0x", 77}, TIntegerCase{"DollarAlone", "$", 77},
        TIntegerCase{"HexBadDigit", "0x1G", 77}, TIntegerCase{"HexWithSign", "0x-1", 77},
        TIntegerCase{"Word", "yes", 77}, TIntegerCase{"Empty", "", 77},
        TIntegerCase{"SignAlone", "-", 77}, TIntegerCase{"TrailingText", "12abc", 77},
        TIntegerCase{"InnerBlank", "1 2", 77}, TIntegerCase{"Fraction", "1.5", 77},
        TIntegerCase{"Blanks", "  42 ", 42}, TIntegerCase{"Quoted", "\"42\"", 42},
        TIntegerCase{"Largest", "2147483647", 2147483647},
        TIntegerCase{"Smallest", "-2147483648", -2147483647 - 1},
        TIntegerCase{"Overflow", "2147483648", 77},
        TIntegerCase{"HugeOverflow", "99999999999999999999999", 77},
        TIntegerCase{"NonAsciiDigits", "\xD9\xA3", 77}),
    [](const testing::TestParamInfo<TIntegerCase>& info) { return std::string(info.param.Name); });

struct TBoolCase {
    const char* Name;
    const char* Line;
    bool Default;
    bool Expected;
};

void PrintTo(const TBoolCase& c, std::ostream* os) {
    *os << c.Name;
}

class IniReadBool : public testing::TestWithParam<TBoolCase> {};

TEST_P(IniReadBool, ReadsAnIntegerOrGivesTheDefault) {
    const TBoolCase& c = GetParam();
    TTempFolder folder;
    const QString fileName = folder.File("test.ini");
    WriteFileBytes(fileName, B("[DEBUG]\n") + QByteArray(c.Line) + B("\n"));
    EXPECT_EQ(TIniFile(fileName).ReadBool(S("DEBUG"), S("DEBUG"), c.Default), c.Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, IniReadBool,
    testing::Values(TBoolCase{"One", "DEBUG=1", false, true},
                    TBoolCase{"Zero", "DEBUG=0", true, false},
                    TBoolCase{"AnyNumber", "DEBUG=-3", false, true},
                    TBoolCase{"HexZero", "DEBUG=0x0", true, false},
                    TBoolCase{"YesIsNotANumber", "DEBUG=yes", false, false},
                    TBoolCase{"TrueIsNotANumberEither", "DEBUG=true", true, true},
                    TBoolCase{"MissingKeyDefaultTrue", "OTHER=0", true, true},
                    TBoolCase{"MissingKeyDefaultFalse", "OTHER=1", false, false}),
    [](const testing::TestParamInfo<TBoolCase>& info) { return std::string(info.param.Name); });

// --- Writing ----------------------------------------------------------------------

struct TWriteCase {
    const char* Name;
    QByteArray Before; // empty: no file
    const char* Section;
    const char* Key;
    QString Value;
    QByteArray After;
};

void PrintTo(const TWriteCase& c, std::ostream* os) {
    *os << c.Name;
}

class IniWriteString : public testing::TestWithParam<TWriteCase> {};

TEST_P(IniWriteString, ChangesOneLineAndKeepsTheRest) {
    const TWriteCase& c = GetParam();
    TTempFolder folder;
    const QString fileName = folder.File("test.ini");
    if (!c.Before.isEmpty()) {
        WriteFileBytes(fileName, c.Before);
    }
    const TIniFile ini(fileName);
    ini.WriteString(S(c.Section), S(c.Key), c.Value);
    EXPECT_EQ(ReadFileBytes(fileName), c.After);
}

const QByteArray Commented = B("; settings of the workstation\r\n"
                               "[CONNECTION]\r\n"
                               "DB_ALIAS = main   ; chosen by the administrator\r\n"
                               "\r\n"
                               "; debugging\r\n"
                               "[DEBUG]\r\n"
                               "DEBUG=0\r\n");

INSTANTIATE_TEST_SUITE_P(
    Rules, IniWriteString,
    testing::Values(
        TWriteCase{"NewFile", QByteArray(), "LOCALE", "LANG", S("1033"),
                   B("[LOCALE]\nLANG=1033\n")},
        TWriteCase{"ReplaceKeepsTheRest", Commented, "debug", "debug", S("1"),
                   B("; settings of the workstation\r\n"
                     "[CONNECTION]\r\n"
                     "DB_ALIAS = main   ; chosen by the administrator\r\n"
                     "\r\n"
                     "; debugging\r\n"
                     "[DEBUG]\r\n"
                     "DEBUG=1\r\n")},
        TWriteCase{"NewKeyAfterTheLastKeyOfItsSection", Commented, "CONNECTION", "Port", S("5432"),
                   B("; settings of the workstation\r\n"
                     "[CONNECTION]\r\n"
                     "DB_ALIAS = main   ; chosen by the administrator\r\n"
                     "Port=5432\r\n"
                     "\r\n"
                     "; debugging\r\n"
                     "[DEBUG]\r\n"
                     "DEBUG=0\r\n")},
        TWriteCase{"NewSectionAtTheEnd", Commented, "Login", "Login", S("Оператор"),
                   Commented + B("\r\n[Login]\r\nLogin=Оператор\r\n")},
        TWriteCase{"KeepsTheSpellingOfTheKeyFound", B("[connection]\nSERVER=a\n"), "CONNECTION",
                   "server", S("b"), B("[connection]\nSERVER=b\n")},
        TWriteCase{"UnterminatedLastLine", B("[S]\nk=1"), "S", "k", S("2"), B("[S]\nk=2")},
        TWriteCase{"LineKeepsItsOwnBreak", B("[S]\r\nk=1\na=2\r\n"), "S", "k", S("3"),
                   B("[S]\r\nk=3\na=2\r\n")},
        TWriteCase{"AddAfterUnterminatedLine", B("[S]\nk=1"), "S", "j", S("2"),
                   B("[S]\nk=1\nj=2\n")},
        TWriteCase{"AddAfterALoneCarriageReturn", B("[S]\nk=1\r"), "S", "j", S("2"),
                   B("[S]\nk=1\r\nj=2\n")},
        TWriteCase{"AddAfterALoneCarriageReturnInACrLfFile", B("[S]\r\nk=1\r"), "S", "j", S("2"),
                   B("[S]\r\nk=1\r\nj=2\r\n")},
        TWriteCase{"NewSectionAfterALoneCarriageReturn", B("\xFF\xFE") + Utf16Le(S("[S]\r\nk=1\r")),
                   "T", "j", S("2"),
                   B("\xFF\xFE") + Utf16Le(S("[S]\r\nk=1\r\n\r\n[T]\r\nj=2\r\n"))},
        TWriteCase{"ReplaceBeforeALoneCarriageReturn", B("[S]\nk=1\r"), "S", "k", S("2"),
                   B("[S]\nk=2\r")},
        TWriteCase{"EmptySectionGetsTheKey", B("[S]\n[T]\nx=1\n"), "S", "k", S("v"),
                   B("[S]\nk=v\n[T]\nx=1\n")},
        TWriteCase{"LineBreaksInTheValueBecomeBlanks", B("[S]\nk=1\n"), "S", "k",
                   S("a\r\n[EVIL]\nb"), B("[S]\nk=a  [EVIL] b\n")},
        TWriteCase{"OtherBytesKeptExactly", B("[A]\nk=\xC3\x28 \xFF\n[B]\nx=1\n"), "B", "x", S("2"),
                   B("[A]\nk=\xC3\x28 \xFF\n[B]\nx=2\n")},
        TWriteCase{"Utf8MarkKept", B("\xEF\xBB\xBF[S]\nk=1\n"), "S", "k", S("Ї"),
                   B("\xEF\xBB\xBF[S]\nk=\xD0\x87\n")},
        TWriteCase{"Utf16StaysUtf16", B("\xFF\xFE") + Utf16Le(S("; примітка\r\n[S]\r\nk=1\r\n")),
                   "S", "k", S("Пароль"),
                   B("\xFF\xFE") + Utf16Le(S("; примітка\r\n[S]\r\nk=Пароль\r\n"))},
        TWriteCase{"Utf16NewSection", B("\xFF\xFE") + Utf16Le(S("[S]\r\nk=1\r\n")), "T", "j",
                   S("ї"), B("\xFF\xFE") + Utf16Le(S("[S]\r\nk=1\r\n\r\n[T]\r\nj=ї\r\n"))},
        TWriteCase{"Utf16OddByteKept", B("\xFF\xFE") + Utf16Le(S("[S]\r\nk=1\r\n")) + B("\x41"),
                   "S", "k", S("2"), B("\xFF\xFE") + Utf16Le(S("[S]\r\nk=2\r\n")) + B("\x41")}),
    [](const testing::TestParamInfo<TWriteCase>& info) { return std::string(info.param.Name); });

TEST(IniFile, WrittenIntegersAndTextsReadBack) {
    TTempFolder folder;
    const TIniFile ini(folder.File("round.ini"));
    ini.WriteInteger(S("CONNECTION"), S("Port"), -5);
    ini.WriteInteger(S("CONNECTION"), S("Max"), 2147483647);
    ini.WriteString(S("Login"), S("Login"), S("Іван"));
    EXPECT_EQ(ini.ReadInteger(S("connection"), S("port"), 0), -5);
    EXPECT_EQ(ini.ReadInteger(S("CONNECTION"), S("Max"), 0), 2147483647);
    EXPECT_EQ(ini.ReadString(S("LOGIN"), S("LOGIN"), Default), S("Іван"));
    EXPECT_EQ(ReadFileBytes(ini.FileName()),
              B("[CONNECTION]\nPort=-5\nMax=2147483647\n\n[Login]\nLogin=\xD0\x86\xD0\xB2"
                "\xD0\xB0\xD0\xBD\n"));
}

TEST(IniFile, AnotherKeysWriteLeavesAValueBeforeALoneCarriageReturnAlone) {
    TTempFolder folder;
    const TIniFile ini(folder.File("cr.ini"));
    WriteFileBytes(ini.FileName(), B("[S]\nk=v\r"));
    EXPECT_EQ(ini.ReadString(S("S"), S("k"), Default), S("v"));
    ini.WriteString(S("S"), S("j"), S("1"));
    EXPECT_EQ(ini.ReadString(S("S"), S("k"), Default), S("v"));
}

// Modes are the point here, so the process's umask must not hide them.
class TScopedUmask {
public:
    explicit TScopedUmask(mode_t mask) : FOld(::umask(mask)) {}
    ~TScopedUmask() { ::umask(FOld); }
    TScopedUmask(const TScopedUmask&) = delete;
    TScopedUmask& operator=(const TScopedUmask&) = delete;

private:
    mode_t FOld;
};

mode_t ModeOf(const QString& fileName) {
    struct stat info {};
    EXPECT_EQ(::stat(fileName.toLocal8Bit().constData(), &info), 0);
    return info.st_mode & 07777;
}

TEST(IniFile, NewFilesAreTheOwnersAloneAndRewrittenFilesKeepTheirMode) {
    const TScopedUmask noMask(0);
    TTempFolder folder;
    const TIniFile created(folder.File("new.ini"));
    created.WriteString(S("Login"), S("Password"), S("x"));
    EXPECT_EQ(ModeOf(created.FileName()), 0600u);

    for (const mode_t mode : {0600u, 0640u, 0644u, 0400u}) {
        SCOPED_TRACE(mode);
        const TIniFile old(folder.File("old.ini"));
        WriteFileBytes(old.FileName(), B("[S]\nk=1\n"));
        ASSERT_EQ(::chmod(old.FileName().toLocal8Bit().constData(), mode), 0);
        old.WriteString(S("S"), S("k"), S("2"));
        EXPECT_EQ(ModeOf(old.FileName()), mode);
        QFile::remove(old.FileName());
    }
}

TEST(IniFile, FilesOverTheSizeLimitAreUnreadable) {
    TTempFolder folder;
    const QByteArray head = B("[S]\nk=v\n");
    const struct {
        const char* Name;
        qint64 Size;
        bool Readable;
    } cases[] = {{"at the limit", TIniFile::MaxFileSize, true},
                 {"one byte over", TIniFile::MaxFileSize + 1, false},
                 {"sixteen times over", 16 * TIniFile::MaxFileSize, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const TIniFile ini(folder.File("big.ini"));
        const QByteArray bytes = head + QByteArray(c.Size - head.size(), '\n');
        WriteFileBytes(ini.FileName(), bytes);
        EXPECT_EQ(ini.CanRead(), c.Readable);
        EXPECT_EQ(ini.ReadString(S("S"), S("k"), Default), c.Readable ? S("v") : Default);
        EXPECT_EQ(ini.ReadInteger(S("S"), S("k"), 5), 5);
        if (c.Readable) {
            continue;
        }
        try {
            ini.WriteString(S("S"), S("j"), S("1"));
            ADD_FAILURE() << "wrote a file it could not read";
        } catch (const Exception& e) {
            EXPECT_EQ(e.Message(), S("Unable to write to ") + ini.FileName());
        }
        EXPECT_EQ(QFileInfo(ini.FileName()).size(), c.Size);
    }
}

TEST(IniFile, WritingThroughALinkKeepsTheLink) {
    TTempFolder folder;
    const QString target = folder.File("real.ini");
    const QString link = folder.File("link.ini");
    WriteFileBytes(target, B("[S]\nk=1\n"));
    ASSERT_TRUE(QFile::link(target, link));
    TIniFile(link).WriteString(S("S"), S("k"), S("2"));
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_EQ(ReadFileBytes(target), B("[S]\nk=2\n"));
}

// --- Refused writes --------------------------------------------------------------

TEST(IniFile, RefusedWritesRaiseWithTheFileName) {
    TTempFolder folder;
    WriteFileBytes(folder.File("plain"), B("not a folder"));
    ASSERT_TRUE(QDir().mkdir(folder.File("folder.ini")));
    const QString refused[] = {
        folder.File("missing/lodvar.ini"), // the folder does not exist
        folder.File("plain/lodvar.ini"),   // the "folder" is a file
        folder.File("folder.ini"),         // a folder stands at the file's name
    };
    for (const QString& fileName : refused) {
        SCOPED_TRACE(fileName.toStdString());
        try {
            TIniFile(fileName).WriteString(S("LOCALE"), S("LANG"), S("1033"));
            ADD_FAILURE() << "no error raised";
        } catch (const Exception& e) {
            EXPECT_EQ(e.Message(), S("Unable to write to ") + fileName);
        }
    }
    EXPECT_EQ(ReadFileBytes(folder.File("plain")), B("not a folder"));
    EXPECT_TRUE(QFileInfo(folder.File("folder.ini")).isDir());
}

// Limits the size of files the process may write while it lives, so that a write
// fails half-way whatever the user's rights.
class TFileSizeLimit {
public:
    explicit TFileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &FOld);
        FOldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = FOld;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~TFileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &FOld);
        std::signal(SIGXFSZ, FOldHandler);
    }
    TFileSizeLimit(const TFileSizeLimit&) = delete;
    TFileSizeLimit& operator=(const TFileSizeLimit&) = delete;

private:
    rlimit FOld{};
    void (*FOldHandler)(int);
};

TEST(IniFile, AWriteThatFailsHalfWayLeavesTheOldFileWhole) {
    TTempFolder folder;
    const QString fileName = folder.File("lodvar.ini");
    const QByteArray before = B("[CONNECTION]\nDB_ALIAS=main\n[DEBUG]\nDEBUG=1\n");
    WriteFileBytes(fileName, before);
    bool raised = false;
    {
        const TFileSizeLimit limit(64);
        try {
            TIniFile(fileName).WriteString(S("Login"), S("Login"), QString(4096, QLatin1Char('x')));
        } catch (const Exception& e) {
            raised = e.Message() == S("Unable to write to ") + fileName;
        }
    }
    EXPECT_TRUE(raised);
    EXPECT_EQ(ReadFileBytes(fileName), before);
    EXPECT_EQ(QDir(folder.Path()).entryList(QDir::Files | QDir::Hidden),
              QStringList{S("lodvar.ini")})
        << "no temporary file may be left behind";
}

// --- Garbage ----------------------------------------------------------------------

QByteArray PseudoRandomBytes(int count, unsigned seed) {
    QByteArray bytes;
    for (int i = 0; i < count; ++i) {
        seed = seed * 1103515245u + 12345u;
        bytes += static_cast<char>(seed >> 16);
    }
    return bytes;
}

// Long lines that still leave the file within the size limit.
constexpr int NearlyMaxSize = TIniFile::MaxFileSize - 64;

struct TGarbageCase {
    const char* Name;
    QByteArray Content;
    bool KeptInFront; // the write appends a new section after the old bytes
};

void PrintTo(const TGarbageCase& c, std::ostream* os) {
    *os << c.Name;
}

class IniGarbage : public testing::TestWithParam<TGarbageCase> {};

TEST_P(IniGarbage, ReadsGiveDefaultsAndAWriteKeepsTheGarbage) {
    const TGarbageCase& c = GetParam();
    TTempFolder folder;
    const QString fileName = folder.File("garbage.ini");
    WriteFileBytes(fileName, c.Content);
    const TIniFile ini(fileName);
    EXPECT_EQ(ini.ReadString(S("S"), S("k"), Default), Default);
    EXPECT_EQ(ini.ReadInteger(S("S"), S("k"), 42), 42);
    EXPECT_TRUE(ini.ReadBool(S("S"), S("k"), true));
    EXPECT_FALSE(ini.ReadBool(S("S"), S("k"), false));

    ini.WriteString(S("S"), S("k"), S("value"));
    EXPECT_EQ(ini.ReadString(S("S"), S("k"), Default), S("value"));
    if (c.KeptInFront) {
        EXPECT_TRUE(ReadFileBytes(fileName).startsWith(c.Content))
            << "the old bytes must stay in front";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rules, IniGarbage,
    testing::Values(
        TGarbageCase{"BinaryBytes", PseudoRandomBytes(8192, 7), true},
        TGarbageCase{"BinaryWithNuls", QByteArray(300, '\0') + PseudoRandomBytes(300, 9), true},
        TGarbageCase{"MegabyteLine", QByteArray(NearlyMaxSize, 'k') + B("=1"), true},
        TGarbageCase{"MegabyteLineInTheSection", B("[S]\n") + QByteArray(NearlyMaxSize, 'q'),
                     false},
        TGarbageCase{"MegabyteSectionName", B("[") + QByteArray(NearlyMaxSize, 'S') + B("]\nk=1\n"),
                     true},
        TGarbageCase{"SectionWithoutBracket", B("[S\nk=1\n"), true},
        TGarbageCase{"KeyWithoutEquals", B("[S]\nk\nk 1\n"), false},
        TGarbageCase{"OnlyBrackets", B("[]\n]\n[\n=\n==\n"), true},
        TGarbageCase{"Utf16OddLength", B("\xFF\xFE") + Utf16Le(S("[S]\r\nj=")) + B("\x31"), false},
        TGarbageCase{"Utf16MarkOnly", B("\xFF\xFE"), true},
        TGarbageCase{"Utf16MarkAndOneByte", B("\xFF\xFE\x5B"), false},
        TGarbageCase{"Utf16LoneSurrogates",
                     B("\xFF\xFE") + Utf16Le(S("[S]\r\n")) +
                         QByteArray("\x00\xD8\x00\xDC\x00\xD8", 6),
                     false},
        TGarbageCase{"InvalidUtf8", B("[\xC3\x28]\n\xF0\x28\x8C\x28=\xFF\n"), true},
        TGarbageCase{"CarriageReturnsOnly", B("[S]\rk=1\r"), false}),
    [](const testing::TestParamInfo<TGarbageCase>& info) { return std::string(info.param.Name); });

TEST(IniFile, NoRegularFileAtTheNameGivesTheDefaultsWithoutBlocking) {
    TTempFolder folder;
    ASSERT_TRUE(QDir().mkdir(folder.File("dir.ini")));
    ASSERT_EQ(mkfifo(folder.File("fifo.ini").toLocal8Bit().constData(), 0600), 0);
    const QString names[] = {folder.File("dir.ini"), folder.File("fifo.ini"), S("/dev/zero")};
    for (const QString& name : names) {
        SCOPED_TRACE(name.toStdString());
        const TIniFile ini(name);
        EXPECT_FALSE(ini.CanRead());
        EXPECT_EQ(ini.ReadString(S("S"), S("k"), Default), Default);
        EXPECT_EQ(ini.ReadInteger(S("S"), S("k"), 3), 3);
    }
    EXPECT_THROW(TIniFile(folder.File("fifo.ini")).WriteString(S("S"), S("k"), S("v")), Exception);
}

} // namespace
