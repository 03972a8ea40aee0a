#include "ui/UIFileRead.h"

#include "Runtime/WinHandle.h"

namespace SkinUI {

FileRead ReadWholeFile(const wchar_t* path, DWORD limit, std::vector<BYTE>& bytes) {
    bytes.clear();
    Runtime::UniqueFileHandle file(::CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr,
                                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return FileRead::CannotOpen;
    LARGE_INTEGER size = {};
    if (!::GetFileSizeEx(file.get(), &size)) return FileRead::CannotOpen;
    if (size.QuadPart == 0) return FileRead::Empty;
    if (size.QuadPart > limit) return FileRead::TooLarge;
    bytes.resize(static_cast<size_t>(size.QuadPart));
    DWORD read = 0;
    if (!::ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) ||
        read != bytes.size()) {
        bytes.clear();
        return FileRead::Short;
    }
    return FileRead::Ok;
}

}  // namespace SkinUI
