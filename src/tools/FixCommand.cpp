#include "tools/FixCommand.h"

#include "geo/FixEstimate.h"
#include "tools/AdminTool.h"

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace {

// An option or an input line that cannot be used: exit code 2, nothing printed on
// standard output.
struct TBadInput {
    QString Message;
};

constexpr std::size_t MaxLineBytes = 4096;
constexpr double DefaultSigmaDegrees = 2;
constexpr double DefaultConfidence = 0.95;

double Number(const QByteArray& AText, const QString& AWhat, const QString& AWhere) {
    bool ok = false;
    const double value = AText.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(value))
        throw TBadInput{QStringLiteral("%1%2 must be a finite decimal number: %3")
                            .arg(AWhere, AWhat, QString::fromUtf8(AText.trimmed()))};
    return value;
}

void CheckRange(double AValue, double ALow, double AHigh, const QString& AWhat,
                const QString& AWhere) {
    if (AValue < ALow || AValue > AHigh)
        throw TBadInput{QStringLiteral("%1%2 must lie within %3..%4 degrees")
                            .arg(AWhere, AWhat)
                            .arg(ALow)
                            .arg(AHigh)};
}

// A deviation above 0 and at most a quarter turn: beyond that a bearing says nothing.
double Sigma(const QByteArray& AText, const QString& AWhat, const QString& AWhere) {
    const double sigma = Number(AText, AWhat, AWhere);
    if (!(sigma > 0 && sigma <= 90))
        throw TBadInput{
            QStringLiteral("%1%2 must be above 0 and at most 90 degrees").arg(AWhere, AWhat)};
    return sigma;
}

// One line of standard input without its line break, or false at the end.
bool ReadLine(std::string& ALine, int ALineNumber) {
    ALine.clear();
    int c = std::getchar();
    if (c == EOF)
        return false;
    for (; c != EOF && c != '\n'; c = std::getchar()) {
        if (ALine.size() == MaxLineBytes)
            throw TBadInput{
                QStringLiteral("line %1: longer than %2 bytes").arg(ALineNumber).arg(MaxLineBytes)};
        ALine.push_back(char(c));
    }
    return true;
}

// LAT,LON,BEARING[,SIGMA], "#" to the end of the line a comment; false for a line with
// nothing else.
bool ParseBearing(std::string ALine, int ALineNumber, double ADefaultSigma, TFixBearing& ABearing) {
    const std::size_t comment = ALine.find('#');
    if (comment != std::string::npos)
        ALine.erase(comment);
    const QByteArray text = QByteArray::fromStdString(ALine).trimmed();
    if (text.isEmpty())
        return false;
    const QString where = QStringLiteral("line %1: ").arg(ALineNumber);
    const QList<QByteArray> fields = text.split(',');
    if (fields.size() < 3 || fields.size() > 4)
        throw TBadInput{
            where +
            QStringLiteral("expected LAT,LON,BEARING[,SIGMA], got %1 field(s)").arg(fields.size())};
    ABearing.Station.Latitude = Number(fields[0], QStringLiteral("LAT"), where);
    CheckRange(ABearing.Station.Latitude, -90, 90, QStringLiteral("LAT"), where);
    ABearing.Station.Longitude = Number(fields[1], QStringLiteral("LON"), where);
    CheckRange(ABearing.Station.Longitude, -360, 360, QStringLiteral("LON"), where);
    ABearing.BearingDegrees = Number(fields[2], QStringLiteral("BEARING"), where);
    CheckRange(ABearing.BearingDegrees, -360, 360, QStringLiteral("BEARING"), where);
    ABearing.SigmaDegrees =
        fields.size() == 4 ? Sigma(fields[3], QStringLiteral("SIGMA"), where) : ADefaultSigma;
    ABearing.Use = true;
    return true;
}

// Fixed decimals, without a minus sign on a value that rounds to zero.
QString Fixed(double AValue, int ADecimals) {
    QString text = QString::number(AValue, 'f', ADecimals);
    if (text.startsWith(QLatin1Char('-')) && text.count(QLatin1Char('0')) == text.size() - 2)
        text.remove(0, 1);
    return text;
}

