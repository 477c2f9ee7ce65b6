#include "forwarding/local_address.h"

#include "common/text_conversion.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <iphlpapi.h>

namespace {

constexpr ULONG AdapterBufferBytes = 16384;
constexpr ULONG AdapterFlags =
    GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER;

std::vector<AdapterRecord> ReadAdapters(const IP_ADAPTER_ADDRESSES* adapter) {
    std::vector<AdapterRecord> records;
    for (; adapter != nullptr; adapter = adapter->Next) {
        AdapterRecord record{adapter->OperStatus == IfOperStatusUp,
                             adapter->IfType == IF_TYPE_SOFTWARE_LOOPBACK,
                             adapter->Ipv4Metric,
                             {}};
        for (auto* unicast = adapter->FirstUnicastAddress; unicast != nullptr;
             unicast = unicast->Next) {
            const SOCKADDR* address = unicast->Address.lpSockaddr;
            if (address != nullptr && address->sa_family == AF_INET) {
                record.unicastAddresses.push_back(
                    reinterpret_cast<const sockaddr_in*>(address)->sin_addr.s_addr);
            } else {
                record.unicastAddresses.push_back(std::nullopt);
            }
        }
        records.push_back(std::move(record));
    }
    return records;
}

unsigned long QueryAdapters(void*, void* buffer, unsigned long* bytes) {
    return GetAdaptersAddresses(AF_INET, AdapterFlags, nullptr,
                                static_cast<IP_ADAPTER_ADDRESSES*>(buffer), bytes);
}

}  // namespace

std::wstring GetLocalIpAddress() {
    // Machines with virtual switches, VPNs and containers list far more than 16 KB.
    std::vector<uint64_t> buffer =
        QueryWithGrowingBuffer(QueryAdapters, nullptr, ERROR_BUFFER_OVERFLOW, AdapterBufferBytes);
    if (buffer.empty()) {
        return L"127.0.0.1";
    }
    auto chosen =
        ChooseLocalAddress(ReadAdapters(reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data())));
    if (!chosen) {
        return L"127.0.0.1";
    }
    in_addr address = {};
    address.s_addr = *chosen;
    char text[22] = {};
    inet_ntop(AF_INET, &address, text, sizeof text);
    return Utf8ToWide(text);
}
