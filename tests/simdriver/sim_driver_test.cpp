#include "simdriver/sim_control.h"
#include "simdriver/sim_driver.h"

#include "capture/interception_driver.h"
#include "support/sim_session.h"
#include "support/test_environment.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

int IsKeyboard(int device) {
    return device >= 1 && device <= 10;
}

struct CommandCase {
    const char* line;
    const char* reply;
};

TEST(SimDriver, CommandRepliesAndRefusals) {
    SimContext context;
    SimConfigureDevices(context, "2=HID\\VID_1234&PID_ABCD");
    const CommandCase cases[] = {
        {"stroke 2 30 0", "ok\n"},
        {"stroke 2 0x1e 0x01", "ok\n"},
        {"stroke 0 30 0", "error usage: stroke D CODE STATE\n"},
        {"stroke 11 30 0", "error usage: stroke D CODE STATE\n"},
        {"stroke 2 0x10000 0", "error usage: stroke D CODE STATE\n"},
        {"stroke 2 30", "error usage: stroke D CODE STATE\n"},
        {"stroke 2 30 0 9", "error usage: stroke D CODE STATE\n"},
        {"stroke 2 -1 0", "error usage: stroke D CODE STATE\n"},
        {"type x hello", "error bad device\n"},
        {"type 2 caf\xc3\xa9", "error character not on a US keyboard\n"},
        {"type 2 del\x7f", "error character not on a US keyboard\n"},
        {"move 2 2", "error number 2 is taken\n"},
        {"move 5 6", "error keyboard 5 is not present\n"},
        {"move 2 11", "error usage: move D N\n"},
        {"anonymous 11 on", "error usage: anonymous D on|off\n"},
        {"anonymous 2", "error usage: anonymous D on|off\n"},
        {"arrival 0", "error bad device\n"},
        {"arrival 2", "none\n"},
        {"reboot now", "error unknown command\n"},
        {"filter 2", "0\n"},
        {"filter 21", "error bad device\n"},
        {"unplug 12", "error bad device\n"},
        {"plug 3", "error missing hardware id\n"},
        {"plug 3 HID\\VID_0001", "ok\n"},
        {"system now", "error unknown command\n"},
        {"", "error unknown command\n"},
        {"STROKE 2 30 0", "error unknown command\n"},
    };
    for (const CommandCase& c : cases) {
        EXPECT_EQ(c.reply, SimHandleCommand(context, c.line)) << c.line;
    }
    EXPECT_EQ("2 30 0\n2 30 1\nend\n", SimHandleCommand(context, "system"));
    EXPECT_EQ("end\n", SimHandleCommand(context, "system"));
}

TEST(SimDriver, TypeWrapsShiftedCharactersInLeftShift) {
    SimContext context;
    SimConfigureDevices(context, "1=ACPI\\PNP0303");
    ASSERT_EQ("ok\n", SimHandleCommand(context, "scan 1 a!"));
    EXPECT_EQ("1 30 0\n1 30 1\n1 42 0\n1 2 0\n1 2 1\n1 42 1\n1 28 0\n1 28 1\nend\n",
              SimHandleCommand(context, "system"));
    // A group separator as Ctrl+], and in Alt mode as Alt with keypad 0 2 9.
    ASSERT_EQ("ok\n", SimHandleCommand(context, "type 1 \x1d"));
    EXPECT_EQ("1 29 0\n1 27 0\n1 27 1\n1 29 1\nend\n", SimHandleCommand(context, "system"));
    ASSERT_EQ("ok\n", SimHandleCommand(context, "altscan 1 \x1d"));
    EXPECT_EQ(
        "1 56 0\n1 82 0\n1 82 1\n1 80 0\n1 80 1\n1 73 0\n1 73 1\n1 56 1\n1 28 0\n1 28 1\n"
        "end\n",
        SimHandleCommand(context, "system"));
}

