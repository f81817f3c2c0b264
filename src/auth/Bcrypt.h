// Operators' password hashes: bcrypt over prepared key bytes, the hash strings
// stored in the users table, and the check of a typed password against one.
#pragma once

#include "auth/Blowfish.h"
#include "platform/SecureBytes.h"
#include "platform/Exceptions.h"

#include <QString>
#include <QStringView>
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

// What a hash string says besides its hash part.
struct THashStringFields {
    QString Version; // "2", or "2" and one ASCII letter, exactly as written
    int Cost = 0;
    std::array<std::uint8_t, BcryptSaltLength> Salt{};
    bool Enhanced = false; // "$bcrypt-sha256$" form: the password is prehashed with SHA-256
};

// Class-level operations only; holds no state.
class TBCrypt {
public:
    TBCrypt() = delete;

    using TSalt = std::array<std::uint8_t, BcryptSaltLength>;
    using TRawHash = std::array<std::uint8_t, BcryptRawHashLength>;
    static constexpr int DefaultCost = 12;

    // Key bytes of a password: the NFKC-folded text in UTF-8 and one zero byte;
    // an empty text gives no bytes at all.
    static TSecureBytes PasswordStringPrep(const QString& password);

    // SHA-256 of the key bytes in standard Base64: 44 characters ending in "=".
    static QString Prehash256(const QString& password);

    // bcrypt of the password's key bytes (cut to their first 72) with a 16-byte salt and
    // 2^cost rounds, cost 4..31: the 24 raw hash bytes. Raises EBCryptException.
    static TRawHash HashPassword(const QString& password, std::span<const std::uint8_t> salt,
                                 int cost);

    // A new standard hash string ("$2b$") of the password with a fresh random salt.
    static QString HashPassword(const QString& password, int cost = DefaultCost);

    // 16 bytes from the cryptographically secure generator.
    static TSalt GenerateSalt();

    // Whether Password matches the stored hash string (standard or "$bcrypt-sha256$"),
    // and whether that hash ought to be renewed. Raises Exception "Invalid base64 hash
    // string" for an unreadable string and EBCryptException for a cost outside 4..31.
    static bool CheckPassword(const QString& Password, const QString& ExpectedHashString,
                              bool& PasswordRehashNeeded);

    // Hash strings -----------------------------------------------------------------

    // The fields of a hash string, or nothing when it cannot be read. The hash part is
    // not examined: the check compares the whole recomposed string instead.
    static std::optional<THashStringFields> ReadHashString(const QString& text);

    // "$<version>$<cost, at least two digits>$<salt><hash>", or for the enhanced form
    // "$bcrypt-sha256$<version>,<cost>$<salt>$<hash>"; the hash is the first 23 raw bytes.
    static QString ComposeHashString(const THashStringFields& fields,
                                     std::span<const std::uint8_t> rawHash);

    // Compares every character of expected, whatever differs first, so that the time
    // taken tells nothing about where a difference lies.
    static bool EqualHashStrings(const QString& actual, const QString& expected);

    // Renewal ----------------------------------------------------------------------

    // Cost 10 or less, a version "2", "2x" or "2y", or a cost below TargetCost for a hash
    // that took elapsedMs milliseconds.
    static bool RehashNeededFor(const QString& version, int cost, double elapsedMs);

    // The cost whose hash would take 250 to 500 ms, given that cost took elapsedMs
    // milliseconds; never lowered below 11; 11 when either value is not positive.
    static int TargetCost(int cost, double elapsedMs);

    // Radix-64 in bcrypt's alphabet "./A-Za-z0-9", no padding -------------------------

    // Raises EBCryptException "Invalid base64 hash string" for a character outside the
    // alphabet or a final group of one character.
    static std::vector<std::uint8_t> Radix64Decode(QStringView text);

    // Encodes the first count bytes of data; raises EBCryptException "Invalid length" when
    // data holds fewer.
    static QString Radix64Encode(std::span<const std::uint8_t> data, qsizetype count);
};
