// The body sink of a file download: appends to a local file opened without
// truncation, so a partial file can be resumed.
#pragma once

#include <string>

#include "Http/FileEx.h"
#include "Http/Streams.h"

class DownloadWriteFile : public OBaseStream {
public:
    // Read and write, others may read, not inherited, created when missing,
    // contents kept.
    static constexpr uint32_t kOpenFlags = CFileEx::kBinary | CFileEx::kCreate | CFileEx::kNoTruncate |
                                           CFileEx::kNoInherit | CFileEx::kShareRead | CFileEx::kReadWrite;

    // Opens the file and moves to its end. On failure the error is (1, 2020).
    bool Open(const std::wstring& path);
    // All bytes or -1: (3, 2001) without an open file, (1, system code) when
    // the file write fails.
    int Write(const void* data, unsigned count) override;
    void Close() override;
    // Empties the open file; without one, deletes the file at the path.
    void Reset() override;

private:
    void LogFileError(int code);

    std::wstring path_;
    CFileEx file_;
};
