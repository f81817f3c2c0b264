// bcrypt's radix-64 codec: its alphabet order, partial groups and refusals.
#include "auth/Bcrypt.h"

#include <gtest/gtest.h>
#include <random>

namespace {

using TBytes = std::vector<std::uint8_t>;

TEST(Radix64, UsesBcryptsAlphabetOrder) {
    const TBytes bytes{0x00, 0x10, 0x83};
    EXPECT_EQ(TBCrypt::Radix64Encode(bytes, 3), QStringLiteral("./AB"));
    EXPECT_EQ(TBCrypt::Radix64Decode(u"./AB"), bytes);
    // Values 62 and 63 ("8", "9") and the letters' boundaries.
    const TBytes high{0xFB, 0xEF, 0xFF};
    EXPECT_EQ(TBCrypt::Radix64Encode(high, 3), QStringLiteral("8899"));
    EXPECT_EQ(TBCrypt::Radix64Decode(u"Zaz0"), (TBytes{0x6D, 0xCD, 0x76}));
}

struct TPartialCase {
    const char* Name;
    TBytes Bytes;
    const char16_t* Text;
};

void PrintTo(const TPartialCase& c, std::ostream* os) {
    *os << c.Name;
}

class Radix64Partial : public testing::TestWithParam<TPartialCase> {};

TEST_P(Radix64Partial, EncodesWithoutPaddingAndDecodesBack) {
    const QString text = QString::fromUtf16(GetParam().Text);
    EXPECT_EQ(TBCrypt::Radix64Encode(GetParam().Bytes, std::ssize(GetParam().Bytes)), text);
    EXPECT_EQ(TBCrypt::Radix64Decode(text), GetParam().Bytes);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Radix64Partial,
    testing::Values(TPartialCase{"nothing", {}, u""}, TPartialCase{"one_byte", {0xFF}, u"9u"},
                    TPartialCase{"two_bytes", {0xFF, 0xFF}, u"996"},
                    TPartialCase{"four_bytes", {0x00, 0x10, 0x83, 0x04}, u"./AB/."}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(Radix64, IgnoresTheLeftoverLowBitsOfTheLastCharacter) {
    EXPECT_EQ(TBCrypt::Radix64Decode(u".."), TBCrypt::Radix64Decode(u"./"));
    EXPECT_EQ(TBCrypt::Radix64Decode(u"9u"), TBCrypt::Radix64Decode(u"99"));
    EXPECT_EQ(TBCrypt::Radix64Decode(u"99.").size(), 2u);
}

TEST(Radix64, SixteenBytesAreTwentyTwoCharactersAndTwentyThreeAreThirtyOne) {
    std::mt19937 random(7);
    TBytes bytes(24);
    for (std::uint8_t& b : bytes) {
        b = static_cast<std::uint8_t>(random());
    }
    EXPECT_EQ(TBCrypt::Radix64Encode(bytes, 16).size(), 22);
    EXPECT_EQ(TBCrypt::Radix64Encode(bytes, 23).size(), 31);
    for (qsizetype n = 0; n <= 24; ++n) {
        const TBytes prefix(bytes.begin(), bytes.begin() + n);
        EXPECT_EQ(TBCrypt::Radix64Decode(TBCrypt::Radix64Encode(bytes, n)), prefix) << n;
    }
}

struct TInvalidCase {
    const char* Name;
    QString Text;
};

void PrintTo(const TInvalidCase& c, std::ostream* os) {
    *os << c.Name;
}

class Radix64Invalid : public testing::TestWithParam<TInvalidCase> {};

TEST_P(Radix64Invalid, RaisesInvalidHashString) {
    try {
        TBCrypt::Radix64Decode(GetParam().Text);
        ADD_FAILURE() << "no exception";
    } catch (const EBCryptException& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("Invalid base64 hash string"));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Radix64Invalid,
    testing::Values(TInvalidCase{"one_character", QStringLiteral("A")},
                    TInvalidCase{"final_group_of_one", QStringLiteral("ABCDE")},
                    TInvalidCase{"padding_character", QStringLiteral("AB==")},
                    TInvalidCase{"plus_sign", QStringLiteral("AB+C")},
                    TInvalidCase{"space", QStringLiteral("AB C")},
                    TInvalidCase{"zero_code_unit", QString(QChar(0)) + QStringLiteral("ABC")},
                    TInvalidCase{"latin1_letter", QStringLiteral("AB\u00E9C")},
                    TInvalidCase{"code_unit_above_255", QStringLiteral("AB\u0141C")}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(Radix64, RefusesToEncodeMoreBytesThanGiven) {
    const TBytes bytes(16, 0xAA);
    for (const qsizetype count : {qsizetype{17}, qsizetype{-1}}) {
        try {
            TBCrypt::Radix64Encode(bytes, count);
            ADD_FAILURE() << "no exception for " << count;
        } catch (const EBCryptException& e) {
            EXPECT_EQ(e.Message(), QStringLiteral("Invalid length"));
        }
    }
}

} // namespace
