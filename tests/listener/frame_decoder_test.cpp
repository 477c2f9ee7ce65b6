#include "listener/frame_decoder.h"

#include "forwarding/scan_frame.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Scans = std::vector<std::string>;

// Feeds the stream in the given pieces, then ends it.
Scans Decode(const std::vector<std::string>& pieces, size_t* dropped = nullptr) {
    FrameDecoder decoder;
    Scans scans;
    for (const std::string& piece : pieces) {
        for (auto& scan : DecodeBytes(decoder, piece)) {
            scans.push_back(scan);
        }
    }
    for (auto& scan : FinishFrames(decoder)) {
        scans.push_back(scan);
    }
    if (dropped != nullptr) {
        *dropped = decoder.droppedFrames;
    }
    return scans;
}

const std::string Scan1 = "AB7\r", Scan2 = std::string("x\0\xff\xe9", 4), Scan3 = "0";

TEST(FrameDecoder, StreamSplitAtEveryByteOffsetGivesTheSameScans) {
    std::string stream = BuildScanFrame(Scan1) + BuildScanFrame(Scan2) + BuildScanFrame(Scan3);
    const Scans expected = {Scan1, Scan2, Scan3};
    EXPECT_EQ(expected, Decode({stream}));
    for (size_t split = 0; split <= stream.size(); ++split) {
        EXPECT_EQ(expected, Decode({stream.substr(0, split), stream.substr(split)})) << split;
    }
    std::vector<std::string> bytes;
    for (char c : stream) {
        bytes.emplace_back(1, c);
    }
    EXPECT_EQ(expected, Decode(bytes));
}

TEST(FrameDecoder, FrameIsCompleteWhenTheNextMarkerBegins) {
    FrameDecoder decoder;
    EXPECT_TRUE(DecodeBytes(decoder, BuildScanFrame(Scan1)).empty());
    EXPECT_EQ(Scans{Scan1}, DecodeBytes(decoder, BuildScanFrame(Scan2)));
    EXPECT_EQ(Scans{Scan2}, FinishFrames(decoder));
}

struct GarbageCase {
    const char* name;
    std::string stream;
    Scans scans;
    size_t dropped;
};

TEST(FrameDecoder, GarbageIsSkippedWithoutLosingTheNextFrame) {
    const std::string f1 = BuildScanFrame(Scan1), f2 = BuildScanFrame(Scan2);
    const GarbageCase cases[] = {
        {"before",
         "hello\xDD\xFE"
         "TOVA" +
             f1,
         {Scan1},
         0},
        {"between", f1 + "garbage]]" + f2, {Scan1, Scan2}, 0},
        {"marker start between", f1 + "\xDD\xFE\x00" + f2, {Scan1, Scan2}, 0},
        {"inside a group", f1.substr(0, 13) + "x" + f2, {Scan2}, 1},
        {"value above 255", std::string(f1.data(), 10) + "[256]" + f2, {Scan2}, 1},
        {"empty group", std::string(f1.data(), 10) + "[]" + f2, {Scan2}, 1},
        {"leading zero", std::string(f1.data(), 10) + "[065]" + f2, {Scan2}, 1},
        {"too many digits", std::string(f1.data(), 10) + "[1234567890123]" + f2, {Scan2}, 1},
        {"cut inside a group at the end", f1 + f2.substr(0, f2.size() - 2), {Scan1}, 1},
        {"cut between groups at the end", f1 + f2.substr(0, 15), {Scan1, "x"}, 0},
        {"marker alone", std::string(f1.data(), 10), {}, 0},
    };
    for (const GarbageCase& c : cases) {
        size_t dropped = 0;
        EXPECT_EQ(c.scans, Decode({c.stream}, &dropped)) << c.name;
        EXPECT_EQ(c.dropped, dropped) << c.name;
    }
}

TEST(FrameDecoder, LongScanSurvivesSmallReads) {
    std::string scan;
    for (int k = 0; k < 7000; ++k) {
        scan.push_back(static_cast<char>(k % 256));
    }
    std::string stream = BuildScanFrame(scan) + BuildScanFrame(Scan3);
    std::vector<std::string> pieces;
    for (size_t at = 0; at < stream.size(); at += 7) {
        pieces.push_back(stream.substr(at, 7));
    }
    EXPECT_EQ((Scans{scan, Scan3}), Decode(pieces));
}

TEST(FrameDecoder, ControlBytesAreShownEscaped) {
    EXPECT_EQ("AB7<CR>", EscapeScan("AB7\r"));
    EXPECT_EQ("a<HT>b<ESC><LF>\\<NUL>\\xff<DEL><US>\\x80~",
              EscapeScan(std::string("a\tb\x1b\n\\\0\xff\x7f\x1f\x80~", 12)));
}

}  // namespace
