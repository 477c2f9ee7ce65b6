#include "capture/capture_thread.h"

#include "capture/interception_driver.h"
#include "capture/key_queue.h"
#include "capture/scan_end.h"
#include "capture/scanner_whereabouts.h"
#include "common/app_messages.h"
#include "common/dialog_post.h"
#include "devices/device_identity.h"
#include "support/dialog_messages.h"
#include "support/sim_session.h"
#include "support/test_environment.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <condition_variable>
#include <mutex>

namespace {

const char* TwoKeyboards = "1=ACPI\\PNP0303;2=HID\\VID_1234&PID_ABCD&REV_0100&MI_00";

class CaptureThreadTest : public ::testing::Test {
protected:
    SimSession sim;
    std::string queued;

    void SetUp() override {
        letterCase = LetterCase::AsScanned;
        ASSERT_TRUE(sim.Open(TwoKeyboards));
    }

    void TearDown() override {
        SetEnvironment("INTERCEPTION_SIM_FILTER_DELAY_MS", "0");
        SetEnvironment("INTERCEPTION_SIM_ARRIVAL_UNFILTERED", "0");
        StopThread();
        sim.Close();
        letterCase = LetterCase::Upper;
        scanEnd = ScanEnd::Enter;
    }

    void StartThread(int device) {
        ASSERT_TRUE(StartCaptureThread(CaptureTargetFor(LiveHardwareId(device), device, 1), false));
    }

    void StopThread() { StopCaptureThread(); }

    // Takes queued characters until the text has the wanted length or the time is up; the end
    // of a scan shows as CR, the scanner going away as '|'.
    std::string Queued(size_t length) {
        WaitUntil([&] {
            for (const KeyEvent& event : KeyQueueTakeAll()) {
                queued.push_back(event.kind == KeyEventKind::End ? '\r'
                                 : event.kind == KeyEventKind::DeviceLeft
                                     ? '|'
                                     : static_cast<char>(event.character));
            }
            return queued.size() >= length;
        });
        return queued;
    }

    int HandedSoFar() {
        std::string stats = sim.Command("stats");
        size_t at = stats.find(" handed ");
        return at == std::string::npos ? -1 : std::atoi(stats.c_str() + at + 8);
    }

    // Waits until the stand-in has handed the capture thread this many strokes in all.
    bool Handed(int strokes) {
        return WaitUntil([&] {
            return sim.Command("stats").find(" handed " + std::to_string(strokes) + " ") !=
                   std::string::npos;
        });
    }

