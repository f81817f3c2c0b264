#include "auth/Blowfish.h"

#include "platform/SecureBytes.h"
#include "platform/Exceptions.h"

#include <QString>

namespace {

// The round function: four S-box lookups, one per byte of x.
[[gnu::always_inline]] inline std::uint32_t F(const std::uint32_t (&s)[4][256], std::uint32_t x) {
    return ((s[0][x >> 24] + s[1][(x >> 16) & 0xFF]) ^ s[2][(x >> 8) & 0xFF]) + s[3][x & 0xFF];
}

// Sixteen Feistel rounds written out, the halves swapping roles instead of values.
// Each P-word is XORed in before the round function's result, which keeps it off the
// chain of dependent lookups.
[[gnu::always_inline]] inline void Encrypt(const TBlowfishState& state, std::uint32_t& left,
                                           std::uint32_t& right) {
    const std::uint32_t* p = state.P;
    const auto& s = state.S;
    std::uint32_t l = left ^ p[0];
    std::uint32_t r = right;
    r = (r ^ p[1]) ^ F(s, l);
    l = (l ^ p[2]) ^ F(s, r);
    r = (r ^ p[3]) ^ F(s, l);
    l = (l ^ p[4]) ^ F(s, r);
    r = (r ^ p[5]) ^ F(s, l);
    l = (l ^ p[6]) ^ F(s, r);
    r = (r ^ p[7]) ^ F(s, l);
    l = (l ^ p[8]) ^ F(s, r);
    r = (r ^ p[9]) ^ F(s, l);
    l = (l ^ p[10]) ^ F(s, r);
    r = (r ^ p[11]) ^ F(s, l);
    l = (l ^ p[12]) ^ F(s, r);
    r = (r ^ p[13]) ^ F(s, l);
    l = (l ^ p[14]) ^ F(s, r);
    r = (r ^ p[15]) ^ F(s, l);
    l = (l ^ p[16]) ^ F(s, r);
    left = r ^ p[17];
    right = l;
}

constexpr std::size_t PWords = 18;

// The key's big-endian words, taken cyclically, one per P-word. An empty key gives
// zeros, which leave the P-array as it is.
void CyclicKeyWords(std::span<const std::uint8_t> key, std::uint32_t (&words)[PWords]) {
    std::size_t j = 0;
    for (std::uint32_t& word : words) {
        std::uint32_t w = 0;
        for (int k = 0; k < 4; ++k) {
            w <<= 8;
            if (!key.empty()) {
                w |= key[j];
                j = (j + 1 == key.size()) ? 0 : j + 1;
            }
        }
        word = w;
    }
}

// ExpandKey with all-zero data: nothing to XOR into the chained block, so the
// encryption runs straight from one output to the next.
[[gnu::always_inline]] inline void ExpandKeyZeroData(TBlowfishState& state,
                                                     const std::uint32_t (&keyWords)[PWords]) {
    for (std::size_t i = 0; i < PWords; ++i) {
        state.P[i] ^= keyWords[i];
    }
    std::uint32_t l = 0;
    std::uint32_t r = 0;
    for (std::size_t i = 0; i < PWords; i += 2) {
        Encrypt(state, l, r);
        state.P[i] = l;
        state.P[i + 1] = r;
    }
    for (auto& box : state.S) {
        for (std::size_t i = 0; i < 256; i += 2) {
            Encrypt(state, l, r);
            box[i] = l;
            box[i + 1] = r;
        }
    }
}

// ExpandKey with the salt as data: its four big-endian words are XORed into the
// chained block in turn, two per block.
void ExpandKeySaltData(TBlowfishState& state, const std::uint32_t (&keyWords)[PWords],
                       const std::uint32_t (&saltWords)[4]) {
    for (std::size_t i = 0; i < PWords; ++i) {
        state.P[i] ^= keyWords[i];
    }
    std::uint32_t l = 0;
    std::uint32_t r = 0;
    std::size_t d = 0;
    const auto next = [&](std::uint32_t* out) {
        l ^= saltWords[d];
        r ^= saltWords[d + 1];
        d ^= 2;
        Encrypt(state, l, r);
        out[0] = l;
        out[1] = r;
    };
    for (std::size_t i = 0; i < PWords; i += 2) {
        next(state.P + i);
    }
    for (auto& box : state.S) {
        for (std::size_t i = 0; i < 256; i += 2) {
            next(box + i);
        }
    }
}

std::uint32_t BigEndianWord(const std::uint8_t* b) {
    return (std::uint32_t{b[0]} << 24) | (std::uint32_t{b[1]} << 16) | (std::uint32_t{b[2]} << 8) |
           std::uint32_t{b[3]};
}

} // namespace

