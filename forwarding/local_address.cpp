#include "forwarding/local_address.h"

std::optional<std::uint32_t> ChooseLocalAddress(const std::vector<AdapterRecord>& adapters) {
    std::optional<std::uint32_t> best;
    std::uint32_t bestMetric = 0xFFFFFFFFu;
    for (const AdapterRecord& adapter : adapters) {
        if (!adapter.up || adapter.loopback) {
            continue;
        }
        for (const auto& address : adapter.unicastAddresses) {
            if (!address) {
                continue;
            }
            if (adapter.ipv4Metric < bestMetric) {
                best = address;
                bestMetric = adapter.ipv4Metric;
            }
            break;  // only the first IPv4 address of an adapter counts
        }
    }
    return best;
}
