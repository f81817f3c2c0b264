#include "../platform/TestFiles.h"
#include "config/uUtils.h"
#include "platform/Exceptions.h"
#include "platform/OsServices.h"

#include <QDir>
#include <QFileInfo>
#include <cmath>
#include <gtest/gtest.h>

namespace {

QString S(const char* utf8) {
    return QString::fromUtf8(utf8);
}

QByteArray B(const char* bytes) {
    return QByteArray(bytes);
}

// --- Known answers --------------------------------------------------------------------

// Expected texts made with the OpenSSL command-line tool, independently of this code:
//   key=$(printf %s "$PHRASE" | iconv -t UTF-16LE | openssl dgst -sha1 -binary | xxd -p)00000000
//   iv=$(head -c16 /dev/zero | openssl enc -aes-192-ecb -K $key -nopad | xxd -p)
//   printf %s "$PASSWORD" | iconv -t UTF-16LE | openssl enc -aes-192-cfb8 -K $key -iv $iv | base64
// (key of "Dem0PassPhrase7": 26b6df0a08e0b3cba63d2fc849f655a3ab4cb34b00000000,
//  iv 1feaf627252df1587b42521a456dc17b; of "K3yPhrase0000xx":
//  b4984187beaaec2535dc7328a6d6432c5ac52ded00000000, iv a4b1a3fcb8d6b08d5b5f61de90cea7c2)
struct TKnownAnswer {
    const char* Name;
    const char* PassPhrase;
    const char* Password;
    const char* Stored;
};

void PrintTo(const TKnownAnswer& c, std::ostream* os) {
    *os << c.Name;
}

class StoredPasswordKnownAnswer : public testing::TestWithParam<TKnownAnswer> {};

TEST_P(StoredPasswordKnownAnswer, EncryptGivesTheAnswerAndDecryptTheInput) {
    const TKnownAnswer& c = GetParam();
    EXPECT_EQ(EncryptStr(S(c.Password), S(c.PassPhrase)), S(c.Stored));
    EXPECT_EQ(DecryptStr(S(c.Stored), S(c.PassPhrase)), S(c.Password));
}

INSTANTIATE_TEST_SUITE_P(
    OpenSsl, StoredPasswordKnownAnswer,
    testing::Values(TKnownAnswer{"OneUnit", "Dem0PassPhrase7", "a", "FZg="},
                    TKnownAnswer{"ThreeUnits", "Dem0PassPhrase7", "abc", "FZh+9CO/"},
                    TKnownAnswer{"Cyrillic", "Dem0PassPhrase7", "Пароль", "a1+0Q2ZQGaSkLM2t"},
                    TKnownAnswer{"WithBlanks", "Dem0PassPhrase7", "secret password 123",
                                 "B+0KeEsrYeFmDMHDlib2NuIKKsJWC3rwRBypdk8TiyRi+1ogCM0="},
                    TKnownAnswer{"OtherPhraseOneUnit", "K3yPhrase0000xx", "a", "RAU="},
                    TKnownAnswer{"OtherPhraseTwoPads", "K3yPhrase0000xx", "admin",
                                 "RAVO+OIMAiZmoA=="},
                    TKnownAnswer{"OtherPhraseUkrainian", "K3yPhrase0000xx", "Пароль-2024 ї",
                                 "Olwot+Wt1dbuMUP4rTyJlfpn3ElhQcIDl3w="}),
    [](const testing::TestParamInfo<TKnownAnswer>& info) { return std::string(info.param.Name); });

// --- Round trips and lengths ------------------------------------------------------------

TEST(StoredPassword, RoundTripsAndIsStable) {
    const QString phrases[] = {SystemPassPhrase(), S("K3yPhrase0000xx")};
    const QString passwords[] = {QString(),
                                 S("x"),
                                 S("Пароль"),
                                 S("пароль з пробілами  "),
                                 S("ключ🔑 key"),
                                 S("\t\r\n\"'=%"),
                                 QString(1000, QChar(0x0416)),
                                 QString(QChar(0)) + S("after nul")};
    for (const QString& phrase : phrases) {
        for (const QString& password : passwords) {
            SCOPED_TRACE(password.toStdString());
            const QString stored = EncryptStr(password, phrase);
            EXPECT_EQ(stored, EncryptStr(password, phrase));
            EXPECT_EQ(DecryptStr(stored, phrase), password);
            const auto bytes = 2 * password.size();
            EXPECT_EQ(stored.size(), 4 * ((bytes + 2) / 3));
        }
    }
}

TEST(StoredPassword, LengthAndPaddingFollowTheByteCount) {
    for (int units = 0; units <= 12; ++units) {
        SCOPED_TRACE(units);
        const QString stored = EncryptStr(QString(units, QLatin1Char('p')), SystemPassPhrase());
        const int bytes = 2 * units;
        EXPECT_EQ(stored.size(), 4 * static_cast<int>(std::ceil(bytes / 3.0)));
        const int pads = bytes % 3 == 0 ? 0 : 3 - bytes % 3;
        EXPECT_EQ(stored.count(QLatin1Char('=')), pads);
        EXPECT_TRUE(stored.endsWith(QString(pads, QLatin1Char('='))));
    }
}

TEST(StoredPassword, AWrongPassPhraseGivesAnotherTextOfTheSameLength) {
    const QString stored = EncryptStr(S("Пароль"), S("Dem0PassPhrase7"));
    const QString wrong = DecryptStr(stored, S("Dem0PassPhrase8"));
    EXPECT_NE(wrong, S("Пароль"));
    EXPECT_EQ(wrong.size(), 6);
}

// --- Base64 rules ---------------------------------------------------------------------

struct TDecodeCase {
    const char* Name;
    const char* Text;
    QByteArray Expected;
};

void PrintTo(const TDecodeCase& c, std::ostream* os) {
    *os << c.Name;
}

class StoredTextDecoding : public testing::TestWithParam<TDecodeCase> {};

TEST_P(StoredTextDecoding, FollowsTheGroupRules) {
    const TDecodeCase& c = GetParam();
    EXPECT_EQ(DecodeBase64(S(c.Text)), c.Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, StoredTextDecoding,
    testing::Values(TDecodeCase{"Empty", "", QByteArray()},
                    TDecodeCase{"ThreeBytes", "QUJD", B("ABC")},
                    TDecodeCase{"FourthPadGivesTwo", "QUI=", B("AB")},
                    TDecodeCase{"ThirdPadGivesOne", "QQ==", B("A")},
                    TDecodeCase{"ThirdPadWinsOverFourth", "QQ=A", B("A")},
                    TDecodeCase{"PartialGroupIgnored", "QUJDRA", B("ABC")},
                    TDecodeCase{"OnlyAPartialGroup", "QUJ", QByteArray()},
                    TDecodeCase{"PaddedGroupInTheMiddle", "QQ==QUJD", B("AABC")},
                    TDecodeCase{"BlanksAndBreaksSkipped", " QU\r\nJ D\t", B("ABC")},
                    TDecodeCase{"ForeignCharactersSkipped", "Q*U-J_D!Ї", B("ABC")},
                    TDecodeCase{"PlusAndSlash", "+/+/", B("\xFB\xFF\xBF")},
                    TDecodeCase{"AllPads", "====", QByteArray(1, '\0')}),
    [](const testing::TestParamInfo<TDecodeCase>& info) { return std::string(info.param.Name); });

TEST(StoredPassword, EncodingMatchesTheStandardAlphabet) {
    const QByteArray samples[] = {
        QByteArray(), B("f"),     B("fo"),     B("foo"),
        B("foob"),    B("fooba"), B("foobar"), QByteArray("\xFB\xFF\xBF\x00\x10", 5)};
    for (const QByteArray& bytes : samples) {
        EXPECT_EQ(EncodeBase64(bytes), QString::fromLatin1(bytes.toBase64()));
        EXPECT_EQ(DecodeBase64(EncodeBase64(bytes)), bytes);
    }
}

TEST(StoredPassword, TrailingCharactersAndAnOddByteAreDropped) {
    const QString phrase = SystemPassPhrase();
    const QString stored = EncryptStr(S("abc"), phrase);
    EXPECT_EQ(DecryptStr(stored + S("xy"), phrase), S("abc"));
    EXPECT_EQ(DecryptStr(stored + S("xyz"), phrase), S("abc"));
    // Five ciphertext bytes: two whole code units, the fifth byte is dropped.
    const QByteArray five = DecodeBase64(stored).left(5);
    EXPECT_EQ(DecryptStr(EncodeBase64(five), phrase), S("ab"));
}

// Any text, Base64 or not, decrypts to a text of floor(decoded bytes / 2) units.
TEST(StoredPassword, DecryptOfGarbageGivesATextAndNeverFails) {
    QString random;
    unsigned seed = 11;
    for (int i = 0; i < 5000; ++i) {
        seed = seed * 1103515245u + 12345u;
        random += QChar(static_cast<char16_t>(seed >> 12));
    }
    const QString garbage[] = {S("%%%%"),
                               S("not base64 at all!"),
                               S("Пароль"),
                               QString(7, QChar(0)),
                               QString(QChar(0xD800)) + S("AAAA") + QChar(0xDC00),
                               S("===="),
                               S("A=A=A=A="),
                               S("AAA"),
                               random,
                               QString(100000, QLatin1Char('/'))};
    for (const QString& text : garbage) {
        const QString plain = DecryptStr(text, SystemPassPhrase());
        EXPECT_EQ(plain.size(), DecodeBase64(text).size() / 2);
    }
}

// --- CreateDefaultSettingsFile ----------------------------------------------------------

TEST(CreateDefaultSettingsFile, WritesLangOnlyIntoANewFile) {
    TTempFolder folder;
    const QString fileName = folder.File("lodvar.ini");
    CreateDefaultSettingsFile(fileName);
    EXPECT_EQ(ReadFileBytes(fileName), B("[LOCALE]\nLANG=1033\n"));
}

TEST(CreateDefaultSettingsFile, LeavesAnExistingFileUntouched) {
    TTempFolder folder;
    const QByteArray existing = B("[CONNECTION]\r\nDB_ALIAS=main\r\n");
    const QString fileName = folder.File("lodvar.ini");
    WriteFileBytes(fileName, existing);
    CreateDefaultSettingsFile(fileName);
    EXPECT_EQ(ReadFileBytes(fileName), existing);

    const QString link = folder.File("link.ini");
    ASSERT_TRUE(QFile::link(fileName, link));
    CreateDefaultSettingsFile(link);
    EXPECT_EQ(ReadFileBytes(fileName), existing);
}

TEST(CreateDefaultSettingsFile, ARefusedWriteRaisesWithTheFileName) {
    TTempFolder folder;
    ASSERT_TRUE(QDir().mkdir(folder.File("lodvar.ini")));
    const QString refused[] = {folder.File("missing/lodvar.ini"), folder.File("lodvar.ini")};
    for (const QString& fileName : refused) {
        SCOPED_TRACE(fileName.toStdString());
        try {
            CreateDefaultSettingsFile(fileName);
            ADD_FAILURE() << "no error raised";
        } catch (const Exception& e) {
            EXPECT_EQ(e.Message(), S("Unable to write to ") + fileName);
        }
    }
    EXPECT_FALSE(QFileInfo::exists(folder.File("missing")));
}

// --- ExpandEnvStr -------------------------------------------------------------------------

struct TExpandCase {
    const char* Name;
    const char* Text;
    const char* Expected;
};

void PrintTo(const TExpandCase& c, std::ostream* os) {
    *os << c.Name;
}

class ExpandEnvStrRules : public testing::TestWithParam<TExpandCase> {};

TEST_P(ExpandEnvStrRules, ExpandsAndDropsTrailingControlsAndBlanks) {
    const TExpandCase& c = GetParam();
    const TScopedEnv folder("LODVAR_T_FOLDER", S("/home/op/.local/share"));
    const TScopedEnv blanks("LODVAR_T_BLANKS", S("value \t \x01"));
    const TScopedEnv inner("LODVAR_T_INNER", S("  in  "));
    const TScopedEnv undefined("LODVAR_T_UNDEF", std::nullopt);
    EXPECT_EQ(ExpandEnvStr(S(c.Text)), S(c.Expected));
}

INSTANTIATE_TEST_SUITE_P(
    Rules, ExpandEnvStrRules,
    testing::Values(TExpandCase{"Folder", "%LODVAR_T_FOLDER%", "/home/op/.local/share"},
                    TExpandCase{"FolderAndMore", "%LODVAR_T_FOLDER%/KAVEX/",
                                "/home/op/.local/share/KAVEX/"},
                    TExpandCase{"ValueLosesTrailingBlanks", "%LODVAR_T_BLANKS%", "value"},
                    TExpandCase{"InnerBlanksKept", "[%LODVAR_T_INNER%]", "[  in  ]"},
                    TExpandCase{"LeadingBlanksKept", "%LODVAR_T_INNER%", "  in"},
                    TExpandCase{"TextLosesTrailingControls", "abc \x1F\x7F \r\n\t", "abc \x1F\x7F"},
                    TExpandCase{"UndefinedStays", "%LODVAR_T_UNDEF%", "%LODVAR_T_UNDEF%"},
                    TExpandCase{"OnlyBlanks", " \t ", ""}, TExpandCase{"Empty", "", ""}),
    [](const testing::TestParamInfo<TExpandCase>& info) { return std::string(info.param.Name); });

TEST(ExpandEnvStr, LocalAppDataAfterExportIsTheFolder) {
    const TScopedEnv local("LOCALAPPDATA", std::nullopt);
    const TScopedEnv xdg("XDG_DATA_HOME", S("/data/Лодвар  "));
    Os::ExportLocalAppData();
    EXPECT_EQ(ExpandEnvStr(S("%LOCALAPPDATA%")), S("/data/Лодвар"));
}

} // namespace
