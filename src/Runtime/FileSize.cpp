#include "Runtime/FileSize.h"

#include <windows.h>

#include "Runtime/WinHandle.h"

int64_t LocalFileSize(const std::wstring& path) {
    Runtime::UniqueFileHandle file(CreateFileW(path.c_str(), GENERIC_READ,
                                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                               nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size = {};
    if (file && GetFileSizeEx(file.get(), &size)) return size.QuadPart;
    WIN32_FIND_DATAW found;
    Runtime::UniqueFindHandle search(FindFirstFileW(path.c_str(), &found));
    if (!search) return -1;
    return static_cast<int64_t>((static_cast<uint64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow);
}
