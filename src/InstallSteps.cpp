#include "InstallSteps.h"

#include <objbase.h>
#include <process.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <cstdio>
#include <vector>

#include "CommonUtils.h"
#include "Runtime/StringUtils.h"
#include "Runtime/WinHandle.h"
#include "Updater/MD5.h"
#include "Updater/UpdateDescription.h"
#include "Updater/Updater.h"

namespace {

// The package is the file the update module delivers.
constexpr const wchar_t* kPackageName = CUpdateModule::kPackageName;
constexpr wchar_t kLauncherName[] = L"VelmoraLauncher.exe";
constexpr wchar_t kSideBySideMarker[] = L"kzmain.dll";
constexpr wchar_t kLauncherIniName[] = L"VelmoraLaucher.ini";
constexpr wchar_t kLauncherIniSection[] = L"VelmoraNet-Launcher";
constexpr wchar_t kLauncherIniKey[] = L"InstallPath";
constexpr char kLauncherRegistryKey[] = "SOFTWARE\\VelmoraLauncher";
constexpr wchar_t kLauncherRegistryValue[] = L"InstPath";
constexpr wchar_t kDefaultFolderTail[] = L"澜岳网络\\澜岳枫屿";
// The launcher's command line from its path and the channel.
constexpr wchar_t kLauncherCommandFormat[] = L"%s -i \"%d\" -d";
constexpr DWORD kIniValueLength = 2048;
constexpr DWORD kRegistryValueBytes = 0x1000;
constexpr DWORD kTickPollMs = 10;

// COM for the shell call below, undone only when it was done here.
class ComScope {
public:
    ComScope() : initialised_(SUCCEEDED(CoInitialize(nullptr))) {}
    ~ComScope() {
        if (initialised_) CoUninitialize();
    }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;

private:
    bool initialised_;
};

// The folder and a file name, with no doubled backslash (PathAppendW's rule).
std::wstring AppendName(const std::wstring& folder, const wchar_t* name) {
    if (!folder.empty() && folder.back() == L'\\') return folder + name;
    return JoinPath(folder, name);
}

std::wstring CommonAppDataFolder() {
    ComScope com;
    PIDLIST_ABSOLUTE list = nullptr;
    if (FAILED(SHGetSpecialFolderLocation(nullptr, CSIDL_COMMON_APPDATA, &list))) {
        return std::wstring();
    }
    Runtime::UniqueItemList owned(list);
    wchar_t path[MAX_PATH];
    if (!SHGetPathFromIDListW(owned.get(), path)) return std::wstring();
    return path;
}

// A REG_SZ value of at most kRegistryValueBytes; empty otherwise. The data
// need not carry its own terminator.
std::wstring ReadRegistryString(HKEY key, const wchar_t* name) {
    std::vector<wchar_t> buffer(kRegistryValueBytes / sizeof(wchar_t) + 1, L'\0');
    DWORD type = 0;
    DWORD bytes = kRegistryValueBytes;
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()),
                         &bytes) != ERROR_SUCCESS ||
        type != REG_SZ) {
        return std::wstring();
    }
    buffer[bytes / sizeof(wchar_t)] = L'\0';
    return buffer.data();
}

// What the install thread needs, copied when it starts: the window may
// change or lose its own fields while the thread runs.
class InstallJob {
public:
    InstallJob(HWND window, const CInstallSteps& steps, std::shared_ptr<InstallSharedWords> words)
        : window_(window),
          packagePath_(steps.packagePath),
          packageFolder_(steps.packageFolder),
          installFolder_(steps.installFolder),
          packageMd5_(steps.packageMd5),
          channel_(steps.channel),
          sideBySide_(steps.sideBySide),
          words_(std::move(words)) {}

    static unsigned __stdcall InstallThreadProc(void* argument);

private:
    bool PackageMatchesDigest() const;
    void RunPackage();
    bool WaitAndLaunch(HANDLE process);
    void ReportDamaged() const { PostMessageW(window_, WM_PACKAGE_DAMAGED, 0, 0); }

    const HWND window_;
    const std::wstring packagePath_;
    const std::wstring packageFolder_;
    const std::wstring installFolder_;
    const std::wstring packageMd5_;
    const int channel_;
    const bool sideBySide_;
    // Shared with the window; kept alive for as long as the thread runs.
    const std::shared_ptr<InstallSharedWords> words_;
};

unsigned __stdcall InstallJob::InstallThreadProc(void* argument) {
    std::unique_ptr<InstallJob> job(static_cast<InstallJob*>(argument));
    // An empty digest means the description gave none: run unchecked.
    if (!job->packageMd5_.empty() && !job->PackageMatchesDigest()) {
        job->ReportDamaged();
        return 0;
    }
    job->RunPackage();
    return 0;
}

bool InstallJob::PackageMatchesDigest() const {
    FILE* file = _wfopen(packagePath_.c_str(), L"rb");
    if (!file) return false;
    MD5 digest(file);  // reads the whole file and closes it
    const std::wstring actual = AnsiToWide(digest.hex_digest());
    return ToLowerString(actual) == ToLowerString(packageMd5_);
}

