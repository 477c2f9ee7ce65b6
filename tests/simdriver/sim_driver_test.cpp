#include "simdriver/sim_control.h"
#include "simdriver/sim_driver.h"

#include "support/test_environment.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

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
        {"move 2 2", "error usage: move D N, D present and N free\n"},
        {"move 5 6", "error usage: move D N, D present and N free\n"},
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

TEST(SimDriver, FilteredStrokesWaitForTheProgramInArrivalOrder) {
    SimContext context;
    SimConfigureDevices(context, "1=A;2=B;3=C");
    SimSetFilter(context, IsKeyboard, 0xFFFF);
    EXPECT_EQ(0, SimWait(context, 1));
    SimInject(context, 3, 0x10, 0);
    SimInject(context, 1, 0x11, 0);
    SimInject(context, 3, 0x12, 0);
    InterceptionStrokeBuffer buffer;
    InterceptionKeyStroke key;
    int order[3];
    for (int& device : order) {
        device = SimWait(context, 100);
        ASSERT_EQ(1, SimReceive(context, device, &buffer, 1));
        std::memcpy(&key, buffer.bytes, sizeof key);
    }
    EXPECT_EQ(3, order[0]);
    EXPECT_EQ(1, order[1]);
    EXPECT_EQ(3, order[2]);
    EXPECT_EQ(0x12, key.code);
    EXPECT_EQ(0, SimReceive(context, 3, &buffer, 1));
    EXPECT_EQ("end\n", SimHandleCommand(context, "system"));
    EXPECT_EQ(1, SimSend(context, 3, &buffer, 1));
    EXPECT_EQ("3 18 0\nend\n", SimHandleCommand(context, "system"));
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
