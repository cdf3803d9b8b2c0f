// Packets: the transfer CRC, the serial frame rule, records and block arithmetic.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "protocol/packets.h"

namespace {

struct Crc : ::testing::Test {
    static void SetUpTestSuite() { BuildCrcTable(); }
};

TEST_F(Crc, KnownValuesAndTable)
{
    EXPECT_EQ(0x2DFD2D88u, Crc32Block("123456789", 9));
    EXPECT_EQ(0xCA6598D0u, Crc32Block("abc", 3));
    EXPECT_EQ(0u, Crc32Block("abc", 0));
    EXPECT_EQ(0u, Crc32Block("abc", -5));
    EXPECT_EQ(0x77073096u, CrcTable[1]);
    EXPECT_EQ(0x2D02EF8Du, CrcTable[255]);
    // The block message of "hello" carries the CRC as the bytes 9B 51 32 F0.
    uint32_t crc = Crc32Block("hello", 5);
    uint8_t b[4];
    memcpy(b, &crc, 4);
    EXPECT_EQ(0x9B, b[0]);
    EXPECT_EQ(0x51, b[1]);
    EXPECT_EQ(0x32, b[2]);
    EXPECT_EQ(0xF0, b[3]);
}

TEST(SerialFrameRule, ValidGarbledAndSilent)
{
    int bPurge = 1;
    EXPECT_EQ(0x61, SerialFrameCode((const uint8_t*)"\x61\xFF\x61\x11", 4, &bPurge));
    EXPECT_EQ(0, bPurge);
    EXPECT_EQ(0, SerialFrameCode((const uint8_t*)"\x61\xFF\x61\x10", 4, &bPurge));
    EXPECT_EQ(1, bPurge);
    EXPECT_EQ(0, SerialFrameCode((const uint8_t*)"\x01\x02\x03\x04", 4, &bPurge));
    EXPECT_EQ(0, bPurge);
    EXPECT_EQ(0, SerialFrameCode((const uint8_t*)"\x50\xFF\x51\x11", 4, &bPurge));
    EXPECT_EQ(1, bPurge);
    EXPECT_EQ(0, SerialFrameCode((const uint8_t*)"\x61\xFF\x61", 3, &bPurge));
    EXPECT_EQ(0, bPurge);
}

TEST(Records, PathConversionBothWays)
{
    XFERFILE rec;
    memset(&rec, 0xAB, sizeof rec);
    ASSERT_EQ(1, XferPathFromNarrow(&rec, "C:\\Temp\\caf\xE9.txt"));
    EXPECT_EQ(0xE9, rec.wszPath[11]);
    EXPECT_EQ(0, rec.wszPath[16]);
    char sz[256];
    EXPECT_EQ(1, XferPathToNarrow(&rec, sz));
    EXPECT_STREQ("C:\\Temp\\caf\xE9.txt", sz);

    std::string longPath(126, 'x');
    EXPECT_EQ(0, XferPathFromNarrow(&rec, longPath.c_str()));
    EXPECT_EQ(0, rec.wszPath[125]);

    // A unit above 255 cannot become one byte: reported, never passed through as-is.
    memset(&rec, 0, sizeof rec);
    rec.wszPath[0] = 'a';
    rec.wszPath[1] = 0x2215;
    rec.wszPath[2] = 'b';
    EXPECT_EQ(0, XferPathToNarrow(&rec, sz));
    EXPECT_STREQ("a?b", sz);

    // A record with no terminator stops at its 126 units.
    for (auto& u : rec.wszPath) u = 'z';
    XferPathToNarrow(&rec, sz);
    EXPECT_EQ(126u, strlen(sz));
}

TEST(PathFileNameTest, Parts)
{
    char name[128];
    PathFileName("C:\\Temp", name);
    EXPECT_STREQ("Temp", name);
    PathFileName("plain.txt", name);
    EXPECT_STREQ("plain.txt", name);
    PathFileName("C:\\Temp\\", name);
    EXPECT_STREQ("", name);
    PathFileName("", name);
    EXPECT_STREQ("", name);
    std::string longName = "C:\\" + std::string(100, 'a') + std::string(100, 'b');
    PathFileName(longName.c_str(), name);
    EXPECT_EQ(127u, strlen(name));
    EXPECT_EQ(std::string(27, 'a') + std::string(100, 'b'), name);
}

TEST(Blocks, CountsAndLengthsOnBothLinks)
{
    const int B = 4096;
    struct { uint32_t size; int serial, socket; } cases[] = {
        {0, 1, 0}, {B - 1, 1, 1}, {B, 2, 1}, {B + 1, 2, 2}, {3 * B, 4, 3}};
    for (auto& c : cases) {
        EXPECT_EQ(c.serial, BlockCount(c.size, B, 1)) << c.size;
        EXPECT_EQ(c.socket, BlockCount(c.size, B, 0)) << c.size;
    }
    EXPECT_EQ(0, BlockLength(0, 0, B));
    EXPECT_EQ(B - 1, BlockLength(0, B - 1, B));
    EXPECT_EQ(B, BlockLength(0, B, B));
    EXPECT_EQ(0, BlockLength(1, B, B));
    EXPECT_EQ(B, BlockLength(0, B + 1, B));
    EXPECT_EQ(1, BlockLength(1, B + 1, B));
    // Sizes near 4 GiB do not overflow the count.
    EXPECT_EQ(1048576, BlockCount(0xFFFFFFFFu, B, 0));
    EXPECT_EQ(1048576, BlockCount(0xFFFFFFFFu, B, 1));
    EXPECT_EQ(B - 1, BlockLength(1048575, 0xFFFFFFFFu, B));
}

}  // namespace

namespace {

// The eight-byte step, and the carry-less fold where the processor has one, must give exactly
// what one table lookup per byte gives, at every length and alignment.
TEST_F(Crc, MatchesTheBytewiseDefinition)
{
    std::vector<uint8_t> data(5000);
    uint32_t x = 7;
    for (auto& b : data) {
        x = x * 1664525u + 1013904223u;
        b = (uint8_t)(x >> 23);
    }
    for (int start = 0; start < 8; start++)
        for (int len : {0, 1, 7, 8, 9, 15, 16, 17, 63, 64, 65, 1000, 4096, 4991}) {
            uint32_t r = 0;
            for (int i = 0; i < len; i++)
                r = (r >> 8) ^ CrcTable[(r ^ data[start + i]) & 0xFF];
            EXPECT_EQ(r, Crc32Block(&data[start], len)) << start << " " << len;
        }
}

}  // namespace
