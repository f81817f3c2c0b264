#include "auth/Bcrypt.h"

#include <QStringEncoder>
#include <algorithm>
#include <chrono>
#include <limits>
#include <openssl/crypto.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/rand.h>
#include <utility>

namespace {

constexpr char Radix64Alphabet[] =
    "./ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";

constexpr std::array<std::int8_t, 128> Radix64Values = [] {
    std::array<std::int8_t, 128> values{};
    values.fill(-1);
    for (int i = 0; i < 64; ++i) {
        values[static_cast<unsigned char>(Radix64Alphabet[i])] = static_cast<std::int8_t>(i);
    }
    return values;
}();

const QString EnhancedPrefix = QStringLiteral("$bcrypt-sha256$");
constexpr qsizetype SaltCharacters = 22;
constexpr qsizetype HashStringBytes = 23; // the last raw byte is not stored
constexpr qsizetype MinHashStringLength = 27;

[[noreturn]] void RaiseInvalidHashString() {
    throw EBCryptException(QStringLiteral("Invalid base64 hash string"));
}

char16_t AsciiLower(char16_t c) {
    return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + (u'a' - u'A')) : c;
}

bool IsAsciiLetter(char16_t c) {
    return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
}

// Case-insensitive for ASCII letters only: no other character folds onto them.
bool EqualsIgnoringAsciiCase(QStringView a, QStringView b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (qsizetype i = 0; i < a.size(); ++i) {
        if (AsciiLower(a[i].unicode()) != AsciiLower(b[i].unicode())) {
            return false;
        }
    }
    return true;
}

// A cost token: decimal digits only; anything else, or an int overflow, is -1.
int ParseCost(QStringView token) {
    if (token.isEmpty()) {
        return -1;
    }
    long long value = 0;
    for (const QChar c : token) {
        if (c < u'0' || c > u'9') {
            return -1;
        }
        value = value * 10 + (c.unicode() - u'0');
        if (value > std::numeric_limits<int>::max()) {
            return -1;
        }
    }
    return static_cast<int>(value);
}

bool DecodeSalt(QStringView text, TBCrypt::TSalt& salt) {
    try {
        const std::vector<std::uint8_t> bytes = TBCrypt::Radix64Decode(text);
        if (bytes.size() != salt.size()) {
            return false;
        }
        std::copy(bytes.begin(), bytes.end(), salt.begin());
        return true;
    } catch (const EBCryptException&) {
        return false;
    }
}

std::optional<THashStringFields> ReadStandardForm(QStringView text) {
    qsizetype pos = 0;
    // A token starts at a "$" and runs to the next "$" or the end; without a "$" at the
    // current position it is empty.
    const auto nextToken = [&]() -> QStringView {
        if (pos >= text.size() || text[pos] != u'$') {
            return {};
        }
        const qsizetype start = ++pos;
        while (pos < text.size() && text[pos] != u'$') {
            ++pos;
        }
        return text.sliced(start, pos - start);
    };

    THashStringFields fields;
    const QStringView version = nextToken();
    if (version.isEmpty() || version[0] != u'2' || version.size() > 2 ||
        (version.size() == 2 && !IsAsciiLetter(version[1].unicode()))) {
        return std::nullopt;
    }
    fields.Version = version.toString();
    fields.Cost = ParseCost(nextToken());
    if (fields.Cost < 1) {
        return std::nullopt;
    }
    const QStringView saltAndHash = nextToken();
    if (saltAndHash.size() < SaltCharacters ||
        !DecodeSalt(saltAndHash.first(SaltCharacters), fields.Salt)) {
        return std::nullopt;
    }
    return fields;
}

std::optional<THashStringFields> ReadEnhancedForm(QStringView rest) {
    // Yields the text before the delimiter and drops it with the delimiter; without the
    // delimiter, yields all that is left.
    const auto takeUpTo = [&](char16_t delimiter) -> QStringView {
        const qsizetype at = rest.indexOf(QChar(delimiter));
        if (at < 0) {
            return std::exchange(rest, QStringView());
        }
        const QStringView taken = rest.first(at);
        rest = rest.sliced(at + 1);
        return taken;
    };

    THashStringFields fields;
    fields.Enhanced = true;
    const QStringView version = takeUpTo(u',');
    if (!EqualsIgnoringAsciiCase(version, u"2") && !EqualsIgnoringAsciiCase(version, u"2a") &&
        !EqualsIgnoringAsciiCase(version, u"2y") && !EqualsIgnoringAsciiCase(version, u"2b")) {
        return std::nullopt;
    }
    fields.Version = version.toString();
    fields.Cost = ParseCost(takeUpTo(u'$'));
    if (fields.Cost < BcryptMinCost) {
        return std::nullopt;
    }
    const QStringView salt = takeUpTo(u'$');
    if (salt.size() != SaltCharacters || !DecodeSalt(salt, fields.Salt)) {
        return std::nullopt;
    }
    return fields;
}

} // namespace

