// Per-key bookkeeping of the capture thread: which releases belong to the system, and the
// strokes of a keyboard that cannot be identified yet.
#pragma once

#include "capture/interception_driver.h"

#include <bitset>
#include <cstddef>
#include <vector>

// A key by its code and E0 prefix (right Ctrl is not left Ctrl).
size_t KeyIndex(const InterceptionKeyStroke& key);
InterceptionKeyStroke KeyOf(const InterceptionStrokeBuffer& stroke);

// The scanner's strokes are withheld, except the release of a key the system saw go down
// before capture started (or before the scanner came to its number): without it the system
// would keep the key held and repeat it. Only each key's first down period is in doubt; later
// ones are withheld.
struct ReleaseTracker {
    std::bitset<512> seen;         // a stroke of the key arrived since tracking started
    std::bitset<512> firstPeriod;  // the key is in the first down period seen
    std::bitset<512> repeating;    // ... and it repeated: it was held down, maybe from before
};

// Notes the stroke; true when it is a release that the system must get.
bool ReleaseBelongsToTheSystem(ReleaseTracker& tracker, size_t key, bool released);

// Strokes of a keyboard whose hardware id the driver cannot give yet: it may be the scanner,
// so nothing of it reaches the system until it is known, and a few seconds of typing at most
// are kept for it.
constexpr size_t HeldStrokeLimit = 256;

struct HeldStrokes {
    std::vector<InterceptionStrokeBuffer> strokes;
    std::bitset<512> down;  // keys whose press is among the strokes
};

enum class HoldOutcome {
    Held,
    ToSystem,  // a release whose press was never held here: the system may hold the key
    Dropped,   // a press beyond the limit
};

// Holds the stroke or says what else becomes of it. A release of a held press is always
// held, so that a keyboard found to be another one gives the system every release it needs.
HoldOutcome HoldStroke(HeldStrokes& held, const InterceptionStrokeBuffer& stroke);
