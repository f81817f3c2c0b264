// Named parameters become positional ones only outside quotes, comments and casts.
#include "data/uSqlParams.h"

#include <gtest/gtest.h>

namespace {

struct TCase {
    const char* Name;
    const char* Sql;
    const char* Expected;
    QStringList Params;
};

class SqlParams : public testing::TestWithParam<TCase> {};

TEST_P(SqlParams, RewritesOnlyRealParameters) {
    const TCase& c = GetParam();
    const TParsedSql parsed = ParseNamedParams(QString::fromUtf8(c.Sql));
    EXPECT_EQ(parsed.Text, QByteArray(c.Expected));
    EXPECT_EQ(parsed.Names, c.Params);
}

const TCase Cases[] = {
    {"Simple",
     "select * FROM t  WHERE login = :Login ; ",
     "select * FROM t  WHERE login = $1 ; ",
     {QStringLiteral("Login")}},
    {"NamedNotation",
     "f(\np_a => :DateBegin\n,p_b  => :DateEnd\n);\n",
     "f(\np_a => $1\n,p_b  => $2\n);\n",
     {QStringLiteral("DateBegin"), QStringLiteral("DateEnd")}},
    {"SameNameTwiceAnyCase",
     "select :a, :B, :A, :b",
     "select $1, $2, $1, $2",
     {QStringLiteral("a"), QStringLiteral("B")}},
    {"Cast", "select x::text, :p::int", "select x::text, $1::int", {QStringLiteral("p")}},
    {"SingleQuotes",
     "select ':no', 'it''s :no', :yes",
     "select ':no', 'it''s :no', $1",
     {QStringLiteral("yes")}},
    {"EscapeString", "select E'\\' :no', :yes", "select E'\\' :no', $1", {QStringLiteral("yes")}},
    {"QuotedIdentifier",
     "select \":no\" from t where a = :yes",
     "select \":no\" from t where a = $1",
     {QStringLiteral("yes")}},
    {"LineComment",
     "select 1 -- :no\n, :yes\n--OR :no",
     "select 1 -- :no\n, $1\n--OR :no",
     {QStringLiteral("yes")}},
    {"NestedBlockComment",
     "select /* a /* :no */ :no */ :yes",
     "select /* a /* :no */ :no */ $1",
     {QStringLiteral("yes")}},
    {"DollarQuote",
     "select $$ :no $$, $t$ :no $x$ $t$, :yes",
     "select $$ :no $$, $t$ :no $x$ $t$, $1",
     {QStringLiteral("yes")}},
    {"Assignment", "a := 1", "a := 1", {}},
    {"DigitAfterColon", "select a[1:2]", "select a[1:2]", {}},
    {"Underscore", "where id_comset = :_id", "where id_comset = $1", {QStringLiteral("_id")}},
    {"LineCommentEndedByCarriageReturn",
     "select 1 -- :no\r, :yes",
     "select 1 -- :no\r, $1",
     {QStringLiteral("yes")}},
    {"DollarQuoteTagAboveAscii",
     "select $€$ :no $€$, $täg$ :no $täg$, :yes",
     "select $€$ :no $€$, $täg$ :no $täg$, $1",
     {QStringLiteral("yes")}},
    {"NamesAboveAscii",
     "select :€uro, :дата1",
     "select $1, $2",
     {QString::fromUtf8("€uro"), QString::fromUtf8("дата1")}},
    {"ParameterNamedEBeforeAQuote",
     "select :E'\\', :yes",
     "select $1'\\', $2",
     {QStringLiteral("E"), QStringLiteral("yes")}},
    {"ParameterRightAfterAName", "select a:b", "select a $1", {QStringLiteral("b")}},
    {"ParameterRightAfterADollar",
     "select $t:a, $:b",
     "select $t $1, $ $2",
     {QStringLiteral("a"), QStringLiteral("b")}},
    {"UnterminatedQuote", "select ':no", "select ':no", {}},
};

INSTANTIATE_TEST_SUITE_P(Statements, SqlParams, testing::ValuesIn(Cases),
                         [](const testing::TestParamInfo<TCase>& info) { return info.param.Name; });

} // namespace