QString JsonString(const QString& AText) {
    QString out = QStringLiteral("\"");
    for (const QChar c : AText) {
        if (c == QLatin1Char('"') || c == QLatin1Char('\\'))
            out += QLatin1Char('\\') + c;
        else if (c.unicode() < 0x20)
            out += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
        else
            out += c;
    }
    return out + QLatin1Char('"');
}

// Latitude and longitude to 1e-7 degree (about a centimetre), axes to a decimetre,
// angles to 1e-4 degree.
QString Json(const TFixEstimate& AFix) {
    QStringList residuals, outliers;
    for (double r : AFix.ResidualsDegrees)
        residuals << Fixed(r, 4);
    for (int i : AFix.Outliers)
        outliers << QString::number(i);
    return QStringLiteral("{\"latitude\": %1, \"longitude\": %2, \"ellipse\": {\"semi_major_m\": "
                          "%3, \"semi_minor_m\": %4, \"orientation_deg\": %5, \"confidence\": "
                          "%6}, \"residuals_deg\": [%7], \"outliers\": [%8], \"used\": %9}")
        .arg(Fixed(AFix.Position.Latitude, 7), Fixed(AFix.Position.Longitude, 7),
             Fixed(AFix.Ellipse.SemiMajorMetres, 1), Fixed(AFix.Ellipse.SemiMinorMetres, 1),
             Fixed(AFix.Ellipse.OrientationDegrees, 4),
             QString::number(AFix.Ellipse.Confidence, 'g', 15),
             residuals.join(QStringLiteral(", ")), outliers.join(QStringLiteral(", ")),
             QString::number(AFix.Used));
}

} // namespace

QString FixUsage() {
    return QStringLiteral("fix [--sigma DEG] [--confidence P]");
}

QString FixDetails() {
    return QStringLiteral(
        "Estimates the most likely transmitter position from bearings read as CSV lines "
        "LAT,LON,BEARING[,SIGMA] on standard input: the station in degrees, the bearing in "
        "degrees clockwise from north, SIGMA its standard deviation in degrees (default "
        "--sigma, 2). Blank lines and \"#\" comments are skipped. Prints one JSON object: "
        "latitude, longitude, ellipse (semi_major_m, semi_minor_m, orientation_deg clockwise "
        "from north, confidence: --confidence, default 0.95), residuals_deg (measured minus "
        "computed, one per bearing in input order), outliers (0-based indices of the bearings "
        "left out as outliers) and used (the bearings the estimate rests on). Exit code 0 "
        "with a fix; 1 and {\"error\": REASON} when the bearings give none; 2 for a bad "
        "option or line.");
}

QStringList FixValueOptions() {
    return {QStringLiteral("sigma"), QStringLiteral("confidence")};
}

int RunFixCommand(const QHash<QString, QString>& AOptions, QTextStream& AOut, QTextStream& AErr) {
    try {
        const QString sigmaText = AOptions.value(QStringLiteral("sigma"));
        const double sigma = AOptions.contains(QStringLiteral("sigma"))
                                 ? Sigma(sigmaText.toUtf8(), QStringLiteral("--sigma"), {})
                                 : DefaultSigmaDegrees;
        TFixOptions options;
        options.Confidence = DefaultConfidence;
        if (AOptions.contains(QStringLiteral("confidence"))) {
            options.Confidence = Number(AOptions.value(QStringLiteral("confidence")).toUtf8(),
                                        QStringLiteral("--confidence"), {});
            if (!(options.Confidence > 0 && options.Confidence < 1))
                throw TBadInput{QStringLiteral("--confidence must lie strictly between 0 and 1")};
        }
        std::vector<TFixBearing> bearings;
        std::string line;
        TFixBearing bearing;
        for (int number = 1; ReadLine(line, number); ++number) {
            if (ParseBearing(line, number, sigma, bearing))
                bearings.push_back(bearing);
        }
        const TFixEstimate fix = EstimateFix(bearings, options);
        if (!fix.IsFix()) {
            AOut << "{\"error\": " << JsonString(FixFailureText(fix.Failure)) << "}\n";
            return AdminFailed;
        }
        AOut << Json(fix) << '\n';
        return AdminOk;
    } catch (const TBadInput& e) {
        AErr << "lodvar-admin fix: " << e.Message << '\n'
             << "usage: lodvar-admin " << FixUsage() << '\n';
        return AdminBadUsage;
    }
}
