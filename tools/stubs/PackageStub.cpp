// Stands in for the installer package (kzinstaller.exe). Given
//   kzinstaller.exe /S "/unpack=DIR" /launch=off
// it creates DIR, unpacks the launcher stand-in it carries as a resource
// into DIR\VelmoraLauncher.exe, records its command line in
// DIR\kzinstaller.cmdline.txt and exits with 0. Without "/unpack=" it does
// nothing and exits with 2.
//
// For tests a mode makes it misbehave:
//   fail      record the command line, unpack nothing, exit with 1
//   slow [MS] wait MS milliseconds (3000 when not given) before the work
// The mode comes from a file beside the program, named like it with
// ".mode" (kzinstaller.mode), or else from the program's own file name
// (kzinstaller-fail.exe, kzinstaller-slow.exe).
#include "StubRecord.h"

#include <shellapi.h>
#include <shlobj.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr wchar_t kUnpackSwitch[] = L"/unpack=";
constexpr DWORD kDefaultSlowMs = 3000;
constexpr DWORD kMaxModeFileBytes = 64;

struct Mode {
    bool fail = false;
    DWORD delayMs = 0;
};

Mode ParseMode(const std::string& text) {
    Mode mode;
    if (text.compare(0, 4, "fail") == 0) {
        mode.fail = true;
    } else if (text.compare(0, 4, "slow") == 0) {
        const long ms = std::strtol(text.c_str() + 4, nullptr, 10);
        mode.delayMs = ms > 0 ? static_cast<DWORD>(ms) : kDefaultSlowMs;
    }
    return mode;
}

Mode ReadMode(const std::wstring& self) {
    const std::wstring modeFile = stub::FolderOf(self) + L"\\" + stub::BaseName(self) + L".mode";
    HANDLE file = CreateFileW(modeFile.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        char text[kMaxModeFileBytes + 1] = {};
        DWORD read = 0;
        ReadFile(file, text, kMaxModeFileBytes, &read, nullptr);
        CloseHandle(file);
        return ParseMode(std::string(text, read));
    }
    const std::wstring name = stub::BaseName(self);
    if (name.find(L"-fail") != std::wstring::npos) return ParseMode("fail");
    if (name.find(L"-slow") != std::wstring::npos) return ParseMode("slow");
    return Mode();
}

std::wstring UnpackFolder() {
    int count = 0;
    LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!arguments) return std::wstring();
    std::wstring folder;
    const size_t prefix = wcslen(kUnpackSwitch);
    for (int i = 1; i < count; ++i) {
        if (_wcsnicmp(arguments[i], kUnpackSwitch, prefix) == 0) folder = arguments[i] + prefix;
    }
    LocalFree(arguments);
    return folder;
}

bool UnpackLauncher(const std::wstring& folder) {
    HRSRC resource = FindResourceW(nullptr, L"LAUNCHER", MAKEINTRESOURCEW(10) /* RT_RCDATA */);
    if (!resource) return false;
    HGLOBAL loaded = LoadResource(nullptr, resource);
    const void* data = loaded ? LockResource(loaded) : nullptr;
    const DWORD size = SizeofResource(nullptr, resource);
    return data && size > 0 && stub::WriteWholeFile(folder + L"\\VelmoraLauncher.exe", data, size);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    const std::wstring self = stub::OwnPath();
    const std::wstring folder = UnpackFolder();
    if (folder.empty()) return 2;
    const Mode mode = ReadMode(self);
    if (mode.delayMs) Sleep(mode.delayMs);

    const int created = SHCreateDirectoryExW(nullptr, folder.c_str(), nullptr);
    if (created != ERROR_SUCCESS && created != ERROR_ALREADY_EXISTS &&
        created != ERROR_FILE_EXISTS) {
        return 3;
    }
    if (!stub::WriteCommandLineRecord(folder, stub::BaseName(self))) return 3;
    if (mode.fail) return 1;
    return UnpackLauncher(folder) ? 0 : 4;
}
