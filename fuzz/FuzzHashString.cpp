// Feeds arbitrary text to the hash-string reader and the radix-64 decoder. Raising
// EBCryptException is their answer to bad input; anything else that goes wrong (a
// crash, a sanitizer report, a broken round trip) stops the run.
#include "auth/Bcrypt.h"

#include <QString>
#include <cstdint>
#include <cstdlib>

namespace {

void Require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

// A string that reads must recompose to one that reads back to the same fields.
void ReadAndRecompose(const QString& text) {
    const std::optional<THashStringFields> fields = TBCrypt::ReadHashString(text);
    if (!fields) {
        return;
    }
    Require(fields->Cost >= 1 && fields->Version.startsWith(QLatin1Char('2')));
    const TBCrypt::TRawHash raw{};
    const QString recomposed = TBCrypt::ComposeHashString(*fields, raw);
    const std::optional<THashStringFields> again = TBCrypt::ReadHashString(recomposed);
    Require(again.has_value());
    Require(again->Version == fields->Version && again->Cost == fields->Cost &&
            again->Salt == fields->Salt && again->Enhanced == fields->Enhanced);
    Require(TBCrypt::EqualHashStrings(recomposed, recomposed));
    Require(TBCrypt::EqualHashStrings(text, recomposed) == (text == recomposed));
}

// Decoded bytes must encode to text that decodes to the same bytes.
void DecodeAndReencode(const QString& text) {
    std::vector<std::uint8_t> bytes;
    try {
        bytes = TBCrypt::Radix64Decode(text);
    } catch (const EBCryptException&) {
        return;
    }
    Require(bytes.size() == static_cast<std::size_t>(text.size()) * 3 / 4);
    const QString encoded = TBCrypt::Radix64Encode(bytes, static_cast<qsizetype>(bytes.size()));
    Require(encoded.size() == text.size());
    Require(TBCrypt::Radix64Decode(encoded) == bytes);
}

void Exercise(const QString& text) {
    ReadAndRecompose(text);
    DecodeAndReencode(text);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Once as Latin-1 (every byte a character, codes 128..255 included), once as
    // UTF-16 code units (surrogates and all).
    Exercise(
        QString::fromLatin1(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
    QString units(static_cast<qsizetype>(size / 2), Qt::Uninitialized);
    for (std::size_t i = 0; i + 1 < size; i += 2) {
        units[static_cast<qsizetype>(i / 2)] =
            QChar(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
    }
    Exercise(units);
    return 0;
}
