#include "data/uDbValue.h"

#include <charconv>
#include <cmath>

namespace {

// Type oids of the PostgreSQL catalogue (pg_type.dat); they are fixed for built-in types.
enum : Oid {
    BoolOid = 16,
    ByteaOid = 17,
    NameOid = 19,
    Int8Oid = 20,
    Int2Oid = 21,
    Int4Oid = 23,
    TextOid = 25,
    OidOid = 26,
    JsonOid = 114,
    Float4Oid = 700,
    Float8Oid = 701,
    BpcharOid = 1042,
    VarcharOid = 1043,
    DateOid = 1082,
    TimeOid = 1083,
    TimestampOid = 1114,
    TimestampTzOid = 1184,
    IntervalOid = 1186,
    TimeTzOid = 1266,
    NumericOid = 1700,
    UuidOid = 2950,
    JsonbOid = 3802,
};

bool Digits(std::string_view text, size_t from, size_t count) {
    if (text.size() < from + count)
        return false;
    for (size_t i = from; i < from + count; ++i)
        if (text[i] < '0' || text[i] > '9')
            return false;
    return true;
}

int Number(std::string_view text, size_t from, size_t count) {
    int value = 0;
    for (size_t i = from; i < from + count; ++i)
        value = value * 10 + (text[i] - '0');
    return value;
}

// "HH:MM:SS[.ffffff]" from position 0 of the text; the whole text must be used.
std::optional<QTime> ParseTime(std::string_view text) {
    if (!Digits(text, 0, 2) || text.size() < 8 || text[2] != ':' || !Digits(text, 3, 2) ||
        text[5] != ':' || !Digits(text, 6, 2))
        return std::nullopt;
    int ms = 0;
    if (text.size() > 8) {
        if (text[8] != '.' || text.size() == 9 || !Digits(text, 9, text.size() - 9))
            return std::nullopt;
        const size_t count = std::min<size_t>(3, text.size() - 9);
        ms = Number(text, 9, count);
        for (size_t i = count; i < 3; ++i)
            ms *= 10;
    }
    const int hour = Number(text, 0, 2);
    if (hour == 24 && Number(text, 3, 2) == 0 && Number(text, 6, 2) == 0 && ms == 0)
        return QTime(23, 59, 59, 999); // the server's "24:00:00": the end of the day
    QTime time(hour, Number(text, 3, 2), Number(text, 6, 2), ms);
    return time.isValid() ? std::optional<QTime>(time) : std::nullopt;
}

} // namespace

TFieldClass FieldClassOfType(Oid type) noexcept {
    switch (type) {
    case Int2Oid:
    case Int4Oid:
        return TFieldClass::Integer;
    case Int8Oid:
        return TFieldClass::LargeInt;
    case Float4Oid:
    case Float8Oid:
    case NumericOid:
        return TFieldClass::Float;
    case DateOid:
        return TFieldClass::Date;
    case TimeOid:
        return TFieldClass::Time;
    case TimestampOid:
        return TFieldClass::DateTime;
    case TextOid:
    case VarcharOid:
    case BpcharOid:
    case NameOid:
        return TFieldClass::Memo;
    case UuidOid:
        return TFieldClass::Guid;
    default:
        return TFieldClass::Other;
    }
}

bool TypeFitsClass(Oid type, TFieldClass cls) noexcept {
    const TFieldClass natural = FieldClassOfType(type);
    switch (cls) {
    case TFieldClass::LargeInt:
        return natural == TFieldClass::Integer || natural == TFieldClass::LargeInt;
    case TFieldClass::Float:
        return natural == TFieldClass::Float || natural == TFieldClass::Integer ||
               natural == TFieldClass::LargeInt;
    case TFieldClass::Other:
        return true;
    default:
        return natural == cls;
    }
}

