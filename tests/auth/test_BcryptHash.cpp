// The computing half of bcrypt: key preparation, the SHA-256 prehash and the hash
// itself, against public vectors and against libxcrypt.
#include "CryptOracle.h"
#include "auth/Bcrypt.h"

#include <QCryptographicHash>
#include <gtest/gtest.h>
#include <random>
#include <vector>

namespace {

std::vector<std::uint8_t> Bytes(std::initializer_list<int> values) {
    std::vector<std::uint8_t> bytes;
    for (const int v : values) {
        bytes.push_back(static_cast<std::uint8_t>(v));
    }
    return bytes;
}

std::vector<std::uint8_t> Prepared(const QString& password) {
    const TSecureBytes key = TBCrypt::PasswordStringPrep(password);
    return {key.Bytes().begin(), key.Bytes().end()};
}

// Recomputes a standard hash string from its own salt and cost.
QString Recompute(const QString& password, const QString& hashString) {
    const std::optional<THashStringFields> fields = TBCrypt::ReadHashString(hashString);
    if (!fields) {
        ADD_FAILURE() << "unreadable: " << hashString.toStdString();
        return {};
    }
    return TBCrypt::ComposeHashString(*fields,
                                      TBCrypt::HashPassword(password, fields->Salt, fields->Cost));
}

TBCrypt::TSalt FixedSalt() {
    TBCrypt::TSalt salt;
    for (std::size_t i = 0; i < salt.size(); ++i) {
        salt[i] = static_cast<std::uint8_t>(0x10 * i + 7);
    }
    return salt;
}

struct TKnownAnswer {
    const char* Name;
    const char* Password;
    const char* HashString;
};

void PrintTo(const TKnownAnswer& c, std::ostream* os) {
    *os << c.Name;
}

class BcryptKnownAnswer : public testing::TestWithParam<TKnownAnswer> {};

TEST_P(BcryptKnownAnswer, RecomputesThePublishedString) {
    const QString password = QString::fromLatin1(GetParam().Password);
    const QString expected = QString::fromLatin1(GetParam().HashString);
    EXPECT_EQ(Recompute(password, expected), expected);
    bool rehash = false;
    EXPECT_TRUE(TBCrypt::CheckPassword(password, expected, rehash));
    EXPECT_FALSE(TBCrypt::CheckPassword(QLatin1Char('!') + password, expected, rehash));
}

// Public vectors: the OpenBSD/jBCrypt set, Openwall's crypt_blowfish set and the PHP
// manual's examples ("2y" and a salt given with more than 22 characters).
const TKnownAnswer KnownAnswers[] = {
    {"jbcrypt_empty_6", "", "$2a$06$DCq7YPn5Rq63x1Lad4cll.TV4S6ytwfsfvkgY8jIucDrjc8deX1s."},
    {"jbcrypt_empty_8", "", "$2a$08$HqWuK6/Ng6sg9gQzbLrgb.Tl.ZHfXLhvt/SgVyWhQqgqcZ7ZuUtye"},
    {"jbcrypt_empty_10", "", "$2a$10$k1wbIrmNyFAPwPVPSVa/zecw2BCEnBwVS2GbrmgzxFUOqW9dk4TCW"},
    {"jbcrypt_a_6", "a", "$2a$06$m0CrhHm10qJ3lXRY.5zDGO3rS2KdeeWLuGmsfGlMfOxih58VYVfxe"},
    {"jbcrypt_a_8", "a", "$2a$08$cfcvVd2aQ8CMvoMpP2EBfeodLEkkFJ9umNEfPD18.hUF62qqlC/V."},
    {"jbcrypt_abc_6", "abc", "$2a$06$If6bvum7DFjUnE9p2uDeDu0YHzrHM6tf.iqN8.yx.jNN1ILEf7h0i"},
    {"jbcrypt_abc_8", "abc", "$2a$08$Ro0CUfOqk6cXEKf3dyaM7OhSCvnwM9s4wIX9JeLapehKK5YdLxKcm"},
    {"jbcrypt_alphabet_6", "abcdefghijklmnopqrstuvwxyz",
     "$2a$06$.rCVZVOThsIa97pEDOxvGuRRgzG64bvtJ0938xuqzv18d3ZpQhstC"},
    {"jbcrypt_symbols_6", "~!@#$%^&*()      ~!@#$%^&*()PNBFRD",
     "$2a$06$fPIsBO8qRqkjj273rfaOI.HtSV9jLDpTbZn782DC6/t7qT67P6FfO"},
    {"openwall_U*U", "U*U", "$2a$05$CCCCCCCCCCCCCCCCCCCCC.E5YPO9kmyuRGyh0XouQYb4YMJKvyOeW"},
    {"openwall_U*U*", "U*U*", "$2a$05$CCCCCCCCCCCCCCCCCCCCC.VGOzA784oUp/Z0DY336zx7pLYAy0lwK"},
    {"openwall_U*U*U", "U*U*U", "$2a$05$XXXXXXXXXXXXXXXXXXXXXOAcXxm9kjPGEMsLznoKqmqw7tc8WCx4a"},
    {"openwall_beyond_72",
     "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789chars after 72 "
     "are ignored",
     "$2a$05$abcdefghijklmnopqrstuu5s2v8.iXieOjg/.AySBTTZIIVFJeBui"},
    {"openwall_empty", "", "$2a$05$CCCCCCCCCCCCCCCCCCCCC.7uG0VCzI2bS7j6ymqJi9CdcdxiRTWNy"},
    {"php_2y", "rasmuslerdorf", "$2y$10$.vGA1O9wmRjrwAVXD98HNOgsNpDczlqm3Jq7KnEd1rVAGv3Fykk1a"},
    {"php_crypt_2a", "rasmuslerdorf",
     "$2a$07$usesomesillystringfore2uDLvp1Ii2e./U9C8sBjqp8I90dH6hi"},
};

INSTANTIATE_TEST_SUITE_P(PublicVectors, BcryptKnownAnswer, testing::ValuesIn(KnownAnswers),
                         [](const auto& info) {
                             QString name = QString::fromLatin1(info.param.Name);
                             name.replace(QLatin1Char('*'), QLatin1Char('x'));
                             return name.toStdString();
                         });

// Random printable and control ASCII (no zero byte, which crypt_r cannot take),
// 0..80 characters, random salts, cost 4: the "$2b$" string must be libxcrypt's.
TEST(BcryptProperty, StandardStringsEqualLibxcrypt) {
    const unsigned seed = std::random_device{}();
    SCOPED_TRACE(testing::Message() << "seed " << seed);
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> length(0, 80);
    std::uniform_int_distribution<int> character(1, 127);
    std::uniform_int_distribution<int> byte(0, 255);
    for (int n = 0; n < 300; ++n) {
        QByteArray password;
        for (int i = length(random); i > 0; --i) {
            password.append(static_cast<char>(character(random)));
        }
        THashStringFields fields;
        fields.Version = QStringLiteral("2b");
        fields.Cost = 4;
        for (std::uint8_t& b : fields.Salt) {
            b = static_cast<std::uint8_t>(byte(random));
        }
        const QString saltText = TBCrypt::Radix64Encode(fields.Salt, 16);
        const QString ours = TBCrypt::ComposeHashString(
            fields, TBCrypt::HashPassword(QString::fromLatin1(password), fields.Salt, 4));
        ASSERT_EQ(ours, CryptR(password, QStringLiteral("$2b$04$") + saltText))
            << "password " << password.toHex().toStdString();
    }
}

struct TPrepCase {
    const char* Name;
    QString Password;
    std::vector<std::uint8_t> Expected;
};

void PrintTo(const TPrepCase& c, std::ostream* os) {
    *os << c.Name;
}

class PasswordStringPrepTable : public testing::TestWithParam<TPrepCase> {};

TEST_P(PasswordStringPrepTable, GivesFoldedUtf8AndOneZeroByte) {
    EXPECT_EQ(Prepared(GetParam().Password), GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PasswordStringPrepTable,
    testing::Values(TPrepCase{"empty_gives_no_bytes", QString(), {}},
                    TPrepCase{"ascii", QStringLiteral("abc"), Bytes({0x61, 0x62, 0x63, 0x00})},
                    TPrepCase{"combining_and_ligature", QStringLiteral("A\u0308\uFB01n"),
                              Bytes({0xC3, 0x84, 0x66, 0x69, 0x6E, 0x00})},
                    TPrepCase{"precomposed", QStringLiteral("\u00C4fin"),
                              Bytes({0xC3, 0x84, 0x66, 0x69, 0x6E, 0x00})},
                    TPrepCase{"no_break_space", QStringLiteral("\u00A0"), Bytes({0x20, 0x00})},
                    TPrepCase{"en_quad", QStringLiteral("\u2000"), Bytes({0x20, 0x00})},
                    TPrepCase{"cyrillic", QStringLiteral("\u043F\u0430"),
                              Bytes({0xD0, 0xBF, 0xD0, 0xB0, 0x00})},
                    TPrepCase{"lone_surrogate_becomes_replacement", QString(QChar(0xD800)),
                              Bytes({0xEF, 0xBF, 0xBD, 0x00})}),
    [](const auto& info) { return std::string(info.param.Name); });

struct TSameHashCase {
    const char* Name;
    QString First;
    QString Second;
};

void PrintTo(const TSameHashCase& c, std::ostream* os) {
    *os << c.Name;
}

class BcryptSameHash : public testing::TestWithParam<TSameHashCase> {};

TEST_P(BcryptSameHash, HashesAlike) {
    const TBCrypt::TSalt salt = FixedSalt();
    EXPECT_EQ(TBCrypt::HashPassword(GetParam().First, salt, 4),
              TBCrypt::HashPassword(GetParam().Second, salt, 4));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BcryptSameHash,
    testing::Values(TSameHashCase{"folded_like_precomposed", QStringLiteral("A\u0308\uFB01n"),
                                  QStringLiteral("\u00C4fin")},
                    TSameHashCase{"no_break_space_like_space", QStringLiteral("a\u00A0b"),
                                  QStringLiteral("a b")},
                    TSameHashCase{"long_ascii_like_its_first_72", QString(260, QLatin1Char('p')),
                                  QString(72, QLatin1Char('p'))},
                    // 71 ASCII bytes, then two-byte characters sharing their first byte (C3).
                    TSameHashCase{"same_first_72_bytes",
                                  QString(71, QLatin1Char('q')) + QChar(0xE9),
                                  QString(71, QLatin1Char('q')) + QChar(0xE8)}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(BcryptHash, KeysThatDifferWithinTheFirst72BytesHashApart) {
    const TBCrypt::TSalt salt = FixedSalt();
    EXPECT_NE(TBCrypt::HashPassword(QString(71, QLatin1Char('q')), salt, 4),
              TBCrypt::HashPassword(QString(72, QLatin1Char('q')), salt, 4));
    EXPECT_NE(TBCrypt::HashPassword(QString(), salt, 4),
              TBCrypt::HashPassword(QStringLiteral("\u00A0"), salt, 4));
}

struct TErrorCase {
    const char* Name;
    int Cost;
    std::size_t SaltLength;
    const char* Message;
};

void PrintTo(const TErrorCase& c, std::ostream* os) {
    *os << c.Name;
}

class BcryptHashErrors : public testing::TestWithParam<TErrorCase> {};

TEST_P(BcryptHashErrors, RaiseTheModulesException) {
    const std::vector<std::uint8_t> salt(GetParam().SaltLength, 0x5A);
    try {
        TBCrypt::HashPassword(QStringLiteral("secret"), salt, GetParam().Cost);
        ADD_FAILURE() << "no exception";
    } catch (const EBCryptException& e) {
        EXPECT_EQ(e.Message(), QString::fromLatin1(GetParam().Message));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BcryptHashErrors,
    testing::Values(TErrorCase{"cost_3", 3, 16, "BCrypt cost factor must be between 4..31 (3)"},
                    TErrorCase{"cost_32", 32, 16, "BCrypt cost factor must be between 4..31 (32)"},
                    TErrorCase{"cost_negative", -1, 16,
                               "BCrypt cost factor must be between 4..31 (-1)"},
                    TErrorCase{"salt_15", 4, 15, "Salt must be 16 bytes"},
                    TErrorCase{"salt_17", 4, 17, "Salt must be 16 bytes"},
                    TErrorCase{"cost_checked_before_salt", 40, 3,
                               "BCrypt cost factor must be between 4..31 (40)"}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(BcryptHash, KeyLongerThan72BytesIsRefusedBelowThePasswordLevel) {
    const std::vector<std::uint8_t> key(73, 0x41);
    const TBCrypt::TSalt salt = FixedSalt();
    TBCrypt::TRawHash raw;
    try {
        EksBlowfishHash(key, salt, 4, raw);
        ADD_FAILURE() << "no exception";
    } catch (const EBCryptException& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("Key must be between 0 and 72 bytes long (73)"));
    }
}

TEST(Prehash256, IsBase64OfSha256OverTheKeyBytes) {
    for (const QString& password :
         {QString(), QStringLiteral("abc"), QStringLiteral("A\u0308\uFB01n"),
          QString(300, QLatin1Char('z'))}) {
        QByteArray key = password.normalized(QString::NormalizationForm_KC).toUtf8();
        if (!key.isEmpty()) {
            key.append('\0');
        }
        const QString expected = QString::fromLatin1(
            QCryptographicHash::hash(key, QCryptographicHash::Sha256).toBase64());
        const QString prehash = TBCrypt::Prehash256(password);
        EXPECT_EQ(prehash, expected);
        EXPECT_EQ(prehash.size(), 44);
        EXPECT_TRUE(prehash.endsWith(QLatin1Char('=')));
    }
    EXPECT_EQ(TBCrypt::Prehash256(QString()),
              QStringLiteral("47DEQpj8HBSa+/TImW+5JCeuQeRkm5NMpJWZG3hSuFU="));
}

TEST(BcryptNewHash, MakesAVerifiable2bStringWithAFreshSalt) {
    const QString password = QStringLiteral("p\u00E4ss w\u00F6rd");
    const QString first = TBCrypt::HashPassword(password, 5);
    const QString second = TBCrypt::HashPassword(password, 5);
    EXPECT_TRUE(first.startsWith(QStringLiteral("$2b$05$")));
    EXPECT_EQ(first.size(), 60);
    EXPECT_NE(first.mid(7, 22), second.mid(7, 22));
    bool rehash = false;
    EXPECT_TRUE(TBCrypt::CheckPassword(password, first, rehash));
    EXPECT_TRUE(TBCrypt::CheckPassword(password, second, rehash));
    EXPECT_FALSE(TBCrypt::CheckPassword(QStringLiteral("password"), first, rehash));
    EXPECT_EQ(first, CryptR(password.toUtf8(), first.left(29)));
}

TEST(BcryptNewHash, RefusesACostOutsideTheRange) {
    EXPECT_THROW(TBCrypt::HashPassword(QStringLiteral("x"), 3), EBCryptException);
}

TEST(BcryptNewHash, SaltsComeFromTheSecureGenerator) {
    EXPECT_NE(TBCrypt::GenerateSalt(), TBCrypt::GenerateSalt());
}

} // namespace
