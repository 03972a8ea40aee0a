#include "Http/DnsClient.h"

#include "Runtime/StringUtils.h"

namespace {

// Datagrams read per read signal at most, so a flood cannot keep the wait
// from checking its time-out and the stop request.
constexpr int kMaxDatagramsPerSignal = 16;
constexpr unsigned short kDefaultDnsPort = 53;

bool IsAllOf(const std::wstring& text, const wchar_t* allowed) {
    return !text.empty() && text.find_first_not_of(allowed) == std::wstring::npos;
}

}  // namespace

bool ParseDnsServer(const std::wstring& text, sockaddr_in& server) {
    std::wstring address = text;
    std::wstring port;
    const size_t colon = address.find(L':');
    if (colon != std::wstring::npos) {
        port = address.substr(colon + 1);
        address.erase(colon);
        TrimString(port);
        if (!IsAllOf(port, L"0123456789") || port.size() > 5) return false;
    }
    TrimString(address);
    if (!IsAllOf(address, L"0123456789.")) return false;
    const unsigned long portNumber =
        port.empty() ? kDefaultDnsPort : wcstoul(port.c_str(), nullptr, 10);
    if (portNumber == 0 || portNumber > 65535) return false;
    // Only digits and dots remain, so the narrow text is the same characters.
    const unsigned long ip = inet_addr(WideToAnsi(address).c_str());
    if (ip == INADDR_NONE) return false;
    server = sockaddr_in{};
    server.sin_family = AF_INET;
    server.sin_addr.s_addr = ip;
    server.sin_port = htons(static_cast<unsigned short>(portNumber));
    return true;
}

CDNSClient::CDNSClient() {
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0) return;
    winsock_.started = true;
    socket_.reset(::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP));
    if (!socket_) return;
    event_.reset(WSACreateEvent());
    if (!event_) return;
    if (WSAEventSelect(socket_.get(), event_.get(), FD_READ) == SOCKET_ERROR) return;
    // One id for every query of the process; answers are matched by it.
    queryId_ = static_cast<uint16_t>(GetCurrentProcessId() & 0xFFFF);
    ready_ = true;
}

CDNSClient::~CDNSClient() = default;

bool CDNSClient::QueryHost(const std::string& host, const sockaddr_in& server,
                           std::vector<DnsMessage::Ipv4Address>& addresses,
                           const std::function<bool()>& stopRequested) {
    addresses.clear();
    if (!ready_ || host.empty()) return false;
    const std::vector<uint8_t> query = DnsMessage::BuildQuery(queryId_, host);
    if (query.empty()) return false;
    if (sendto(socket_.get(), reinterpret_cast<const char*>(query.data()),
               static_cast<int>(query.size()), 0, reinterpret_cast<const sockaddr*>(&server),
               sizeof server) == SOCKET_ERROR)
        return false;

    const DWORD start = GetTickCount();
    for (;;) {
        if (stopRequested && stopRequested()) return false;
        WSAEVENT event = event_.get();
        const DWORD waited = WSAWaitForMultipleEvents(1, &event, FALSE, kWaitSliceMs, FALSE);
        if (waited == WSA_WAIT_FAILED) return false;
        if (waited == WSA_WAIT_EVENT_0) {
            WSANETWORKEVENTS events = {};
            size_t size = 0;
            if (WSAEnumNetworkEvents(socket_.get(), event, &events) == 0 &&
                (events.lNetworkEvents & FD_READ) && ReceiveUsableAnswer(size))
                return DnsMessage::ParseAddresses(answer_.data(), size, addresses);
        }
        // Tick differences are immune to wall-clock changes and wrap safely.
        if (GetTickCount() - start > kAnswerTimeoutMs) return false;
    }
}

bool CDNSClient::ReceiveUsableAnswer(size_t& size) {
    for (int i = 0; i < kMaxDatagramsPerSignal; ++i) {
        const int received = recvfrom(socket_.get(), reinterpret_cast<char*>(answer_.data()),
                                      static_cast<int>(answer_.size()), 0, nullptr, nullptr);
        if (received == SOCKET_ERROR) {
            // Nothing more waiting. Other errors (a datagram too large for
            // the buffer, an unreachable port reported for an earlier send)
            // concern one datagram each; the next may still be the answer.
            if (WSAGetLastError() == WSAEWOULDBLOCK) return false;
            continue;
        }
        size = static_cast<size_t>(received);
        if (DnsMessage::IsUsableResponse(answer_.data(), size, queryId_)) return true;
    }
    return false;
}