TSecureBytes TBCrypt::PasswordStringPrep(const QString& password) {
    if (password.isEmpty()) {
        return {};
    }
    QString folded = password.normalized(QString::NormalizationForm_KC);
    TCleanseStringOnExit wipeFolded(folded);

    // Stateless: a lone surrogate at the end becomes U+FFFD like any other, instead of
    // waiting for a next call that never comes.
    QStringEncoder toUtf8(QStringEncoder::Utf8, QStringConverter::Flag::Stateless);
    TSecureBytes key(static_cast<std::size_t>(toUtf8.requiredSpace(folded.size())) + 1);
    char* const begin = reinterpret_cast<char*>(key.Data());
    char* const end = toUtf8.appendToBuffer(begin, folded);
    *end = '\0';
    key.Resize(static_cast<std::size_t>(end - begin) + 1);
    return key;
}

QString TBCrypt::Prehash256(const QString& password) {
    const TSecureBytes key = PasswordStringPrep(password);
    unsigned char digest[32];
    unsigned char text[45]; // 44 characters and the terminating zero of EVP_EncodeBlock
    TCleanseOnExit wipeDigest(digest, sizeof digest);
    TCleanseOnExit wipeText(text, sizeof text);
    unsigned int digestLength = 0;
    if (EVP_Digest(key.Data(), key.Size(), digest, &digestLength, EVP_sha256(), nullptr) != 1) {
        const unsigned long code = ERR_get_error();
        char reason[256];
        ERR_error_string_n(code, reason, sizeof reason);
        throw EOSError(QString::fromLatin1(reason), static_cast<int>(code));
    }
    const int length = EVP_EncodeBlock(text, digest, static_cast<int>(digestLength));
    return QString::fromLatin1(reinterpret_cast<const char*>(text), length);
}

TBCrypt::TRawHash TBCrypt::HashPassword(const QString& password, std::span<const std::uint8_t> salt,
                                        int cost) {
    TSecureBytes key = PasswordStringPrep(password);
    // A long key keeps its first 72 bytes and so loses its terminating zero.
    if (key.Size() > BcryptMaxKeyLength) {
        key.Resize(BcryptMaxKeyLength);
    }
    TRawHash rawHash;
    EksBlowfishHash(key.Bytes(), salt, cost, rawHash);
    return rawHash;
}

QString TBCrypt::HashPassword(const QString& password, int cost) {
    THashStringFields fields;
    fields.Version = QStringLiteral("2b");
    fields.Cost = cost;
    fields.Salt = GenerateSalt();
    return ComposeHashString(fields, HashPassword(password, fields.Salt, cost));
}

TBCrypt::TSalt TBCrypt::GenerateSalt() {
    TSalt salt;
    if (RAND_bytes(salt.data(), static_cast<int>(salt.size())) != 1) {
        throw EBCryptException(QStringLiteral("Could not generate a random salt"));
    }
    return salt;
}

bool TBCrypt::CheckPassword(const QString& Password, const QString& ExpectedHashString,
                            bool& PasswordRehashNeeded) {
    PasswordRehashNeeded = false;
    const std::optional<THashStringFields> fields = ReadHashString(ExpectedHashString);
    if (!fields) {
        throw Exception(QStringLiteral("Invalid base64 hash string"));
    }

    TRawHash rawHash;
    const auto started = std::chrono::steady_clock::now();
    if (fields->Enhanced) {
        QString keyText = Prehash256(Password);
        TCleanseStringOnExit wipeKeyText(keyText);
        rawHash = HashPassword(keyText, fields->Salt, fields->Cost);
    } else {
        rawHash = HashPassword(Password, fields->Salt, fields->Cost);
    }
    const std::chrono::duration<double, std::milli> elapsed =
        std::chrono::steady_clock::now() - started;

    const bool matches = EqualHashStrings(ComposeHashString(*fields, rawHash), ExpectedHashString);
    PasswordRehashNeeded = RehashNeededFor(fields->Version, fields->Cost, elapsed.count());
    return matches;
}

std::optional<THashStringFields> TBCrypt::ReadHashString(const QString& text) {
    if (text.size() < MinHashStringLength) {
        return std::nullopt;
    }
    if (EqualsIgnoringAsciiCase(QStringView(text).first(EnhancedPrefix.size()), EnhancedPrefix)) {
        return ReadEnhancedForm(QStringView(text).sliced(EnhancedPrefix.size()));
    }
    return ReadStandardForm(text);
}

