// Reading a whole file of bounded size into memory: the skin archive, and
// the skin files and images of a resource folder.
#pragma once

#include <windows.h>

#include <vector>

namespace SkinUI {

enum class FileRead { Ok, CannotOpen, Empty, TooLarge, Short };

// Reads the file at `path` when it holds 1 to `limit` bytes. `bytes` holds
// the file on Ok and is left empty otherwise.
FileRead ReadWholeFile(const wchar_t* path, DWORD limit, std::vector<BYTE>& bytes);

}  // namespace SkinUI
