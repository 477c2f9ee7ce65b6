#include "simdriver/sim_control.h"

#include "simdriver/sim_notify.h"
#include "simdriver/us_layout.h"

#include <cstdio>
#include <sstream>
#include <utility>
#include <vector>

namespace {

// Decimal or 0x-hexadecimal, the whole token, within [0, limit].
bool ParseNumber(const std::string& token, unsigned long limit, unsigned long& value) {
    bool hex = token.size() > 2 && token[0] == '0' && (token[1] == 'x' || token[1] == 'X');
    size_t start = hex ? 2 : 0;
    if (token.size() == start || token.size() - start > 8) {
        return false;
    }
    value = 0;
    for (size_t k = start; k < token.size(); ++k) {
        char c = token[k];
        int digit = c >= '0' && c <= '9'          ? c - '0'
                    : hex && c >= 'a' && c <= 'f' ? c - 'a' + 10
                    : hex && c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                  : -1;
        if (digit < 0) {
            return false;
        }
        value = value * (hex ? 16 : 10) + static_cast<unsigned long>(digit);
    }
    return value <= limit;
}

bool ParseKeyboard(const std::string& token, int& device) {
    unsigned long value = 0;
    if (!ParseNumber(token, InterceptionMaxKeyboard, value) || value == 0) {
        return false;
    }
    device = static_cast<int>(value);
    return true;
}

// Splits off the first word; rest receives what follows the single blank after it.
std::string FirstWord(const std::string& text, std::string& rest) {
    size_t blank = text.find(' ');
    if (blank == std::string::npos) {
        rest.clear();
        return text;
    }
    rest = text.substr(blank + 1);
    return text.substr(0, blank);
}

std::string TypeText(SimContext& context, const std::string& arguments, bool withEnter,
                     ControlStyle style) {
    std::string text;
    int device = 0;
    if (!ParseKeyboard(FirstWord(arguments, text), device)) {
        return "error bad device\n";
    }
    auto strokes = StrokesForText(device, text, style);
    if (!strokes) {
        return "error character not on a US keyboard\n";
    }
    if (withEnter) {
        strokes->push_back({device, SimEnterCode, 0});
        strokes->push_back({device, SimEnterCode, InterceptionKeyUp});
    }
    for (const SimStroke& stroke : *strokes) {
        SimInject(context, stroke.device, stroke.code, stroke.state);
    }
    return "ok\n";
}

// One stroke, or several in one step: a burst that no round trip of the channel splits.
std::string InjectStroke(SimContext& context, const std::string& arguments) {
    std::istringstream words(arguments);
    std::string deviceText, codeText, stateText;
    int device = 0;
    std::vector<std::pair<uint16_t, uint16_t>> strokes;
    bool valid = static_cast<bool>(words >> deviceText) && ParseKeyboard(deviceText, device);
    while (valid && words >> codeText) {
        unsigned long code = 0, state = 0;
        valid = static_cast<bool>(words >> stateText) && ParseNumber(codeText, 0xFFFF, code) &&
                ParseNumber(stateText, 0xFFFF, state);
        strokes.emplace_back(static_cast<uint16_t>(code), static_cast<uint16_t>(state));
    }
    if (!valid || strokes.empty()) {
        return "error usage: stroke D CODE STATE\n";
    }
    for (auto [code, state] : strokes) {
        SimInject(context, device, code, state);
    }
    return "ok\n";
}

std::string SystemReport(SimContext& context) {
    std::string reply;
    for (const SimStroke& stroke : SimTakeSystemStrokes(context)) {
        reply += std::to_string(stroke.device) + " " + std::to_string(stroke.code) + " " +
                 std::to_string(stroke.state) + "\n";
    }
    return reply + "end\n";
}

std::string Refusal(const std::string& reason) {
    return reason.empty() ? "ok\n" : "error " + reason + "\n";
}

void ServeClient(SimContext& context, SocketHandle client) {
    std::string pending;
    char buffer[1024];
    while (true) {
        SocketWait wait = SocketWaitReadable(client, context.controlWaker, 60000);
        if (wait == SocketWait::Woken || wait == SocketWait::Failed) {
            return;
        }
        if (wait == SocketWait::TimedOut) {
            continue;
        }
        int count = SocketReceive(client, buffer, sizeof buffer);
        if (count == SocketWouldBlock) {
            continue;
        }
        if (count <= 0) {
            return;
        }
        pending.append(buffer, static_cast<size_t>(count));
        size_t newline;
        while ((newline = pending.find('\n')) != std::string::npos) {
            std::string line = pending.substr(0, newline);
            pending.erase(0, newline + 1);
            if (!line.empty() && line.back() == '\r') {
                line.pop_back();
            }
            std::string reply = line.size() > SimMaxLineBytes ? "error line too long\n"
                                                              : SimHandleCommand(context, line);
            if (!SocketSendAll(client, reply.data(), reply.size(), 10000) ||
                line.size() > SimMaxLineBytes) {
                return;
            }
        }
        if (pending.size() > SimMaxLineBytes) {
            const std::string reply = "error line too long\n";
            SocketSendAll(client, reply.data(), reply.size(), 10000);
            return;
        }
    }
}

void ControlChannelMain(SimContext* context) {
    while (true) {
        SocketWait wait =
            SocketWaitReadable(context->controlListener, context->controlWaker, 60000);
        if (wait == SocketWait::Woken || wait == SocketWait::Failed) {
            return;
        }
        if (wait == SocketWait::TimedOut) {
            continue;
        }
        std::string peer;
        SocketHandle client = SocketAccept(context->controlListener, peer);
        if (client != InvalidSocket) {
            ServeClient(*context, client);
            SocketClose(client);
        }
    }
}

std::string Reply(SimContext& context, const std::string& line) {
    std::string arguments;
    std::string command = FirstWord(line, arguments);
    if (command == "stroke") {
        return InjectStroke(context, arguments);
    }
    if (command == "type" || command == "scan") {
        return TypeText(context, arguments, command == "scan", ControlStyle::Ctrl);
    }
    if (command == "altscan") {
        return TypeText(context, arguments, true, ControlStyle::AltCode);
    }
    if (command == "system" && arguments.empty()) {
        return SystemReport(context);
    }
    if (command == "timing" && (arguments == "on" || arguments == "off")) {
        SimSetTiming(context, arguments == "on");
        return "ok\n";
    }
    if (command == "timings" && arguments.empty()) {
        SimTiming timing = SimTakeTimings(context);
        std::string reply;
        for (int64_t at : timing.enterHandouts) {
            reply += "enter " + std::to_string(at) + "\n";
        }
        for (int64_t latency : timing.passLatencies) {
            reply += "pass " + std::to_string(latency) + "\n";
        }
        return reply + "end\n";
    }
    if (command == "stats" && arguments.empty()) {
        SimCounters counters = SimCountersOf(context);
        return "injected " + std::to_string(counters.injected) + " handed " +
               std::to_string(counters.handedOut) + " sent " + std::to_string(counters.sent) +
               " pending " + std::to_string(counters.pending) + "\n";
    }
    if (command == "held" && arguments.empty()) {
        std::string reply;
        for (const auto& [device, key] : SimHeldKeys(context)) {
            reply += std::to_string(device) + " " + std::to_string(key) + "\n";
        }
        return reply + "end\n";
    }
    int device = 0;
    if (command == "filter") {
        unsigned long number = 0;
        if (!ParseNumber(arguments, SimDeviceCount, number) || number == 0) {
            return "error bad device\n";
        }
        return std::to_string(SimFilterOf(context, static_cast<int>(number))) + "\n";
    }
    if (command == "unplug") {
        return ParseKeyboard(arguments, device) && SimUnplug(context, device)
                   ? "ok\n"
                   : "error bad device\n";
    }
    if (command == "move") {
        std::string toText;
        int to = 0;
        if (!ParseKeyboard(FirstWord(arguments, toText), device) || !ParseKeyboard(toText, to)) {
            return "error usage: move D N\n";
        }
        return Refusal(SimMove(context, device, to));
    }
    if (command == "plug") {
        std::string hardwareId;
        if (!ParseKeyboard(FirstWord(arguments, hardwareId), device)) {
            return "error bad device\n";
        }
        return Refusal(SimPlug(context, device, SimWiden(hardwareId)));
    }
    if (command == "reboot" && arguments.empty()) {
        SimReboot(context);
        return "ok\n";
    }
    if (command == "anonymous") {
        std::string setting;
        if (!ParseKeyboard(FirstWord(arguments, setting), device) ||
            (setting != "on" && setting != "off")) {
            return "error usage: anonymous D on|off\n";
        }
        SimSetAnonymous(context, device, setting == "on");
        return "ok\n";
    }
    if (command == "arrival") {
        if (!ParseKeyboard(arguments, device)) {
            return "error bad device\n";
        }
        int64_t latency = SimArrivalLatency(context, device);
        return (latency < 0 ? "none" : std::to_string(latency)) + "\n";
    }
    return "error unknown command\n";
}

}  // namespace

