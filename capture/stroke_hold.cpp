#include "capture/stroke_hold.h"

#include <cstring>

size_t KeyIndex(const InterceptionKeyStroke& key) {
    return (key.code & 0xFFu) | ((key.state & InterceptionKeyE0) != 0 ? 0x100u : 0u);
}

InterceptionKeyStroke KeyOf(const InterceptionStrokeBuffer& stroke) {
    InterceptionKeyStroke key;
    std::memcpy(&key, stroke.bytes, sizeof key);
    return key;
}

bool ReleaseBelongsToTheSystem(ReleaseTracker& tracker, size_t key, bool released) {
    if (!released) {
        if (!tracker.seen.test(key)) {
            tracker.seen.set(key);
            tracker.firstPeriod.set(key);
        } else if (tracker.firstPeriod.test(key)) {
            tracker.repeating.set(key);
        }
        return false;
    }
    // A release with no press before it, or one ending a key held across the start and
    // auto-repeating since: the system saw that key go down.
    bool systemHoldsIt =
        !tracker.seen.test(key) || (tracker.firstPeriod.test(key) && tracker.repeating.test(key));
    tracker.seen.set(key);
    tracker.firstPeriod.reset(key);
    tracker.repeating.reset(key);
    return systemHoldsIt;
}

HoldOutcome HoldStroke(HeldStrokes& held, const InterceptionStrokeBuffer& stroke) {
    InterceptionKeyStroke key = KeyOf(stroke);
    size_t index = KeyIndex(key);
    if ((key.state & InterceptionKeyUp) != 0) {
        if (!held.down.test(index)) {
            return HoldOutcome::ToSystem;
        }
        held.down.reset(index);
    } else {
        if (held.strokes.size() >= HeldStrokeLimit) {
            return HoldOutcome::Dropped;
        }
        held.down.set(index);
    }
    held.strokes.push_back(stroke);
    return HoldOutcome::Held;
}
