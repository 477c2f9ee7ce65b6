#include "capture/scanner_whereabouts.h"

#include <algorithm>
#include <vector>

Answer CompareHardwareId(const uint16_t* buffer, unsigned int bytes, const std::u16string& id) {
    if (bytes == 0 || buffer[0] == 0) {
        return Answer::None;
    }
    if (bytes >= HardwareIdReplyBytes || bytes / 2 < id.size() + 1) {
        return Answer::Different;
    }
    for (size_t k = 0; k < id.size(); ++k) {
        if (buffer[k] != static_cast<uint16_t>(id[k])) {
            return Answer::Different;
        }
    }
    return buffer[id.size()] == 0 ? Answer::Same : Answer::Different;
}

int FirstScanner(Whereabouts& where, const Answer* answers, int knownNumber, int instance) {
    KeyboardSet same;
    std::vector<int> candidates;
    for (int device = 1; device <= InterceptionMaxKeyboard; ++device) {
        if (answers[device] == Answer::Same) {
            same.set(static_cast<size_t>(device));
            if (!where.twins.test(static_cast<size_t>(device))) {
                candidates.push_back(device);
            }
        }
    }
    bool known = knownNumber >= 1 && knownNumber <= InterceptionMaxKeyboard &&
                 answers[knownNumber] == Answer::Same;
    size_t place = static_cast<size_t>(std::max(instance, 1));
    int own = known                ? knownNumber
              : candidates.empty() ? 0
                                   : candidates[std::min(place, candidates.size()) - 1];
    where.twins = same;
    where.twins.reset(static_cast<size_t>(own));
    where.twinMisses.reset();
    return own;
}

int FollowScanner(Whereabouts& where, const Answer* answers, bool removal) {
    int scanner = where.scanner;
    if (scanner != 0) {
        Answer own = answers[scanner];
        if (own == Answer::Same) {
            where.misses = 0;
        } else if (own == Answer::None && !removal && where.misses == 0) {
            where.misses = 1;
        } else {
            scanner = 0;
        }
    }
    bool ownReports = scanner != 0 && answers[scanner] == Answer::Same;
    int newcomer = 0;
    for (int device = 1; device <= InterceptionMaxKeyboard; ++device) {
        size_t bit = static_cast<size_t>(device);
        if (device == scanner) {
            continue;
        }
        bool knownTwin = where.twins.test(bit);
        // A twin's failed query must not make it a newcomer at its next answer.
        bool missed = knownTwin && answers[device] == Answer::None && !removal;
        if (missed && !where.twinMisses.test(bit)) {
            where.twinMisses.set(bit);
            continue;
        }
        where.twinMisses.reset(bit);
        bool same = answers[device] == Answer::Same;
        bool twin = same && (ownReports || newcomer != 0 || knownTwin);
        if (same && !twin) {
            newcomer = device;
        }
        where.twins.set(bit, twin);
    }
    return newcomer != 0 ? newcomer : scanner;
}
