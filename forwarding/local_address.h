// Picks the IPv4 address shown after "Local IP:", so the user can point the client at it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// What the choice reads of one adapter of the platform's list.
struct AdapterRecord {
    bool up;
    bool loopback;
    uint32_t ipv4Metric;
    // The adapter's unicast addresses in list order: nullopt for a non-IPv4 address, else the
    // IPv4 address as its four bytes in network order.
    std::vector<std::optional<std::uint32_t>> unicastAddresses;
};

// Among adapters that are up and not loopback, the first IPv4 address of the one with the
// strictly lowest metric; the first adapter wins a tie and an all-ones metric never wins.
std::optional<std::uint32_t> ChooseLocalAddress(const std::vector<AdapterRecord>& adapters);

// Asks a size-taking query (the adapter list's) for its data with a buffer of the given size,
// then again with the size the system asks for, while it says the buffer was too small (the
// list may grow between two calls). Empty when it fails or keeps asking for more. The storage
// is 8-byte aligned for the records the system writes into it.
using SizedQuery = unsigned long (*)(void* context, void* buffer, unsigned long* bytes);
std::vector<uint64_t> QueryWithGrowingBuffer(SizedQuery query, void* context,
                                             unsigned long overflowCode,
                                             unsigned long initialBytes);

// The chosen address as dotted text, or "127.0.0.1" when there is none or the query fails.
std::wstring GetLocalIpAddress();
