#include "listener/frame_decoder.h"

#include "forwarding/scan_frame.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

void PrintTo(const DecodedScan& scan, std::ostream* out) {
    *out << '"' << EscapeScan(scan.bytes) << (scan.maybeIncomplete ? "\" maybe incomplete" : "\"");
}

namespace {

using Scans = std::vector<DecodedScan>;

// Feeds the stream in the given pieces, then ends it; the decoder keeps the counts.
Scans Decode(const std::vector<std::string>& pieces, FrameDecoder& decoder) {
    Scans scans;
    for (const std::string& piece : pieces) {
        for (auto& scan : DecodeBytes(decoder, piece)) {
            scans.push_back(scan);
        }
    }
    for (auto& scan : FinishFrames(decoder)) {
        scans.push_back(scan);
    }
    return scans;
}

Scans Decode(const std::vector<std::string>& pieces, bool endsAtEnter = true) {
    FrameDecoder decoder;
    decoder.endsAtEnter = endsAtEnter;
    return Decode(pieces, decoder);
}

DecodedScan Whole(const std::string& bytes) {
    return {bytes, false};
}
DecodedScan MaybeCut(const std::string& bytes) {
    return {bytes, true};
}

const std::string Scan1 = "AB7\r", Scan2 = std::string("x\0\xff\xe9", 4), Scan3 = "0";

TEST(FrameDecoder, StreamSplitAtEveryByteOffsetGivesTheSameScans) {
    std::string stream = BuildScanFrame(Scan1) + BuildScanFrame(Scan2) + BuildScanFrame(Scan3);
    const Scans expected = {Whole(Scan1), Whole(Scan2), MaybeCut(Scan3)};
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
    EXPECT_TRUE(DecodeBytes(decoder, BuildScanFrame(Scan2)).empty());
    EXPECT_EQ(Scans{Whole(Scan2)}, DecodeBytes(decoder, BuildScanFrame(Scan3)));
    EXPECT_EQ(Scans{MaybeCut(Scan3)}, FinishFrames(decoder));
    EXPECT_TRUE(FinishFrames(decoder).empty());
}

TEST(FrameDecoder, EnterEndsTheFrameWithoutWaitingForAPause) {
    FrameDecoder decoder;
    EXPECT_EQ(Scans{Whole(Scan1)}, DecodeBytes(decoder, BuildScanFrame(Scan1)));
    EXPECT_TRUE(FinishFrames(decoder).empty());
}

struct EnterCase {
    const char* name;
    bool endsAtEnter;
    std::string stream;
    Scans scans;
    size_t stray;
};

TEST(FrameDecoder, EnterRuleGivesTheSameScansHoweverTheStreamIsSplit) {
    const std::string inside = BuildScanFrame("A\rB"), tail = BuildScanFrame("\r\n\t");
    const EnterCase cases[] = {
        {"frames ending in CR",
         true,
         BuildScanFrame("AB\r") + BuildScanFrame("\r") + BuildScanFrame(Scan2) +
             BuildScanFrame("C\r"),
         {Whole("AB\r"), Whole("\r"), Whole(Scan2), Whole("C\r")},
         0},
        {"CR inside a scan, rule on", true, inside, {Whole("A\r")}, 4},
        {"CR inside a scan, rule off",
         false,
         inside + tail,
         {Whole("A\rB"), MaybeCut("\r\n\t")},
         0},
        {"last frame ending in CR, rule off", false, BuildScanFrame(Scan1), {MaybeCut(Scan1)}, 0},
    };
    for (const EnterCase& c : cases) {
        for (size_t split = 0; split <= c.stream.size(); ++split) {
            FrameDecoder decoder;
            decoder.endsAtEnter = c.endsAtEnter;
            EXPECT_EQ(c.scans, Decode({c.stream.substr(0, split), c.stream.substr(split)}, decoder))
                << c.name << " split at " << split;
            EXPECT_EQ(c.stray, decoder.strayBytes) << c.name << " split at " << split;
        }
    }
}

TEST(FrameDecoder, RestOfAFrameHandedOutAtAPauseIsCountedAsStray) {
    const std::string frame = BuildScanFrame("AB\r");
    FrameDecoder decoder;
    EXPECT_TRUE(DecodeBytes(decoder, frame.substr(0, 18)).empty());
    EXPECT_EQ(Scans{MaybeCut("AB")}, FinishFrames(decoder));
    EXPECT_EQ(Scans{Whole(Scan2)},
              DecodeBytes(decoder, frame.substr(18) + BuildScanFrame(Scan2) + BuildScanFrame("")));
    EXPECT_EQ(4u, decoder.strayBytes);
    EXPECT_EQ(0u, decoder.droppedFrames);
}

struct GarbageCase {
    const char* name;
    std::string stream;
    Scans scans;
    size_t dropped;
    size_t stray;
};

TEST(FrameDecoder, GarbageIsSkippedWithoutLosingTheNextFrame) {
    const std::string f1 = BuildScanFrame(Scan1), f2 = BuildScanFrame(Scan2);
    const GarbageCase cases[] = {
        {"before",
         "hello\xDD\xFE"
         "TOVA" +
             f1,
         {Whole(Scan1)},
         0,
         11},
        {"between", f1 + "garbage]]" + f2, {Whole(Scan1), MaybeCut(Scan2)}, 0, 9},
        {"marker start between", f1 + "\xDD\xFE" + f2, {Whole(Scan1), MaybeCut(Scan2)}, 0, 2},
        {"after groups", f2 + "x" + f1, {MaybeCut(Scan2), Whole(Scan1)}, 0, 1},
        {"inside a group", f1.substr(0, 13) + "x" + f2, {MaybeCut(Scan2)}, 1, 1},
        {"value above 255", std::string(f1.data(), 10) + "[256]" + f2, {MaybeCut(Scan2)}, 1, 1},
        {"empty group", std::string(f1.data(), 10) + "[]" + f2, {MaybeCut(Scan2)}, 1, 1},
        {"leading zero", std::string(f1.data(), 10) + "[065]" + f2, {MaybeCut(Scan2)}, 1, 1},
        {"leading zero of two", std::string(f1.data(), 10) + "[05]" + f2, {MaybeCut(Scan2)}, 1, 1},
        {"too many digits",
         std::string(f1.data(), 10) + "[1234567890123]" + f2,
         {MaybeCut(Scan2)},
         1,
         11},
        {"cut inside a group at the end", f1 + f2.substr(0, f2.size() - 2), {Whole(Scan1)}, 1, 0},
        {"cut between groups at the end",
         f1 + f2.substr(0, 15),
         {Whole(Scan1), MaybeCut("x")},
         0,
         0},
        {"marker alone", std::string(f1.data(), 10), {}, 0, 0},
    };
    for (const GarbageCase& c : cases) {
        FrameDecoder decoder;
        EXPECT_EQ(c.scans, Decode({c.stream}, decoder)) << c.name;
        EXPECT_EQ(c.dropped, decoder.droppedFrames) << c.name;
        EXPECT_EQ(c.stray, decoder.strayBytes) << c.name;
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
    EXPECT_EQ((Scans{Whole(scan), MaybeCut(Scan3)}), Decode(pieces, false));
}

TEST(FrameDecoder, ControlBytesAreShownEscaped) {
    EXPECT_EQ("AB7<CR>", EscapeScan("AB7\r"));
    EXPECT_EQ("a<HT>b<ESC><LF>\\<NUL>\\xff<DEL><US>\\x80~",
              EscapeScan(std::string("a\tb\x1b\n\\\0\xff\x7f\x1f\x80~", 12)));
}

}  // namespace