TEST(SimDriver, HeldKeysFollowWhatReachesTheSystem) {
    SimContext context;
    SimConfigureDevices(context, "1=A;2=B");
    for (const char* stroke : {"stroke 1 30 0", "stroke 1 30 0", "stroke 2 29 2", "stroke 2 29 0",
                               "stroke 1 48 0", "stroke 1 48 1", "stroke 1 99 1"}) {
        ASSERT_EQ("ok\n", SimHandleCommand(context, stroke));
    }
    // E0 1D (right Ctrl) and 1D (left Ctrl) are different keys: 0x100 marks the E0 one.
    EXPECT_EQ("1 30\n2 285\n2 29\nend\n", SimHandleCommand(context, "held"));
    ASSERT_EQ("ok\n", SimHandleCommand(context, "stroke 2 29 3"));
    EXPECT_EQ("1 30\n2 29\nend\n", SimHandleCommand(context, "held"));
}

TEST(SimDriver, WaitGivesTheLowestReadyNumberAndEachNumbersStrokesInOrder) {
    SimContext context;
    SimConfigureDevices(context, "1=A;2=B;3=C");
    SimSetFilter(context, IsKeyboard, 0xFFFF);
    EXPECT_EQ(0, SimWait(context, 1));
    SimInject(context, 3, 0x10, 0);
    SimInject(context, 1, 0x11, 0);
    SimInject(context, 3, 0x12, 0);
    InterceptionStrokeBuffer buffer;
    InterceptionKeyStroke key;
    std::vector<std::pair<int, int>> taken;  // device, code
    for (int k = 0; k < 4; ++k) {
        if (k == 2) {
            SimInject(context, 2, 0x13, 0);  // typed last, but its number is lower than 3's
        }
        int device = SimWait(context, 100);
        ASSERT_EQ(1, SimReceive(context, device, &buffer, 1));
        std::memcpy(&key, buffer.bytes, sizeof key);
        taken.emplace_back(device, key.code);
    }
    EXPECT_EQ((std::vector<std::pair<int, int>>{{1, 0x11}, {3, 0x10}, {2, 0x13}, {3, 0x12}}),
              taken);
    EXPECT_EQ(0, SimReceive(context, 3, &buffer, 1));
    EXPECT_EQ("end\n", SimHandleCommand(context, "system"));
    EXPECT_EQ(1, SimSend(context, 3, &buffer, 1));
    EXPECT_EQ("3 18 0\nend\n", SimHandleCommand(context, "system"));
}

void ExpectReplies(SimContext& context, const std::vector<CommandCase>& cases) {
    for (const CommandCase& c : cases) {
        EXPECT_EQ(c.reply, SimHandleCommand(context, c.line)) << c.line;
    }
}

TEST(SimDriver, ANumberOnceAttachedIsNotGivenAgainUntilAReboot) {
    SimContext context;
    SimConfigureDevices(context, "1=A;2=B");
    ExpectReplies(context, {
                               {"unplug 2", "ok\n"},
                               {"plug 2 B", "error number 2 was used since the last reboot\n"},
                               {"plug 1 B", "error number 1 is taken\n"},
                               {"move 1 2", "error number 2 was used since the last reboot\n"},
                               {"move 1 3", "ok\n"},
                               {"plug 1 A", "error number 1 was used since the last reboot\n"},
                               {"move 3 1", "error number 1 was used since the last reboot\n"},
                               {"reboot", "ok\n"},
                               {"plug 2 B", "ok\n"},
                               {"move 3 1", "ok\n"},
                               {"plug 3 C", "error number 3 was used since the last reboot\n"},
                           });
    // Ten attaches use the numbers up: no keyboard gets one after that.
    for (int device = 4; device <= 10; ++device) {
        EXPECT_EQ("ok\n", SimHandleCommand(context, "plug " + std::to_string(device) + " X"));
        EXPECT_EQ("ok\n", SimHandleCommand(context, "unplug " + std::to_string(device)));
    }
    for (int device = 3; device <= 10; ++device) {
        EXPECT_NE("ok\n", SimHandleCommand(context, "plug " + std::to_string(device) + " X"));
    }
    // With the old numbering any absent number is taken again, a present one still is not.
    context.reuseNumbers = true;
    ExpectReplies(context, {{"unplug 2", "ok\n"},
                            {"plug 2 B", "ok\n"},
                            {"plug 2 B", "error number 2 is taken\n"},
                            {"move 2 3", "ok\n"},
                            {"move 3 2", "ok\n"}});
}

