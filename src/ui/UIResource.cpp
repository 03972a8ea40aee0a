// The process-wide skin source and the readers of skin files and images.
#include "ui/UIResource.h"

#include <stdlib.h>

#include "ui/UIFileRead.h"
#include "ui/UIZip.h"

namespace SkinUI {

namespace {

const wchar_t kErrorOpeningFile[] = L"Error opening file";
const wchar_t kFileIsEmpty[] = L"File is empty";
const wchar_t kFileTooLarge[] = L"File too large";
const wchar_t kCouldNotRead[] = L"Could not read file";
const wchar_t kErrorOpeningZip[] = L"Error opening zip file";
const wchar_t kZipItemMissing[] = L"Could not find ziped file";
const wchar_t kCouldNotUnzip[] = L"Could not unzip file";
const wchar_t kEmbeddedZipType[] = L"ZIPRES";
constexpr DWORD kModulePathUnits = 2048;

struct SkinSource {
    HINSTANCE resourceInstance = nullptr;
    UIString resourcePath;
    UIString zipName;
    CSkinZip zip;
    // The embedded archive, copied out of the resource once.
    std::vector<BYTE> embedded;
};

SkinSource& Source() {
    static SkinSource source;
    return source;
}

UIString ResourceFilePath(const wchar_t* name) {
    UIString path(Source().resourcePath);
    path.Append(name);
    return path;
}

// Opens the named ZIP file again when an earlier attempt failed; the
// in-memory archive cannot be reopened without its buffer.
bool EnsureZipOpen() {
    SkinSource& source = Source();
    if (source.zip.IsOpen()) return true;
    if (source.zipName.IsEmpty() || source.zipName == CSkinResources::kMemoryZipName) return false;
    return source.zip.OpenFile(ResourceFilePath(source.zipName));
}

// The text ReadSkinFile reports for a failed read; null for Ok.
const wchar_t* FileReadError(FileRead result) {
    switch (result) {
    case FileRead::Ok: return nullptr;
    case FileRead::CannotOpen: return kErrorOpeningFile;
    case FileRead::Empty: return kFileIsEmpty;
    case FileRead::TooLarge: return kFileTooLarge;
    case FileRead::Short: return kCouldNotRead;
    }
    return kCouldNotRead;
}

// Reads an item of the archive of 1 to `limit` bytes; null, or the text of
// what went wrong.
const wchar_t* ReadZipItem(const wchar_t* name, DWORD limit, std::vector<BYTE>& bytes) {
    bytes.clear();
    if (!EnsureZipOpen()) return kErrorOpeningZip;
    const CSkinZip& zip = Source().zip;
    const int index = zip.FindItem(name);
    if (index < 0) return kZipItemMissing;
    const DWORD size = zip.ItemSize(index);
    if (size == 0) return kFileIsEmpty;
    if (size > limit) return kFileTooLarge;
    bytes.resize(size);
    if (zip.Unpack(index, bytes.data(), size) != kZipOk) {
        bytes.clear();
        return kCouldNotUnzip;
    }
    return nullptr;
}

bool ReadResourceBytes(const wchar_t* idText, const wchar_t* type, DWORD limit,
                       std::vector<BYTE>& bytes) {
    long id = wcstol(idText, nullptr, 10);
    if (id <= 0 || id > 0xFFFF) return false;
    HINSTANCE instance = CSkinResources::ResourceInstance();
    HRSRC info = ::FindResourceW(instance, MAKEINTRESOURCEW(id), type);
    if (!info) return false;
    HGLOBAL handle = ::LoadResource(instance, info);
    if (!handle) return false;
    DWORD size = ::SizeofResource(instance, info);
    const void* data = ::LockResource(handle);
    bool ok = data && size > 0 && size <= limit;
    if (ok) bytes.assign(static_cast<const BYTE*>(data), static_cast<const BYTE*>(data) + size);
    ::FreeResource(handle);
    return ok;
}

}  // namespace

void CSkinResources::SetResourceInstance(HINSTANCE instance) { Source().resourceInstance = instance; }

HINSTANCE CSkinResources::ResourceInstance() {
    HINSTANCE instance = Source().resourceInstance;
    return instance ? instance : ::GetModuleHandleW(nullptr);
}

void CSkinResources::SetResourcePath(const wchar_t* folder) {
    UIString& path = Source().resourcePath;
    path.Assign(folder);
    if (path.IsEmpty()) return;
    wchar_t last = path[path.Length() - 1];
    if (last != L'\\' && last != L'/') path.Append(L'\\');
}

const UIString& CSkinResources::ResourcePath() { return Source().resourcePath; }

bool CSkinResources::SetResourceZipFile(const wchar_t* name) {
    SkinSource& source = Source();
    if (name && source.zipName == name && source.zip.IsOpen()) return true;
    source.zip.Close();
    source.zipName.Assign(name);
    if (source.zipName.IsEmpty()) return true;
    return source.zip.OpenFile(ResourceFilePath(source.zipName));
}

bool CSkinResources::SetResourceZipMemory(const void* data, DWORD size) {
    SkinSource& source = Source();
    // Only the very same buffer is left open: a different one replaces it,
    // so the reader never keeps reading a buffer its owner has let go.
    if (source.zipName == kMemoryZipName && source.zip.IsOpen() && source.zip.Data() == data) {
        return true;
    }
    source.zip.Close();
    source.zipName.Assign(kMemoryZipName);
    return source.zip.OpenMemory(data, size);
}

const UIString& CSkinResources::ResourceZipName() { return Source().zipName; }

bool CSkinResources::LoadEmbeddedZip(UINT id) {
    SkinSource& source = Source();
    if (source.embedded.empty()) {
        wchar_t idText[16];
        _snwprintf(idText, 15, L"%u", id);
        idText[15] = L'\0';
        if (!ReadResourceBytes(idText, kEmbeddedZipType, CSkinZip::kMaxArchiveBytes,
                               source.embedded)) {
            return false;
        }
    }
    return SetResourceZipMemory(source.embedded.data(), static_cast<DWORD>(source.embedded.size()));
}

void CSkinResources::ReleaseEmbeddedZip() {
    SkinSource& source = Source();
    if (source.embedded.empty()) return;
    if (source.zip.Data() == source.embedded.data()) {
        source.zip.Close();
        source.zipName.Empty();
    }
    std::vector<BYTE>().swap(source.embedded);
}

bool CSkinResources::PrepareForWindow(SkinResourceKind kind, const wchar_t* skinFolder,
                                      const wchar_t* zipName, UINT resourceId) {
    if (ResourcePath().IsEmpty()) {
        wchar_t module[kModulePathUnits] = {};
        DWORD length = ::GetModuleFileNameW(nullptr, module, kModulePathUnits);
        if (length > 0 && length < kModulePathUnits) {
            wchar_t* lastSlash = wcsrchr(module, L'\\');
            if (lastSlash) lastSlash[1] = L'\0';
            UIString folder(module);
            folder.Append(skinFolder);
            SetResourcePath(folder);
        }
    }
    if (kind == SkinResourceKind::ZipFile) SetResourceZipFile(zipName);
    if (kind == SkinResourceKind::EmbeddedZip) return LoadEmbeddedZip(resourceId);
    return true;
}

bool CSkinResources::ReadSkinFile(const wchar_t* name, std::vector<BYTE>& bytes,
                                  const wchar_t** error) {
    const wchar_t* failure = nullptr;
    bytes.clear();
    if (!Source().zipName.IsEmpty()) {
        failure = ReadZipItem(name, kMaxSkinFileBytes, bytes);
    } else if (!name) {
        failure = kErrorOpeningFile;
    } else {
        failure = FileReadError(ReadWholeFile(ResourceFilePath(name), kMaxSkinFileBytes, bytes));
    }
    if (error) *error = failure;
    return failure == nullptr;
}

std::unique_ptr<SkinImage> CSkinResources::LoadSkinImage(const wchar_t* name,
                                                         const wchar_t* resourceType, DWORD mask) {
    if (!name || !*name) return nullptr;
    bool typed = resourceType && *resourceType;
    std::vector<BYTE> bytes;
    bool found = false;
    if (typed) {
        found = ReadResourceBytes(name, resourceType, kMaxImageFileBytes, bytes);
    } else if (!Source().zipName.IsEmpty()) {
        found = ReadZipItem(name, kMaxImageFileBytes, bytes) == nullptr;
    } else {
        found = ReadWholeFile(ResourceFilePath(name), kMaxImageFileBytes, bytes) == FileRead::Ok;
    }
    // Last resort: the name itself as a path (absolute, or relative to the
    // current directory).
    if (!found) found = ReadWholeFile(name, kMaxImageFileBytes, bytes) == FileRead::Ok;
    if (!found) return nullptr;
    std::unique_ptr<SkinImage> image = DecodeSkinImage(bytes.data(), bytes.size(), mask);
    if (image) image->resourceType.Assign(typed ? resourceType : nullptr);
    return image;
}

}  // namespace SkinUI
