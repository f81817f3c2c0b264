// lodvar-admin fix end to end: the real program in a child process, its JSON against the
// fix estimation run in this process on the same bearings, and its refusals.
#include "../geo/SyntheticNetwork.h"
#include "AdminToolRun.h"
#include "geo/FixEstimate.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <gtest/gtest.h>

namespace {

TRun RunFix(const QStringList& AArgs, const QByteArray& AInput) {
    return RunAdminTool(QStringList{S("fix")} + AArgs, AInput);
}

QByteArray Number(double AValue) {
    return QByteArray::number(AValue, 'g', 17); // reads back as the same double
}

// Five stations around a transmitter, one bearing spoilt, as the program's input: a
// comment, blank lines, CRLF endings, some lines with their own deviation.
struct TInput {
    std::vector<TFixBearing> bearings;
    QByteArray csv;
};

TInput FiveStations(double ADefaultSigma) {
    synthetic::TRandom random(7);
    const TCoordinate truth{48.9, 24.7};
    TInput input;
    input.csv = "# station,lat,lon\n\n";
    for (int i = 0; i < 5; ++i) {
        const TCoordinate station = DestinationPoint(truth, 20 + 72.0 * i, 30e3 + 20e3 * i);
        const bool ownSigma = i % 2 == 0;
        const double sigma = ownSigma ? 0.5 + i : ADefaultSigma;
        TFixBearing b = synthetic::ExactBearing(station, truth, sigma);
        b.BearingDegrees += sigma * random.Normal() + (i == 3 ? 25 : 0);
        input.bearings.push_back(b);
        input.csv += Number(b.Station.Latitude) + ", " + Number(b.Station.Longitude) + "," +
                     Number(b.BearingDegrees) + (ownSigma ? "," + Number(sigma) : "") +
                     "  # bearing\r\n\n";
    }
    return input;
}

TEST(LodvarAdminFix, PrintsWhatTheFixEstimationGives) {
    const TInput input = FiveStations(1.5);
    const TRun run = RunFix({S("--sigma"), S("1.5"), S("--confidence=0.9")}, input.csv);
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.err.isEmpty());
    ASSERT_TRUE(run.out.endsWith(u'\n'));
    ASSERT_EQ(run.out.count(u'\n'), 1);
    QJsonParseError error;
    const QJsonObject json = QJsonDocument::fromJson(run.out.toUtf8(), &error).object();
    ASSERT_EQ(error.error, QJsonParseError::NoError) << run.out.toStdString();

    const TFixEstimate fix = EstimateFix(input.bearings, {.Confidence = 0.9});
    ASSERT_TRUE(fix.IsFix());
    ASSERT_EQ(fix.Outliers, std::vector<int>{3}); // the spoilt one, so the list is exercised
    EXPECT_NEAR(json[S("latitude")].toDouble(), fix.Position.Latitude, 5.1e-8);
    EXPECT_NEAR(json[S("longitude")].toDouble(), fix.Position.Longitude, 5.1e-8);
    const QJsonObject ellipse = json[S("ellipse")].toObject();
    EXPECT_NEAR(ellipse[S("semi_major_m")].toDouble(), fix.Ellipse.SemiMajorMetres, 0.051);
    EXPECT_NEAR(ellipse[S("semi_minor_m")].toDouble(), fix.Ellipse.SemiMinorMetres, 0.051);
    EXPECT_NEAR(ellipse[S("orientation_deg")].toDouble(), fix.Ellipse.OrientationDegrees, 5.1e-5);
    EXPECT_EQ(ellipse[S("confidence")].toDouble(), 0.9);
    const QJsonArray residuals = json[S("residuals_deg")].toArray();
    ASSERT_EQ(residuals.size(), 5);
    for (int i = 0; i < 5; ++i)
        EXPECT_NEAR(residuals[i].toDouble(), fix.ResidualsDegrees[i], 5.1e-5) << i;
    EXPECT_EQ(json[S("outliers")].toArray(), QJsonArray{3});
    EXPECT_EQ(json[S("used")].toInt(), 4);
    EXPECT_EQ(json.size(), 6);
}

TEST(LodvarAdminFix, DefaultsAreTwoDegreesAndNinetyFivePercent) {
    const TInput input = FiveStations(2);
    const TRun run = RunFix({}, input.csv);
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QJsonObject ellipse =
        QJsonDocument::fromJson(run.out.toUtf8()).object()[S("ellipse")].toObject();
    const TFixEstimate fix = EstimateFix(input.bearings);
    EXPECT_NEAR(ellipse[S("semi_major_m")].toDouble(), fix.Ellipse.SemiMajorMetres, 0.051);
    EXPECT_EQ(ellipse[S("confidence")].toDouble(), 0.95);
}

struct TCase {
    const char* name;
    QStringList args;
    QByteArray input;
    int exitCode;
    const char* out; // whole standard output, a regular expression
    const char* errContains;
};

const QByteArray kTwo = "50,29.1609,89.3\n49.2811,30,0\n";

