#include "Http/FileEx.h"

#include "Http/HttpErrors.h"

CFileEx::~CFileEx() {
    // A destructor cannot report a failed close; Abort closes quietly.
    if (handle_.valid() && opened_) Abort();
}

void CFileEx::ThrowLastError(const std::wstring& message) {
    throw CFileExException{message, static_cast<int>(GetLastError())};
}

int CFileEx::Open(const std::wstring& path, uint32_t flags, CFileExException* error) {
    handle_.reset();
    opened_ = false;
    name_ = path;
    flags &= ~static_cast<uint32_t>(kBinary);

    DWORD access = 0;
    switch (flags & 0x3) {
        case kRead: access = GENERIC_READ; break;
        case kWrite: access = GENERIC_WRITE; break;
        case kReadWrite: access = GENERIC_READ | GENERIC_WRITE; break;
        default: break;  // neither
    }
    DWORD share = 0;
    switch (flags & 0x70) {
        case kShareRead: share = FILE_SHARE_READ; break;
        case kShareWrite: share = FILE_SHARE_WRITE; break;
        case kShareReadWrite: share = FILE_SHARE_READ | FILE_SHARE_WRITE; break;
        default: break;  // exclusive
    }
    SECURITY_ATTRIBUTES security = {sizeof security, nullptr, (flags & kNoInherit) ? FALSE : TRUE};
    DWORD disposition = OPEN_EXISTING;
    if (flags & kCreate) disposition = (flags & kNoTruncate) ? OPEN_ALWAYS : CREATE_ALWAYS;

    HANDLE h = CreateFileW(path.c_str(), access, share, &security, disposition,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        if (error) {
            error->code = static_cast<int>(GetLastError());
            error->message = L"INVALID_HANDLE_VALUE";
        }
        return 0;
    }
    handle_.reset(h);
    opened_ = true;
    return 1;
}

uint32_t CFileEx::Seek(int32_t distance, int origin) {
    DWORD position = SetFilePointer(handle_.get(), distance, nullptr, static_cast<DWORD>(origin));
    if (position == INVALID_SET_FILE_POINTER) ThrowLastError();
    return position;
}

uint32_t CFileEx::GetPosition() { return Seek(0, kCurrent); }

int CFileEx::SetLength(uint32_t length) {
    Seek(static_cast<int32_t>(length), kBegin);
    if (!SetEndOfFile(handle_.get())) ThrowLastError();
    return 1;
}

uint32_t CFileEx::SeekToEnd() {
    Seek(0, kCurrent);
    return Seek(0, kEnd);
}

uint64_t CFileEx::SeekToEnd64() {
    LARGE_INTEGER zero = {}, end = {};
    if (!SetFilePointerEx(handle_.get(), zero, &end, FILE_END)) ThrowLastError();
    return static_cast<uint64_t>(end.QuadPart);
}

uint32_t CFileEx::Read(void* buffer, uint32_t count) {
    if (count == 0) return 0;
    DWORD read = 0;
    if (!ReadFile(handle_.get(), buffer, count, &read, nullptr)) ThrowLastError();
    return read;
}

void CFileEx::Write(const void* buffer, uint32_t count) {
    if (count == 0) return;
    DWORD written = 0;
    if (!WriteFile(handle_.get(), buffer, count, &written, nullptr)) ThrowLastError(name_);
    if (written < count) throw CFileExException{name_, kErrShortWrite};
}

void CFileEx::Abort() {
    handle_.reset();  // a failed close is ignored here
    opened_ = false;
    name_.clear();
}

void CFileEx::Flush() {
    if (handle_.valid() && !FlushFileBuffers(handle_.get())) ThrowLastError();
}

void CFileEx::Close() {
    bool closed = true;
    if (handle_.valid()) closed = CloseHandle(handle_.release()) != FALSE;
    opened_ = false;
    name_.clear();
    if (!closed) ThrowLastError();
}
