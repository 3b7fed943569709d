// The cartridge header of the GBA images: what a real GBA's BIOS and flash-cartridge loaders
// check (mGBA boots without it, so only this test notices a broken one).
#include "harness.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

// MD5 (RFC 1321), enough for a 156-byte logo.
std::string md5Hex(const std::uint8_t* data, std::size_t size) {
    static const std::uint32_t k[64] = {
        0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613,
        0xfd469501, 0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193,
        0xa679438e, 0x49b40821, 0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d,
        0x02441453, 0xd8a1e681, 0xe7d3fbc8, 0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed,
        0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a, 0xfffa3942, 0x8771f681, 0x6d9d6122,
        0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70, 0x289b7ec6, 0xeaa127fa,
        0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665, 0xf4292244,
        0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
        0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb,
        0xeb86d391};
    static const int r[64] = {7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22,
                              5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20,
                              4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23,
                              6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21};
    std::vector<std::uint8_t> msg(data, data + size);
    msg.push_back(0x80);
    while (msg.size() % 64 != 56)
        msg.push_back(0);
    std::uint64_t bits = static_cast<std::uint64_t>(size) * 8;
    for (int i = 0; i < 8; ++i)
        msg.push_back(static_cast<std::uint8_t>(bits >> (8 * i)));
    std::uint32_t h[4] = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};
    for (std::size_t block = 0; block < msg.size(); block += 64) {
        std::uint32_t w[16];
        for (int i = 0; i < 16; ++i)
            w[i] = static_cast<std::uint32_t>(msg[block + 4 * i]) |
                   static_cast<std::uint32_t>(msg[block + 4 * i + 1]) << 8 |
                   static_cast<std::uint32_t>(msg[block + 4 * i + 2]) << 16 |
                   static_cast<std::uint32_t>(msg[block + 4 * i + 3]) << 24;
        std::uint32_t a = h[0], b = h[1], c = h[2], d = h[3];
        for (int i = 0; i < 64; ++i) {
            std::uint32_t f;
            int g;
            if (i < 16) {
                f = (b & c) | (~b & d);
                g = i;
            } else if (i < 32) {
                f = (d & b) | (~d & c);
                g = (5 * i + 1) % 16;
            } else if (i < 48) {
                f = b ^ c ^ d;
                g = (3 * i + 5) % 16;
            } else {
                f = c ^ (b | ~d);
                g = (7 * i) % 16;
            }
            std::uint32_t t = d;
            d = c;
            c = b;
            std::uint32_t x = a + f + k[i] + w[g];
            b = b + (x << r[i] | x >> (32 - r[i]));
            a = t;
        }
        h[0] += a;
        h[1] += b;
        h[2] += c;
        h[3] += d;
    }
    std::string hex;
    for (std::uint32_t word : h)
        for (int i = 0; i < 4; ++i) {
            char byte[3];
            std::snprintf(byte, sizeof byte, "%02x", (word >> (8 * i)) & 0xFF);
            hex += byte;
        }
    return hex;
}

class GbaHeader : public ::testing::TestWithParam<const char*> {};

TEST(GbaHeaderMd5, KnownVectors) {
    EXPECT_EQ(md5Hex(nullptr, 0), "d41d8cd98f00b204e9800998ecf8427e");
    const std::string abc = "abc";
    EXPECT_EQ(md5Hex(reinterpret_cast<const std::uint8_t*>(abc.data()), abc.size()),
              "900150983cd24fb0d6963f7d28e17f72");
}

TEST_P(GbaHeader, IsOneRealHardwareAccepts) {
    const auto image = gbatest::readFile(std::string(TAPELOOM_GBA_IMAGE_DIR) + "/" + GetParam());
    ASSERT_GT(image.size(), 0xC0u);
    EXPECT_EQ(image[3], 0xEA) << "offset 0 must be a branch (b start)";
    EXPECT_EQ(md5Hex(image.data() + 4, 156), "e0434707845307679464ae1c22f0ec2d");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(image.data() + 0xA0), 8), "TAPELOOM");
    EXPECT_EQ(image[0xB2], 0x96);
    unsigned sum = 0;
    for (std::size_t i = 0xA0; i <= 0xBC; ++i)
        sum += image[i];
    EXPECT_EQ(image[0xBD], static_cast<std::uint8_t>(-(sum + 0x19)));
}

TEST_P(GbaHeader, EndsWithItsMarkerOnAWordBoundary) {
    // The build checks __image_end against the file size; the table the packer appends is then
    // read word aligned right after this marker.
    const auto image = gbatest::readFile(std::string(TAPELOOM_GBA_IMAGE_DIR) + "/" + GetParam());
    ASSERT_GE(image.size(), 4u);
    EXPECT_EQ(image.size() % 4, 0u);
    EXPECT_EQ(std::string(image.end() - 4, image.end()), "TPL!");
}

INSTANTIATE_TEST_SUITE_P(Images, GbaHeader, ::testing::Values("tpl.gba", "tpl_menu.gba"));

} // namespace
