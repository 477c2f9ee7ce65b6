#include "listener/frame_decoder.h"

#include <cstdlib>

namespace {

std::vector<std::string> DecodeInPieces(const std::string& stream, size_t split) {
    FrameDecoder decoder;
    auto scans = DecodeBytes(decoder, stream.substr(0, split));
    auto more = DecodeBytes(decoder, stream.substr(split));
    scans.insert(scans.end(), more.begin(), more.end());
    auto rest = FinishFrames(decoder);
    scans.insert(scans.end(), rest.begin(), rest.end());
    return scans;
}

}  // namespace

// Whatever a client receives, how the reads cut the stream changes nothing.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) {
        return 0;
    }
    std::string stream(reinterpret_cast<const char*>(data + 1), size - 1);
    size_t split = stream.empty() ? 0 : data[0] % (stream.size() + 1);
    if (DecodeInPieces(stream, split) != DecodeInPieces(stream, 0)) {
        std::abort();
    }
    return 0;
}
