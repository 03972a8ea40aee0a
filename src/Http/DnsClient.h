// A one-shot UDP DNS client: asks one server at a time for a host's A
// records and waits a bounded time for a usable answer. It lives for one
// resolution on the resolver's thread.
#pragma once

#include <winsock2.h>

#include <array>
#include <functional>
#include <string>
#include <vector>

#include "Http/DnsMessage.h"
#include "Runtime/WinHandle.h"

// "address[:port]" with a dotted IPv4 address and a decimal port from 1 to
// 65535 (53 when none is given), blanks around the parts allowed. False for
// anything else, including the broadcast address.
bool ParseDnsServer(const std::wstring& text, sockaddr_in& server);

class CDNSClient {
public:
    // How long one server may take to answer usably.
    static constexpr DWORD kAnswerTimeoutMs = 1500;
    // The wait for datagrams is cut into slices this long, so a stop request
    // is seen within one slice.
    static constexpr DWORD kWaitSliceMs = 100;

    // Sets up Winsock, the socket and its read event; the client
    // is ready only when all of it worked. A client that is not ready fails
    // every query.
    CDNSClient();
    ~CDNSClient();
    CDNSClient(const CDNSClient&) = delete;
    CDNSClient& operator=(const CDNSClient&) = delete;

    // Sends the A query for `host` (UTF-8) to `server` and waits up to
    // kAnswerTimeoutMs for a usable answer, ignoring any other datagram.
    // True with the answer's addresses (possibly none); false when the host
    // cannot be encoded, the send fails, no usable answer came in time, the
    // answer is malformed, or `stopRequested` returned true.
    bool QueryHost(const std::string& host, const sockaddr_in& server,
                   std::vector<DnsMessage::Ipv4Address>& addresses,
                   const std::function<bool()>& stopRequested);

private:
    struct SocketTraits {
        using Value = SOCKET;
        static Value Invalid() { return INVALID_SOCKET; }
        static void Close(Value s) { ::closesocket(s); }
    };
    struct WsaEventTraits {
        using Value = WSAEVENT;
        static Value Invalid() { return WSA_INVALID_EVENT; }
        static void Close(Value e) { ::WSACloseEvent(e); }
    };
    // Calls WSACleanup for a successful WSAStartup.
    struct WinsockSession {
        bool started = false;
        ~WinsockSession() {
            if (started) ::WSACleanup();
        }
    };

    // Receives one waiting datagram; true when it answers the query usably.
    bool ReceiveUsableAnswer(size_t& size);

    // Destroyed in reverse order: socket, event, then Winsock.
    WinsockSession winsock_;
    Runtime::UniqueResource<WsaEventTraits> event_;
    Runtime::UniqueResource<SocketTraits> socket_;
    std::array<uint8_t, DnsMessage::kMaxDatagramSize> answer_{};
    uint16_t queryId_ = 0;
    bool ready_ = false;
};
