#include "common/log_line.h"

#include "common/dialog_post.h"
#include "common/text_conversion.h"
#include "support/dialog_messages.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>

namespace {

TEST(LogLine, PrefixHasTwoDigitFieldsAndOneBlank) {
    EXPECT_EQ(L"[09:05:07] SCAN #3 -> AB7", FormatLogLine({9, 5, 7}, L"SCAN #3 -> AB7"));
    EXPECT_EQ(L"[23:59:00] ", FormatLogLine({23, 59, 0}, L""));
}

TEST(LogLine, LineBeforeTheDialogExistsIsDropped) {
    StartCollectingDialogMessages();
    MainDialogHandle = nullptr;
    LogLine(L"lost");
    EXPECT_TRUE(PostedLogLines().empty());
    StopCollectingDialogMessages();
}

TEST(LogLine, LineIsPostedWithTheCurrentTime) {
    StartCollectingDialogMessages();
    LocalClock before = CurrentLocalTime();
    LogLine(L"Capture stopped.");
    LocalClock after = CurrentLocalTime();
    auto lines = PostedLogLines();
    StopCollectingDialogMessages();
    ASSERT_EQ(1u, lines.size());
    EXPECT_TRUE(lines[0] == FormatLogLine(before, L"Capture stopped.") ||
                lines[0] == FormatLogLine(after, L"Capture stopped."))
        << lines[0].size();
}

TEST(LogLine, LinesLoggedBeforeTheDialogLooksWakeItOnce) {
    StartCollectingDialogMessages();
    for (int k = 0; k < 100; ++k) {
        LogLine(L"line " + std::to_wstring(k));
    }
    EXPECT_EQ(100u, LoggedTexts().size());
    EXPECT_EQ(1u, LogWakeUps());
    StopCollectingDialogMessages();
}

TEST(LogLine, LinesOfFailedWakeUpsWaitForTheNextOne) {
    StartCollectingDialogMessages();
    FailDialogPosts(true);
    LogLine(L"nobody listens");
    LogLine(L"still nobody");
    EXPECT_TRUE(PostedLogLines().empty());
    FailDialogPosts(false);
    LogLine(L"heard");
    EXPECT_EQ((std::vector<std::wstring>{L"nobody listens", L"still nobody", L"heard"}),
              LoggedTexts());
    StopCollectingDialogMessages();
}

TEST(LogLine, ABurstIsTakenAPartAtATimeAndTheRestWakesTheDialogAgain) {
    StartCollectingDialogMessages();
    FailDialogPosts(true);  // the lines wait, and no wake-up is pending
    for (wchar_t tag : {L'a', L'b', L'c', L'd'}) {
        LogLine(std::wstring(3000, tag));
    }
    FailDialogPosts(false);
    // At least one line, however small the part; then as many whole lines as fit.
    std::vector<std::wstring> first = TakeLogLines(100);
    ASSERT_EQ(1u, first.size());
    EXPECT_EQ(L'a', first[0].back());
    std::vector<std::wstring> second = TakeLogLines(7000);  // a stamped line: 3,011 characters
    ASSERT_EQ(2u, second.size());
    EXPECT_EQ(L'c', second[1].back());
    // What is left woke the dialog, which takes it.
    EXPECT_EQ(std::vector<std::wstring>{std::wstring(3000, L'd')}, LoggedTexts());
    StopCollectingDialogMessages();
}

TEST(LogLine, LinesFromTwoThreadsArriveWholeAndInTheirOrder) {
    StartCollectingDialogMessages();
    auto writer = [](wchar_t tag) {
        for (int k = 0; k < 500; ++k) {
            LogLine(std::wstring(1, tag) + L" line " + std::to_wstring(k));
        }
    };
    std::thread first(writer, L'A');
    std::thread second(writer, L'B');
    first.join();
    second.join();
    auto texts = LoggedTexts();
    StopCollectingDialogMessages();
    ASSERT_EQ(1000u, texts.size());
    int next[2] = {0, 0};
    for (const auto& text : texts) {
        int writerIndex = text[0] == L'A' ? 0 : 1;
        EXPECT_EQ(std::wstring(1, text[0]) + L" line " + std::to_wstring(next[writerIndex]++),
                  text);
    }
}

struct Conversion {
    const char* bytes;
    const wchar_t* text;
};

TEST(Utf8ToWide, ValidTextConvertsAndMalformedBytesBecomeReplacementCharacters) {
    const Conversion cases[] = {
        {"", L""},
        {"AB7", L"AB7"},
        {"caf\xc3\xa9", L"caf\u00e9"},
        {"\xe2\x82\xac", L"\u20ac"},
        {"\xff", L"\ufffd"},
        {"a\x80z", L"a\ufffdz"},
        {"\xc3", L"\ufffd"},
        {"\xc3(", L"\ufffd("},
        {"\xe2\x82(", L"\ufffd("},
    };
    for (const Conversion& c : cases) {
        EXPECT_EQ(std::wstring(c.text), Utf8ToWide(c.bytes)) << c.bytes;
    }
    EXPECT_EQ(std::wstring(L"a\0b", 3), Utf8ToWide(std::string("a\0b", 3)));
#ifndef _WIN32
    // An encoded surrogate is not text: three replacement characters, as Windows gives them.
    // Wine's converter gives two (see docs/testing.md), so this case runs natively only.
    EXPECT_EQ(std::wstring(L"\ufffd\ufffd\ufffd"), Utf8ToWide("\xed\xa0\x80"));
#endif
}

}  // namespace
