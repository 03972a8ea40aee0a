// What the HTTP engine's test programs share: the loopback servers that
// with_http_servers.py started (found through environment variables), the
// engines set up once per program, and recorders for task callbacks.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace httptest {

// "http://127.0.0.1:PORT/" + path, on nginx or on the fault server.
std::wstring NginxUrl(const std::wstring& path);
std::wstring FaultUrl(const std::wstring& token, const std::wstring& rest);
// A test file as served, and its bytes.
std::wstring DataPath(const std::wstring& name);
std::string DataBytes(const std::wstring& name);

// A plain HTTP GET over a socket of its own (not the engine under test);
// returns the body, or an empty string when the request failed.
std::string RawGet(const std::wstring& hostPort, const std::string& path);

// One line of the fault server's log of a token.
struct LoggedRequest {
    std::string what;   // mode and arguments, e.g. "plain/small.bin"
    std::string range;  // the Range header, "-" when none was sent
    long long ms = 0;   // server's monotonic clock
};
std::vector<LoggedRequest> FaultLog(const std::wstring& token);
// The lines of nginx's access log ("URI RANGE STATUS") that start with `uri`.
std::vector<std::string> NginxLog(const std::string& uri);

// A token no other test uses.
std::wstring UniqueToken();

// Pumps messages (timers, posted tasks) for a while.
void PumpFor(DWORD ms);

// Records the callbacks of one download.
struct DownloadRecorder {
    struct Progress {
        uint64_t total, done;
        uint32_t speed;
    };
    int finishes = 0;
    int type = -1;
    int code = -1;
    std::vector<Progress> progress;

    static void OnFinish(void* self, int type, int code);
    static void OnProgress(void* self, uint64_t total, uint64_t done, uint32_t speed);
    // Pumps messages until the first finish call; false after `timeoutMs`.
    bool WaitFinished(DWORD timeoutMs);
};

// Records the callback of one command.
struct CommandRecorder {
    int calls = 0;
    int type = -1;
    int code = -1;
    std::string body;

    static void OnDone(void* self, const std::string& body, int type, int code);
    bool WaitDone(DWORD timeoutMs);
};

}  // namespace httptest
