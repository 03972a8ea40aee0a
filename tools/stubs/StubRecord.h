// Shared by the stand-in programs: their own path and the record of the
// command line they were given.
#pragma once

#include <windows.h>

#include <string>

namespace stub {

inline std::wstring OwnPath() {
    wchar_t path[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    return n > 0 && n < MAX_PATH ? std::wstring(path, n) : std::wstring();
}

// "C:\x\name.exe" -> "name"
inline std::wstring BaseName(const std::wstring& path) {
    const size_t slash = path.find_last_of(L"\\/");
    std::wstring name = slash == std::wstring::npos ? path : path.substr(slash + 1);
    const size_t dot = name.rfind(L'.');
    return dot == std::wstring::npos ? name : name.substr(0, dot);
}

inline std::wstring FolderOf(const std::wstring& path) {
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

// Writes the bytes to a side file first and renames it into place, so a
// reader never sees half a record.
inline bool WriteWholeFile(const std::wstring& path, const void* data, DWORD size) {
    const std::wstring part = path + L".part";
    HANDLE file = CreateFileW(part.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const bool ok = WriteFile(file, data, size, &written, nullptr) && written == size;
    CloseHandle(file);
    return ok && MoveFileExW(part.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING);
}

// "<folder>\<name>.cmdline.txt" holds the command line, UTF-8.
inline bool WriteCommandLineRecord(const std::wstring& folder, const std::wstring& name) {
    const wchar_t* commandLine = GetCommandLineW();
    const int length =
        WideCharToMultiByte(CP_UTF8, 0, commandLine, -1, nullptr, 0, nullptr, nullptr);
    if (length <= 0) return false;
    std::string utf8(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, commandLine, -1, &utf8[0], length, nullptr, nullptr);
    utf8.pop_back();  // the terminator
    return WriteWholeFile(folder + L"\\" + name + L".cmdline.txt", utf8.data(),
                          static_cast<DWORD>(utf8.size()));
}

}  // namespace stub
