// Feeds arbitrary text to the hash-string reader and the radix-64 decoder. Raising
// EBCryptException is their answer to bad input; anything else that goes wrong (a
// crash, a sanitizer report, a broken round trip) stops the run.
#include "FuzzSupport.h"
#include "auth/Bcrypt.h"

namespace {

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
    Exercise(Latin1Text(data, size));
    Exercise(Utf16Text(data, size));
    return 0;
}