QString ServerTypeName(Oid type) {
    switch (type) {
    case BoolOid:
        return QStringLiteral("boolean");
    case ByteaOid:
        return QStringLiteral("bytea");
    case NameOid:
        return QStringLiteral("name");
    case OidOid:
        return QStringLiteral("oid");
    case JsonOid:
        return QStringLiteral("json");
    case JsonbOid:
        return QStringLiteral("jsonb");
    case TimestampTzOid:
        return QStringLiteral("timestamp with time zone");
    case IntervalOid:
        return QStringLiteral("interval");
    case TimeTzOid:
        return QStringLiteral("time with time zone");
    case Int8Oid:
        return QStringLiteral("bigint");
    case Int2Oid:
        return QStringLiteral("smallint");
    case Int4Oid:
        return QStringLiteral("integer");
    case TextOid:
        return QStringLiteral("text");
    case Float4Oid:
        return QStringLiteral("real");
    case Float8Oid:
        return QStringLiteral("double precision");
    case BpcharOid:
        return QStringLiteral("character");
    case VarcharOid:
        return QStringLiteral("character varying");
    case DateOid:
        return QStringLiteral("date");
    case TimeOid:
        return QStringLiteral("time");
    case TimestampOid:
        return QStringLiteral("timestamp");
    case NumericOid:
        return QStringLiteral("numeric");
    case UuidOid:
        return QStringLiteral("uuid");
    default:
        // Read after "of type" in messages, so the word is not repeated here.
        return QStringLiteral("oid %1").arg(type);
    }
}

QString FieldClassName(TFieldClass cls) {
    switch (cls) {
    case TFieldClass::Integer:
        return QStringLiteral("integer");
    case TFieldClass::LargeInt:
        return QStringLiteral("bigint");
    case TFieldClass::Float:
        return QStringLiteral("double precision");
    case TFieldClass::Date:
        return QStringLiteral("date");
    case TFieldClass::Time:
        return QStringLiteral("time");
    case TFieldClass::DateTime:
        return QStringLiteral("timestamp");
    case TFieldClass::Memo:
        return QStringLiteral("text");
    case TFieldClass::Guid:
        return QStringLiteral("uuid");
    case TFieldClass::Other:
        break;
    }
    return QStringLiteral("any type");
}

std::optional<qint64> TextToInt64(std::string_view text) noexcept {
    qint64 value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || text.empty())
        return std::nullopt;
    return value;
}

std::optional<double> TextToDouble(std::string_view text) noexcept {
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || text.empty())
        return std::nullopt;
    return value;
}

std::optional<QDate> TextToDate(std::string_view text) {
    // "YYYY-MM-DD"; years beyond 9999 and BC dates do not convert.
    if (text.size() != 10 || !Digits(text, 0, 4) || text[4] != '-' || !Digits(text, 5, 2) ||
        text[7] != '-' || !Digits(text, 8, 2))
        return std::nullopt;
    QDate date(Number(text, 0, 4), Number(text, 5, 2), Number(text, 8, 2));
    return date.isValid() ? std::optional<QDate>(date) : std::nullopt;
}

std::optional<QTime> TextToTime(std::string_view text) {
    return ParseTime(text);
}

std::optional<QDateTime> TextToDateTime(std::string_view text) {
    const std::optional<QDate> date = TextToDate(text.substr(0, 10));
    if (!date)
        return std::nullopt;
    if (text.size() == 10)
        return QDateTime(*date, QTime(0, 0), Qt::UTC);
    if (text[10] != ' ' && text[10] != 'T')
        return std::nullopt;
    const std::optional<QTime> time = ParseTime(text.substr(11));
    if (!time)
        return std::nullopt;
    return QDateTime(*date, *time, Qt::UTC);
}

QString ValueToString(TFieldClass cls, std::string_view text) {
    QString result = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    if (cls == TFieldClass::Guid && text.size() == 36)
        return QLatin1Char('{') + result.toUpper() + QLatin1Char('}');
    return result;
}

QVariant ValueToVariant(TFieldClass cls, std::string_view text) {
    switch (cls) {
    case TFieldClass::Integer:
        if (const auto value = TextToInt64(text))
            return QVariant(static_cast<int>(*value));
        break;
    case TFieldClass::LargeInt:
        if (const auto value = TextToInt64(text))
            return QVariant(static_cast<qlonglong>(*value));
        break;
    case TFieldClass::Float:
        if (const auto value = TextToDouble(text))
            return QVariant(*value);
        break;
    case TFieldClass::Date:
        if (const auto value = TextToDate(text))
            return QVariant(*value);
        break;
    case TFieldClass::Time:
        if (const auto value = TextToTime(text))
            return QVariant(*value);
        break;
    case TFieldClass::DateTime:
        if (const auto value = TextToDateTime(text))
            return QVariant(*value);
        break;
    case TFieldClass::Memo:
    case TFieldClass::Guid:
    case TFieldClass::Other:
        break;
    }
    return QVariant(ValueToString(cls, text));
}
