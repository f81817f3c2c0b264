// Checking a typed password against a stored hash string: reading both forms, the
// whole-string comparison and the renewal rule.
#include "CryptOracle.h"
#include "auth/Bcrypt.h"

#include <gtest/gtest.h>
#include <typeinfo>

namespace {

// Openwall's vector: password "U*U", cost 5.
const QString UStarU = QStringLiteral("U*U");
const QString UStarUHash =
    QStringLiteral("$2a$05$CCCCCCCCCCCCCCCCCCCCC.E5YPO9kmyuRGyh0XouQYb4YMJKvyOeW");
const QString UStarUSalt = QStringLiteral("CCCCCCCCCCCCCCCCCCCCC.");

QString L1(const char* text) {
    return QString::fromLatin1(text);
}

struct TUnreadableCase {
    const char* Name;
    QString HashString;
};

void PrintTo(const TUnreadableCase& c, std::ostream* os) {
    *os << c.Name;
}

class CheckPasswordUnreadable : public testing::TestWithParam<TUnreadableCase> {};

TEST_P(CheckPasswordUnreadable, RaisesTheGeneralErrorClass) {
    EXPECT_FALSE(TBCrypt::ReadHashString(GetParam().HashString).has_value());
    bool rehash = true;
    try {
        TBCrypt::CheckPassword(UStarU, GetParam().HashString, rehash);
        ADD_FAILURE() << "no exception";
    } catch (const Exception& e) {
        EXPECT_EQ(typeid(e), typeid(Exception));
        EXPECT_EQ(e.Message(), QStringLiteral("Invalid base64 hash string"));
    }
    EXPECT_FALSE(rehash);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CheckPasswordUnreadable,
    testing::Values(
        TUnreadableCase{"empty", QString()},
        TUnreadableCase{"shorter_than_27", L1("$2a$05$CCCCCCCCCCCCCCCCCCC")},
        TUnreadableCase{"three_character_version",
                        L1("$2ab$05$CCCCCCCCCCCCCCCCCCCCC.E5YPO9kmyuRGyh0XouQYb4YMJKvyOeW")},
        TUnreadableCase{"version_not_starting_with_2",
                        L1("$1a$05$CCCCCCCCCCCCCCCCCCCCC.E5YPO9kmyuRGyh0XouQYb4YMJKvyOeW")},
        TUnreadableCase{"version_second_character_not_a_letter",
                        L1("$21$05$CCCCCCCCCCCCCCCCCCCCC.E5YPO9kmyuRGyh0XouQYb4YMJKvyOeW")},
        TUnreadableCase{"empty_version",
                        L1("$$05$CCCCCCCCCCCCCCCCCCCCC.E5YPO9kmyuRGyh0XouQYb4YMJKvyOeW")},
        TUnreadableCase{"no_leading_dollar",
                        L1("2a$05$CCCCCCCCCCCCCCCCCCCCC.E5YPO9kmyuRGyh0XouQYb4YMJKvyOeW")},
        TUnreadableCase{"cost_not_a_number",
                        L1("$2a$x5$CCCCCCCCCCCCCCCCCCCCC.E5YPO9kmyuRGyh0XouQYb4YMJKvyOeW")},
        TUnreadableCase{"cost_zero",
                        L1("$2a$00$CCCCCCCCCCCCCCCCCCCCC.E5YPO9kmyuRGyh0XouQYb4YMJKvyOeW")},
        TUnreadableCase{"cost_overflowing_int",
                        L1("$2a$99999999999$CCCCCCCCCCCCCCCCCCCCC.E5YPO9kmyuRGyh0XouQYb4YM")},
        TUnreadableCase{"salt_cut_by_dollar",
                        L1("$2a$05$CCCCCCCCCCCCCCCCCCCCC$E5YPO9kmyuRGyh0XouQYb4YMJKvyOeW")},
        TUnreadableCase{"salt_character_outside_alphabet",
                        L1("$2a$05$CCCCCCCCCC+CCCCCCCCCC.E5YPO9kmyuRGyh0XouQYb4YMJKvyOeW")},
        TUnreadableCase{"salt_character_128_or_above",
                        QStringLiteral("$2a$05$CCCCCCCCCC\u00C9CCCCCCCCCC."
                                       "E5YPO9kmyuRGyh0XouQYb4YMJKvyOeW")},
        TUnreadableCase{
            "enhanced_version_2x",
            L1("$bcrypt-sha256$2x,5$CCCCCCCCCCCCCCCCCCCCC.$E5YPO9kmyuRGyh0XouQYb4YMJK")},
        TUnreadableCase{
            "enhanced_cost_3",
            L1("$bcrypt-sha256$2b,3$CCCCCCCCCCCCCCCCCCCCC.$E5YPO9kmyuRGyh0XouQYb4YMJK")},
        TUnreadableCase{"enhanced_salt_21_characters",
                        L1("$bcrypt-sha256$2b,5$CCCCCCCCCCCCCCCCCCCCC$E5YPO9kmyuRGyh0XouQYb4YMJK")},
        TUnreadableCase{"enhanced_without_delimiters",
                        L1("$bcrypt-sha256$2b5CCCCCCCCCCCCCCCCCCCCC.E5YPO9kmyuRGyh0XouQYb4YMJK")}),
    [](const auto& info) { return std::string(info.param.Name); });

struct TCostCase {
    const char* Name;
    QString HashString;
    int Cost;
};

void PrintTo(const TCostCase& c, std::ostream* os) {
    *os << c.Name;
}

class CheckPasswordCostOutOfRange : public testing::TestWithParam<TCostCase> {};

TEST_P(CheckPasswordCostOutOfRange, RaisesTheCostMessage) {
    bool rehash = true;
    try {
        TBCrypt::CheckPassword(UStarU, GetParam().HashString, rehash);
        ADD_FAILURE() << "no exception";
    } catch (const EBCryptException& e) {
        EXPECT_EQ(
            e.Message(),
            QStringLiteral("BCrypt cost factor must be between 4..31 (%1)").arg(GetParam().Cost));
    }
    EXPECT_FALSE(rehash);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CheckPasswordCostOutOfRange,
    testing::Values(
        TCostCase{"standard_3", L1("$2a$03$CCCCCCCCCCCCCCCCCCCCC.E5YPO9kmyuRGyh0XouQYb4YMJKvyOeW"),
                  3},
        TCostCase{"standard_1", L1("$2a$1$CCCCCCCCCCCCCCCCCCCCC.E5YPO9kmyuRGyh0XouQYb4YMJKvyOeW"),
                  1},
        TCostCase{"standard_32", L1("$2a$32$CCCCCCCCCCCCCCCCCCCCC.E5YPO9kmyuRGyh0XouQYb4YMJKvyOeW"),
                  32},
        TCostCase{"enhanced_32",
                  L1("$bcrypt-sha256$2b,32$CCCCCCCCCCCCCCCCCCCCC.$E5YPO9kmyuRGyh0XouQYb4YMJKvy"),
                  32}),
    [](const auto& info) { return std::string(info.param.Name); });

struct TVerifyCase {
    const char* Name;
    QString Password;
    QString HashString;
    bool Matches;
};

void PrintTo(const TVerifyCase& c, std::ostream* os) {
    *os << c.Name;
}

class CheckPasswordVerifies : public testing::TestWithParam<TVerifyCase> {};

// Every case here has cost 10 or less, so renewal is asked for whatever the result.
TEST_P(CheckPasswordVerifies, ComparesTheRecomposedString) {
    bool rehash = false;
    EXPECT_EQ(TBCrypt::CheckPassword(GetParam().Password, GetParam().HashString, rehash),
              GetParam().Matches);
    EXPECT_TRUE(rehash);
}

QString WithVersion(const QString& hashString, const QString& version) {
    return QLatin1Char('$') + version + hashString.mid(3);
}

std::vector<TVerifyCase> VerifyCases() {
    const QString enhancedSalt = QStringLiteral("abcdefghijklmnopqrstuu");
    const QString enhanced = EnhancedByOracle(UStarU, QStringLiteral("2b"), 5, enhancedSalt);
    const QString enhancedUpper = EnhancedByOracle(UStarU, QStringLiteral("2B"), 5, enhancedSalt);
    const QString unicode = QStringLiteral("A\u0308\uFB01n");
    QString lowBitsSalt = UStarUHash;
    lowBitsSalt[28] = QLatin1Char('/'); // "." with its low bits set: decodes alike
    QString enhancedCaps = enhanced;
    enhancedCaps.replace(0, 15, QStringLiteral("$BCRYPT-SHA256$"));
    QString enhancedPadded = enhanced;
    enhancedPadded.replace(QStringLiteral(",5$"), QStringLiteral(",05$"));
    return {
        {"right_password", UStarU, UStarUHash, true},
        {"wrong_password", QStringLiteral("U*u"), UStarUHash, false},
        {"version_2z_like_2a", UStarU, WithVersion(UStarUHash, QStringLiteral("2z")), true},
        {"version_2_like_2a", UStarU,
         QStringLiteral("$2$05$CCCCCCCCCCCCCCCCCCCCC.E5YPO9kmyuRGyh0XouQYb4YMJKvyOeW"), true},
        {"version_2x_like_2a", UStarU, WithVersion(UStarUHash, QStringLiteral("2x")), true},
        {"single_digit_cost", UStarU,
         QStringLiteral("$2a$5$CCCCCCCCCCCCCCCCCCCCC.E5YPO9kmyuRGyh0XouQYb4YMJKvyOeW"), false},
        {"salt_low_bits_set", UStarU, lowBitsSalt, false},
        {"trailing_characters", UStarU, UStarUHash + QLatin1Char('x'), false},
        {"hash_cut_short", UStarU, UStarUHash.chopped(1), false},
        {"nfkc_folded_password", QStringLiteral("\u00C4fin"),
         CryptR(unicode.normalized(QString::NormalizationForm_KC).toUtf8(),
                QStringLiteral("$2b$04$") + enhancedSalt),
         true},
        {"enhanced", UStarU, enhanced, true},
        {"enhanced_wrong_password", QStringLiteral("U*U*"), enhanced, false},
        {"enhanced_version_in_capitals", UStarU, enhancedUpper, true},
        {"enhanced_cost_written_012", UStarU, enhancedPadded, false},
        {"enhanced_prefix_in_capitals", UStarU, enhancedCaps, false},
    };
}

INSTANTIATE_TEST_SUITE_P(Cases, CheckPasswordVerifies, testing::ValuesIn(VerifyCases()),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST(CheckPassword, StoredFromFoldedTextVerifiesThePrecomposedText) {
    const QString stored = TBCrypt::HashPassword(QStringLiteral("A\u0308\uFB01n"), 4);
    bool rehash = false;
    EXPECT_TRUE(TBCrypt::CheckPassword(QStringLiteral("\u00C4fin"), stored, rehash));
    EXPECT_TRUE(TBCrypt::CheckPassword(QStringLiteral("a\u00A0b"),
                                       TBCrypt::HashPassword(QStringLiteral("a b"), 4), rehash));
}

TEST(ReadHashString, KeepsTheFieldsAsWritten) {
    const std::optional<THashStringFields> standard = TBCrypt::ReadHashString(UStarUHash);
    ASSERT_TRUE(standard.has_value());
    EXPECT_EQ(standard->Version, QStringLiteral("2a"));
    EXPECT_EQ(standard->Cost, 5);
    EXPECT_FALSE(standard->Enhanced);
    EXPECT_EQ(TBCrypt::Radix64Encode(standard->Salt, 16), UStarUSalt);

    const std::optional<THashStringFields> enhanced = TBCrypt::ReadHashString(
        L1("$BCRYPT-sha256$2Y,12$CCCCCCCCCCCCCCCCCCCCC.$E5YPO9kmyuRGyh0XouQYb4YMJKvyOeW"));
    ASSERT_TRUE(enhanced.has_value());
    EXPECT_EQ(enhanced->Version, QStringLiteral("2Y"));
    EXPECT_EQ(enhanced->Cost, 12);
    EXPECT_TRUE(enhanced->Enhanced);
    EXPECT_EQ(enhanced->Salt, standard->Salt);
}

TEST(ReadHashString, PrefixMatchesAsciiLettersOnly) {
    // U+017F LATIN SMALL LETTER LONG S folds to "s" in Unicode, not in ASCII.
    const std::optional<THashStringFields> fields = TBCrypt::ReadHashString(
        QStringLiteral("$bcrypt-\u017Fha256$2b,5$CCCCCCCCCCCCCCCCCCCCC.$E5YPO9kmyuRGyh0Xou"));
    EXPECT_FALSE(fields.has_value());
}

TEST(ComposeHashString, PadsTheStandardCostOnly) {
    THashStringFields fields;
    fields.Version = QStringLiteral("2b");
    fields.Cost = 5;
    const TBCrypt::TRawHash raw{};
    const QString zeros22(22, QLatin1Char('.'));
    const QString zeros31(31, QLatin1Char('.'));
    EXPECT_EQ(TBCrypt::ComposeHashString(fields, raw),
              QStringLiteral("$2b$05$") + zeros22 + zeros31);
    fields.Cost = 123;
    EXPECT_EQ(TBCrypt::ComposeHashString(fields, raw),
              QStringLiteral("$2b$123$") + zeros22 + zeros31);
    fields.Cost = 5;
    fields.Enhanced = true;
    EXPECT_EQ(TBCrypt::ComposeHashString(fields, raw),
              QStringLiteral("$bcrypt-sha256$2b,5$") + zeros22 + QLatin1Char('$') + zeros31);
    const std::array<std::uint8_t, 22> shortRaw{};
    EXPECT_THROW(TBCrypt::ComposeHashString(fields, shortRaw), EBCryptException);
}

struct TEqualCase {
    const char* Name;
    QString Actual;
    QString Expected;
    bool Equal;
};

void PrintTo(const TEqualCase& c, std::ostream* os) {
    *os << c.Name;
}

class EqualHashStringsTable : public testing::TestWithParam<TEqualCase> {};

TEST_P(EqualHashStringsTable, IsWholeStringEquality) {
    EXPECT_EQ(TBCrypt::EqualHashStrings(GetParam().Actual, GetParam().Expected), GetParam().Equal);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, EqualHashStringsTable,
    testing::Values(TEqualCase{"same", L1("$2b$05$abc"), L1("$2b$05$abc"), true},
                    TEqualCase{"last_differs", L1("$2b$05$abc"), L1("$2b$05$abd"), false},
                    TEqualCase{"first_differs", L1("$2b$05$abc"), L1("%2b$05$abc"), false},
                    TEqualCase{"expected_longer", L1("$2b$05$abc"), L1("$2b$05$abcd"), false},
                    TEqualCase{"expected_shorter", L1("$2b$05$abc"), L1("$2b$05$ab"), false},
                    TEqualCase{"expected_repeats_actual", L1("ab"), L1("abab"), false},
                    TEqualCase{"actual_empty", QString(), L1("ab"), false},
                    TEqualCase{"both_empty", QString(), QString(), true},
                    TEqualCase{"high_code_units", QStringLiteral("\u0100"),
                               QStringLiteral("\u0000"), false}),
    [](const auto& info) { return std::string(info.param.Name); });

struct TTargetCase {
    const char* Name;
    int Cost;
    double Ms;
    int Target;
};

void PrintTo(const TTargetCase& c, std::ostream* os) {
    *os << c.Name;
}

class TargetCostTable : public testing::TestWithParam<TTargetCase> {};

TEST_P(TargetCostTable, AimsAt250To500Ms) {
    EXPECT_EQ(TBCrypt::TargetCost(GetParam().Cost, GetParam().Ms), GetParam().Target);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TargetCostTable,
    testing::Values(TTargetCase{"fast_12_raised", 12, 100, 14},
                    TTargetCase{"in_range_kept", 12, 300, 12},
                    TTargetCase{"slow_12_lowered_to_floor", 12, 1200, 11},
                    TTargetCase{"slow_20_lowered", 20, 3000, 17},
                    TTargetCase{"below_floor_not_raised_when_slow", 9, 1000, 9},
                    TTargetCase{"exactly_250_kept", 13, 250, 13},
                    TTargetCase{"exactly_500_kept", 13, 500, 13},
                    TTargetCase{"zero_cost", 0, 100, 11}, TTargetCase{"zero_time", 12, 0, 11},
                    TTargetCase{"negative_time", 12, -5, 11}),
    [](const auto& info) { return std::string(info.param.Name); });

struct TRehashCase {
    const char* Name;
    const char* Version;
    int Cost;
    double Ms;
    bool Needed;
};

void PrintTo(const TRehashCase& c, std::ostream* os) {
    *os << c.Name;
}

class RehashNeededForTable : public testing::TestWithParam<TRehashCase> {};

TEST_P(RehashNeededForTable, FollowsTheRenewalRule) {
    EXPECT_EQ(TBCrypt::RehashNeededFor(L1(GetParam().Version), GetParam().Cost, GetParam().Ms),
              GetParam().Needed);
}

INSTANTIATE_TEST_SUITE_P(Cases, RehashNeededForTable,
                         testing::Values(TRehashCase{"cost_12_fast", "2b", 12, 100, true},
                                         TRehashCase{"cost_12_in_range", "2b", 12, 300, false},
                                         TRehashCase{"cost_12_slow", "2a", 12, 1200, false},
                                         TRehashCase{"cost_10_whatever_the_time", "2b", 10, 400,
                                                     true},
                                         TRehashCase{"cost_4_untimed", "2b", 4, 0, true},
                                         TRehashCase{"version_2", "2", 12, 300, true},
                                         TRehashCase{"version_2x", "2x", 12, 300, true},
                                         TRehashCase{"version_2Y_any_case", "2Y", 12, 300, true},
                                         TRehashCase{"untimed_keeps", "2b", 12, 0, false},
                                         TRehashCase{"negative_time_keeps", "2b", 12, -1, false}),
                         [](const auto& info) { return std::string(info.param.Name); });

} // namespace
