#include "CommonUtils.h"

#include <shlobj.h>
#include <shlwapi.h>

#include <vector>

#include "Runtime/FileSize.h"
#include "Runtime/Logger.h"
#include "Runtime/StringUtils.h"
#include "Runtime/WinHandle.h"

namespace {

// GetModuleFileNameW truncates silently, so a result that fills the buffer
// is retried with a larger one.
constexpr DWORD kModulePathStart = 512;
constexpr DWORD kModulePathMax = 32768;

constexpr UINT kBrowseFlags = BIF_RETURNONLYFSDIRS | BIF_EDITBOX | BIF_NEWDIALOGSTYLE;

int CALLBACK BrowseCallback(HWND dialog, UINT message, LPARAM item, LPARAM startFolder) {
    if (message == BFFM_INITIALIZED) {
        const wchar_t* start = reinterpret_cast<const wchar_t*>(startFolder);
        wchar_t current[MAX_PATH];
        if (!start || !*start) start = GetCurrentDirectoryW(MAX_PATH, current) ? current : nullptr;
        if (start) SendMessageW(dialog, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(start));
    } else if (message == BFFM_SELCHANGED) {
        wchar_t path[MAX_PATH];
        if (SHGetPathFromIDListW(reinterpret_cast<PCIDLIST_ABSOLUTE>(item), path)) {
            SendMessageW(dialog, BFFM_SETSTATUSTEXTW, 0, reinterpret_cast<LPARAM>(path));
        }
    }
    return 0;
}

}  // namespace

std::wstring ModuleFolder() {
    static std::wstring cached;
    if (!cached.empty()) return cached;
    for (DWORD size = kModulePathStart; size <= kModulePathMax; size *= 2) {
        std::vector<wchar_t> buffer(size);
        const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), size);
        if (n == 0) return std::wstring();
        if (n < size) {
            const std::wstring path(buffer.data(), n);
            const size_t slash = path.find_last_of(L'\\');
            if (slash != std::wstring::npos) cached = path.substr(0, slash);
            return cached;
        }
    }
    return std::wstring();
}

std::wstring BrowseForFolder(HWND owner, const std::wstring& start) {
    BROWSEINFOW info = {};
    info.hwndOwner = owner;
    info.lpszTitle = L"选择文件夹";
    info.ulFlags = kBrowseFlags;
    info.lpfn = BrowseCallback;
    info.lParam = reinterpret_cast<LPARAM>(start.c_str());
    Runtime::UniqueItemList chosen(SHBrowseForFolderW(&info));
    if (!chosen) return std::wstring();
    wchar_t path[MAX_PATH];
    if (!SHGetPathFromIDListW(chosen.get(), path)) return std::wstring();
    std::wstring result = path;
    if (result.empty()) return result;
    if (result.back() != L'\\') result += L'\\';
    return result;
}

std::wstring FormatSize(uint64_t value) {
    static const wchar_t* const kFormats[] = {L"%.0fB", L"%.2fKB", L"%.2fMB", L"%.2fGB", L"%.2fTB"};
    const double amount = static_cast<double>(value);
    int unit = 0;
    double divisor = 1.0;
    if (value >= 1000) {
        // The first unit under which the count stays below 1000 of it.
        unit = 1;
        divisor = 1024.0;
        while (unit < 4 && amount >= 1000.0 * divisor) {
            ++unit;
            divisor *= 1024.0;
        }
    }
    return FormatString(kFormats[unit], amount / divisor);
}

DWORD LaunchProcess(const std::wstring& program, const std::wstring& commandLine,
                    PROCESS_INFORMATION* out) {
    Runtime::UniqueHandle process;
    return StartProcess(program, commandLine, process, out);
}

DWORD StartProcess(const std::wstring& program, const std::wstring& commandLine,
                   Runtime::UniqueHandle& process, PROCESS_INFORMATION* out) {
    // CreateProcessW may write into the command line, so it gets a copy.
    std::vector<wchar_t> arguments(commandLine.begin(), commandLine.end());
    arguments.push_back(L'\0');
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    if (!CreateProcessW(program.c_str(), arguments.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &info)) {
        return GetLastError();
    }
    process.reset(info.hProcess);
    Runtime::UniqueHandle thread(info.hThread);
    if (out) *out = info;
    return 0;
}

bool CreateDir(const std::wstring& folder) {
    if (PathFileExistsW(folder.c_str())) return true;
    const int result = SHCreateDirectoryExW(nullptr, folder.c_str(), nullptr);
    if (result == ERROR_SUCCESS) return true;
    LOG_TRACE_PAIR(kLogError, kLogError, L".\\CommonUtils", L"CreateDir：%s ret：%d",
                   folder.c_str(), result);
    return false;
}

bool DeleteOneFile(const std::wstring& path) {
    if (!PathFileExistsW(path.c_str())) return true;
    if (DeleteFileW(path.c_str())) return true;
    Sleep(1);
    return false;
}

bool MoveFileReplace(const std::wstring& from, const std::wstring& to) {
    if (!PathFileExistsW(from.c_str())) return false;
    if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
    Sleep(1);
    return false;
}

int64_t FileSize64(const std::wstring& path) { return LocalFileSize(path); }

std::wstring JoinPath(const std::wstring& folder, const wchar_t* name) {
    return FormatString(L"%s\\%s", folder.c_str(), name);
}

std::wstring ParentFolder(const std::wstring& path) {
    if (path.empty()) return std::wstring();
    std::wstring copy = ReplaceAll(path, L"/", L"\\");
    if (copy.back() == L'\\') copy.pop_back();
    const size_t slash = copy.rfind(L'\\');
    return slash == std::wstring::npos ? std::wstring() : copy.substr(0, slash);
}

std::wstring StripExtension(const std::wstring& path) {
    const size_t dot = path.rfind(L'.');
    return dot == std::wstring::npos ? path : path.substr(0, dot);
}