std::string SimHandleCommand(SimContext& context, const std::string& line) {
    std::string reply = Reply(context, line);
    // The program's windows have handled the notice of a keyboard that came or went before the
    // test hears "ok"; never with the context locked, as a window may call the driver meanwhile.
    SimAnnounce(SimTakeDeviceEvents(context));
    return reply;
}

bool SimStartControlChannel(SimContext& context, uint16_t port, const std::string& portFile) {
    context.controlListener = SocketOpenStream();
    context.controlWaker = SocketOpenWaker();
    if (context.controlListener == InvalidSocket || context.controlWaker == InvalidSocket ||
        !SocketBind(context.controlListener, LoopbackAddress, port) ||
        !SocketListen(context.controlListener, 4)) {
        SimStopControlChannel(context);
        return false;
    }
    if (!portFile.empty()) {
        // Written whole under a temporary name, so a reader never sees half a number.
        std::string temporary = portFile + ".tmp";
        if (FILE* file = std::fopen(temporary.c_str(), "w")) {
            std::fprintf(file, "%u\n", SocketLocalPort(context.controlListener));
            std::fclose(file);
            std::remove(portFile.c_str());
            std::rename(temporary.c_str(), portFile.c_str());
        }
    }
    context.controlThread = std::thread(ControlChannelMain, &context);
    return true;
}

void SimStopControlChannel(SimContext& context) {
    if (context.controlThread.joinable()) {
        SocketWake(context.controlWaker);
        context.controlThread.join();
    }
    if (context.controlListener != InvalidSocket) {
        SocketClose(context.controlListener);
        context.controlListener = InvalidSocket;
    }
    if (context.controlWaker != InvalidSocket) {
        SocketClose(context.controlWaker);
        context.controlWaker = InvalidSocket;
    }
}
