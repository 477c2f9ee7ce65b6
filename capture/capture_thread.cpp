#include "capture/capture_thread.h"

#include "capture/interception_driver.h"
#include "capture/key_queue.h"
#include "capture/scan_end.h"
#include "capture/scanner_whereabouts.h"
#include "capture/stroke_hold.h"
#include "common/app_messages.h"
#include "common/dialog_post.h"

#include <algorithm>
#include <chrono>
#include <exception>
#include <future>
#include <vector>

std::atomic<bool> captureStopFlag{false};
std::thread captureThread;
CaptureTarget captureTarget;
ModifierState modifierState;
std::atomic<int> scannerNumber{0};
std::atomic<unsigned> captureSession{0};
std::atomic<bool> scannerPostLost{false};
int scannerAtStart = 0;
KeyboardSet twinsAtStop;

namespace {

// How long a driver wait lasts at most: how soon Stop and a look request are seen.
constexpr std::chrono::milliseconds LongestWait{50};
// A driver that names a number and then gives no stroke for it must not make the thread spin.
constexpr auto EmptyReceivePause = std::chrono::milliseconds(10);
// Far more than the driver holds for one number; only a broken driver that keeps giving
// strokes reaches these, and Stop must end.
constexpr int StrokesPerSweep = 1 << 16;
constexpr int ReadOutSweeps = 16;

using DeviceSet = KeyboardSet;

std::atomic<bool> lookRequested{false};
std::atomic<bool> arrivalSignalled{false};
std::atomic<bool> removalSignalled{false};

// The numbers the filter call being made selects. The predicates run on the capture thread,
// inside its own call to the driver library.
DeviceSet filterSelection;

bool IsKeyboardNumber(int device) {
    return device >= 1 && device <= InterceptionMaxKeyboard;
}

int InSelection(InterceptionDevice device) {
    return IsKeyboardNumber(device) && filterSelection.test(static_cast<size_t>(device)) ? 1 : 0;
}

int OutOfSelection(InterceptionDevice device) {
    return IsKeyboardNumber(device) && !filterSelection.test(static_cast<size_t>(device)) ? 1 : 0;
}

Answer Ask(InterceptionContext context, const CaptureTarget& target, int device) {
    uint16_t buffer[HardwareIdReplyBytes / 2] = {};
    unsigned int bytes = interception.getHardwareId(context, device, buffer, HardwareIdReplyBytes);
    return CompareHardwareId(buffer, bytes, target.hardwareId);
}

enum class Identity { Scanner, Other, Unknown };

std::u16string ToUtf16(const std::wstring& text) {
    std::u16string converted;
    for (wchar_t c : text) {
        converted.push_back(static_cast<char16_t>(c));
    }
    return converted;
}

struct CaptureState {
    InterceptionContext context = nullptr;
    CaptureTarget target;
    unsigned session = 0;
    Whereabouts track;
    DeviceSet present;    // numbers whose keyboard gave its id at the last look
    bool looked = false;  // the first look, at the start, has been made
    DeviceSet filtered;   // numbers the filter was last set on
    ReleaseTracker releases;
    ScanEndState scan;
    HeldStrokes held[InterceptionMaxKeyboard + 1];
    bool readingOut = false;  // Stop came: characters are gathered, not queued
    std::vector<KeyEvent> readOut;
};

void Queue(CaptureState& state, KeyEvent event) {
    if (state.readingOut) {
        state.readOut.push_back(event);
    } else if (KeyQueueAppend(event) && !PostToMainDialog(WM_APP_KEYS, 0, 0)) {
        KeyQueueWakeFailed();
    }
}

// The scanner's number and the free ones.
DeviceSet Selection(const CaptureState& state) {
    DeviceSet selection;
    for (int device = 1; device <= InterceptionMaxKeyboard; ++device) {
        if (device == state.track.scanner || !state.present.test(static_cast<size_t>(device))) {
            selection.set(static_cast<size_t>(device));
        }
    }
    return selection;
}

void Send(CaptureState& state, int device, const InterceptionStrokeBuffer& stroke) {
    interception.send(state.context, device, &stroke, 1);
}

// Hands each stroke the driver holds for the number to take, without a driver wait (receive
// never waits); true when there was any.
template <typename Take>
bool TakeWaiting(CaptureState& state, int device, Take take) {
    InterceptionStrokeBuffer stroke;
    int taken = 0;
    while (taken < StrokesPerSweep &&
           interception.receive(state.context, device, &stroke, 1) == 1) {
        take(stroke);
        ++taken;
    }
    return taken != 0;
}

// What the driver still holds for keyboards that are not the scanner goes on to the system.
void PassOnQueued(CaptureState& state, const DeviceSet& numbers) {
    for (int device = 1; device <= InterceptionMaxKeyboard; ++device) {
        if (numbers.test(static_cast<size_t>(device))) {
            TakeWaiting(state, device, [&](const InterceptionStrokeBuffer& stroke) {
                Send(state, device, stroke);
            });
        }
    }
}

// The scanner's number first, so that it is never unfiltered in between. A number released
// from the filter may still have strokes waiting: they go on before and right after, so that a
// key's release typed meanwhile does not overtake its press. Once Stop has cleared the filter,
// nothing sets it again.
void SetFilter(CaptureState& state) {
    if (state.readingOut) {
        return;
    }
    DeviceSet selection = Selection(state);
    DeviceSet released = state.filtered & ~selection;
    PassOnQueued(state, released);
    filterSelection = selection;
    interception.setFilter(state.context, InSelection, InterceptionFilterAll);
    interception.setFilter(state.context, OutOfSelection, InterceptionFilterNone);
    state.filtered = selection;
    PassOnQueued(state, released);
}

// Every move of the scanner, in order, so that the dialog logs each departure and return.
void TellDialog(CaptureState& state) {
    scannerNumber = state.track.scanner;
    if (!PostToMainDialog(WM_APP_SCANNER, static_cast<std::uintptr_t>(state.track.scanner),
                          static_cast<std::intptr_t>(state.session))) {
        scannerPostLost = true;
    }
}

// The scanner went away: its half scan, modifiers, Alt code and held keys go with it. Its old
// number counts as free until a look finds who is there.
void ScannerLeaves(CaptureState& state) {
    if (state.track.scanner == 0) {
        return;
    }
    state.present.reset(static_cast<size_t>(state.track.scanner));
    state.track.scanner = 0;
    state.track.misses = 0;
    TellDialog(state);
    bool capsLock = modifierState.capsLock;
    modifierState = ModifierState{};
    modifierState.capsLock = capsLock;
    state.releases = ReleaseTracker{};
    state.scan = ScanEndState{};
    Queue(state, KeyEvent{KeyEventKind::DeviceLeft});
}

void MoveScanner(CaptureState& state, int device) {
    if (state.track.scanner == device) {
        return;
    }
    ScannerLeaves(state);
    if (device != 0) {
        state.track.scanner = device;
        state.track.twins.reset(static_cast<size_t>(device));
        TellDialog(state);
    }
}

void ScannerIsAt(CaptureState& state, int device) {
    if (state.track.scanner != device) {
        MoveScanner(state, device);
        SetFilter(state);
    }
}

void Capture(CaptureState& state, int device, const InterceptionStrokeBuffer& stroke) {
    InterceptionKeyStroke key = KeyOf(stroke);
    bool released = (key.state & InterceptionKeyUp) != 0;
    if (ReleaseBelongsToTheSystem(state.releases, KeyIndex(key), released)) {
        Send(state, device, stroke);
    }
    // The clock only where a pause ends scans: every stroke of a burst comes this way.
    ScanRules rules = CurrentScanRules();
    if (rules.end == ScanEnd::Pause) {
        NoteScannerStroke(state.scan, ScanClock::now());
    }
    auto byte =
        TranslateStroke(key.code, released, modifierState, (key.state & InterceptionKeyE0) != 0);
    if (!byte) {
        return;
    }
    if (auto event = EventForByte(state.scan, *byte, rules)) {
        Queue(state, *event);
    }
}

// Another keyboard: to the system, and its number is released from the filter once it is
// known to be there.
void PassOn(CaptureState& state, int device, const InterceptionStrokeBuffer& stroke) {
    if (device == state.track.scanner) {
        ScannerLeaves(state);
    }
    Send(state, device, stroke);
    state.present.set(static_cast<size_t>(device));
    if (state.filtered.test(static_cast<size_t>(device))) {
        SetFilter(state);
    }
}

void Hold(CaptureState& state, int device, const InterceptionStrokeBuffer& stroke) {
    if (HoldStroke(state.held[device], stroke) == HoldOutcome::ToSystem) {
        Send(state, device, stroke);
    }
}

void Route(CaptureState& state, int device, const InterceptionStrokeBuffer& stroke,
           Identity identity) {
    switch (identity) {
        case Identity::Scanner:
            ScannerIsAt(state, device);
            Capture(state, device, stroke);
            break;
        case Identity::Other:
            PassOn(state, device, stroke);
            break;
        case Identity::Unknown:
            Hold(state, device, stroke);
            break;
    }
}

// What the keyboard at the number is now. At the scanner's own number only another id means
// another keyboard: a failed or empty query there still withholds its strokes. Elsewhere the
// scanner's id is a twin's while the scanner's number still reports it, and the scanner's own,
// re-plugged, when that number reports none.
Identity Identify(CaptureState& state, int device) {
    Answer answer = Ask(state.context, state.target, device);
    if (device == state.track.scanner) {
        return answer == Answer::Different ? Identity::Other : Identity::Scanner;
    }
    if (answer != Answer::Same) {
        return answer == Answer::None ? Identity::Unknown : Identity::Other;
    }
    if (state.track.twins.test(static_cast<size_t>(device)) ||
        (state.track.scanner != 0 &&
         Ask(state.context, state.target, state.track.scanner) == Answer::Same)) {
        state.track.twins.set(static_cast<size_t>(device));
        return Identity::Other;
    }
    return Identity::Scanner;
}

void HandleStroke(CaptureState& state, int device, const InterceptionStrokeBuffer& stroke) {
    if (!IsKeyboardNumber(device)) {
        Send(state, device, stroke);
        return;
    }
    // Behind held strokes of its keyboard, so that its strokes stay in order.
    if (!state.held[device].strokes.empty()) {
        Hold(state, device, stroke);
        return;
    }
    Route(state, device, stroke, Identify(state, device));
}

// Every number's waiting strokes; true when there were any.
bool ReceiveEverywhere(CaptureState& state) {
    bool any = false;
    for (int device = 1; device <= InterceptionMaxDevice; ++device) {
        any = TakeWaiting(state, device,
                          [&](const InterceptionStrokeBuffer& stroke) {
                              HandleStroke(state, device, stroke);
                          }) ||
              any;
    }
    return any;
}

// Keyboards whose strokes are held: those that can be told now are handled in order.
void IdentifyHeldKeyboards(CaptureState& state) {
    for (int device = 1; device <= InterceptionMaxKeyboard; ++device) {
        if (state.held[device].strokes.empty()) {
            continue;
        }
        Identity identity = Identify(state, device);
        if (identity == Identity::Unknown) {
            continue;
        }
        std::vector<InterceptionStrokeBuffer> strokes;
        strokes.swap(state.held[device].strokes);
        state.held[device] = HeldStrokes{};
        for (const InterceptionStrokeBuffer& stroke : strokes) {
            Route(state, device, stroke, identity);
        }
    }
}

// Which keyboards are where. Held strokes are routed before the filter is set again, which it
// is when the selection changed or a keyboard arrived.
void LookAtDevices(CaptureState& state, bool arrival, bool removal) {
    DeviceSet present;
    Answer answers[InterceptionMaxKeyboard + 1] = {};
    for (int device = 1; device <= InterceptionMaxKeyboard; ++device) {
        uint16_t buffer[HardwareIdReplyBytes / 2] = {};
        unsigned int bytes =
            interception.getHardwareId(state.context, device, buffer, HardwareIdReplyBytes);
        answers[device] = CompareHardwareId(buffer, bytes, state.target.hardwareId);
        present.set(static_cast<size_t>(device), answers[device] != Answer::None);
    }
    int found = state.looked ? FollowScanner(state.track, answers, removal)
                             : FirstScanner(state.track, answers, state.target.deviceNumber,
                                            state.target.instance);
    arrival = arrival || !state.looked || (present & ~state.present).any();
    state.looked = true;
    MoveScanner(state, found);
    state.present = present;
    IdentifyHeldKeyboards(state);
    if (arrival || Selection(state) != state.filtered) {
        SetFilter(state);
    }
}

// A pause ends the scan only when the scanner has no stroke waiting: a thread that was not
// scheduled for a while has not seen the scanner's latest keys yet.
void EndScanAfterPause(CaptureState& state, const ScanRules& rules) {
    if (!PauseIsOver(state.scan, ScanClock::now(), rules)) {
        return;
    }
    int scanner = state.track.scanner;
    if (scanner != 0 && TakeWaiting(state, scanner, [&](const InterceptionStrokeBuffer& stroke) {
            HandleStroke(state, scanner, stroke);
        })) {
        return;
    }
    state.scan.open = false;
    Queue(state, KeyEvent{KeyEventKind::End});
}

// How long the next driver wait may last. With scans ended by a pause, an open scan whose
// pause is over is ended first, and the wait lasts no longer than the pause still to go.
unsigned long NextWait(CaptureState& state) {
    ScanRules rules = CurrentScanRules();
    if (rules.end != ScanEnd::Pause || !state.scan.open) {
        return static_cast<unsigned long>(LongestWait.count());
    }
    EndScanAfterPause(state, rules);
    auto wait = TimeToPauseEnd(state.scan, ScanClock::now(), rules, LongestWait);
    return static_cast<unsigned long>(std::max<long long>(wait.count(), 1));
}

// After the filter is cleared: what the driver still holds is read out, so that no key stays
// down for the system and nothing of this capture reaches the next. Strokes held for a
// keyboard that still cannot be identified never reached the system and are dropped.
void ReadOut(CaptureState& state) {
    state.readingOut = true;
    for (int sweep = 0; sweep < ReadOutSweeps && ReceiveEverywhere(state); ++sweep) {
    }
    IdentifyHeldKeyboards(state);
    // Whole scans only: what follows the last end is dropped, except that with scans ended by a
    // pause, Stop is the pause.
    if (scanEnd.load() == ScanEnd::Pause && state.scan.open) {
        state.readOut.push_back(KeyEvent{KeyEventKind::End});
    }
    auto end = std::find_if(state.readOut.rbegin(), state.readOut.rend(),
                            [](const KeyEvent& event) { return event.kind == KeyEventKind::End; });
    state.readingOut = false;
    std::for_each(state.readOut.begin(), end.base(),
                  [&state](const KeyEvent& event) { Queue(state, event); });
}

}  // namespace

