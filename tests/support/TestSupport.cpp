#include "TestSupport.h"

#include <shellapi.h>

#include <cstdio>
#include <memory>

#include "Runtime/Logger.h"

namespace testsupport {

bool PumpMessagesUntil(const std::function<bool()>& done, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start >= timeoutMs) return done();
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        if (done()) break;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
    return true;
}

std::wstring ProgramFolder() {
    wchar_t path[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, n);
    return folder.substr(0, folder.find_last_of(L"\\/"));
}

TempFolder::TempFolder() {
    wchar_t base[MAX_PATH];
    GetTempPathW(MAX_PATH, base);
    for (unsigned i = GetTickCount() ^ GetCurrentProcessId();; ++i) {
        wchar_t name[MAX_PATH];
        swprintf(name, MAX_PATH, L"%lsinstaller-test-%08x", base, i);
        if (CreateDirectoryW(name, nullptr)) {
            path_ = name;
            return;
        }
        if (GetLastError() != ERROR_ALREADY_EXISTS) return;
    }
}

TempFolder::~TempFolder() {
    if (path_.empty()) return;
    std::wstring from = path_ + L'\0';  // SHFileOperation wants a double-NUL list
    SHFILEOPSTRUCTW op = {};
    op.wFunc = FO_DELETE;
    op.pFrom = from.c_str();
    op.fFlags = FOF_NOCONFIRMATION | FOF_NOERRORUI | FOF_SILENT;
    SHFileOperationW(&op);
}

std::string ReadFileBytes(const std::wstring& path) {
    std::string bytes;
    FILE* f = _wfopen(path.c_str(), L"rb");
    if (!f) return bytes;
    char buffer[65536];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, f)) > 0) bytes.append(buffer, n);
    fclose(f);
    return bytes;
}

bool WriteFileBytes(const std::wstring& path, const std::string& bytes) {
    FILE* f = _wfopen(path.c_str(), L"wb");
    if (!f) return false;
    bool ok = fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return fclose(f) == 0 && ok;
}

std::string WaitForFileBytes(const std::wstring& path, DWORD timeoutMs) {
    std::string bytes;
    PumpMessagesUntil([&] { return !(bytes = ReadFileBytes(path)).empty(); }, timeoutMs);
    return bytes;
}

bool DeleteFileWhenFree(const std::wstring& path, DWORD timeoutMs) {
    return PumpMessagesUntil([&] { return DeleteFileW(path.c_str()) != FALSE; }, timeoutMs);
}

bool PathExists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string Utf16LeBytes(const std::wstring& text) {
    std::string bytes;
    bytes.reserve(2 * text.size());
    for (wchar_t c : text) {
        bytes += static_cast<char>(c & 0xff);
        bytes += static_cast<char>(c >> 8);
    }
    return bytes;
}

std::wstring EnvironmentValue(const wchar_t* name) {
    wchar_t value[4096];
    const DWORD n = GetEnvironmentVariableW(name, value, ARRAYSIZE(value));
    return n > 0 && n < ARRAYSIZE(value) ? std::wstring(value, n) : std::wstring();
}

FileLogCapture::FileLogCapture() {
    stream_ = _wfopen(folder_.File(L"log.bin").c_str(), L"wb");
    if (!stream_) return;
    FileLogger::Instance().SetOptions(std::make_unique<LogOptions>());
    FileLogger::Instance().SetStream(stream_);
}

FileLogCapture::~FileLogCapture() {
    Finish();
}

std::wstring FileLogCapture::Finish() {
    if (!stream_) return std::wstring();
    FileLogger::Instance().SetStream(nullptr);
    FileLogger::Instance().SetOptions(nullptr);
    fclose(stream_);
    stream_ = nullptr;
    const std::string bytes = ReadFileBytes(folder_.File(L"log.bin"));
    return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / 2);
}

}  // namespace testsupport
