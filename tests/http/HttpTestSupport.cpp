#include "HttpTestSupport.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>

#include "Http/HttpEngines.h"
#include "Runtime/MainThreadDispatch.h"
#include "Runtime/StringUtils.h"
#include "TestSupport.h"

namespace httptest {

using testsupport::EnvironmentValue;

namespace {

constexpr size_t kMaxRawAnswer = 1 << 20;

// Dispatch, the 500 ms timer and both engines, once per test program, torn
// down in the installer's own order.
class EngineEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        WSADATA wsa;
        WSAStartup(MAKEWORD(2, 2), &wsa);
        InitMainThreadDispatch();
        timer_ = StartHttpEngines();
    }
    void TearDown() override {
        ShutdownMainThreadDispatch();
        StopHttpEngines(timer_);
        WSACleanup();
    }

private:
    UINT_PTR timer_ = 0;
};

const ::testing::Environment* const g_environment =
    ::testing::AddGlobalTestEnvironment(new EngineEnvironment);

}  // namespace

std::wstring NginxUrl(const std::wstring& path) {
    return L"http://" + EnvironmentValue(L"HTTP_TEST_NGINX") + L"/" + path;
}

std::wstring FaultUrl(const std::wstring& token, const std::wstring& rest) {
    return L"http://" + EnvironmentValue(L"HTTP_TEST_FAULT") + L"/" + token + L"/" + rest;
}

std::wstring DataPath(const std::wstring& name) {
    return EnvironmentValue(L"HTTP_TEST_DATA") + L"\\" + name;
}

std::string DataBytes(const std::wstring& name) { return testsupport::ReadFileBytes(DataPath(name)); }

std::string RawGet(const std::wstring& hostPort, const std::string& path) {
    const std::string address = WideToAnsi(hostPort);
    const size_t colon = address.rfind(':');
    sockaddr_in to = {};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<u_short>(atoi(address.c_str() + colon + 1)));
    to.sin_addr.s_addr = inet_addr(address.substr(0, colon).c_str());
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) return std::string();
    std::string answer;
    if (connect(s, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0) {
        const std::string request = "GET " + path + " HTTP/1.1\r\nHost: " + address + "\r\nConnection: close\r\n\r\n";
        send(s, request.data(), static_cast<int>(request.size()), 0);
        char buffer[4096];
        int n;
        while (answer.size() < kMaxRawAnswer && (n = recv(s, buffer, sizeof buffer, 0)) > 0)
            answer.append(buffer, n);
    }
    closesocket(s);
    const size_t body = answer.find("\r\n\r\n");
    return body == std::string::npos ? std::string() : answer.substr(body + 4);
}

std::vector<LoggedRequest> FaultLog(const std::wstring& token) {
    std::vector<LoggedRequest> lines;
    std::istringstream text(
        RawGet(EnvironmentValue(L"HTTP_TEST_FAULT"), "/log/" + WideToAnsi(token)));
    LoggedRequest line;
    while (text >> line.what >> line.range >> line.ms) lines.push_back(line);
    return lines;
}

std::vector<std::string> NginxLog(const std::string& uri) {
    std::vector<std::string> lines;
    std::istringstream text(testsupport::ReadFileBytes(EnvironmentValue(L"HTTP_TEST_NGINX_LOG")));
    std::string line;
    while (std::getline(text, line))
        if (line.compare(0, uri.size() + 1, uri + " ") == 0) lines.push_back(line);
    return lines;
}

std::wstring UniqueToken() {
    static int counter = 0;
    return FormatString(L"t%u-%d", GetCurrentProcessId(), ++counter);
}

void PumpFor(DWORD ms) {
    testsupport::PumpMessagesUntil([] { return false; }, ms);
}

void DownloadRecorder::OnFinish(void* self, int type, int code) {
    auto* r = static_cast<DownloadRecorder*>(self);
    ++r->finishes;
    r->type = type;
    r->code = code;
}

void DownloadRecorder::OnProgress(void* self, uint64_t total, uint64_t done, uint32_t speed) {
    static_cast<DownloadRecorder*>(self)->progress.push_back({total, done, speed});
}

bool DownloadRecorder::WaitFinished(DWORD timeoutMs) {
    return testsupport::PumpMessagesUntil([this] { return finishes > 0; }, timeoutMs);
}

void CommandRecorder::OnDone(void* self, const std::string& body, int type, int code) {
    auto* r = static_cast<CommandRecorder*>(self);
    ++r->calls;
    r->body = body;
    r->type = type;
    r->code = code;
}

bool CommandRecorder::WaitDone(DWORD timeoutMs) {
    return testsupport::PumpMessagesUntil([this] { return calls > 0; }, timeoutMs);
}

}  // namespace httptest
