// Native builds have no HID devices to ask: the set is always empty.
#include "devices/hid_lookup.h"

namespace {

HidInterfaceSet NoSet() {
    return nullptr;
}

}  // namespace

HidLookupCalls hidLookupCalls = {NoSet, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};
