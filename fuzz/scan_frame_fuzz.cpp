#include "forwarding/scan_frame.h"
#include "listener/frame_decoder.h"

#include <cstdlib>

// Any scan survives the trip through a frame and the reference decoder unchanged.
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
    FrameDecoder decoder;
    auto scans = DecodeBytes(decoder, frame + frame);
    auto rest = FinishFrames(decoder);
    scans.insert(scans.end(), rest.begin(), rest.end());
    size_t wanted = scan.empty() ? 0 : 2;
    if (scans.size() != wanted || (wanted == 2 && (scans[0] != scan || scans[1] != scan))) {
        std::abort();
    }
    return 0;
}
