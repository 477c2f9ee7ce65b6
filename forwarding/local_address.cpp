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

std::vector<uint64_t> QueryWithGrowingBuffer(SizedQuery query, void* context,
                                             unsigned long overflowCode,
                                             unsigned long initialBytes) {
    constexpr int Attempts = 4;
    unsigned long bytes = initialBytes;
    for (int attempt = 0; attempt < Attempts; ++attempt) {
        std::vector<uint64_t> buffer((bytes + sizeof(uint64_t) - 1) / sizeof(uint64_t));
        unsigned long size = static_cast<unsigned long>(buffer.size() * sizeof(uint64_t));
        unsigned long result = query(context, buffer.data(), &size);
        if (result == 0) {
            return buffer;
        }
        if (result != overflowCode || size <= bytes) {
            break;
        }
        bytes = size;
    }
    return {};
}
