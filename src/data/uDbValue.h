// Column classes of the database contract and the conversion of the server's text form
// of a value into the form the client holds. Naive timestamps are held as UTC date-times
// so that no wall-clock value is shifted by a daylight-saving gap; times keep
// milliseconds (the server's microseconds are truncated).
#pragma once

#include <QDateTime>
#include <QString>
#include <QVariant>
#include <libpq-fe.h>
#include <optional>
#include <string_view>

enum class TFieldClass {
    Integer,  // integer: 32-bit signed
    LargeInt, // bigint: 64-bit signed
    Float,    // double precision
    Date,     // date
    Time,     // time of day
    DateTime, // timestamp (without time zone)
    Memo,     // text of any length
    Guid,     // uuid, held as "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" (38 characters)
    Other     // any other server type, held as its text
};

// The class a server type is read as when a column is not declared.
TFieldClass FieldClassOfType(Oid type) noexcept;
// Whether a column of the server type can be read as the declared class.
bool TypeFitsClass(Oid type, TFieldClass cls) noexcept;
// Readable names for messages: "integer", "text", ... ("oid 1234" for a type this
// client does not name).
QString ServerTypeName(Oid type);
QString FieldClassName(TFieldClass cls);

// Conversions of the server's text; std::nullopt when the text does not fit.
std::optional<qint64> TextToInt64(std::string_view text) noexcept;
std::optional<double> TextToDouble(std::string_view text) noexcept;
std::optional<QDate> TextToDate(std::string_view text);
std::optional<QTime> TextToTime(std::string_view text);
std::optional<QDateTime> TextToDateTime(std::string_view text);

// The text of a value as the client shows it (uuids braced and upper-case).
QString ValueToString(TFieldClass cls, std::string_view text);
// The value in its held form for a model; the text itself when it does not convert.
QVariant ValueToVariant(TFieldClass cls, std::string_view text);
