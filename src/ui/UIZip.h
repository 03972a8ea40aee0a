// A read-only ZIP archive reader over zlib's inflate, for the skin archive.
//
// The archive is read from memory: either a caller's buffer, which must
// outlive the reader, or a file read whole into a buffer the reader owns.
// Opening parses the central directory once and checks every record against
// the end of the buffer; unpacking checks the local header, the data range,
// the unpacked size and the CRC. Stored and deflated items are supported;
// encrypted, multi-disk and ZIP64 archives are not.
#pragma once

#include <windows.h>

#include <vector>

namespace SkinUI {

enum ZipStatus : int {
    kZipOk = 0,
    kZipNotOpen = 1,     // no archive is open
    kZipNoItem = 2,      // index outside the directory
    kZipBadBuffer = 3,   // the caller's buffer is not the item's unpacked size
    kZipDamaged = 4,     // a header or the data lies outside the archive, or inflate failed
    kZipUnsupported = 5, // encrypted, an unknown method, or larger than kMaxItemBytes
    kZipBadCrc = 6,      // the unpacked bytes do not match the recorded CRC
};

class CSkinZip {
public:
    // Largest archive file read from disk, and largest item unpacked.
    static constexpr DWORD kMaxArchiveBytes = 64u << 20;
    static constexpr DWORD kMaxItemBytes = 64u << 20;
    // Longest item name that can be looked up, in characters.
    static constexpr int kMaxNameLength = 255;

    CSkinZip() = default;
    ~CSkinZip() = default;
    CSkinZip(const CSkinZip&) = delete;
    CSkinZip& operator=(const CSkinZip&) = delete;

    // Reads the whole file (at most kMaxArchiveBytes) and parses it.
    bool OpenFile(const wchar_t* path);
    // Parses `data`, which is not copied and must outlive the reader.
    bool OpenMemory(const void* data, size_t size);
    void Close();
    bool IsOpen() const { return data_ != nullptr; }
    // The buffer the archive is read from (null when closed).
    const void* Data() const { return data_; }

    int ItemCount() const { return static_cast<int>(items_.size()); }
    // The item's name as stored (8-bit, not terminated) and its length.
    const char* ItemName(int index, int* length) const;
    // Unpacked size in bytes, 0 for an unknown index.
    DWORD ItemSize(int index) const;
    // Index of the first item whose name matches, or -1. The name is
    // converted to the system code page, backslashes become "/", and ASCII
    // letters compare without case. Names over kMaxNameLength are not found.
    int FindItem(const wchar_t* name) const;
    // Unpacks a whole item into `buffer`, which must be ItemSize bytes.
    ZipStatus Unpack(int index, void* buffer, DWORD size) const;

private:
    struct Item {
        DWORD nameOffset;  // into data_
        WORD nameLength;
        WORD method;
        WORD flags;
        DWORD crc;
        DWORD packedSize;
        DWORD size;
        DWORD localHeaderOffset;
    };

    bool Parse();

    std::vector<BYTE> owned_;
    const BYTE* data_ = nullptr;
    size_t size_ = 0;
    std::vector<Item> items_;
};

}  // namespace SkinUI