TEST(SimDriver, ArrivalTimeRunsUntilTheNextFilterAndMayStartUnfiltered) {
    SimContext context;
    SimConfigureDevices(context, "1=A;2=B");
    SimSetFilter(context, IsKeyboard, 0xFFFF);
    EXPECT_EQ(-1, SimArrivalLatency(context, 1));  // present from the start: no arrival
    auto before = std::chrono::steady_clock::now();
    ASSERT_EQ("ok\n", SimHandleCommand(context, "move 2 3"));
    ASSERT_EQ("ok\n", SimHandleCommand(context, "plug 4 D"));
    ASSERT_EQ("ok\n", SimHandleCommand(context, "unplug 4"));
    EXPECT_EQ("65535\n", SimHandleCommand(context, "filter 3"));  // kept from before the move
    EXPECT_EQ("none\n", SimHandleCommand(context, "arrival 3"));
    SimSetFilter(context, IsKeyboard, 0);
    EXPECT_EQ("none\n", SimHandleCommand(context, "arrival 3"));
    SimSetFilter(context, IsKeyboard, 0xFFFF);
    int64_t latency = SimArrivalLatency(context, 3);
    EXPECT_GE(latency, 0);
    EXPECT_LE(latency, std::chrono::duration_cast<std::chrono::nanoseconds>(
                           std::chrono::steady_clock::now() - before)
                           .count());
    SimSetFilter(context, IsKeyboard, 0xFFFF);
    EXPECT_EQ(latency, SimArrivalLatency(context, 3));
    EXPECT_EQ(-1, SimArrivalLatency(context, 4));  // gone before its filter came

    context.arrivalUnfiltered = true;
    ASSERT_EQ("ok\n", SimHandleCommand(context, "plug 5 E"));
    ASSERT_EQ("ok\n", SimHandleCommand(context, "move 3 6"));
    for (const char* query : {"filter 5", "filter 6"}) {
        EXPECT_EQ("0\n", SimHandleCommand(context, query)) << query;
    }
    EXPECT_EQ("65535\n", SimHandleCommand(context, "filter 1"));
    ASSERT_EQ("ok\n", SimHandleCommand(context, "type 6 a"));
    EXPECT_EQ("6 30 0\n6 30 1\nend\n", SimHandleCommand(context, "system"));
}

TEST(SimDriver, AnAnonymousKeyboardHasNoIdButTypesAsBefore) {
    SimContext context;
    SimConfigureDevices(context, "1=A;2=B");
    SimSetFilter(context, IsKeyboard, 0xFFFF);
    char16_t buffer[64];
    ASSERT_EQ("ok\n", SimHandleCommand(context, "anonymous 2 on"));
    EXPECT_EQ(0u, SimHardwareId(context, 2, buffer, sizeof buffer));
    ASSERT_EQ("ok\n", SimHandleCommand(context, "type 2 a"));
    EXPECT_EQ(2, SimWait(context, 100));
    ASSERT_EQ("ok\n", SimHandleCommand(context, "anonymous 2 off"));
    EXPECT_NE(0u, SimHardwareId(context, 2, buffer, sizeof buffer));
    // Set before a plug, the keyboard arrives without a readable id; a move or an unplug of
    // that number ends it.
    ASSERT_EQ("ok\n", SimHandleCommand(context, "anonymous 3 on"));
    ASSERT_EQ("ok\n", SimHandleCommand(context, "plug 3 C"));
    EXPECT_EQ(0u, SimHardwareId(context, 3, buffer, sizeof buffer));
    ASSERT_EQ("ok\n", SimHandleCommand(context, "move 3 4"));
    EXPECT_NE(0u, SimHardwareId(context, 4, buffer, sizeof buffer));
    context.reuseNumbers = true;
    for (const char* command : {"anonymous 4 on", "unplug 4", "plug 4 D", "plug 3 C"}) {
        ASSERT_EQ("ok\n", SimHandleCommand(context, command)) << command;
    }
    EXPECT_NE(0u, SimHardwareId(context, 4, buffer, sizeof buffer));
    EXPECT_NE(0u, SimHardwareId(context, 3, buffer, sizeof buffer));
}