void InstallJob::RunPackage() {
    const std::wstring commandLine = FormatString(L"%s /S \"/unpack=%s\" /launch=off",
                                                  packagePath_.c_str(), installFolder_.c_str());
    Runtime::UniqueHandle process;
    if (StartProcess(packagePath_, commandLine, process) != 0) {
        // A package that does not start installs nothing; the user is asked
        // to download it again instead of the installer closing as if done.
        ReportDamaged();
        return;
    }
    const bool installed = WaitAndLaunch(process.get());
    PostMessageW(window_, installed ? WM_CLOSE : WM_PACKAGE_DAMAGED, 0, 0);
}

// Waits for the package and the install timer, starts the launcher and
// removes the package and the description. False when the package left no
// launcher behind, so the installation did not happen.
bool InstallJob::WaitAndLaunch(HANDLE process) {
    WaitForSingleObject(process, INFINITE);
    words_->installerExited = true;
    while (words_->installTicks < kInstallTicksDone) Sleep(kTickPollMs);

    const std::wstring launcherPath = JoinPath(installFolder_, kLauncherName);
    const bool installed = PathFileExistsW(launcherPath.c_str()) != FALSE;
    if (installed) {
        const std::wstring arguments =
            channel_ > 0 ? FormatString(kLauncherCommandFormat, launcherPath.c_str(), channel_)
                         : std::wstring();
        LaunchProcess(launcherPath, arguments);  // a launcher that fails to start is not retried
    }
    // A package that came beside the installer stays for the next run.
    if (!sideBySide_) DeleteFileW(packagePath_.c_str());
    DeleteFileW(UpdateDescription::FilePath(packageFolder_).c_str());
    return installed;
}

}  // namespace

CInstallSteps::CInstallSteps()
    : words_(std::make_shared<InstallSharedWords>()),
      installTicks(words_->installTicks),
      installerExited(words_->installerExited) {}

bool CInstallSteps::FindInstalledLauncher() {
    launcherExePath.clear();
    const std::wstring appData = CommonAppDataFolder();
    if (appData.empty()) return false;

    const std::wstring iniPath = AppendName(appData, kLauncherIniName);
    wchar_t value[kIniValueLength];
    const DWORD n = GetPrivateProfileStringW(kLauncherIniSection, kLauncherIniKey, L"", value,
                                             kIniValueLength, iniPath.c_str());
    const std::wstring iniLauncher(value, n);
    if (!iniLauncher.empty() && PathFileExistsW(iniLauncher.c_str())) {
        launcherExePath = iniLauncher;
        installFolder = ParentFolder(iniLauncher);
        return true;
    }

    HKEY rawKey = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kLauncherRegistryKey, 0, KEY_READ, &rawKey) !=
        ERROR_SUCCESS) {
        return false;
    }
    Runtime::UniqueRegistryKey key(rawKey);
    const std::wstring folder = ReadRegistryString(key.get(), kLauncherRegistryValue);
    if (folder.empty() || !PathFileExistsW(folder.c_str())) return false;
    // The folder is a good proposal even when the launcher has gone.
    installFolder = folder;
    const std::wstring launcher = AppendName(folder, kLauncherName);
    if (!PathFileExistsW(launcher.c_str())) return false;
    launcherExePath = launcher;
    return true;
}

void CInstallSteps::CheckLocalPackage() {
    const std::wstring folder = ModuleFolder();
    if (!PathFileExistsW(JoinPath(folder, kSideBySideMarker).c_str())) return;
    sideBySide = true;
    packageFolder = folder;
    if (PathFileExistsW(JoinPath(folder, kPackageName).c_str())) localPackage = true;
}

std::wstring CInstallSteps::DefaultInstallFolder() const {
    static const wchar_t* const kDriveRoots[] = {L"D:\\", L"C:\\", L"E:\\"};
    for (const wchar_t* root : kDriveRoots) {
        if (!PathFileExistsW(root)) continue;
        wchar_t folder[MAX_PATH];
        lstrcpynW(folder, root, MAX_PATH);
        if (!PathAppendW(folder, kDefaultFolderTail)) return std::wstring();
        return folder;
    }
    return std::wstring();
}

DWORD CInstallSteps::LaunchInstalledLauncher() {
    const std::wstring commandLine =
        FormatString(kLauncherCommandFormat, launcherExePath.c_str(), channel);
    return LaunchProcess(launcherExePath, commandLine);
}

void CInstallSteps::StartInstall() {
    installTicks = 0;
    // A thread of an earlier attempt may have set it; this attempt's
    // package has not run yet.
    installerExited = false;
    SetTimer(window_, kInstallTimerId, kInstallTimerPeriodMs, nullptr);
    packagePath = JoinPath(packageFolder, kPackageName);

    auto job = std::make_unique<InstallJob>(window_, *this, words_);
    Runtime::UniqueHandle thread(reinterpret_cast<HANDLE>(
        _beginthreadex(nullptr, 0, &InstallJob::InstallThreadProc, job.get(), 0, nullptr)));
    if (!thread) {
        // Without its thread the installation would wait forever.
        PostMessageW(window_, WM_PACKAGE_DAMAGED, 0, 0);
        return;
    }
    job.release();  // the thread owns it now; it is never joined
}
