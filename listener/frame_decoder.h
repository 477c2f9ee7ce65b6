// Decodes the program's TCP stream into scans. Frames have no length and no terminator: a
// frame ends where the next marker begins, or, when scans end at their Enter, right after its
// [13] group. A last frame that neither ends is handed out at a pause (Finish), marked as
// possibly incomplete: the program sends every frame in one piece, but a pause after a whole
// group cannot tell a finished frame from a network that stalled inside one.
#pragma once

#include <string>
#include <vector>

struct DecodedScan {
    std::string bytes;
    bool maybeIncomplete = false;  // ended by a pause or a stray byte, not by what ends a frame

    bool operator==(const DecodedScan&) const = default;
};

struct FrameDecoder {
    // A CR can only be a scan's last byte (the program's End=enter and End=tab), so a [13]
    // group ends the frame. Off for End=pause, where CR is a data byte like any other.
    bool endsAtEnter = true;
    std::string unread;  // bytes not yet looked at
    bool inFrame = false;
    bool inGroup = false;
    std::string digits;
    std::string scan;
    size_t droppedFrames = 0;  // frames with a broken group, or cut off inside a group
    size_t strayBytes = 0;     // bytes skipped outside any frame, such as the rest of a frame
                               // already handed out at a pause
};

// Takes the next bytes of the stream; returns the scans completed by them, in order.
std::vector<DecodedScan> DecodeBytes(FrameDecoder& decoder, const std::string& bytes);

// The stream paused or ended: a frame in progress that ends with a whole group is handed out
// as possibly incomplete; one cut inside a group is dropped.
std::vector<DecodedScan> FinishFrames(FrameDecoder& decoder);

// A scan as one readable line: printable ASCII as it is, control bytes by their names in
// angle brackets ("<GS>", "<CR>"), bytes past ASCII as "\xHH".
std::string EscapeScan(const std::string& scan);