TEST(SimDriver, LibraryTakesItsNumberingAndArrivalOptionsFromTheEnvironment) {
    for (bool options : {false, true}) {
        SetEnvironment("INTERCEPTION_SIM_REUSE_NUMBERS", options ? "1" : "");
        SetEnvironment("INTERCEPTION_SIM_ARRIVAL_UNFILTERED", options ? "1" : "");
        SimSession sim;
        ASSERT_TRUE(sim.Open("1=A;2=B"));
        interception.setFilter(interceptionContext, IsKeyboard, 0xFFFF);
        EXPECT_EQ("ok", sim.Command("unplug 2"));
        EXPECT_EQ(options ? "ok" : "error number 2 was used since the last reboot",
                  sim.Command("plug 2 B"));
        EXPECT_EQ("ok", sim.Command("plug 3 C"));
        EXPECT_EQ(options ? "0" : "65535", sim.Command("filter 3"));
        sim.Close();
    }
    SetEnvironment("INTERCEPTION_SIM_REUSE_NUMBERS", "");
    SetEnvironment("INTERCEPTION_SIM_ARRIVAL_UNFILTERED", "");
}

TEST(SimDriver, HardwareIdIsAStringListCutToTheBuffer) {
    SimContext context;
    SimConfigureDevices(context, "1=AB;4=;bad;12=X;5=C=D");
    char16_t buffer[64];
    std::memset(buffer, 0x7F, sizeof buffer);
    unsigned int bytes = SimHardwareId(context, 1, buffer, sizeof buffer);
    EXPECT_EQ(std::u16string(u"AB"), std::u16string(buffer));
    EXPECT_EQ(std::u16string(u"HID_DEVICE_SYSTEM_KEYBOARD"), std::u16string(buffer + 3));
    EXPECT_EQ((3 + 27 + 1) * 2u, bytes);
    EXPECT_EQ(0u, SimHardwareId(context, 4, buffer, sizeof buffer));
    EXPECT_EQ(std::u16string(u"C=D"),
              std::u16string(buffer, SimHardwareId(context, 5, buffer, 6) / 2));
    EXPECT_EQ(0u, SimHardwareId(context, 2, buffer, sizeof buffer));
    EXPECT_EQ("ok\n", SimHandleCommand(context, "unplug 1"));
    EXPECT_EQ(0u, SimHardwareId(context, 1, buffer, sizeof buffer));
    EXPECT_EQ("ok\n", SimHandleCommand(context, "type 1 abc"));
    EXPECT_EQ("end\n", SimHandleCommand(context, "system"));
}

TEST(SimDriver, ControlChannelAnswersAndDropsOverlongLines) {
    SocketLibraryStart();
    SimContext context;
    SimConfigureDevices(context, "1=A");
    std::string portFile = TemporaryPath("control-port");
    ASSERT_TRUE(SimStartControlChannel(context, 0, portFile));
    auto port = static_cast<uint16_t>(std::strtoul(ReadWholeFile(portFile).c_str(), nullptr, 10));
    std::remove(portFile.c_str());

    SocketHandle client = SocketConnect(LoopbackAddress, port);
    ASSERT_NE(InvalidSocket, client);
    std::string request = "filter 1\r\nnonsense\n" + std::string(5000, 'x') + "\nfilter 1\n";
    ASSERT_TRUE(SocketSendAll(client, request.data(), request.size(), 5000));
    std::string replies;
    char buffer[256];
    for (int count; (count = SocketReceive(client, buffer, sizeof buffer)) > 0;) {
        replies.append(buffer, static_cast<size_t>(count));
    }
    EXPECT_EQ("0\nerror unknown command\nerror line too long\n", replies);
    SocketClose(client);

    // The channel serves the next client after one it dropped.
    client = SocketConnect(LoopbackAddress, port);
    ASSERT_NE(InvalidSocket, client);
    request = "filter 1\n";
    ASSERT_TRUE(SocketSendAll(client, request.data(), request.size(), 5000));
    int count = SocketReceive(client, buffer, sizeof buffer);
    EXPECT_EQ("0\n", std::string(buffer, static_cast<size_t>(count > 0 ? count : 0)));
    SocketClose(client);
    SimStopControlChannel(context);
    SocketLibraryStop();
}

}  // namespace
