#include "listener/frame_decoder.h"

#include "common/scan_text.h"

#include <algorithm>
#include <cstdio>

namespace {

const std::string Marker("\xDD\xFETOVAK\x01\xFE\xDE", 10);
constexpr size_t MaxDigits = 3;

void EndFrame(FrameDecoder& decoder, std::vector<std::string>& scans) {
    if (!decoder.scan.empty()) {
        scans.push_back(decoder.scan);
    }
    decoder.scan.clear();
    decoder.inFrame = false;
    decoder.inGroup = false;
}

void DropFrame(FrameDecoder& decoder) {
    ++decoder.droppedFrames;
    decoder.scan.clear();
    decoder.digits.clear();
    decoder.inFrame = false;
    decoder.inGroup = false;
}

// Ends a group at its closing bracket; false for a group that is not a byte value.
bool CloseGroup(FrameDecoder& decoder) {
    const std::string& digits = decoder.digits;
    if (digits.empty() || (digits.size() > 1 && digits[0] == '0')) {
        return false;
    }
    int value = std::stoi(digits);
    if (value > 255) {
        return false;
    }
    decoder.scan.push_back(static_cast<char>(value));
    decoder.inGroup = false;
    return true;
}

// Skips to the next marker; keeps a tail that may be the start of one.
bool FindMarker(FrameDecoder& decoder, size_t& at) {
    size_t found = decoder.unread.find(Marker, at);
    if (found == std::string::npos) {
        size_t keep = Marker.size() - 1;
        size_t tail = decoder.unread.size() > keep ? decoder.unread.size() - keep : 0;
        at = std::max(at, tail);
        return false;
    }
    at = found + Marker.size();
    decoder.inFrame = true;
    decoder.scan.clear();
    return true;
}

}  // namespace

std::vector<std::string> DecodeBytes(FrameDecoder& decoder, const std::string& bytes) {
    std::vector<std::string> scans;
    decoder.unread += bytes;
    size_t at = 0;
    while (at < decoder.unread.size()) {
        if (!decoder.inFrame) {
            if (!FindMarker(decoder, at)) {
                break;
            }
            continue;
        }
        char byte = decoder.unread[at];
        if (decoder.inGroup) {
            if (byte >= '0' && byte <= '9' && decoder.digits.size() < MaxDigits) {
                decoder.digits.push_back(byte);
                ++at;
            } else if (byte == ']' && CloseGroup(decoder)) {
                ++at;
            } else {
                DropFrame(decoder);  // the byte is looked at again, outside a frame
            }
            continue;
        }
        if (byte == '[') {
            decoder.inGroup = true;
            decoder.digits.clear();
            ++at;
            continue;
        }
        if (byte == Marker[0] && decoder.unread.size() - at < Marker.size() &&
            Marker.compare(0, decoder.unread.size() - at, decoder.unread, at) == 0) {
            break;  // maybe the next marker: wait for the rest of it
        }
        // The next marker, or garbage after the last whole group: either way the frame ends.
        EndFrame(decoder, scans);
    }
    decoder.unread.erase(0, at);
    return scans;
}

std::vector<std::string> FinishFrames(FrameDecoder& decoder) {
    std::vector<std::string> scans;
    if (decoder.inFrame && decoder.inGroup) {
        DropFrame(decoder);
    } else if (decoder.inFrame) {
        EndFrame(decoder, scans);
    }
    return scans;
}

std::string EscapeScan(const std::string& scan) {
    // Control bytes by name, as the program's log shows them; bytes past ASCII in hex, so that
    // the console shows what arrived whatever its code page.
    std::string text;
    for (char c : NameControlBytes(scan)) {
        auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            text.push_back(c);
        } else {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02x", byte);
            text += hex;
        }
    }
    return text;
}
