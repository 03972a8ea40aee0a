#include "Updater/Updater.h"

#include "CommonUtils.h"
#include "Http/HttpEngines.h"
#include "Http/HttpErrors.h"
#include "Runtime/Endpoints.h"
#include "Runtime/Logger.h"
#include "Runtime/StringUtils.h"
#include "Updater/UpdateDescription.h"

namespace {

constexpr const wchar_t* kLogSource = L".\\Updater\\Updater";

// Makes every helper window class name unique in the process; never reset,
// so a module created after another one (a new download) gets the next one.
int g_helperWindowCount = 0;

}  // namespace

CUpdateModule::CUpdateModule(const std::wstring& packageFolder, IGameEventListener* listener)
    : packageFolder_(packageFolder),
      listener_(listener),
      descriptionUrls_(UpdateDescriptionUrls()) {}

CUpdateModule::~CUpdateModule() { Stop(); }

bool CUpdateModule::Start() {
    CreateHelperWindow();
    if (!CreateDir(packageFolder_)) return false;
    FetchDescription();
    return true;
}

void CUpdateModule::CreateHelperWindow() {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    helperClassName_ = FormatString(kHelperClassFormat, ++g_helperWindowCount);

    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = HelperWindowProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = helperClassName_.c_str();
    if (!RegisterClassW(&windowClass)) {
        // Without the window no result can reach the listener; the module
        // carries on all the same.
        const DWORD error = GetLastError();
        ConsoleLogger::Instance().LogAt(kLogError, __LINE__, kLogSource, L"[UM]regclass %d", error);
        FileLogger::Instance().LogAt(kLogError, __LINE__, kLogSource, L"[UM]rcls %d:%d", 1, error);
        return;
    }
    HWND window = CreateWindowExW(0, helperClassName_.c_str(), L"", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                  nullptr, instance, nullptr);
    if (!window) {
        const DWORD error = GetLastError();
        UnregisterClassW(helperClassName_.c_str(), instance);
        ConsoleLogger::Instance().LogAt(kLogError, __LINE__, kLogSource, L"[UM]unregclass %d",
                                        error);
        FileLogger::Instance().LogAt(kLogError, __LINE__, kLogSource, L"[UM]urcls %d:%d", 1, error);
        return;
    }
    helperWindow_ = window;
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

void CUpdateModule::FetchDescription() {
    // A list cut short by the run-time override leaves nothing to fetch.
    if (nextUrlIndex_ >= descriptionUrls_.size()) return;
    const std::wstring& url = descriptionUrls_[nextUrlIndex_++];
    if (descriptionCommand_.running()) return;
    descriptionCommand_.SetUrl(url);
    descriptionCommand_.SetCallback(&CUpdateModule::DescriptionCallback, helperWindow_);
    SubmitCommandTask(&descriptionCommand_);
}

void CUpdateModule::RetryDescription() {
    nextUrlIndex_ = 0;
    if (!descriptionUrls_.empty()) FetchDescription();
}

void CUpdateModule::Stop() {
    descriptionCommand_.Stop();
    packageDownload_.Stop();
    descriptionText_.clear();
    downloading_ = false;
    if (helperWindow_) {
        SetWindowLongPtrW(helperWindow_, GWLP_USERDATA, 0);
        DestroyWindow(helperWindow_);
        helperWindow_ = nullptr;
        UnregisterClassW(helperClassName_.c_str(), GetModuleHandleW(nullptr));
    }
}

CUpdateModule* CUpdateModule::FromHelperWindow(HWND hwnd) {
    if (!hwnd || !IsWindow(hwnd)) return nullptr;
    return reinterpret_cast<CUpdateModule*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
}

void CUpdateModule::PostToHelper(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (PostMessageW(hwnd, message, wParam, lParam)) return;
    const DWORD error = GetLastError();
    ConsoleLogger::Instance().LogAt(kLogError, __LINE__, kLogSource, L"[UM] post_message failed:%u",
                                    error);
    FileLogger::Instance().LogAt(kLogError, __LINE__, kLogSource, L"[UM] post message failed:%u",
                                 error);
}

void CUpdateModule::DescriptionCallback(void* helperWindow, const std::string& body, int errType,
                                        int code) {
    HWND hwnd = static_cast<HWND>(helperWindow);
    CUpdateModule* module = FromHelperWindow(hwnd);
    if (!module) return;
    module->descriptionText_ = UpdateDescription::TextFromBody(body);
    PostToHelper(hwnd, UM_DESCRIPTION_DONE, static_cast<WPARAM>(errType), static_cast<LPARAM>(code));
}

void CUpdateModule::ProgressCallback(void* helperWindow, uint64_t total, uint64_t done,
                                     uint32_t speed) {
    HWND hwnd = static_cast<HWND>(helperWindow);
    CUpdateModule* module = FromHelperWindow(hwnd);
    if (!module) return;
    ProtoValue& sample = module->progress_[L"process"];
    sample[L"total"] = static_cast<int64_t>(total);
    sample[L"complete"] = static_cast<int64_t>(done);
    sample[L"speed"] = static_cast<int64_t>(speed);
    PostToHelper(hwnd, UM_PROGRESS, 0, 0);
}

void CUpdateModule::DownloadDoneCallback(void* helperWindow, int errType, int code) {
    PostToHelper(static_cast<HWND>(helperWindow), UM_DOWNLOAD_DONE, static_cast<WPARAM>(errType),
                 static_cast<LPARAM>(code));
}

LRESULT CALLBACK CUpdateModule::HelperWindowProc(HWND hwnd, UINT message, WPARAM wParam,
                                                 LPARAM lParam) {
    if (message == WM_TIMER || (message >= UM_RESERVED_FIRST && message <= UM_RESERVED_LAST)) {
        return 0;
    }
    if (message != UM_DESCRIPTION_DONE && message != UM_PROGRESS && message != UM_DOWNLOAD_DONE) {
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
    CUpdateModule* module = FromHelperWindow(hwnd);
    if (!module) return 0;
    // The pairs travel as the message's two words; codes may be negative.
    const int errType = static_cast<int>(wParam);
    const int code = static_cast<int>(lParam);
    if (message == UM_DESCRIPTION_DONE) {
        module->HandleDescription(errType, code);
    } else if (message == UM_PROGRESS) {
        module->HandleProgress();
    } else {
        module->HandleDownloadDone(errType, code);
    }
    return 0;
}

// Each handler calls the listener last: the owner may stop and delete the
// module from inside the call.
void CUpdateModule::HandleDescription(int errType, int code) {
    descriptionCommand_.Stop();
    if (errType != kHttpErrOk) {
        // The fallback URL is tried once, at once; after it the failure is
        // reported and the owner decides when to try again.
        if (nextUrlIndex_ < descriptionUrls_.size()) {
            FetchDescription();
            return;
        }
    } else if (!StoreDescription()) {
        // Reading back a file that was not written would give an earlier
        // description or none, and report a download as started that
        // cannot work: the stage fails as the engine reports a local file
        // it cannot open.
        errType = kHttpErrSys;
        code = kErrOpenLocalFile;
    } else if (!StartDownload()) {
        // Reported like any download failure, after the description stage.
        PostToHelper(helperWindow_, UM_DOWNLOAD_DONE, static_cast<WPARAM>(kHttpErrUser),
                     static_cast<LPARAM>(kErrPackageNotInPlace));
    }
    listener_->OnUpdateInfo(errType, code, packageVersion_, packageMd5_);
}

bool CUpdateModule::StoreDescription() {
    // The folder may have gone since Start; without it the store fails on
    // every later attempt too.
    CreateDir(packageFolder_);
    const std::wstring path = UpdateDescription::FilePath(packageFolder_);
    if (!UpdateDescription::Store(path, descriptionText_)) return false;
    const UpdateDescription::Values values = UpdateDescription::Read(path);
    packageUrl_ = values.url;
    mirrorUrls_ = values.mirrorUrls;
    packageSize_ = values.size;
    packageMd5_ = values.md5;
    packageVersion_ = values.version;
    return true;
}

bool CUpdateModule::StartDownload() {
    packagePath_ = JoinPath(packageFolder_, kPackageName);
    // The version is free text from the network and becomes part of a file
    // name in a folder an elevated process writes.
    tempPath_ = UpdateDescription::TemporaryPackagePath(packagePath_, packageVersion_);
    downloading_ = true;
    if (!CreateDir(packageFolder_)) return false;

    const uint64_t expectedSize = static_cast<uint64_t>(UpdateDescription::ParseSize(packageSize_));
    if (packageDownload_.Download(packageUrl_, tempPath_, expectedSize, helperWindow_, mirrorUrls_,
                                  &CUpdateModule::DownloadDoneCallback,
                                  &CUpdateModule::ProgressCallback)) {
        return true;
    }
    // A download still under way reports for itself; otherwise the engine
    // is gone and nothing would ever report.
    return packageDownload_.running();
}

void CUpdateModule::HandleProgress() {
    if (!downloading_) return;  // a sample that arrived after the end
    if (!progress_.HasKey(L"process")) return;
    const ProtoValue& sample = progress_.Get(L"process");
    const int64_t total = sample.Get(L"total").integer();
    const int64_t done = sample.Get(L"complete").integer();
    // Speed is a 32-bit count.
    const int64_t speed = static_cast<int64_t>(static_cast<uint32_t>(sample.Get(L"speed").integer()));
    progress_.Clear();
    listener_->OnDownloadProgress(total, done, speed);
}

void CUpdateModule::HandleDownloadDone(int errType, int code) {
    if (!downloading_) return;
    packageDownload_.Stop();
    downloading_ = false;
    std::wstring text;
    if (errType == kHttpErrOk) {
        // The temporary file stays when the old package cannot go, so the
        // next attempt finds it complete.
        if (!DeleteOneFile(packagePath_) || !MoveFileReplace(tempPath_, packagePath_)) {
            errType = kHttpErrUser;
            code = kErrPackageNotInPlace;
        }
    } else {
        // A partly downloaded file is kept for the next attempt to resume.
        if (FileSize64(tempPath_) <= 0) DeleteOneFile(tempPath_);
        text = kDownloadFailedText;
    }
    listener_->OnDownloadFinished(errType, code, text);
}
