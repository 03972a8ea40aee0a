// Skin resources: where skin files and images come from, and decoded images.
//
// Every skin file (window layout XML) and image comes from one process-wide
// skin source: a folder, a ZIP file in that folder, or a ZIP archive embedded
// in the executable as a Windows resource and held in memory. Images decode
// with stb_image into 32-bit premultiplied top-down DIB sections, ready for
// the system's per-pixel alpha blend. Main (UI) thread only.
#pragma once

#include <windows.h>

#include <memory>
#include <vector>

#include "ui/UIGdi.h"
#include "ui/UIString.h"

namespace SkinUI {

// One decoded skin image.
struct SkinImage {
    UniqueBitmap bitmap;      // 32-bit top-down DIB section, premultiplied BGRA
    DWORD* pixels = nullptr;  // the bitmap's pixels, width * height
    int width = 0;
    int height = 0;
    bool hasAlpha = false;    // some pixel is not fully opaque after decoding and masking
    UIString resourceType;    // empty for images from files or the ZIP
    DWORD mask = 0;           // ARGB colour made transparent while loading
};

// Where a skinned window takes its skin from.
enum class SkinResourceKind {
    Files = 1,        // the resource folder
    ZipFile = 2,      // a ZIP file in the resource folder
    Resource = 3,     // the skin XML is a resource of type "xml"; images from the folder
    EmbeddedZip = 4,  // a ZIP archive stored as a "ZIPRES" resource
};

// The process-wide skin source settings and the readers that use them.
class CSkinResources {
public:
    // Largest skin file (layout XML) that is read.
    static constexpr DWORD kMaxSkinFileBytes = 4u << 20;
    // Largest encoded image that is read, and most pixels an image may have.
    static constexpr DWORD kMaxImageFileBytes = 16u << 20;
    static constexpr DWORD kMaxImagePixels = 16u << 20;
    // The name the in-memory archive goes by.
    static constexpr const wchar_t* kMemoryZipName = L"membuffer";

    // The module whose resources are searched; the process's own when unset.
    static void SetResourceInstance(HINSTANCE instance);
    static HINSTANCE ResourceInstance();

    // A folder; a backslash is appended unless it ends with "\" or "/".
    static void SetResourcePath(const wchar_t* folder);
    static const UIString& ResourcePath();

    // Opens resource path + name as the source and keeps it open; nothing
    // happens when that name is already open. An empty name goes back to
    // plain files. False when the archive cannot be opened.
    static bool SetResourceZipFile(const wchar_t* name);
    // Opens an in-memory archive, which must stay alive while it is the
    // source; nothing happens when that very buffer is already open.
    static bool SetResourceZipMemory(const void* data, DWORD size);
    // Empty (plain files), a ZIP file name, or kMemoryZipName.
    static const UIString& ResourceZipName();

    // Copies the "ZIPRES" resource `id` of the resource instance once per
    // process and opens it as the source. False when the resource is
    // missing, cannot be loaded or is empty.
    static bool LoadEmbeddedZip(UINT id);
    // Closes the embedded archive if it is the source and frees its copy.
    static void ReleaseEmbeddedZip();

    // Prepares the source for a skinned window being created: the resource
    // path defaults to the executable's folder + `skinFolder`, then the ZIP
    // file or the embedded archive of that kind is opened. False only when
    // an embedded archive is needed and cannot be loaded.
    static bool PrepareForWindow(SkinResourceKind kind, const wchar_t* skinFolder,
                                 const wchar_t* zipName, UINT resourceId);

    // Reads a skin file from the open archive or the resource folder. On
    // failure returns false and sets `error` to one of the texts
    // "Error opening file", "File is empty", "File too large", "Could not
    // read file", "Error opening zip file", "Could not find ziped file",
    // "Could not unzip file".
    static bool ReadSkinFile(const wchar_t* name, std::vector<BYTE>& bytes, const wchar_t** error);

    // Loads and decodes an image: from a resource of `resourceType` (the
    // name is then a decimal id), else from the archive or the folder, and
    // as a last resort from the name itself as a file path. Null when
    // nothing could be read or decoded.
    static std::unique_ptr<SkinImage> LoadSkinImage(const wchar_t* name, const wchar_t* resourceType,
                                                    DWORD mask);
    // Decodes encoded image bytes (PNG and the other stb_image formats):
    // premultiplies colours, makes pixels equal to `mask` transparent.
    static std::unique_ptr<SkinImage> DecodeSkinImage(const BYTE* data, size_t size, DWORD mask);
};

// Decoded images by name. The first request for a name decides its resource
// type and mask; later requests get the cached image whatever they ask for.
// Failed loads are not cached.
class CSkinImageCache {
public:
    CSkinImageCache() = default;
    ~CSkinImageCache();
    CSkinImageCache(const CSkinImageCache&) = delete;
    CSkinImageCache& operator=(const CSkinImageCache&) = delete;

    const SkinImage* Find(const wchar_t* name);
    const SkinImage* FindOrLoad(const wchar_t* name, const wchar_t* resourceType, DWORD mask);
    // Loads an image that the skin names up front; an already cached name
    // keeps its image.
    const SkinImage* Add(const wchar_t* name, const wchar_t* resourceType, DWORD mask);
    void Clear();
    int Count() const { return images_.Count(); }

private:
    UIStringMap images_;  // name -> SkinImage*, owned
};

}  // namespace SkinUI