    std::vector<std::string> SystemAfter(size_t count) {
        std::vector<std::string> seen;
        WaitUntil([&] {
            for (auto& line : sim.System()) {
                seen.push_back(line);
            }
            return seen.size() >= count;
        });
        return seen;
    }
};

TEST_F(CaptureThreadTest, CapturedKeyboardIsWithheldOthersPassUnchangedAndInOrder) {
    StartThread(2);
    ASSERT_TRUE(WaitUntil([&] { return sim.Command("filter 2") == "65535"; }));
    const char* commands[] = {
        "stroke 1 0x1E 0", "stroke 2 0x2A 0", "stroke 2 0x1E 0", "stroke 2 0x1E 1",
        "stroke 2 0x2A 1", "stroke 1 0x1E 1", "stroke 2 0x1D 0", "stroke 2 0x3B 0",
        "stroke 2 0x3B 1", "stroke 2 0x1D 1", "stroke 1 0x48 2", "stroke 1 0x48 3",
        "stroke 2 0x59 0", "stroke 2 0x1C 2", "stroke 1 0x1C 0",
    };
    for (const char* command : commands) {
        ASSERT_EQ("ok", sim.Command(command)) << command;
    }
    EXPECT_EQ("A\r", Queued(2));
    std::vector<std::string> expected = {"1 30 0", "1 30 1", "1 72 2", "1 72 3", "1 28 0"};
    EXPECT_EQ(expected, SystemAfter(expected.size()));
}

// With scans ended by a pause, the pause ends a scan on the thread's own clock, and Stop ends
// the scan in progress; CR and LF are data.
TEST_F(CaptureThreadTest, APauseEndsAScanAndStopEndsTheLastOne) {
    scanEnd = ScanEnd::Pause;
    pauseMilliseconds = 500;
    StartThread(2);
    ASSERT_EQ("ok", sim.Command("type 2 a\rb"));
    EXPECT_EQ("a\rb\r", Queued(4));
    pauseMilliseconds = MaxPauseMilliseconds;
    // A key typed well within the pause after the one before continues the scan.
    ASSERT_EQ("ok", sim.Command("type 2 \x1e"));
    ASSERT_TRUE(Handed(12));
    ASSERT_EQ("ok", sim.Command("type 2 c"));
    ASSERT_TRUE(Handed(14));
    StopThread();
    EXPECT_EQ(
        "a\rb\r\x1e"
        "c\r",
        Queued(7));
    pauseMilliseconds = DefaultPauseMilliseconds;
}

TEST_F(CaptureThreadTest, PrefixedStrokesAreReadByTheirPrefix) {
    StartThread(2);
    ASSERT_TRUE(WaitUntil([&] { return sim.Command("filter 2") == "65535"; }));
    // A fake Shift (E0 2A), keypad '/' (E0 35), Up arrow (E0 48), Delete (E0 53), keypad Enter.
    ASSERT_EQ("ok", sim.Command("stroke 2 0x2A 2 0x35 2 0x2A 3 0x35 2 0x48 2 0x53 2 0x1C 2"));
    EXPECT_EQ("//\r", Queued(3));
}

TEST_F(CaptureThreadTest, BurstArrivesWholeAndInOrder) {
    StartThread(2);
    ASSERT_TRUE(WaitUntil([&] { return sim.Command("filter 2") == "65535"; }));
    std::string text;
    for (int k = 0; k < 5000; ++k) {
        text.push_back("abcdefghij0123456789"[k % 20]);
    }
    // 5,000 characters, a press and a release each: 10,000 strokes on each keyboard, in
    // commands that fit the channel's line limit.
    for (size_t at = 0; at < text.size(); at += 2500) {
        ASSERT_EQ("ok", sim.Command("type 2 " + text.substr(at, 2500)));
        ASSERT_EQ("ok", sim.Command("type 1 " + text.substr(at, 2500)));
    }
    EXPECT_EQ(text, Queued(text.size()));
    auto passed = SystemAfter(10000);
    ASSERT_EQ(10000u, passed.size());
    EXPECT_EQ("1 30 0", passed[0]);
    EXPECT_EQ("1 30 1", passed[1]);
    EXPECT_EQ("1 10 1", passed.back());
}

TEST_F(CaptureThreadTest, StartedWhereTheScannerWasItIsFoundByItsPlaceAmongEquals) {
    const std::string scanner = "HID\\VID_1234&PID_ABCD&REV_0100&MI_00";
    // Re-plugged at 5 and its twin plugged at 7 before the start: the list still says 2.
    ASSERT_EQ("ok", sim.Command("move 2 5"));
    ASSERT_EQ("ok", sim.Command("plug 7 " + scanner));
    std::wstring id(scanner.begin(), scanner.end());
    struct Case {
        int known, instance, taken;
    } cases[] = {{2, 1, 5}, {0, 2, 7}, {0, 3, 7}, {7, 1, 7}, {0, 0, 5}};
    for (const Case& c : cases) {
        ASSERT_TRUE(StartCaptureThread(CaptureTargetFor(id, c.known, c.instance), false));
        EXPECT_EQ(c.taken, scannerNumber.load()) << c.known << " " << c.instance;
        StopThread();
    }
    ASSERT_TRUE(StartCaptureThread(CaptureTargetFor(id, 2, 1), false));
    ASSERT_EQ("ok", sim.Command("type 5 ab"));
    ASSERT_EQ("ok", sim.Command("type 7 c"));
    EXPECT_EQ("ab", Queued(2));
    EXPECT_EQ((std::vector<std::string>{"7 46 0", "7 46 1"}), SystemAfter(2));
}

// The driver cuts its reply at the buffer's size: an id that fills the buffer or runs past it,
// plugged in at a free number during capture, is read up to the buffer's end, never beyond,
// and is never taken for the scanner's.
TEST_F(CaptureThreadTest, AnIdAsLongAsTheReplyOrLongerIsCutAndNeverTheScanner) {
    const std::string scanner = "HID\\VID_1234&PID_ABCD&REV_0100&MI_00";
    const size_t units = HardwareIdReplyBytes / 2;
    struct Case {
        int device;
        size_t length;
    } cases[] = {{3, units - 1}, {4, units}, {5, 2 * units}};
    for (const Case& c : cases) {
        std::string number = std::to_string(c.device);
        std::string id = scanner + std::string(c.length - scanner.size(), 'X');
        StartThread(2);
        ASSERT_EQ("ok", sim.Command("plug " + number + " " + id));
        EXPECT_EQ(std::min(c.length, units), LiveHardwareId(c.device).size());
        ASSERT_EQ("ok", sim.Command("type " + number + " q"));
        std::vector<std::string> passed = {number + " 16 0", number + " 16 1"};
        EXPECT_EQ(passed, SystemAfter(2)) << c.length;
        StopThread();
    }
}

TEST_F(CaptureThreadTest, BurstWakesTheDialogOnceUntilItTakesTheQueue) {
    StartCollectingDialogMessages();
    StartThread(2);
    ASSERT_TRUE(WaitUntil([&] { return sim.Command("filter 2") == "65535"; }));
    // 20 scans of 2,500 characters, 100,040 strokes, while the dialog takes nothing.
    std::string scans;
    for (int scan = 0; scan < 20; ++scan) {
        std::string code(2500, "0123456789"[scan % 10]);
        ASSERT_EQ("ok", sim.Command("scan 2 " + code));
        scans += code + "\r";
    }
    ASSERT_TRUE(Handed(100040));
    std::string taken;
    for (const KeyEvent& event : KeyQueueTakeAll()) {
        taken.push_back(event.kind == KeyEventKind::End ? '\r'
                                                        : static_cast<char>(event.character));
    }
    EXPECT_EQ(scans, taken);
    EXPECT_EQ(1u, KeyQueueWakeUps());
    // Once taken, the next Enter wakes again; a batch without one wakes only once taken too.
    ASSERT_EQ("ok", sim.Command("scan 2 x"));
    ASSERT_EQ("ok", sim.Command("type 2 " + std::string(KeyQueueWakeBatch, 'y')));
    ASSERT_TRUE(Handed(100044 + 2 * KeyQueueWakeBatch));
    EXPECT_EQ(2u, KeyQueueWakeUps());
    KeyQueueTakeAll();
    ASSERT_EQ("ok", sim.Command("type 2 " + std::string(KeyQueueWakeBatch - 1, 'z')));
    ASSERT_TRUE(Handed(100042 + 4 * KeyQueueWakeBatch));
    EXPECT_EQ(2u, KeyQueueWakeUps());
    ASSERT_EQ("ok", sim.Command("type 2 z"));
    EXPECT_TRUE(WaitUntil([] { return KeyQueueWakeUps() == 3; }));
    StopThread();
    StopCollectingDialogMessages();
}

TEST_F(CaptureThreadTest, AFailedWakeUpIsTriedAgainAtTheNextEnter) {
    StartCollectingDialogMessages();
    FailDialogPosts(true);
    StartThread(2);
    ASSERT_TRUE(WaitUntil([&] { return sim.Command("filter 2") == "65535"; }));
    ASSERT_EQ("ok", sim.Command("scan 2 a"));
    // The Enter's release is taken only after the Enter, and its failed wake-up, are done.
    ASSERT_TRUE(Handed(4));
    FailDialogPosts(false);
    ASSERT_EQ("ok", sim.Command("scan 2 b"));
    EXPECT_TRUE(WaitUntil([] { return KeyQueueWakeUps() == 1; }));
    EXPECT_EQ("a\rb\r", Queued(4));
    StopThread();
    StopCollectingDialogMessages();
}

TEST_F(CaptureThreadTest, NothingOfOneCaptureReachesTheNext) {
    StartThread(2);
    ASSERT_TRUE(WaitUntil([&] { return sim.Command("filter 2") == "65535"; }));
    // Stopped in the middle of a scan with Shift held.
    ASSERT_EQ("ok", sim.Command("type 2 12"));
    ASSERT_EQ("ok", sim.Command("stroke 2 0x2A 0"));
    ASSERT_TRUE(Handed(5));
    StopThread();
    StartThread(2);
    ASSERT_TRUE(WaitUntil([&] { return sim.Command("filter 2") == "65535"; }));
    ASSERT_EQ("ok", sim.Command("scan 2 b"));
    EXPECT_EQ("b\r", Queued(2));
}

TEST_F(CaptureThreadTest, StartReturnsOnlyOnceTheFilterIsSet) {
    // A driver slow to take the filter: until it has, the scanner types into the desktop.
    SetEnvironment("INTERCEPTION_SIM_FILTER_DELAY_MS", "300");
    StartThread(2);
    EXPECT_EQ("65535", sim.Command("filter 2"));  // read once: Start promised it
}

TEST_F(CaptureThreadTest, AfterStopTheFilterIsClearAndTheKeyboardReachesTheSystem) {
    StartThread(2);
    ASSERT_TRUE(WaitUntil([&] { return sim.Command("filter 2") == "65535"; }));
    auto started = std::chrono::steady_clock::now();
    StopThread();
    auto stopTime = std::chrono::steady_clock::now() - started;
    // One driver wait is 100 ms; a generous bound that only a hang would break.
    EXPECT_LT(stopTime, std::chrono::seconds(2));
    EXPECT_EQ("0", sim.Command("filter 2"));
    EXPECT_EQ("0", sim.Command("filter 1"));
    ASSERT_EQ("ok", sim.Command("type 2 q"));
    std::vector<std::string> expected = {"2 16 0", "2 16 1"};
    EXPECT_EQ(expected, SystemAfter(2));
    EXPECT_TRUE(KeyQueueTakeAll().empty());
}

TEST_F(CaptureThreadTest, KeysHeldWhenCaptureStartsAreReleasedToTheSystem) {
    // The system sees Shift, 'a' and right Ctrl (E0 1D) go down before capture starts.
    for (const char* press : {"stroke 2 0x2A 0", "stroke 2 0x1E 0", "stroke 2 0x1D 2"}) {
        ASSERT_EQ("ok", sim.Command(press));
    }
    EXPECT_EQ(3u, SystemAfter(3).size());
    StartThread(2);
    ASSERT_TRUE(WaitUntil([&] { return sim.Command("filter 2") == "65535"; }));
    const char* strokes[] = {
        "stroke 2 0x1E 0", "stroke 2 0x1E 0",  // 'a' still held: the keyboard repeats it
        "stroke 2 0x30 0", "stroke 2 0x30 1",  // 'b' typed during capture
        "stroke 2 0x1D 3",                     // right Ctrl let go
        "stroke 2 0x1E 1",                     // 'a' let go
        "stroke 2 0x30 0", "stroke 2 0x30 1",  // 'b' again
        "stroke 2 0x1D 1",                     // a left Ctrl release, never seen pressed
        "stroke 2 0x2A 1",                     // Shift let go
    };
    for (const char* stroke : strokes) {
        ASSERT_EQ("ok", sim.Command(stroke));
    }
    // Shift was not known to be down at the start (it is reset then), so 'a' and 'b' are
    // lowercase here; only letters are affected.
    EXPECT_EQ("aabb", Queued(4));
    std::vector<std::string> expected = {"2 29 3", "2 30 1", "2 29 1", "2 42 1"};
    EXPECT_EQ(expected, SystemAfter(expected.size()));
    EXPECT_EQ("end", sim.Command("held"));
}

TEST_F(CaptureThreadTest, VanishedCapturedDeviceOnlyFallsSilent) {
    StartThread(2);
    ASSERT_TRUE(WaitUntil([&] { return sim.Command("filter 2") == "65535"; }));
    ASSERT_EQ("ok", sim.Command("unplug 2"));
    ASSERT_EQ("ok", sim.Command("type 2 abc"));
    ASSERT_EQ("ok", sim.Command("type 1 z"));
    std::vector<std::string> expected = {"1 44 0", "1 44 1"};
    EXPECT_EQ(expected, SystemAfter(2));
    EXPECT_TRUE(KeyQueueTakeAll().empty());
}

TEST_F(CaptureThreadTest, ScannerIsFollowedToItsNewNumberAndNothingElseIsCaptured) {
    ASSERT_EQ("ok", sim.Command("plug 3 HID\\VID_1234&PID_ABCD&REV_0100&MI_00"));  // its twin
    StartThread(2);
    ASSERT_TRUE(WaitUntil([&] { return sim.Command("filter 10") == "65535"; }));
    // Re-plugged at 10, and another collection of the same device (its id begins with the
    // scanner's) at 4; typed on at once.
    ASSERT_EQ("ok", sim.Command("move 2 10"));
    ASSERT_EQ("ok", sim.Command("plug 4 HID\\VID_1234&PID_ABCD&REV_0100&MI_00&COL02"));
    const char* commands[] = {"type 10 ab", "type 4 x", "type 3 y", "type 10 c", "type 1 z"};
    for (const char* command : commands) {
        ASSERT_EQ("ok", sim.Command(command));
    }
    EXPECT_EQ("|abc", Queued(4));
    // Keyboards that are not filtered reach the system at once, the newcomer through the
    // program: each in its own order.
    auto system = SystemAfter(6);
    std::sort(system.begin(), system.end());
    std::vector<std::string> expected = {"1 44 0", "1 44 1", "3 21 0",
                                         "3 21 1", "4 45 0", "4 45 1"};
    EXPECT_EQ(expected, system);
    EXPECT_EQ(10, scannerNumber.load());
    ASSERT_EQ("ok", sim.Command("unplug 10"));
    RequestDeviceLook(LookCause::Removal);
    EXPECT_TRUE(WaitUntil([] { return scannerNumber.load() == 0; }));
}

TEST_F(CaptureThreadTest, OnlyTheScannerAndFreeNumbersAreFiltered) {
    StartThread(2);
    // Keyboard 1 is present and not the scanner; 3 to 10 are free.
    std::string filters;
    for (int device = 1; device <= 10; ++device) {
        filters += sim.Command("filter " + std::to_string(device)) + " ";
    }
    EXPECT_EQ("0 65535 65535 65535 65535 65535 65535 65535 65535 65535 ", filters);
    // The user's typing never enters the program; a keyboard plugged at a free number is
    // passed on and released at its first stroke.
    ASSERT_EQ("ok", sim.Command("type 1 secret"));
    EXPECT_EQ(12u, SystemAfter(12).size());
    EXPECT_NE(std::string::npos, sim.Command("stats").find(" handed 0 "));
    ASSERT_EQ("ok", sim.Command("plug 3 HID\\VID_0001&PID_0002"));
    ASSERT_EQ("ok", sim.Command("type 3 q"));
    EXPECT_EQ((std::vector<std::string>{"3 16 0", "3 16 1"}), SystemAfter(2));
    EXPECT_TRUE(WaitUntil([&] { return sim.Command("filter 3") == "0"; }));
    EXPECT_EQ("65535", sim.Command("filter 2"));
}

TEST_F(CaptureThreadTest, AScannerThatGoesAwayTakesItsStateWithIt) {
    struct Case {
        const char* held;  // a modifier pressed before the re-plug
    } cases[] = {{"0x2A"}, {"0x1D"}, {"0x38"}};
    StartThread(2);
    int from = 2;
    int handed = 0;
    std::string expected;
    for (const Case& c : cases) {
        int to = from + 1 + (from == 2);  // 4, 5, 6: never a number used before
        ASSERT_EQ("ok", sim.Command("type " + std::to_string(from) + " 4006"));
        ASSERT_EQ("ok", sim.Command("stroke " + std::to_string(from) + " " + c.held + " 0"));
        handed += 9;  // 4006 and the modifier, before the re-plug
        ASSERT_TRUE(Handed(handed));
        ASSERT_EQ("ok", sim.Command("move " + std::to_string(from) + " " + std::to_string(to)));
        ASSERT_EQ("ok", sim.Command("scan " + std::to_string(to) + " 123"));
        handed += 8;
        expected += "4006|123\r";
        EXPECT_EQ(expected, Queued(expected.size())) << c.held;
        from = to;
    }
}

TEST_F(CaptureThreadTest, AKeyboardWhoseIdCannotBeReadIsHeldUntilItIsKnown) {
    StartThread(2);
    // Another keyboard: nothing of it reaches the system until it is known, then all in order.
    ASSERT_EQ("ok", sim.Command("anonymous 3 on"));
    ASSERT_EQ("ok", sim.Command("plug 3 HID\\VID_0001&PID_0002"));
    ASSERT_EQ("ok", sim.Command("type 3 ab"));
    ASSERT_TRUE(Handed(4));
    ASSERT_EQ("ok", sim.Command("type 2 m"));  // handled after them
    EXPECT_EQ("m", Queued(1));
    EXPECT_TRUE(sim.System().empty());
    ASSERT_EQ("ok", sim.Command("anonymous 3 off"));
    EXPECT_EQ((std::vector<std::string>{"3 30 0", "3 30 1", "3 48 0", "3 48 1"}), SystemAfter(4));
    EXPECT_TRUE(WaitUntil([&] { return sim.Command("filter 3") == "0"; }));
    // The scanner re-plugged where its id cannot be read yet: captured once it can.
    ASSERT_EQ("ok", sim.Command("anonymous 4 on"));
    ASSERT_EQ("ok", sim.Command("move 2 4"));
    ASSERT_EQ("ok", sim.Command("scan 4 cd"));
    ASSERT_TRUE(Handed(12));
    ASSERT_EQ("ok", sim.Command("plug 6 HID\\VID_0001&PID_0004"));  // handled after them
    ASSERT_EQ("ok", sim.Command("type 6 m"));
    EXPECT_EQ((std::vector<std::string>{"6 50 0", "6 50 1"}), SystemAfter(2));
    EXPECT_EQ("m", Queued(0));  // nothing of 4 queued yet
    ASSERT_EQ("ok", sim.Command("anonymous 4 off"));
    EXPECT_EQ("m|cd\r", Queued(5));
    // At most 256 strokes are kept: of 300 letters the first 128 come through, and a release
    // whose press was not kept passes at once (the system may hold that key).
    ASSERT_EQ("ok", sim.Command("anonymous 5 on"));
    ASSERT_EQ("ok", sim.Command("plug 5 HID\\VID_0001&PID_0003"));
    int before = HandedSoFar();  // 6's release may have gone straight to the system
    ASSERT_EQ("ok", sim.Command("type 5 " + std::string(300, 'q')));
    ASSERT_TRUE(Handed(before + 600));
    ASSERT_EQ("ok", sim.Command("anonymous 5 off"));
    auto passed = SystemAfter(428);
    ASSERT_EQ(428u, passed.size());
    EXPECT_EQ("5 16 1", passed.front());
    EXPECT_EQ("5 16 0", passed[172]);
}

TEST_F(CaptureThreadTest, AnIdenticalScannerAttachedAnewIsNeverTakenForTheScanner) {
    ASSERT_EQ("ok", sim.Command("plug 3 HID\\VID_1234&PID_ABCD&REV_0100&MI_00"));
    StartThread(2);
    ASSERT_EQ("ok", sim.Command("move 3 5"));  // the twin re-attached, typed on at once
    ASSERT_EQ("ok", sim.Command("type 5 x"));
    EXPECT_EQ((std::vector<std::string>{"5 45 0", "5 45 1"}), SystemAfter(2));
    RequestDeviceLook(LookCause::Tick);
    EXPECT_TRUE(WaitUntil([&] { return sim.Command("filter 5") == "0"; }));
    EXPECT_EQ("65535", sim.Command("filter 2"));
    ASSERT_EQ("ok", sim.Command("scan 2 ok"));
    EXPECT_EQ("ok\r", Queued(3));
}

TEST_F(CaptureThreadTest, TheDialogHearsEveryMoveAndAFailedQueryStillWithholds) {
    StartCollectingDialogMessages();
    StartThread(2);
    // A query that fails at the scanner's number: its strokes are still withheld.
    ASSERT_EQ("ok", sim.Command("anonymous 2 on"));
    ASSERT_EQ("ok", sim.Command("scan 2 ab"));
    EXPECT_EQ("ab\r", Queued(3));
    ASSERT_EQ("ok", sim.Command("anonymous 2 off"));
    // Re-plugged and scanned before any look, then unplugged: each move is told, in order.
    ASSERT_EQ("ok", sim.Command("move 2 6"));
    ASSERT_EQ("ok", sim.Command("scan 6 c"));
    EXPECT_EQ("ab\r|c\r", Queued(6));
    ASSERT_EQ("ok", sim.Command("unplug 6"));
    RequestDeviceLook(LookCause::Removal);
    EXPECT_TRUE(WaitUntil([] { return ScannerMoves() == std::vector<int>{2, 0, 6, 0}; }));
    EXPECT_TRUE(sim.System().empty());
    StopCollectingDialogMessages();
}

TEST_F(CaptureThreadTest, AKnownTwinIsNeverTakenWhileTheScannerIsAway) {
    ASSERT_EQ("ok", sim.Command("plug 3 HID\\VID_1234&PID_ABCD&REV_0100&MI_00"));
    StartThread(2);
    ASSERT_EQ("ok", sim.Command("unplug 2"));
    RequestDeviceLook(LookCause::Removal);
    ASSERT_TRUE(WaitUntil([] { return scannerNumber.load() == 0; }));
    // One look at which the twin's id cannot be read: its number is filtered again.
    ASSERT_EQ("ok", sim.Command("anonymous 3 on"));
    RequestDeviceLook(LookCause::Tick);
    ASSERT_TRUE(WaitUntil([&] { return sim.Command("filter 3") == "65535"; }));
    ASSERT_EQ("ok", sim.Command("anonymous 3 off"));
    ASSERT_EQ("ok", sim.Command("type 3 x"));
    EXPECT_EQ((std::vector<std::string>{"3 45 0", "3 45 1"}), SystemAfter(2));
    EXPECT_EQ("|", Queued(1));  // the scanner's departure, and nothing of the twin
}

TEST_F(CaptureThreadTest, AnArrivalSetsTheFilterAgain) {
    sim.Close();
    SetEnvironment("INTERCEPTION_SIM_ARRIVAL_UNFILTERED", "1");
    ASSERT_TRUE(sim.Open(TwoKeyboards));
    StartThread(2);
    // The driver starts the re-plugged scanner unfiltered; nothing has looked yet.
    ASSERT_EQ("ok", sim.Command("move 2 5"));
    EXPECT_EQ("0", sim.Command("filter 5"));
    RequestDeviceLook(LookCause::Arrival);
    ASSERT_TRUE(WaitUntil([&] { return sim.Command("filter 5") == "65535"; }));
    ASSERT_EQ("ok", sim.Command("scan 5 9"));
    EXPECT_EQ("|9\r", Queued(3));
}

#ifndef _WIN32
// The capture thread is held in its wake-up post while strokes pile up in the driver, so that
// they are still there when Stop comes.
std::mutex gateMutex;
std::condition_variable gateChanged;
bool gateClosed = false;
bool threadAtGate = false;

bool WaitAtGate(unsigned message, std::uintptr_t, std::intptr_t) {
    if (message != WM_APP_KEYS) {
        return true;
    }
    std::unique_lock<std::mutex> lock(gateMutex);
    threadAtGate = true;
    gateChanged.notify_all();
    gateChanged.wait(lock, [] { return !gateClosed; });
    return true;
}

TEST_F(CaptureThreadTest, StopReadsOutWhatTheDriverStillHolds) {
    gateClosed = true;
    SetDialogPostSink(WaitAtGate);
    MainDialogHandle = &gateClosed;
    StartThread(2);
    ASSERT_EQ("ok", sim.Command("plug 3 HID\\VID_0001&PID_0002"));  // at a free number
    ASSERT_EQ("ok", sim.Command("scan 2 a"));
    {
        std::unique_lock<std::mutex> lock(gateMutex);
        ASSERT_TRUE(
            gateChanged.wait_for(lock, std::chrono::seconds(30), [] { return threadAtGate; }));
    }
    // Left in the driver: the Enter's release, a whole scan, half of one, and a key held on
    // the newcomer.
    for (const char* command : {"scan 2 b", "type 2 cd", "stroke 2 0x2A 0", "stroke 3 0x1E 0"}) {
        ASSERT_EQ("ok", sim.Command(command));
    }
    captureStopFlag = true;
    {
        std::lock_guard<std::mutex> lock(gateMutex);
        gateClosed = false;
    }
    gateChanged.notify_all();
    StopThread();
    MainDialogHandle = nullptr;
    SetDialogPostSink(nullptr);
    EXPECT_EQ("0", sim.Command("filter 2"));  // the read-out set nothing again
    EXPECT_EQ("a\rb\r", Queued(4));
    EXPECT_NE(std::string::npos, sim.Command("stats").find(" pending 0"));
    EXPECT_EQ((std::vector<std::string>{"3 30 0"}), SystemAfter(1));
    EXPECT_EQ("3 30", sim.Command("held"));
    EXPECT_EQ("end", sim.ReadLine());
    ASSERT_EQ("ok", sim.Command("stroke 3 0x1E 1"));
    EXPECT_EQ("end", (SystemAfter(1), sim.Command("held")));
    // The next capture starts empty.
    StartThread(2);
    ASSERT_EQ("ok", sim.Command("scan 2 e"));
    EXPECT_EQ("a\rb\re\r", Queued(6));
}

// A pause that passes while the thread is held elsewhere is no pause of the scanner's when its
// keys wait in the driver.
TEST_F(CaptureThreadTest, APauseWhileTheThreadIsHeldDoesNotSplitAScan) {
    scanEnd = ScanEnd::Pause;
    pauseMilliseconds = MinPauseMilliseconds;
    gateClosed = true;
    threadAtGate = false;
    SetDialogPostSink(WaitAtGate);
    MainDialogHandle = &gateClosed;
    StartThread(2);
    const std::string batch(KeyQueueWakeBatch, 'x');
    ASSERT_EQ("ok", sim.Command("type 2 " + batch));  // its last key's wake-up holds the thread
    {
        std::unique_lock<std::mutex> lock(gateMutex);
        ASSERT_TRUE(
            gateChanged.wait_for(lock, std::chrono::seconds(30), [] { return threadAtGate; }));
    }
    ASSERT_EQ("ok", sim.Command("type 2 yz"));
    // Past the pause; a shorter wait on a starved machine would prove nothing but fail nothing.
    std::this_thread::sleep_for(std::chrono::milliseconds(4 * MinPauseMilliseconds));
    {
        std::lock_guard<std::mutex> lock(gateMutex);
        gateClosed = false;
    }
    gateChanged.notify_all();
    EXPECT_EQ(batch + "yz\r", Queued(batch.size() + 3));
    StopThread();
    MainDialogHandle = nullptr;
    SetDialogPostSink(nullptr);
    pauseMilliseconds = DefaultPauseMilliseconds;
}
#endif

// A driver that keeps naming number 1 and then has nothing for it; a stroke waits at 2.
std::atomic<int> namedReceives{0};
std::atomic<bool> strokeAtTwo{false};
std::atomic<int> sentAtTwo{0};

TEST(CaptureThreadDriver, ReceivingNothingForTheNamedNumberDoesNotSpin) {
    namedReceives = 0;
    strokeAtTwo = true;
    sentAtTwo = 0;
    InterceptionFunctions saved = interception;
    interception = InterceptionFunctions{
        [] { return InterceptionContext(nullptr); },
        [](InterceptionContext) {},
        [](InterceptionContext, InterceptionPredicate, InterceptionFilter) {},
        [](InterceptionContext, unsigned long) { return 1; },
        [](InterceptionContext, InterceptionDevice device, const InterceptionStrokeBuffer*,
           unsigned int) {
            sentAtTwo += device == 2 ? 1 : 0;
            return 1;
        },
        [](InterceptionContext, InterceptionDevice device, InterceptionStrokeBuffer* stroke,
           unsigned int) {
            if (device == 1) {
                ++namedReceives;
            }
            if (device != 2 || !strokeAtTwo.exchange(false)) {
                return 0;
            }
            *stroke = InterceptionStrokeBuffer{};
            return 1;
        },
        [](InterceptionContext, InterceptionDevice, void* buffer, unsigned int) {
            static_cast<uint16_t*>(buffer)[0] = 'K';  // a keyboard that is not the scanner
            return 4u;
        },
        [](InterceptionDevice device) { return device >= 1 && device <= 10 ? 1 : 0; },
    };
    auto started = std::chrono::steady_clock::now();
    ASSERT_TRUE(StartCaptureThread(CaptureTarget{}, false));
    // Two receives at 1 a turn: the one it named, then the sweep of every number.
    ASSERT_TRUE(WaitUntil([] { return namedReceives.load() >= 40; }));
    auto spent = std::chrono::steady_clock::now() - started;
    StopCaptureThread();
    interception = saved;
    // A pause after each empty receive: a spinning thread makes thousands in this time. The
    // other numbers are not starved behind the one the driver keeps naming.
    EXPECT_GE(spent, std::chrono::milliseconds(150));
    EXPECT_EQ(1, sentAtTwo.load());
}

}  // namespace
