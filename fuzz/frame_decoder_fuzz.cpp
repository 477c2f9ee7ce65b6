#include "listener/frame_decoder.h"

#include <cstdlib>

namespace {

struct Decoded {
    std::vector<DecodedScan> scans;
    size_t dropped;
    size_t stray;

    bool operator==(const Decoded&) const = default;
};

Decoded DecodeInPieces(const std::string& stream, size_t split, bool endsAtEnter) {
    FrameDecoder decoder;
    decoder.endsAtEnter = endsAtEnter;
    auto scans = DecodeBytes(decoder, stream.substr(0, split));
    auto more = DecodeBytes(decoder, stream.substr(split));
    scans.insert(scans.end(), more.begin(), more.end());
    auto rest = FinishFrames(decoder);
    scans.insert(scans.end(), rest.begin(), rest.end());
    return {scans, decoder.droppedFrames, decoder.strayBytes};
}

}  // namespace

// Whatever a client receives, how the reads cut the stream changes nothing; with the Enter
// rule, a CR is only ever a scan's last byte, and a scan it ends is whole.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) {
        return 0;
    }
    bool endsAtEnter = (data[0] & 1) != 0;
    std::string stream(reinterpret_cast<const char*>(data + 2), size - 2);
    size_t split = data[1] % (stream.size() + 1);
    Decoded whole = DecodeInPieces(stream, 0, endsAtEnter);
    if (DecodeInPieces(stream, split, endsAtEnter) != whole) {
        std::abort();
    }
    for (const DecodedScan& scan : whole.scans) {
        size_t enter = scan.bytes.find('\r');
        if (scan.bytes.empty() || (endsAtEnter && enter != std::string::npos &&
                                   (enter + 1 != scan.bytes.size() || scan.maybeIncomplete))) {
            std::abort();
        }
    }
    return 0;
}
