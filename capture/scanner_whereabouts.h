// Where the scanner is among the driver's keyboard numbers, told from what each number reports
// as its hardware id. Identical scanners report the same id: which of them is the chosen one is
// known only by following it, so the rules here are about what has been seen, not only what
// is seen now.
#pragma once

#include "capture/interception_driver.h"

#include <bitset>
#include <cstdint>
#include <string>

// The driver writes a hardware id reply of at most this many bytes.
constexpr unsigned int HardwareIdReplyBytes = 1024;

using KeyboardSet = std::bitset<InterceptionMaxKeyboard + 1>;

// What a number reports, compared with the scanner's id: None when the driver gives no id or
// an empty one there (nothing there, or a query that failed).
enum class Answer { None, Same, Different };

// The driver's reply of the given byte count compared with the id. A reply that fills the
// buffer may be cut short: it is not the id.
Answer CompareHardwareId(const uint16_t* buffer, unsigned int bytes, const std::u16string& id);

struct Whereabouts {
    int scanner = 0;         // the number where the scanner is, 0 while it is away
    int misses = 0;          // looks in a row at which the scanner's number gave no id
    KeyboardSet twins;       // numbers of identical devices, known while the scanner was at its own
    KeyboardSet twinMisses;  // twins whose number gave no id at the last look
};

// At the start, with answers for numbers 1 to InterceptionMaxKeyboard and where.twins holding
// the twins an earlier capture of this run knew: the number where the scanner is known to be
// when that reports its id, else the instance-th by number of the others that do (the last
// when fewer are present: an identical one may be gone). Every other number with the id
// becomes a twin. 0 when none is left.
int FirstScanner(Whereabouts& where, const Answer* answers, int knownNumber, int instance);

// At a later look. The scanner stays at its number while that reports its id; one answer
// without an id there may be a failed query, two in a row or a removal notice mean it left.
// While it stays and its number reports its id, every other number with the id is a twin;
// otherwise a number that newly reports the id is the scanner, re-plugged. Known twins stay
// twins while they report the id, and through one answer without an id. Returns the scanner's
// number, 0 when it is away; the caller moves where.scanner there.
int FollowScanner(Whereabouts& where, const Answer* answers, bool removal);
