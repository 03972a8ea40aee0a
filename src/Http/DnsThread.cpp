// winsock2.h must come before windows.h, which the thread header pulls in.
#include "Http/DnsClient.h"

#include "Http/DnsThread.h"

#include "Runtime/Endpoints.h"
#include "Runtime/MainThreadDispatch.h"

CDNSThread::~CDNSThread() {
    // The running resolution sees the request within one wait slice.
    Stop(500);
}

bool CDNSThread::Stop(DWORD timeoutMs) {
    {
        Runtime::CriticalSectionLock guard(postLock_);
        cancelled_ = true;
    }
    return CSimpleThread::Stop(timeoutMs);
}

bool CDNSThread::Start() {
    if (IsRunning()) return true;
    {
        Runtime::CriticalSectionLock guard(postLock_);
        cancelled_ = false;
    }
    return CSimpleThread::Start();
}

bool CDNSThread::Cancelled() {
    Runtime::CriticalSectionLock guard(postLock_);
    return cancelled_;
}

void CDNSThread::Run() {
    std::vector<DnsMessage::Ipv4Address> addresses;
    bool resolved = false;
    {
        CDNSClient client;
        const auto stopRequested = [this] { return Cancelled(); };
        for (const std::wstring& text : SpareDnsServers()) {
            if (Cancelled()) return;
            sockaddr_in server;
            if (!ParseDnsServer(text, server)) continue;
            if (client.QueryHost(host_, server, addresses, stopRequested)) {
                resolved = true;
                break;
            }
        }
    }  // the socket and Winsock are released before the result goes out
    PostResult(resolved ? 0 : -1, resolved ? DnsMessage::JoinAddresses(addresses) : std::string());
}

void CDNSThread::PostResult(int code, const std::string& addresses) {
    Runtime::CriticalSectionLock guard(postLock_);
    if (cancelled_ || !resultFunction_) return;
    RunOnMainThread(resultFunction_, code, task_, host_, addresses);
}
