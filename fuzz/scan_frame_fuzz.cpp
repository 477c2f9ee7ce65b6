#include "forwarding/scan_frame.h"
#include "listener/frame_decoder.h"

#include <cstdlib>

namespace {

// Two frames of the scan back to back, as one read; with `paused`, then the stream pauses.
std::vector<DecodedScan> DecodeTwice(const std::string& scan, bool endsAtEnter, bool paused) {
    FrameDecoder decoder;
    decoder.endsAtEnter = endsAtEnter;
    auto scans = DecodeBytes(decoder, BuildScanFrame(scan) + BuildScanFrame(scan));
    if (paused) {
        auto rest = FinishFrames(decoder);
        scans.insert(scans.end(), rest.begin(), rest.end());
    }
    if (decoder.droppedFrames != 0 || decoder.strayBytes != 0) {
        std::abort();
    }
    return scans;
}

}  // namespace

// Any scan survives the trip through a frame and the reference decoder unchanged: the next
// marker ends a frame whole, a pause leaves the last one possibly incomplete, and with the
// Enter rule a scan whose only CR is its last byte needs no pause at all.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string scan(reinterpret_cast<const char*>(data), size);
    std::string frame = BuildScanFrame(scan);
    size_t expected = 10;
    for (unsigned char byte : scan) {
        expected += byte < 10 ? 3 : byte < 100 ? 4 : 5;
    }
    if (frame.size() != expected || frame.size() > 10 + 5 * scan.size()) {
        std::abort();
    }
    std::string plain;
    for (char byte : scan) {
        if (byte != '\r') {
            plain.push_back(byte);
        }
    }
    std::string ended = plain + '\r';
    using Scans = std::vector<DecodedScan>;
    Scans markerThenPause = scan.empty() ? Scans{} : Scans{{scan, false}, {scan, true}};
    Scans plainTwice = plain.empty() ? Scans{} : Scans{{plain, false}, {plain, true}};
    if (DecodeTwice(scan, false, true) != markerThenPause ||
        DecodeTwice(plain, true, true) != plainTwice ||
        DecodeTwice(ended, true, false) != Scans{{ended, false}, {ended, false}}) {
        std::abort();
    }
    return 0;
}
