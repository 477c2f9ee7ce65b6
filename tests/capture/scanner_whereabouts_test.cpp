#include "capture/scanner_whereabouts.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

// One character per number 1 to 10: S the scanner's id, D another id, . no id.
struct Look {
    const char* answers;
    bool removal;
    int scanner;
    const char* twins;  // the same ten numbers: t for a twin
};

std::string TwinsOf(const Whereabouts& where) {
    std::string twins;
    for (size_t device = 1; device <= 10; ++device) {
        twins.push_back(where.twins.test(device) ? 't' : '.');
    }
    return twins;
}

void Follow(Whereabouts& where, const Look* looks, size_t count) {
    for (size_t k = 0; k < count; ++k) {
        Answer answers[InterceptionMaxKeyboard + 1] = {};
        for (int device = 1; device <= 10; ++device) {
            char c = looks[k].answers[device - 1];
            answers[device] = c == 'S' ? Answer::Same : c == 'D' ? Answer::Different : Answer::None;
        }
        where.scanner = FollowScanner(where, answers, looks[k].removal);
        EXPECT_EQ(looks[k].scanner, where.scanner) << "look " << k;
        EXPECT_EQ(looks[k].twins, TwinsOf(where)) << "look " << k;
    }
}

TEST(ScannerWhereabouts, TwinsAreKnownByWhatWasSeenNotByTheirNumbers) {
    Whereabouts where;
    where.scanner = 2;
    where.twins.set(3);
    const Look looks[] = {
        {"DS..S.....", false, 2, "..t.t....."},  // the twin re-plugged at 5
        {"DS..S.S...", false, 2, "....t.t..."},  // another identical one plugged in
        {"D...S.S...", false, 2, "....t.t..."},  // one failed query at the scanner's number
        {"DS..S.S...", false, 2, "....t.t..."},
        {"D...S.S...", true, 0, "....t.t..."},   // unplugged: the twins stay twins
        {"D.....S...", false, 0, "....t.t..."},  // one failed query at a twin: still one
        {"D...S.S...", false, 0, "....t.t..."},
        {"D...S.S.S.", false, 9, "....t.t..."},  // back at 9: it newly reports the id
        {"D...S...S.", false, 9, "....t.t..."},  // a twin gone: known through one look
        {"D.......S.", false, 9, "....t....."},
        {"D.S.....S.", false, 9, "..t......."},   // a twin at a lower number
        {"D.S.......", false, 9, "..t......."},   // no id once: it stays
        {"D.S.......", false, 0, "..t......."},   // twice: it left
        {"D.S......S", false, 10, "..t......."},  // back at the last number
    };
    Follow(where, looks, sizeof looks / sizeof looks[0]);
}

TEST(ScannerWhereabouts, AnAnswerWithoutIdThenANewcomerIsARePlug) {
    Whereabouts where;
    where.scanner = 1;
    const Look looks[] = {{".S........", false, 2, ".........."},
                          {"DS........", false, 2, ".........."}};  // another keyboard at 1
    Follow(where, looks, 2);
}

TEST(ScannerWhereabouts, AtTheStartTheKnownNumberElseThePlaceAmongEquals) {
    struct Case {
        int known, instance, taken;
    } cases[] = {{5, 1, 5}, {0, 1, 3}, {0, 2, 5}, {0, 3, 5}, {4, 2, 5}, {0, 0, 3}};
    Answer answers[InterceptionMaxKeyboard + 1] = {};
    answers[3] = answers[5] = Answer::Same;
    answers[4] = Answer::Different;
    for (const Case& c : cases) {
        Whereabouts where;
        EXPECT_EQ(c.taken, FirstScanner(where, answers, c.known, c.instance)) << c.known;
        EXPECT_EQ(c.taken == 3, where.twins.test(5));
        EXPECT_EQ(c.taken == 5, where.twins.test(3));
    }
    // Twins an earlier capture of this run knew are never taken.
    Whereabouts where;
    where.twins.set(3);
    EXPECT_EQ(5, FirstScanner(where, answers, 0, 1));
    where.twins.set(5);
    EXPECT_EQ(0, FirstScanner(where, answers, 0, 1));
    answers[3] = answers[5] = Answer::None;
    EXPECT_EQ(0, FirstScanner(where, answers, 0, 2));
    // The known number counts at either end of the range.
    answers[1] = answers[InterceptionMaxKeyboard] = Answer::Same;
    Whereabouts first, last;
    EXPECT_EQ(1, FirstScanner(first, answers, 1, 2));
    EXPECT_EQ(InterceptionMaxKeyboard, FirstScanner(last, answers, InterceptionMaxKeyboard, 1));
}

TEST(ScannerWhereabouts, OnlyAWholeReplyIsTheId) {
    const std::u16string id = u"HID\\VID_1";
    struct Case {
        std::u16string reply;
        unsigned int bytes;
        Answer answer;
    } cases[] = {{id, 0, Answer::None},
                 {std::u16string(4, u'\0'), 8, Answer::None},  // an empty id
                 {id + u'\0', 22, Answer::Same},
                 {id + u"2", 24, Answer::Different},
                 {id + u'\0', HardwareIdReplyBytes, Answer::Different}};  // may be cut short
    for (const Case& c : cases) {
        std::vector<uint16_t> buffer(HardwareIdReplyBytes / 2, 0);
        std::copy(c.reply.begin(), c.reply.end(), buffer.begin());
        EXPECT_EQ(c.answer, CompareHardwareId(buffer.data(), c.bytes, id)) << c.bytes;
    }
}

}  // namespace
