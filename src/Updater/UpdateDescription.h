// The update description: a small INI text (section "Install") that tells
// the installer where the package is, its size, digest and version. Each
// fetched description is stored as "kzinstall.ini" in the package folder,
// UTF-16LE with a byte-order mark, and read back with the Windows
// profile-string rules (names in any letter case, blanks and enclosing
// quotation marks removed, values cut at 2047 characters).
#pragma once

#include <cstdint>
#include <string>

namespace UpdateDescription {

// Served descriptions are a few hundred bytes; anything larger than this is
// not a description and is treated as an empty one.
constexpr size_t kMaxBodyBytes = 64 * 1024;
// Paths of the stored file, like every joined path, fit 2047 characters.
constexpr size_t kMaxPathLength = 2047;

// The five values of section "Install"; a missing key reads as empty.
struct Values {
    std::wstring url;         // "Url": the package's main address
    std::wstring mirrorUrls;  // "murl": further addresses, ";"-separated
    std::wstring size;        // "Size": decimal byte count, as text
    std::wstring md5;         // "Md5": 32 hexadecimal digits, or empty
    std::wstring version;     // "Version": free text
};

// The text of a served body. Descriptions are UTF-8; a UTF-8 byte-order
// mark is dropped, and a body that starts with a UTF-16 byte-order mark is
// read as UTF-16 in that byte order. Oversized bodies give an empty text.
std::wstring TextFromBody(const std::string& body);

// "<folder>\kzinstall.ini"
std::wstring FilePath(const std::wstring& packageFolder);

// Replaces the file with FF FE and the text as UTF-16LE. Returns false when
// the file cannot be created or written; a file whose write failed is
// removed rather than left cut short.
bool Store(const std::wstring& path, const std::wstring& text);

// Reads the five values, in the order Url, murl, Size, Md5, Version, from
// whatever the file holds.
Values Read(const std::wstring& path);

// "Size" as a signed 64-bit count: leading blanks, an optional sign, then
// digits up to the first other character; no digits give 0.
int64_t ParseSize(const std::wstring& size);

// The version as it may appear in the temporary file name "%s_%s.tmp":
// every character that cannot stand in a file name (path separators, the
// drive colon, wildcards, quotation marks, control characters) becomes "_",
// so the name stays inside the package folder. Ordinary versions such as
// 1.0.3 come back unchanged.
std::wstring VersionForFileName(const std::wstring& version);

// The temporary file a package download goes to, "%s_%s.tmp" of the
// package path without its extension and the version made safe above: it
// lies in the package's folder whatever the version says.
std::wstring TemporaryPackagePath(const std::wstring& packagePath, const std::wstring& version);

}  // namespace UpdateDescription
