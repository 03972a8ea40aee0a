// The update module: fetches the update description from the primary and
// then the fallback update URL, stores it as "kzinstall.ini" in the package
// folder, reads the package's address, size, digest and version from it,
// downloads "kzinstaller.exe" into a temporary file and renames it into
// place. It reports each stage to an IGameEventListener (the main window).
//
// The module lives on the main thread. Every result of the HTTP engine is
// re-posted to a message-only helper window of the module's own, so the
// listener always runs from that window's procedure, never inside an engine
// callback. The engine callbacks carry the helper window, not the module, as
// their user data: a result that arrives after Stop finds no window and is
// dropped.
//
//   state                  entered by                         left by
//   idle                   construction                       Start
//   fetching (URL k)       FetchDescription                   UM_DESCRIPTION_DONE
//   downloading            a description read and a download  UM_DOWNLOAD_DONE
//                          started
//   finished               OnUpdateInfo with a failure, or    RetryDescription, or
//                          OnDownloadFinished                 Stop and deletion
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "Http/HttpCommand.h"
#include "Http/HttpDownloadFile.h"
#include "Runtime/ProtoValue.h"

// Messages the module posts to its own helper window.
constexpr UINT UM_DESCRIPTION_DONE = 2024;  // wParam error type, lParam code
constexpr UINT UM_PROGRESS = 2025;          // the sample waits in the progress mailbox
constexpr UINT UM_DOWNLOAD_DONE = 2026;     // wParam error type, lParam code
// 2027 to 2032 are reserved: answered with 0 and otherwise ignored.
constexpr UINT UM_RESERVED_FIRST = 2027;
constexpr UINT UM_RESERVED_LAST = 2032;

// The module's own outcome code, with kHttpErrUser: the downloaded package
// could not be put in place (or its download could not be started).
constexpr int kErrPackageNotInPlace = -1;

// What the update module reports to its owner, on the main thread. Eleven
// operations in a fixed order; only OnDownloadProgress, OnDownloadFinished
// and OnUpdateInfo are ever called, the reserved ones do nothing.
class IGameEventListener {
public:
    virtual void Reserved1(int, int, int, int) {}
    virtual void Reserved2(int, int, int) {}
    // A sample of the package download: total bytes, bytes done, bytes per
    // second.
    virtual void OnDownloadProgress(int64_t total, int64_t done, int64_t speed) = 0;
    // The package download ended. (0, 0): the package is in place, the text
    // is empty. A failed download carries "安装失败" (one that could not
    // even start gives (3, -1)); a downloaded package that could not be put
    // in place gives (3, -1) and no text.
    virtual void OnDownloadFinished(int errType, int code, const std::wstring& text) = 0;
    virtual void Reserved5(int, int, int) {}
    virtual void Reserved6(int) {}
    virtual void Reserved7(int, int, int) {}
    virtual void Reserved8(int, int) {}
    virtual void Reserved9(int, int) {}
    virtual void Reserved10(int, int) {}
    // The description stage ended. Type 0: the description was read and
    // the package download was started. Otherwise every URL failed (the
    // last one's pair), or the description could not be stored (1, 2020);
    // version and digest are then whatever the last read left.
    virtual void OnUpdateInfo(int errType, int code, const std::wstring& version,
                              const std::wstring& md5) = 0;

protected:
    // The module never owns its listener.
    ~IGameEventListener() = default;
};

class CUpdateModule {
public:
    static constexpr wchar_t kHelperClassFormat[] = L"_UPDATE_MODULE_HELPER_WINDOW_VELMORA%d";
    static constexpr wchar_t kPackageName[] = L"kzinstaller.exe";
    // The download's text for a failure it reported itself.
    static constexpr wchar_t kDownloadFailedText[] = L"安装失败";

    // Takes the description URLs from the build settings (or their run-time
    // override), primary first.
    CUpdateModule(const std::wstring& packageFolder, IGameEventListener* listener);
    // Stops whatever still runs.
    ~CUpdateModule();
    CUpdateModule(const CUpdateModule&) = delete;
    CUpdateModule& operator=(const CUpdateModule&) = delete;

    // Creates the helper window, makes sure the package folder exists and
    // starts fetching the description. False only when the folder cannot be
    // created.
    bool Start();
    // Fetches the URL at nextUrlIndex and moves the index on; nothing is
    // submitted while the previous fetch still runs.
    void FetchDescription();
    // One more description attempt, from the primary URL.
    void RetryDescription();
    // Stops both transfers and destroys the helper window; no listener call
    // follows. The module may be started again only as a new object.
    void Stop();

    // The engine callbacks; their user data is the helper window.
    static void DescriptionCallback(void* helperWindow, const std::string& body, int errType,
                                    int code);
    static void ProgressCallback(void* helperWindow, uint64_t total, uint64_t done,
                                 uint32_t speed);
    static void DownloadDoneCallback(void* helperWindow, int errType, int code);

    HWND helperWindow() const { return helperWindow_; }
    const std::wstring& helperClassName() const { return helperClassName_; }
    const std::vector<std::wstring>& descriptionUrls() const { return descriptionUrls_; }
    // Set when the package download starts.
    const std::wstring& packagePath() const { return packagePath_; }
    const std::wstring& tempPath() const { return tempPath_; }
    bool downloading() const { return downloading_; }

private:
    static LRESULT CALLBACK HelperWindowProc(HWND hwnd, UINT message, WPARAM wParam,
                                             LPARAM lParam);
    static CUpdateModule* FromHelperWindow(HWND hwnd);
    static void PostToHelper(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

    void CreateHelperWindow();
    void HandleDescription(int errType, int code);
    void HandleProgress();
    void HandleDownloadDone(int errType, int code);
    // Stores the fetched text as the description file and reads the five
    // values back; false when the file could not be written.
    bool StoreDescription();
    // False when the download could not be started.
    bool StartDownload();

    std::wstring packageFolder_;
    IGameEventListener* listener_;  // not owned
    std::vector<std::wstring> descriptionUrls_;
    size_t nextUrlIndex_ = 0;
    CHttpCommand descriptionCommand_;
    std::wstring descriptionText_;
    // One-entry mailbox between ProgressCallback and HandleProgress: only
    // the latest sample is reported.
    ProtoValue progress_;
    CHttpDownloadFile packageDownload_;
    bool downloading_ = false;
    HWND helperWindow_ = nullptr;
    std::wstring helperClassName_;

    // From the description.
    std::wstring packageUrl_;
    std::wstring mirrorUrls_;
    std::wstring packageMd5_;
    std::wstring packageSize_;
    std::wstring packageVersion_;

    std::wstring packagePath_;
    std::wstring tempPath_;
};
