#include "Http/DownloadWriteFile.h"

#include "Http/HttpErrors.h"
#include "Runtime/Logger.h"

namespace {

constexpr const wchar_t* kLogSource = L".\\Http\\HttpDownloadFile";

}  // namespace

void DownloadWriteFile::LogFileError(int code) {
    ConsoleLogger::Instance().LogAt(kLogError, __LINE__, kLogSource, L"[DownloadWriteFile]打开错误:%d", code);
    FileLogger::Instance().LogAt(kLogError, __LINE__, kLogSource, L"[DownloadWriteFile]打开错误 %d:%d", 1, code);
}

bool DownloadWriteFile::Open(const std::wstring& path) {
    Close();
    path_ = path;
    CFileExException error;
    if (file_.Open(path, kOpenFlags, &error)) {
        try {
            file_.SeekToEnd64();
            return true;
        } catch (const CFileExException& e) {
            error.code = e.code;
            file_.Abort();
        }
    }
    LogFileError(error.code);
    errorType = kHttpErrSys;
    errorCode = kErrOpenLocalFile;
    return false;
}

int DownloadWriteFile::Write(const void* data, unsigned count) {
    if (!file_.IsOpen()) {
        errorCode = kErrWriteWithoutFile;
        errorType = kHttpErrUser;
        return -1;
    }
    try {
        file_.Write(data, count);
    } catch (const CFileExException& e) {
        LogFileError(e.code);
        errorType = kHttpErrSys;
        errorCode = e.code;
        return -1;
    }
    return static_cast<int>(count);
}

void DownloadWriteFile::Close() {
    try {
        if (file_.IsOpen()) file_.Close();
    } catch (const CFileExException& e) {
        LogFileError(e.code);  // the handle is gone either way
    }
    errorCode = 0;
    errorType = 0;
}

void DownloadWriteFile::Reset() {
    if (!file_.IsOpen()) {
        DeleteFileW(path_.c_str());
        return;
    }
    try {
        file_.SetLength(0);
    } catch (const CFileExException& e) {
        // Appending to contents that should have gone would corrupt the
        // file: drop it, so every further write fails and the attempt is
        // retried from a fresh look at the file.
        LogFileError(e.code);
        file_.Abort();
    }
}