CaptureTarget CaptureTargetFor(const std::wstring& hardwareId, int deviceNumber, int instance) {
    CaptureTarget target;
    target.hardwareId = ToUtf16(hardwareId);
    target.deviceNumber = deviceNumber;
    target.instance = instance;
    return target;
}

void RequestDeviceLook(LookCause cause) {
    if (cause == LookCause::Arrival) {
        arrivalSignalled = true;
    }
    if (cause == LookCause::Removal) {
        removalSignalled = true;
    }
    lookRequested = true;
}

void CaptureThreadMain(std::promise<int> filterInPlace) {
    CaptureState state;
    state.context = interceptionContext;
    state.target = captureTarget;
    state.session = captureSession.load();
    state.track.twins = state.target.twins;
    LookAtDevices(state, true, false);
    filterInPlace.set_value(state.track.scanner);
    InterceptionStrokeBuffer stroke;
    while (!captureStopFlag.load()) {
        if (lookRequested.exchange(false)) {
            LookAtDevices(state, arrivalSignalled.exchange(false),
                          removalSignalled.exchange(false));
        }
        IdentifyHeldKeyboards(state);
        InterceptionDevice device = interception.waitWithTimeout(state.context, NextWait(state));
        if (device == 0) {
            continue;
        }
        if (interception.receive(state.context, device, &stroke, 1) != 1) {
            // The named number may stay named with nothing to give: the others are asked
            // directly, so that they are not starved, and the thread pauses.
            ReceiveEverywhere(state);
            std::this_thread::sleep_for(EmptyReceivePause);
            continue;
        }
        HandleStroke(state, device, stroke);
    }
    interception.setFilter(state.context, interception.isKeyboard, InterceptionFilterNone);
    ReadOut(state);
    twinsAtStop = state.track.twins;
}

bool StartCaptureThread(const CaptureTarget& target, bool capsLock) {
    KeyQueueClear();
    modifierState = ModifierState{};
    modifierState.capsLock = capsLock;
    captureTarget = target;
    captureStopFlag = false;
    lookRequested = false;
    arrivalSignalled = false;
    removalSignalled = false;
    scannerNumber = 0;
    scannerPostLost = false;
    ++captureSession;
    std::future<int> confirmed;
    try {
        std::promise<int> filterInPlace;
        confirmed = filterInPlace.get_future();
        captureThread = std::thread(CaptureThreadMain, std::move(filterInPlace));
    } catch (const std::exception&) {
        captureTarget = CaptureTarget{};
        return false;
    }
    // Until the filter is set the scanner still types into the desktop: nothing may say that
    // capture runs before then.
    scannerAtStart = confirmed.get();
    return true;
}

void StopCaptureThread() {
    captureStopFlag = true;
    if (captureThread.joinable()) {
        captureThread.join();
    }
    captureTarget = CaptureTarget{};
}
