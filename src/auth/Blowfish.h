// Blowfish and the EksBlowfish key schedule of bcrypt, on raw bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

// The whole cipher state in one block, so that a hash keeps it on the stack and
// can wipe it in one call.
struct TBlowfishState {
    std::uint32_t P[18];
    std::uint32_t S[4][256];
};

// The published starting state (hexadecimal digits of pi).
extern const TBlowfishState BlowfishInitialState;

// Encrypts one 64-bit block (two big-endian halves) in place.
void BlowfishEncrypt(const TBlowfishState& state, std::uint32_t& left, std::uint32_t& right);

// Mixes key into state: the P-array is XORed with the key's big-endian words taken
// cyclically (an empty key leaves it as is), then P and S are replaced by the chained
// encryption of an all-zero block. On the initial state this is the Blowfish key schedule.
void BlowfishExpandKey(TBlowfishState& state, std::span<const std::uint8_t> key);

constexpr int BcryptMinCost = 4;
constexpr int BcryptMaxCost = 31;
constexpr std::size_t BcryptMaxKeyLength = 72;
constexpr std::size_t BcryptSaltLength = 16;
constexpr std::size_t BcryptRawHashLength = 24;

// bcrypt of key bytes: EksBlowfish setup with 2^cost expensive rounds, then
// "OrpheanBeholderScryDoubt" encrypted 64 times. Raises EBCryptException for a cost
// outside 4..31, a key longer than 72 bytes or a salt that is not 16 bytes. The state
// and the key words are wiped before returning, also when raising.
void EksBlowfishHash(std::span<const std::uint8_t> key, std::span<const std::uint8_t> salt,
                     int cost, std::span<std::uint8_t, BcryptRawHashLength> rawHash);
