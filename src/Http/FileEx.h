// A Win32 file handle with class-library style open flags, 32-bit
// positions, and an exception for every failure after opening.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "Runtime/WinHandle.h"

// Thrown by value, caught by reference. `code` is the system error code, or
// kErrShortWrite for a write that wrote fewer bytes than asked.
struct CFileExException {
    std::wstring message;
    int code = 0;
};

class CFileEx {
public:
    // Open flags: access in the low two bits, sharing in 0x70, then
    // inheritance and creation bits.
    enum : uint32_t {
        kRead = 0x0,
        kWrite = 0x1,
        kReadWrite = 0x2,
        kShareExclusive = 0x10,
        kShareRead = 0x20,       // others may read
        kShareWrite = 0x30,      // others may write
        kShareReadWrite = 0x40,  // others may read and write
        kNoInherit = 0x80,
        kCreate = 0x1000,      // create if missing (truncating unless kNoTruncate)
        kNoTruncate = 0x2000,  // with kCreate: keep existing contents
        kBinary = 0x8000,      // accepted and ignored
    };
    enum Origin { kBegin = 0, kCurrent = 1, kEnd = 2 };

    CFileEx() = default;
    virtual ~CFileEx();
    CFileEx(const CFileEx&) = delete;
    CFileEx& operator=(const CFileEx&) = delete;

    virtual uint32_t GetPosition();
    // 1 on success; 0 on failure, filling `error` (when given) with the
    // system error code and "INVALID_HANDLE_VALUE". Never throws.
    virtual int Open(const std::wstring& path, uint32_t flags, CFileExException* error);
    virtual uint32_t Seek(int32_t distance, int origin);
    // Cuts or extends the file; the position is left at the new end.
    virtual int SetLength(uint32_t length);
    virtual uint32_t SeekToEnd();
    virtual uint32_t Read(void* buffer, uint32_t count);
    virtual void Write(const void* buffer, uint32_t count);
    // Closes without reporting failure.
    virtual void Abort();
    virtual void Flush();
    virtual void Close();

    // Moves to the end of a file of any size (the 32-bit operations fail on
    // files of 4 GiB and more) and returns the length.
    uint64_t SeekToEnd64();

    bool IsOpen() const { return opened_ && handle_.valid(); }
    const std::wstring& name() const { return name_; }

private:
    [[noreturn]] void ThrowLastError(const std::wstring& message = std::wstring());

    Runtime::UniqueFileHandle handle_;
    bool opened_ = false;
    std::wstring name_;
};
