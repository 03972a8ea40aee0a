#include "ui/UIZip.h"

#include <string.h>

#include <zlib.h>

#include "Runtime/StringUtils.h"
#include "ui/UIFileRead.h"

namespace SkinUI {

namespace {

constexpr DWORD kEndSignature = 0x06054b50;
constexpr DWORD kDirectorySignature = 0x02014b50;
constexpr DWORD kLocalSignature = 0x04034b50;
constexpr size_t kEndRecordBytes = 22;
constexpr size_t kDirectoryRecordBytes = 46;
constexpr size_t kLocalRecordBytes = 30;
constexpr size_t kMaxCommentBytes = 0xFFFF;
constexpr WORD kMethodStored = 0;
constexpr WORD kMethodDeflated = 8;
constexpr WORD kFlagEncrypted = 0x1;
constexpr DWORD kZip64Marker = 0xFFFFFFFF;

WORD Read16(const BYTE* p) { return static_cast<WORD>(p[0] | (p[1] << 8)); }
DWORD Read32(const BYTE* p) {
    return static_cast<DWORD>(p[0]) | (static_cast<DWORD>(p[1]) << 8) |
           (static_cast<DWORD>(p[2]) << 16) | (static_cast<DWORD>(p[3]) << 24);
}

char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

bool CSkinZip::OpenFile(const wchar_t* path) {
    Close();
    if (!path) return false;
    std::vector<BYTE> bytes;
    if (ReadWholeFile(path, kMaxArchiveBytes, bytes) != FileRead::Ok) return false;
    owned_ = std::move(bytes);
    data_ = owned_.data();
    size_ = owned_.size();
    if (!Parse()) {
        Close();
        return false;
    }
    return true;
}

bool CSkinZip::OpenMemory(const void* data, size_t size) {
    Close();
    if (!data || size == 0) return false;
    data_ = static_cast<const BYTE*>(data);
    size_ = size;
    if (!Parse()) {
        Close();
        return false;
    }
    return true;
}

void CSkinZip::Close() {
    data_ = nullptr;
    size_ = 0;
    items_.clear();
    std::vector<BYTE>().swap(owned_);
}

// Finds the end record (searching back over a possible comment), then reads
// every directory record, each checked to lie inside the directory, which
// must itself lie before the end record.
bool CSkinZip::Parse() {
    if (size_ < kEndRecordBytes) return false;
    size_t lowest = size_ - kEndRecordBytes > kMaxCommentBytes ? size_ - kEndRecordBytes - kMaxCommentBytes : 0;
    size_t end = size_;  // none found
    for (size_t at = size_ - kEndRecordBytes + 1; at-- > lowest;) {
        if (Read32(data_ + at) == kEndSignature &&
            at + kEndRecordBytes + Read16(data_ + at + 20) <= size_) {
            end = at;
            break;
        }
    }
    if (end == size_) return false;
    const BYTE* record = data_ + end;
    WORD disk = Read16(record + 4);
    WORD directoryDisk = Read16(record + 6);
    WORD entriesHere = Read16(record + 8);
    WORD entries = Read16(record + 10);
    DWORD directorySize = Read32(record + 12);
    DWORD directoryOffset = Read32(record + 16);
    if (disk != 0 || directoryDisk != 0 || entriesHere != entries) return false;
    if (static_cast<unsigned long long>(directoryOffset) + directorySize > end) return false;

    items_.reserve(entries);
    size_t at = directoryOffset;
    size_t directoryEnd = static_cast<size_t>(directoryOffset) + directorySize;
    for (WORD i = 0; i < entries; ++i) {
        if (directoryEnd - at < kDirectoryRecordBytes) return false;
        const BYTE* p = data_ + at;
        if (Read32(p) != kDirectorySignature) return false;
        Item item = {};
        item.flags = Read16(p + 8);
        item.method = Read16(p + 10);
        item.crc = Read32(p + 16);
        item.packedSize = Read32(p + 20);
        item.size = Read32(p + 24);
        item.nameLength = Read16(p + 28);
        WORD extraLength = Read16(p + 30);
        WORD commentLength = Read16(p + 32);
        item.localHeaderOffset = Read32(p + 42);
        size_t recordBytes = kDirectoryRecordBytes + item.nameLength + extraLength + commentLength;
        if (directoryEnd - at < recordBytes) return false;
        if (item.packedSize == kZip64Marker || item.size == kZip64Marker ||
            item.localHeaderOffset == kZip64Marker) {
            return false;
        }
        item.nameOffset = static_cast<DWORD>(at + kDirectoryRecordBytes);
        items_.push_back(item);
        at += recordBytes;
    }
    return true;
}

const char* CSkinZip::ItemName(int index, int* length) const {
    if (index < 0 || index >= ItemCount()) {
        if (length) *length = 0;
        return nullptr;
    }
    const Item& item = items_[index];
    if (length) *length = item.nameLength;
    return reinterpret_cast<const char*>(data_ + item.nameOffset);
}

DWORD CSkinZip::ItemSize(int index) const {
    return index >= 0 && index < ItemCount() ? items_[index].size : 0;
}

int CSkinZip::FindItem(const wchar_t* name) const {
    if (!IsOpen() || !name || wcslen(name) > kMaxNameLength) return -1;
    std::string wanted = WideToAnsi(name);
    for (char& c : wanted) {
        if (c == '\\') c = '/';
    }
    for (int i = 0; i < ItemCount(); ++i) {
        const Item& item = items_[i];
        if (item.nameLength != wanted.size()) continue;
        const char* stored = reinterpret_cast<const char*>(data_ + item.nameOffset);
        size_t k = 0;
        while (k < wanted.size() && AsciiLower(stored[k]) == AsciiLower(wanted[k])) ++k;
        if (k == wanted.size()) return i;
    }
    return -1;
}

ZipStatus CSkinZip::Unpack(int index, void* buffer, DWORD size) const {
    if (!IsOpen()) return kZipNotOpen;
    if (index < 0 || index >= ItemCount()) return kZipNoItem;
    const Item& item = items_[index];
    if (size != item.size || (!buffer && size != 0)) return kZipBadBuffer;
    if ((item.flags & kFlagEncrypted) || item.size > kMaxItemBytes ||
        (item.method != kMethodStored && item.method != kMethodDeflated)) {
        return kZipUnsupported;
    }
    size_t local = item.localHeaderOffset;
    if (local > size_ || size_ - local < kLocalRecordBytes) return kZipDamaged;
    const BYTE* header = data_ + local;
    if (Read32(header) != kLocalSignature) return kZipDamaged;
    unsigned long long dataOffset =
        static_cast<unsigned long long>(local) + kLocalRecordBytes + Read16(header + 26) + Read16(header + 28);
    if (dataOffset > size_ || size_ - dataOffset < item.packedSize) return kZipDamaged;
    const BYTE* packed = data_ + dataOffset;

    if (item.method == kMethodStored) {
        if (item.packedSize != item.size) return kZipDamaged;
        if (size) memcpy(buffer, packed, size);
    } else {
        BYTE spare = 0;  // inflate wants an output pointer even for empty items
        z_stream stream = {};
        if (inflateInit2(&stream, -MAX_WBITS) != Z_OK) return kZipDamaged;
        stream.next_in = const_cast<Bytef*>(packed);
        stream.avail_in = item.packedSize;
        stream.next_out = size ? static_cast<Bytef*>(buffer) : &spare;
        stream.avail_out = size;
        int result = inflate(&stream, Z_FINISH);
        uLong produced = stream.total_out;
        inflateEnd(&stream);
        if (result != Z_STREAM_END || produced != size) return kZipDamaged;
    }
    uLong crc = crc32(0L, Z_NULL, 0);
    if (size) crc = crc32(crc, static_cast<const Bytef*>(buffer), size);
    return crc == item.crc ? kZipOk : kZipBadCrc;
}

}  // namespace SkinUI