QString TBCrypt::ComposeHashString(const THashStringFields& fields,
                                   std::span<const std::uint8_t> rawHash) {
    const QString salt = Radix64Encode(fields.Salt, static_cast<qsizetype>(fields.Salt.size()));
    const QString hash = Radix64Encode(rawHash, HashStringBytes);
    if (fields.Enhanced) {
        return QStringLiteral("$bcrypt-sha256$%1,%2$%3$%4")
            .arg(fields.Version, QString::number(fields.Cost), salt, hash);
    }
    return QStringLiteral("$%1$%2$%3%4")
        .arg(fields.Version, QString::asprintf("%.2d", fields.Cost), salt, hash);
}

bool TBCrypt::EqualHashStrings(const QString& actual, const QString& expected) {
    const qsizetype actualLength = actual.size();
    const qsizetype expectedLength = expected.size();
    std::uint64_t difference = static_cast<std::uint64_t>(actualLength - expectedLength);
    qsizetype j = 0;
    for (qsizetype i = 0; i < expectedLength; ++i) {
        const char16_t a = actualLength ? actual[j].unicode() : char16_t{0};
        difference |= static_cast<std::uint64_t>(a ^ expected[i].unicode());
        j = (j + 1 == actualLength) ? 0 : j + 1;
    }
    return difference == 0;
}

bool TBCrypt::RehashNeededFor(const QString& version, int cost, double elapsedMs) {
    if (cost <= 10) {
        return true;
    }
    if (EqualsIgnoringAsciiCase(version, u"2") || EqualsIgnoringAsciiCase(version, u"2x") ||
        EqualsIgnoringAsciiCase(version, u"2y")) {
        return true;
    }
    if (!(elapsedMs > 0)) {
        return false;
    }
    return cost < TargetCost(cost, elapsedMs);
}

int TBCrypt::TargetCost(int cost, double elapsedMs) {
    constexpr int FloorCost = 11;
    if (cost <= 0 || !(elapsedMs > 0)) {
        return FloorCost;
    }
    // Each step of cost doubles the time: aim between 250 and 500 ms.
    while (elapsedMs < 250) {
        ++cost;
        elapsedMs *= 2;
    }
    while (elapsedMs > 500 && cost > FloorCost) {
        --cost;
        elapsedMs /= 2;
    }
    return cost;
}

std::vector<std::uint8_t> TBCrypt::Radix64Decode(QStringView text) {
    const qsizetype length = text.size();
    if (length % 4 == 1) {
        RaiseInvalidHashString();
    }
    const auto value = [&](qsizetype i) -> std::uint32_t {
        const char16_t c = text[i].unicode();
        if (c >= Radix64Values.size() || Radix64Values[c] < 0) {
            RaiseInvalidHashString();
        }
        return static_cast<std::uint32_t>(Radix64Values[c]);
    };
    std::vector<std::uint8_t> bytes;
    bytes.reserve(static_cast<std::size_t>(length / 4 * 3 + 2));
    for (qsizetype i = 0; i < length; i += 4) {
        const qsizetype group = std::min<qsizetype>(4, length - i);
        const std::uint32_t c1 = value(i);
        const std::uint32_t c2 = value(i + 1);
        bytes.push_back(static_cast<std::uint8_t>((c1 << 2) | (c2 >> 4)));
        if (group >= 3) {
            const std::uint32_t c3 = value(i + 2);
            bytes.push_back(static_cast<std::uint8_t>(((c2 & 0x0F) << 4) | (c3 >> 2)));
            if (group == 4) {
                const std::uint32_t c4 = value(i + 3);
                bytes.push_back(static_cast<std::uint8_t>(((c3 & 0x03) << 6) | c4));
            }
        }
    }
    return bytes;
}

QString TBCrypt::Radix64Encode(std::span<const std::uint8_t> data, qsizetype count) {
    if (count < 0 || static_cast<std::size_t>(count) > data.size()) {
        throw EBCryptException(QStringLiteral("Invalid length"));
    }
    QString text;
    text.reserve((count * 4 + 2) / 3);
    const auto put = [&](std::uint32_t v) { text.append(QLatin1Char(Radix64Alphabet[v & 0x3F])); };
    for (qsizetype i = 0; i < count; i += 3) {
        const std::uint32_t b1 = data[i];
        const std::uint32_t b2 = i + 1 < count ? data[i + 1] : 0;
        const std::uint32_t b3 = i + 2 < count ? data[i + 2] : 0;
        put(b1 >> 2);
        put(((b1 & 0x03) << 4) | (b2 >> 4));
        if (i + 1 < count) {
            put(((b2 & 0x0F) << 2) | (b3 >> 6));
        }
        if (i + 2 < count) {
            put(b3);
        }
    }
    return text;
}
