#include "listener/frame_decoder.h"

#include "common/scan_text.h"

#include <algorithm>
#include <cstdio>

namespace {

const std::string Marker("\xDD\xFETOVAK\x01\xFE\xDE", 10);
constexpr size_t MaxDigits = 3;

// A frame ends whole only at the next marker or, with the Enter rule, after its [13].
void EndFrame(FrameDecoder& decoder, bool maybeIncomplete, std::vector<DecodedScan>& scans) {
    if (!decoder.scan.empty()) {
        scans.push_back({decoder.scan, maybeIncomplete});
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

// The bytes from `at` to the end are the start of a marker whose rest has not arrived yet.
bool MarkerMayFollow(const std::string& unread, size_t at) {
    size_t left = unread.size() - at;
    return left < Marker.size() && Marker.compare(0, left, unread, at) == 0;
}

// Skips to the next marker, counting the bytes skipped; keeps a tail that may be the start of
// one.
bool FindMarker(FrameDecoder& decoder, size_t& at) {
    const std::string& unread = decoder.unread;
    size_t found = unread.find(Marker, at);
    size_t end = found;
    if (found == std::string::npos) {
        end = std::max(at, unread.size() - std::min(unread.size(), Marker.size() - 1));
        while (end < unread.size() && !MarkerMayFollow(unread, end)) {
            ++end;
        }
    }
    decoder.strayBytes += end - at;
    at = end;
    if (found == std::string::npos) {
        return false;
    }
    at += Marker.size();
    decoder.inFrame = true;
    decoder.scan.clear();
    return true;
}

}  // namespace

std::vector<DecodedScan> DecodeBytes(FrameDecoder& decoder, const std::string& bytes) {
    std::vector<DecodedScan> scans;
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
                if (decoder.endsAtEnter && decoder.scan.back() == '\r') {
                    EndFrame(decoder, false, scans);
                }
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
        if (MarkerMayFollow(decoder.unread, at)) {
            break;  // wait for the rest of it
        }
        // The next marker ends the frame; a stray byte after the last whole group ends it too,
        // but leaves open whether groups were lost.
        bool atMarker = decoder.unread.compare(at, Marker.size(), Marker) == 0;
        EndFrame(decoder, !atMarker, scans);
    }
    decoder.unread.erase(0, at);
    return scans;
}

std::vector<DecodedScan> FinishFrames(FrameDecoder& decoder) {
    std::vector<DecodedScan> scans;
    if (decoder.inFrame && decoder.inGroup) {
        DropFrame(decoder);
    } else if (decoder.inFrame) {
        EndFrame(decoder, true, scans);
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
