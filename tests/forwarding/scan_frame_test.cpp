#include "forwarding/scan_frame.h"

#include "forwarding/tcp_server.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// DD FE "TOVAK" 01 FE DE, written out from the wire format rather than taken from the code.
const std::string Marker = std::string("\xDD\xFE", 2) + "TOVAK" + std::string("\x01\xFE\xDE", 3);

struct FrameCase {
    std::string scan;
    std::string body;
};

TEST(ScanFrame, BytesAreMarkerThenOneDecimalGroupPerByte) {
    const FrameCase cases[] = {
        {"AB\r", "[65][66][13]"},        {"AB", "[65][66]"}, {"0", "[48]"},
        {std::string("\x00", 1), "[0]"}, {"\xFF", "[255]"},  {"\xE9", "[233]"},
        {"\x08\x09\x1B", "[8][9][27]"},
    };
    for (const FrameCase& c : cases) {
        EXPECT_EQ(Marker + c.body, BuildScanFrame(c.scan));
    }
    EXPECT_EQ(22u, BuildScanFrame("AB\r").size());
    EXPECT_EQ(18u, BuildScanFrame("AB").size());
    EXPECT_EQ(14u, BuildScanFrame("0").size());
}

TEST(ScanFrame, LengthIsTenPlusTwoAndTheDigitsOfEachByteWithinTheBound) {
    std::string everyByte;
    size_t expected = 10;
    for (int value = 0; value < 256; ++value) {
        everyByte.push_back(static_cast<char>(value));
        expected += 2 + (value < 10 ? 1 : value < 100 ? 2 : 3);
    }
    std::string frame = BuildScanFrame(everyByte);
    EXPECT_EQ(expected, frame.size());
    EXPECT_LE(frame.size(), 10 + 5 * everyByte.size());
    // The body holds only brackets and digits, none of which can be mistaken for the marker.
    EXPECT_EQ(std::string::npos, frame.find_first_not_of("[]0123456789", 10));
    EXPECT_EQ(std::string("\xDD\xFE", 2), frame.substr(0, 2));
}

TEST(ScanFrame, WithoutAClientNothingIsSent) {
    ASSERT_EQ(InvalidSocket, clientSocket);
    EXPECT_FALSE(SendScanFrame("123\r"));
}

}  // namespace
