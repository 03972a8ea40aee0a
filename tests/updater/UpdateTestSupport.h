// What the update module's test programs share: a listener that records
// what the module reports, and the served side of a run (descriptions and
// packages written into the folder that nginx and the fault server serve,
// and the description URLs the module takes at construction).
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "Updater/Updater.h"

namespace updatetest {

// Records every listener call in order.
class RecordingListener : public IGameEventListener {
public:
    enum Kind { kUpdateInfo, kProgress, kFinished };
    struct Event {
        Kind kind;
        int errType;  // progress: unused
        int code;
        std::wstring text;  // update info: the version
        std::wstring md5;
        int64_t total, done, speed;
    };

    void OnDownloadProgress(int64_t total, int64_t done, int64_t speed) override;
    void OnDownloadFinished(int errType, int code, const std::wstring& text) override;
    void OnUpdateInfo(int errType, int code, const std::wstring& version,
                      const std::wstring& md5) override;

    int Count(Kind kind) const;
    // The last event of that kind; a default event when there is none.
    Event Last(Kind kind) const;
    // Pumps messages until an event of that kind has come; false after the
    // time-out.
    bool WaitFor(Kind kind, DWORD timeoutMs) const;

    std::vector<Event> events;
};

// An update description with the five keys in the order they are read.
std::string Description(const std::wstring& url, const std::wstring& mirrors,
                        const std::wstring& size, const std::wstring& md5,
                        const std::wstring& version);

// Writes a file into the served folder under `name` (no folders).
void Serve(const std::wstring& name, const std::string& bytes);

// The description URLs the next module takes: INSTALLER_UPDATE_URLS.
void SetDescriptionUrls(const std::wstring& primary, const std::wstring& fallback);

// The digest of bytes, 32 lower-case hexadecimal digits.
std::wstring Md5Of(const std::string& bytes);

}  // namespace updatetest