const TCase kCases[] = {
    {"help",
     {S("--help")},
     {},
     0,
     "usage: lodvar-admin fix \\[--sigma DEG\\] \\[--confidence "
     "P\\]\n\n[\\s\\S]*residuals_deg[\\s\\S]*",
     ""},
    {"empty input", {}, {}, 1, "\\{\"error\": \"fewer than two distinct stations\"\\}\n", ""},
    {"only comments",
     {},
     "# nothing\n   \n",
     1,
     "\\{\"error\": \"fewer than two distinct stations\"\\}\n",
     ""},
    {"parallel",
     {},
     "50,30,45\n50.5,30,45\n",
     1,
     "\\{\"error\": \"the bearings are parallel or nearly so\"\\}\n",
     ""},
    {"pointing away",
     {},
     "50,29.1609,269.3\n49.2811,30,180\n",
     1,
     "\\{\"error\": \"the bearings cross behind the stations\"\\}\n",
     ""},
    {"exact crossing",
     {},
     kTwo,
     0,
     "\\{\"latitude\": 50\\.00\\d+, \"longitude\": 30\\.00\\d+, [^\n]*\"residuals_deg\": "
     "\\[0\\.0000, 0\\.0000\\], \"outliers\": \\[\\], \"used\": 2\\}\n",
     ""},
    {"too few fields",
     {},
     "# header\n50,30,45\n50,30\n",
     2,
     "",
     "line 3: expected LAT,LON,BEARING[,SIGMA], got 2 field(s)"},
    {"too many fields",
     {},
     "50,30,45,1,2\n",
     2,
     "",
     "line 1: expected LAT,LON,BEARING[,SIGMA], got 5 field(s)"},
    {"not a number",
     {},
     kTwo + "\n50,3O,45\n",
     2,
     "",
     "line 4: LON must be a finite decimal number: 3O"},
    {"empty field", {}, "50,,45\n", 2, "", "line 1: LON must be a finite decimal number"},
    {"not a number literal",
     {},
     "nan,30,45\n",
     2,
     "",
     "line 1: LAT must be a finite decimal number: nan"},
    {"infinite bearing",
     {},
     "50,30,inf\n",
     2,
     "",
     "line 1: BEARING must be a finite decimal number: inf"},
    {"latitude beyond a pole",
     {},
     "50,30,45\n-90.5,30,45\n",
     2,
     "",
     "line 2: LAT must lie within -90..90 degrees"},
    {"bearing out of range",
     {},
     "50,30,361\n",
     2,
     "",
     "line 1: BEARING must lie within -360..360 degrees"},
    {"sigma zero",
     {},
     "50,30,45,0\n",
     2,
     "",
     "line 1: SIGMA must be above 0 and at most 90 degrees"},
    {"sigma negative",
     {},
     "50,30,45,-1\n",
     2,
     "",
     "line 1: SIGMA must be above 0 and at most 90 degrees"},
    {"sigma beyond a quarter turn",
     {},
     "50,30,45,90.5\n",
     2,
     "",
     "line 1: SIGMA must be above 0 and at most 90 degrees"},
    {"line too long",
     {},
     "50,30,45," + QByteArray(5000, '1') + "\n",
     2,
     "",
     "line 1: longer than 4096 bytes"},
    {"option sigma zero",
     {S("--sigma"), S("0")},
     kTwo,
     2,
     "",
     "--sigma must be above 0 and at most 90 degrees"},
    {"option sigma not a number",
     {S("--sigma=nan")},
     kTwo,
     2,
     "",
     "--sigma must be a finite decimal number: nan"},
    {"option confidence one",
     {S("--confidence"), S("1")},
     kTwo,
     2,
     "",
     "--confidence must lie strictly between 0 and 1"},
    {"option confidence zero",
     {S("--confidence=0")},
     kTwo,
     2,
     "",
     "--confidence must lie strictly between 0 and 1"},
    {"option confidence as percent",
     {S("--confidence"), S("95")},
     kTwo,
     2,
     "",
     "--confidence must lie strictly between 0 and 1"},
    {"positional argument", {S("input.csv")}, kTwo, 2, "", "expected 0 argument(s), got 1"},
};

TEST(LodvarAdminFix, CommandTable) {
    for (const TCase& c : kCases) {
        SCOPED_TRACE(c.name);
        const TRun run = RunFix(c.args, c.input);
        EXPECT_EQ(run.exitCode, c.exitCode) << run.err.toStdString();
        const QRegularExpression pattern(QRegularExpression::anchoredPattern(S(c.out)));
        EXPECT_TRUE(pattern.match(run.out).hasMatch()) << run.out.toStdString();
        EXPECT_TRUE(run.err.contains(S(c.errContains))) << run.err.toStdString();
        if (c.exitCode == 2) {
            EXPECT_TRUE(run.err.contains(S("usage: lodvar-admin fix"))) << run.err.toStdString();
            EXPECT_TRUE(run.out.isEmpty());
        }
    }
}

} // namespace
