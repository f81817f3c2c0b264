// Feeds arbitrary text to the converters of the server's text form. What converts must
// convert back: the client's text of a value reads as the same value (integers,
// doubles, dates, times, timestamps); a uuid's braced form gives the same form again;
// the value a model holds is the one the converter gave.
#include "FuzzSupport.h"
#include "data/uDbValue.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string>

namespace {

std::string Utf8(const QString& text) {
    return text.toStdString();
}

void IntegerRoundTrip(std::string_view text) {
    const std::optional<qint64> value = TextToInt64(text);
    if (!value) {
        return;
    }
    Require(TextToInt64(std::to_string(*value)) == value);
    Require(ValueToVariant(TFieldClass::LargeInt, text) == QVariant(qlonglong(*value)));
}

void DoubleRoundTrip(std::string_view text) {
    const std::optional<double> value = TextToDouble(text);
    if (!value) {
        return;
    }
    char buffer[64];
    const auto written = std::to_chars(buffer, buffer + sizeof buffer, *value);
    Require(written.ec == std::errc());
    const std::optional<double> again = TextToDouble(std::string_view(buffer, written.ptr));
    Require(again && (std::isnan(*value) ? std::isnan(*again) : *again == *value));
}

void DateAndTimeRoundTrips(std::string_view text) {
    if (const std::optional<QDate> date = TextToDate(text)) {
        Require(Utf8(date->toString(QStringLiteral("yyyy-MM-dd"))) == text);
        Require(ValueToVariant(TFieldClass::Date, text) == QVariant(*date));
    }
    if (const std::optional<QTime> time = TextToTime(text)) {
        Require(TextToTime(Utf8(time->toString(QStringLiteral("HH:mm:ss.zzz")))) == time);
        Require(ValueToVariant(TFieldClass::Time, text) == QVariant(*time));
    }
    if (const std::optional<QDateTime> stamp = TextToDateTime(text)) {
        Require(stamp->timeSpec() == Qt::UTC);
        const QString again = stamp->toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
        Require(TextToDateTime(Utf8(again)) == stamp);
        Require(ValueToVariant(TFieldClass::DateTime, text) == QVariant(*stamp));
    }
}

void GuidForm(std::string_view text) {
    const QString shown = ValueToString(TFieldClass::Guid, text);
    // The server's uuids are ASCII; only those are braced by their length in bytes.
    const bool ascii = std::all_of(text.begin(), text.end(), [](char c) { return c > 0; });
    if (!ascii) {
        return;
    }
    if (text.size() != 36) {
        Require(shown == QString::fromUtf8(text.data(), qsizetype(text.size())));
        return;
    }
    Require(shown.size() == 38 && shown.front() == QLatin1Char('{') &&
            shown.back() == QLatin1Char('}') && shown == shown.toUpper());
    Require(ValueToString(TFieldClass::Guid, Utf8(shown.mid(1, 36).toLower())) == shown);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    IntegerRoundTrip(text);
    DoubleRoundTrip(text);
    DateAndTimeRoundTrips(text);
    GuidForm(text);
    for (const TFieldClass cls :
         {TFieldClass::Integer, TFieldClass::Memo, TFieldClass::Other, TFieldClass::Float}) {
        ValueToVariant(cls, text);
    }
    return 0;
}
