// The Blowfish cipher beneath bcrypt, against Eric Young's published ECB vectors.
#include "auth/Blowfish.h"

#include <cstring>
#include <gtest/gtest.h>
#include <vector>

namespace {

struct TEcbCase {
    std::uint64_t Key;
    std::uint64_t Plain;
    std::uint64_t Cipher;
};

void PrintTo(const TEcbCase& c, std::ostream* os) {
    *os << std::hex << c.Key;
}

class BlowfishEcb : public testing::TestWithParam<TEcbCase> {};

TEST_P(BlowfishEcb, EncryptsThePublishedBlock) {
    std::vector<std::uint8_t> key;
    for (int shift = 56; shift >= 0; shift -= 8) {
        key.push_back(static_cast<std::uint8_t>(GetParam().Key >> shift));
    }
    TBlowfishState state = BlowfishInitialState;
    BlowfishExpandKey(state, key);
    std::uint32_t left = static_cast<std::uint32_t>(GetParam().Plain >> 32);
    std::uint32_t right = static_cast<std::uint32_t>(GetParam().Plain);
    BlowfishEncrypt(state, left, right);
    EXPECT_EQ((std::uint64_t{left} << 32) | right, GetParam().Cipher);
}

INSTANTIATE_TEST_SUITE_P(
    EricYoung, BlowfishEcb,
    testing::Values(TEcbCase{0x0000000000000000, 0x0000000000000000, 0x4EF997456198DD78},
                    TEcbCase{0xFFFFFFFFFFFFFFFF, 0xFFFFFFFFFFFFFFFF, 0x51866FD5B85ECB8A},
                    TEcbCase{0x3000000000000000, 0x1000000000000001, 0x7D856F9A613063F2},
                    TEcbCase{0x1111111111111111, 0x1111111111111111, 0x2466DD878B963C9D},
                    TEcbCase{0x0123456789ABCDEF, 0x1111111111111111, 0x61F9C3802281B096},
                    TEcbCase{0x1111111111111111, 0x0123456789ABCDEF, 0x7D0CC630AFDA1EC7},
                    TEcbCase{0xFEDCBA9876543210, 0x0123456789ABCDEF, 0x0ACEAB0FC6A0A28D},
                    TEcbCase{0x7CA110454A1A6E57, 0x01A1D6D039776742, 0x59C68245EB05282B}));

TEST(BlowfishInitialState, HoldsTheHexadecimalDigitsOfPi) {
    // 3.243F6A88 85A308D3 ...: the P-array starts right after the point, and the last
    // S-box word ends the 1042-word run.
    EXPECT_EQ(BlowfishInitialState.P[0], 0x243F6A88u);
    EXPECT_EQ(BlowfishInitialState.P[1], 0x85A308D3u);
    EXPECT_EQ(BlowfishInitialState.P[17], 0x8979FB1Bu);
    EXPECT_EQ(BlowfishInitialState.S[0][0], 0xD1310BA6u);
    EXPECT_EQ(BlowfishInitialState.S[3][255], 0x3AC372E6u);
}

TEST(BlowfishExpandKey, EmptyKeyOnlyReencryptsTheState) {
    TBlowfishState empty = BlowfishInitialState;
    BlowfishExpandKey(empty, {});
    TBlowfishState zeroByte = BlowfishInitialState;
    const std::uint8_t zero[1] = {0};
    BlowfishExpandKey(zeroByte, zero);
    EXPECT_EQ(std::memcmp(&empty, &zeroByte, sizeof empty), 0);
    EXPECT_NE(std::memcmp(&empty, &BlowfishInitialState, sizeof empty), 0);
}

} // namespace
