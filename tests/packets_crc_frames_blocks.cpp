// Packets: the transfer CRC against its bitwise definition, path records and the block
// arithmetic near 4 GiB. The exchanges on both links prove the rest.
#include <gtest/gtest.h>

#include <string>

#include "peer_wire.h"
#include "protocol/packets.h"

namespace {

// The table, the eight-byte step and the carry-less fold where the processor has one must all
// give the bit-by-bit CRC, at every length and alignment.
TEST(Crc, MatchesTheBitwiseDefinitionAtEveryLengthAndAlignment)
{
    BuildCrcTable();
    EXPECT_EQ(0x2DFD2D88u, Crc32Block("123456789", 9));
    EXPECT_EQ(0u, Crc32Block("abc", -5));
    std::string data = Pattern(5000, 7);
    for (int start = 0; start < 8; start++)
        for (int len : {0, 1, 7, 8, 9, 15, 16, 17, 63, 64, 65, 1000, 4096, 4991})
            EXPECT_EQ(Crc(data.substr(start, len)), Crc32Block(&data[start], len)) << start << " " << len;
}

// A path with no room for the terminator is refused; a name longer than the 128-byte field
// keeps its end. (Names with bytes above 127 go both ways in the transfer tests.)
TEST(Records, PathsNeverOverrunTheirFields)
{
    XFERFILE rec;
    EXPECT_EQ(0, XferPathFromNarrow(&rec, std::string(126, 'x').c_str()));
    EXPECT_EQ(0, rec.wszPath[125]);
    char name[128];
    PathFileName(("C:\\" + std::string(100, 'a') + std::string(100, 'b')).c_str(), name);
    EXPECT_EQ(std::string(27, 'a') + std::string(100, 'b'), name);
}

TEST(Blocks, SizesNear4GiBDoNotOverflow)
{
    EXPECT_EQ(1048576, BlockCount(0xFFFFFFFFu, 4096, 0));
    EXPECT_EQ(1048576, BlockCount(0xFFFFFFFFu, 4096, 1));
    EXPECT_EQ(4095, BlockLength(1048575, 0xFFFFFFFFu, 4096));
}

}  // namespace
