// Decodes the program's TCP stream into scans. Frames have no length and no terminator: a
// frame ends where the next marker begins, or, since the program sends every frame in one
// piece, when the stream pauses after a closing bracket (Finish).
#pragma once

#include <string>
#include <vector>

struct FrameDecoder {
    std::string unread;  // bytes not yet looked at
    bool inFrame = false;
    bool inGroup = false;
    std::string digits;
    std::string scan;
    size_t droppedFrames = 0;  // frames with a broken group, or cut off inside a group
};

// Takes the next bytes of the stream; returns the scans completed by them, in order.
std::vector<std::string> DecodeBytes(FrameDecoder& decoder, const std::string& bytes);

// The stream paused or ended: a frame in progress that ends with a whole group is complete;
// one cut inside a group is dropped.
std::vector<std::string> FinishFrames(FrameDecoder& decoder);

// A scan as one readable line: printable ASCII as it is, control bytes by their names in
// angle brackets ("<GS>", "<CR>"), bytes past ASCII as "\xHH".
std::string EscapeScan(const std::string& scan);