void BlowfishEncrypt(const TBlowfishState& state, std::uint32_t& left, std::uint32_t& right) {
    Encrypt(state, left, right);
}

void BlowfishExpandKey(TBlowfishState& state, std::span<const std::uint8_t> key) {
    std::uint32_t keyWords[PWords];
    TCleanseOnExit wipeKeyWords(keyWords, sizeof keyWords);
    CyclicKeyWords(key, keyWords);
    ExpandKeyZeroData(state, keyWords);
}

void EksBlowfishHash(std::span<const std::uint8_t> key, std::span<const std::uint8_t> salt,
                     int cost, std::span<std::uint8_t, BcryptRawHashLength> rawHash) {
    if (cost < BcryptMinCost || cost > BcryptMaxCost) {
        throw EBCryptException(
            QStringLiteral("BCrypt cost factor must be between 4..31 (%1)").arg(cost));
    }
    if (key.size() > BcryptMaxKeyLength) {
        throw EBCryptException(
            QStringLiteral("Key must be between 0 and 72 bytes long (%1)").arg(key.size()));
    }
    if (salt.size() != BcryptSaltLength) {
        throw EBCryptException(QStringLiteral("Salt must be 16 bytes"));
    }

    TBlowfishState state = BlowfishInitialState;
    std::uint32_t keyWords[PWords];
    std::uint32_t block[6];
    TCleanseOnExit wipeState(&state, sizeof state);
    TCleanseOnExit wipeKeyWords(keyWords, sizeof keyWords);
    TCleanseOnExit wipeBlock(block, sizeof block);

    std::uint32_t saltWords[4];
    for (std::size_t i = 0; i < 4; ++i) {
        saltWords[i] = BigEndianWord(salt.data() + 4 * i);
    }
    std::uint32_t saltKeyWords[PWords];
    CyclicKeyWords(salt, saltKeyWords);
    CyclicKeyWords(key, keyWords);

    ExpandKeySaltData(state, keyWords, saltWords);
    // Unsigned and 64 bits wide, so that cost 31 runs its full 2^31 rounds.
    for (std::uint64_t rounds = std::uint64_t{1} << cost; rounds != 0; --rounds) {
        ExpandKeyZeroData(state, keyWords);
        ExpandKeyZeroData(state, saltKeyWords);
    }

    static constexpr std::uint8_t MagicText[] = "OrpheanBeholderScryDoubt";
    for (std::size_t i = 0; i < 6; ++i) {
        block[i] = BigEndianWord(MagicText + 4 * i);
    }
    for (int pass = 0; pass < 64; ++pass) {
        for (std::size_t i = 0; i < 6; i += 2) {
            Encrypt(state, block[i], block[i + 1]);
        }
    }
    for (std::size_t i = 0; i < 6; ++i) {
        rawHash[4 * i] = static_cast<std::uint8_t>(block[i] >> 24);
        rawHash[4 * i + 1] = static_cast<std::uint8_t>(block[i] >> 16);
        rawHash[4 * i + 2] = static_cast<std::uint8_t>(block[i] >> 8);
        rawHash[4 * i + 3] = static_cast<std::uint8_t>(block[i]);
    }
}
