// The server's text forms converted to what the client holds.
#include "data/uDbValue.h"

#include <gtest/gtest.h>

namespace {

struct TVariantCase {
    const char* Name;
    TFieldClass Class;
    const char* Text;
    QVariant Expected;
};

class DbValue : public testing::TestWithParam<TVariantCase> {};

TEST_P(DbValue, ConvertsToTheHeldForm) {
    const TVariantCase& c = GetParam();
    EXPECT_EQ(ValueToVariant(c.Class, c.Text), c.Expected);
}

const TVariantCase VariantCases[] = {
    {"Integer", TFieldClass::Integer, "-2147483648", QVariant(int(-2147483647 - 1))},
    {"LargeInt", TFieldClass::LargeInt, "9223372036854775807",
     QVariant(qlonglong(9223372036854775807LL))},
    {"Float", TFieldClass::Float, "50.123456789012345", QVariant(50.123456789012345)},
    {"FloatInfinity", TFieldClass::Float, "-Infinity",
     QVariant(-std::numeric_limits<double>::infinity())},
    {"Date", TFieldClass::Date, "2026-02-28", QVariant(QDate(2026, 2, 28))},
    {"DateNotInCalendar", TFieldClass::Date, "2026-02-30", QVariant(QStringLiteral("2026-02-30"))},
    {"DateBeforeChrist", TFieldClass::Date, "0044-03-15 BC",
     QVariant(QStringLiteral("0044-03-15 BC"))},
    {"Time", TFieldClass::Time, "23:59:58.123456", QVariant(QTime(23, 59, 58, 123))},
    {"TimeShortFraction", TFieldClass::Time, "08:00:00.5", QVariant(QTime(8, 0, 0, 500))},
    {"TimeEndOfDay", TFieldClass::Time, "24:00:00", QVariant(QTime(23, 59, 59, 999))},
    {"DateTime", TFieldClass::DateTime, "2026-03-29 02:30:00",
     QVariant(QDateTime(QDate(2026, 3, 29), QTime(2, 30), Qt::UTC))},
    {"DateTimeInfinity", TFieldClass::DateTime, "infinity", QVariant(QStringLiteral("infinity"))},
    {"Guid", TFieldClass::Guid, "6f9619ff-8b86-d011-b42d-00c04fc964ff",
     QVariant(QStringLiteral("{6F9619FF-8B86-D011-B42D-00C04FC964FF}"))},
    {"Memo", TFieldClass::Memo, "Пеленг", QVariant(QStringLiteral("Пеленг"))},
    {"IntegerGarbage", TFieldClass::Integer, "12a", QVariant(QStringLiteral("12a"))},
};

INSTANTIATE_TEST_SUITE_P(Texts, DbValue, testing::ValuesIn(VariantCases),
                         [](const testing::TestParamInfo<TVariantCase>& info) {
                             return info.param.Name;
                         });

TEST(DbValueTypes, DeclaredClassesAcceptOnlyFittingServerTypes) {
    struct TCase {
        Oid Type;
        TFieldClass Class;
        bool Fits;
    };
    const TCase cases[] = {
        {23, TFieldClass::Integer, true},     {20, TFieldClass::Integer, false},
        {23, TFieldClass::LargeInt, true},    {20, TFieldClass::LargeInt, true},
        {701, TFieldClass::Float, true},      {25, TFieldClass::Float, false},
        {1114, TFieldClass::DateTime, true},  {1184, TFieldClass::DateTime, false},
        {2950, TFieldClass::Guid, true},      {25, TFieldClass::Guid, false},
        {25, TFieldClass::Memo, true},        {1043, TFieldClass::Memo, true},
        {1082, TFieldClass::Date, true},      {1083, TFieldClass::Time, true},
        {1083, TFieldClass::DateTime, false},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(TypeFitsClass(c.Type, c.Class), c.Fits)
            << ServerTypeName(c.Type).toStdString() << " as "
            << FieldClassName(c.Class).toStdString();
}

} // namespace
