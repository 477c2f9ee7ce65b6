#include "capture/scan_translation.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <iconv.h>
#endif

#include <map>
#include <optional>
#include <string>

namespace {

// The expected US layout, written out by key rows rather than as code-indexed tables.
struct Key {
    int plain;
    int shifted;
};

std::map<uint16_t, Key> ExpectedLayout() {
    std::map<uint16_t, Key> layout;
    auto row = [&layout](uint16_t first, const std::string& plain, const std::string& shifted) {
        for (size_t k = 0; k < plain.size(); ++k) {
            layout[static_cast<uint16_t>(first + k)] = {static_cast<unsigned char>(plain[k]),
                                                        static_cast<unsigned char>(shifted[k])};
        }
    };
    row(0x02, "1234567890-=", "!@#$%^&*()_+");
    row(0x10, "qwertyuiop[]", "QWERTYUIOP{}");
    row(0x1E, "asdfghjkl;'`", "ASDFGHJKL:\"~");
    row(0x2B, "\\zxcvbnm,./", "|ZXCVBNM<>?");
    layout[0x01] = {0x1B, 0x1B};
    layout[0x0E] = {0x08, 0x08};
    layout[0x0F] = {0x09, 0x09};
    layout[0x1C] = {0x0D, 0x0D};
    layout[0x39] = {' ', ' '};
    const std::string keypad = "789-456+1230.";
    for (size_t k = 0; k < keypad.size(); ++k) {
        layout[static_cast<uint16_t>(0x47 + k)] = {keypad[k], keypad[k]};
    }
    layout[0x37] = {'*', '*'};
    return layout;
}

int Expected(uint16_t code, bool shift, bool caps) {
    static const auto layout = ExpectedLayout();
    auto key = layout.find(code);
    if (key == layout.end()) {
        return -1;
    }
    bool letter = key->second.plain >= 'a' && key->second.plain <= 'z';
    bool keypad = code == 0x37 || code >= 0x47;
    if (keypad) {
        return key->second.plain;
    }
    if (letter) {
        return shift != caps ? key->second.shifted : key->second.plain;
    }
    return shift ? key->second.shifted : key->second.plain;
}

TEST(ScanTranslation, EveryCodeWithEveryModifierCombination) {
    for (int code = 0; code <= 0x7F; ++code) {
        for (int combination = 0; combination < 4; ++combination) {
            bool shift = (combination & 1) != 0;
            bool caps = (combination & 2) != 0;
            ModifierState state;
            state.leftShift = shift;
            state.capsLock = caps;
            auto result = TranslateStroke(static_cast<uint16_t>(code), false, state);
            int expected = Expected(static_cast<uint16_t>(code), shift, caps);
            SCOPED_TRACE("code " + std::to_string(code) + " shift " + std::to_string(shift) +
                         " caps " + std::to_string(caps));
            if (expected < 0) {
                EXPECT_FALSE(result.has_value());
            } else {
                ASSERT_TRUE(result.has_value());
                EXPECT_EQ(expected, *result);
            }
        }
    }
}

TEST(ScanTranslation, ReleasesYieldNothingButUpdateModifiers) {
    ModifierState state;
    for (int code = 0; code <= 0x7F; ++code) {
        state = {};
        EXPECT_FALSE(TranslateStroke(static_cast<uint16_t>(code), true, state).has_value());
    }
    state = {};
    state.leftShift = true;
    TranslateStroke(0x2A, true, state);
    EXPECT_FALSE(ShiftHeld(state));
}

TEST(ScanTranslation, EachShiftIsTrackedApart) {
    ModifierState state;
    TranslateStroke(0x2A, false, state);  // left Shift held
    TranslateStroke(0x36, false, state);
    TranslateStroke(0x36, true, state);  // right Shift tapped
    EXPECT_EQ('A', *TranslateStroke(0x1E, false, state));
    TranslateStroke(0x2A, true, state);
    EXPECT_EQ('a', *TranslateStroke(0x1E, false, state));
}

TEST(ScanTranslation, EveryCapsLockPressTogglesIncludingRepeats) {
    ModifierState state;
    TranslateStroke(0x3A, false, state);
    EXPECT_TRUE(state.capsLock);
    TranslateStroke(0x3A, false, state);  // auto-repeat
    EXPECT_FALSE(state.capsLock);
    TranslateStroke(0x3A, false, state);
    TranslateStroke(0x3A, true, state);  // its release changes nothing
    EXPECT_TRUE(state.capsLock);
    EXPECT_EQ('Q', *TranslateStroke(0x10, false, state));
    EXPECT_EQ('1', *TranslateStroke(0x02, false, state));  // only letters follow Caps Lock
}

TEST(ScanTranslation, ModifierAndFunctionKeysGiveNoCharacter) {
    // Ctrl, Shifts, Alt, Caps Lock, F1 to F10, Num Lock, Scroll Lock, F11, F12
    const uint16_t codes[] = {0x1D, 0x2A, 0x36, 0x38, 0x3A, 0x3B, 0x3C, 0x3D, 0x3E, 0x3F,
                              0x40, 0x41, 0x42, 0x43, 0x44, 0x45, 0x46, 0x57, 0x58};
    for (uint16_t code : codes) {
        ModifierState state;
        EXPECT_FALSE(TranslateStroke(code, false, state).has_value()) << code;
    }
}

TEST(ScanTranslation, HeldKeyGivesOneCharacterPerRepeatedPress) {
    ModifierState state;
    std::string typed;
    for (int repeat = 0; repeat < 3; ++repeat) {
        typed += static_cast<char>(*TranslateStroke(0x2D, false, state));
    }
    EXPECT_FALSE(TranslateStroke(0x2D, true, state).has_value());
    EXPECT_EQ("xxx", typed);
}

// Strokes as scanners send them: "c"/"c'" left Ctrl down/up, "rc" right Ctrl (E0), "s"/"rs"
// left/right Shift, "fs"/"frs" their fakes (E0), "a"/"ra" left/right Alt, "kXX" a key pressed
// and released by its hex code, "eXX" the same with E0.
std::string Typed(const std::string& strokes, bool capsLock = false) {
    ModifierState state;
    state.capsLock = capsLock;
    std::string typed;
    auto stroke = [&](uint16_t code, bool released, bool prefixed) {
        if (auto character = TranslateStroke(code, released, state, prefixed)) {
            typed.push_back(static_cast<char>(*character));
        }
    };
    size_t at = 0;
    while (at < strokes.size()) {
        size_t end = strokes.find(' ', at);
        std::string token = strokes.substr(at, end == std::string::npos ? end : end - at);
        at = end == std::string::npos ? strokes.size() : end + 1;
        bool up = token.back() == '\'';
        std::string name = up ? token.substr(0, token.size() - 1) : token;
        static const std::map<std::string, std::pair<uint16_t, bool>> modifiers = {
            {"c", {0x1D, false}},  {"rc", {0x1D, true}}, {"s", {0x2A, false}},
            {"rs", {0x36, false}}, {"fs", {0x2A, true}}, {"frs", {0x36, true}},
            {"a", {0x38, false}},  {"ra", {0x38, true}},
        };
        if (auto modifier = modifiers.find(name); modifier != modifiers.end()) {
            stroke(modifier->second.first, up, modifier->second.second);
        } else {
            auto code = static_cast<uint16_t>(std::stoi(name.substr(1), nullptr, 16));
            stroke(code, false, name[0] == 'e');
            stroke(code, true, name[0] == 'e');
        }
    }
    return typed;
}

TEST(ScanTranslation, ControlCharactersByCtrlAndByAltCodes) {
    struct Case {
        const char* strokes;
        std::string bytes;
    } cases[] = {
        {"c k1B c'", "\x1D"},                                  // Ctrl+]: GS
        {"c k07 c'", "\x1E"},                                  // Ctrl+6: RS
        {"c s k07 s' c'", "\x1E"},                             // Ctrl+^, Shift and all
        {"rc k20 rc'", "\x04"},                                // right Ctrl+D: EOT
        {"c k0C c' c s k0C s' c'", "\x1F\x1F"},                // Ctrl+- and Ctrl+_: US
        {"c k03 c'", std::string(1, '\0')},                    // Ctrl+@
        {"c k1A k2B k1E k2C k32 c'", "\x1B\x1C\x01\x1A\x0D"},  // [ \ A Z M
        {"c k02 k3B k1C k4F k39 k01 c'", ""},                  // 1, F1, Enter, keypad 1, Space, Esc
        {"a k52 k50 k49 a'", "\x1D"},                          // Alt 029: GS
        {"a k51 k52 a' a k4B a'", "\x1E\x04"},                 // Alt 30, Alt 4
        {"a k4F k50 k4D a'", "~"},                             // Alt 126
        {"a k50 k4C k4C a' a k51 k52 k52 a'", "\xA0,"},        // 255 (437: NBSP), 300 mod 256
        {"a k52 k50 k4C k4C a' a k52 k51 k52 k52 a'", "\xFF,"},  // 0255, 0300: ANSI
        // no digit; an arrow; a main-row 1 abandons the code and the 9 after it does not carry on
        {"a a' a e48 a' a k52 k02 k49 a'", ""},
        {"a k4F e48 k50 a' a k4F rc k50 rc' a'", "\x0C"},  // an E0 key abandons; right Ctrl not
        {"a k52 a k50 k49 a'", "\x1D"},                    // Alt repeating while held
        {"a ra k52 k50 ra' k49 a'", "\x1D"},               // given when the last Alt held goes up
        {"a k4D rs k4C rs' a' a k47 k4F a'", "AG"},  // a Shift inside; keypad 7, the first key
        {"k0B k02 c k1B c' k03 k02 a k52 k51 k52 a'",
         "01\x1D"
         "21\x1E"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.bytes, Typed(c.strokes)) << c.strokes;
        EXPECT_EQ(c.bytes, Typed(c.strokes, true)) << "Caps Lock on: " << c.strokes;
    }
}

// Only keypad Enter and keypad / type among the E0 keys; the Shift a keyboard fakes around its
// grey keys leaves the real one alone.
TEST(ScanTranslation, PrefixedKeysAndFakeShifts) {
    for (uint16_t code = 1; code < 0x80; ++code) {
        ModifierState state;
        auto typed = TranslateStroke(code, false, state, true);
        int expected = code == 0x1C ? 0x0D : code == 0x35 ? '/' : -1;
        EXPECT_EQ(expected, typed ? *typed : -1) << code;
    }
    EXPECT_EQ("1!!1", Typed("fs k02 fs' s k02 fs' frs k02 s' frs' k02"));
}

// Alt codes against the system's own conversion of code page 437 into Windows-1252.
TEST(ScanTranslation, AltCodesReadAsAnsiWithALeadingZeroElseAsCodePage437) {
    for (int value = 0; value < 256; ++value) {
        char oem = static_cast<char>(value);
        std::string system;
#ifdef _WIN32
        wchar_t wide = 0;
        char converted = 0;
        BOOL lacking = FALSE;
        MultiByteToWideChar(437, 0, &oem, 1, &wide, 1);
        WideCharToMultiByte(1252, WC_NO_BEST_FIT_CHARS, &wide, 1, &converted, 1, nullptr, &lacking);
        system.push_back(lacking ? '?' : converted);
#else
        iconv_t converter = iconv_open("CP1252", "IBM437");
        char out[4] = {};
        char* in = &oem;
        char* to = out;
        size_t inLeft = 1, outLeft = sizeof out;
        bool done = iconv(converter, &in, &inLeft, &to, &outLeft) != static_cast<size_t>(-1);
        iconv_close(converter);
        system = done ? std::string(out, to) : "?";
#endif
        std::string digits;
        for (char digit : std::to_string(value)) {
            // Keypad keys of the digits 0 to 9.
            const char* keypad[] = {"k52", "k4F", "k50", "k51", "k4B",
                                    "k4C", "k4D", "k47", "k48", "k49"};
            digits += std::string(" ") + keypad[digit - '0'];
        }
        EXPECT_EQ(system, Typed("a" + digits + " a'")) << value;
        EXPECT_EQ(std::string(1, oem), Typed("a k52" + digits + " a'")) << value;
        EXPECT_EQ(std::string(1, oem), Typed("ra k52" + digits + " ra'")) << value;
    }
}

}  // namespace
