#include "Updater/UpdateDescription.h"

#include <windows.h>

#include <cstdlib>
#include <cwchar>

#include "CommonUtils.h"
#include "Runtime/StringUtils.h"
#include "Runtime/WinHandle.h"

namespace UpdateDescription {

namespace {

constexpr wchar_t kFileName[] = L"kzinstall.ini";
constexpr wchar_t kSection[] = L"Install";
// The profile functions cut longer values at this many characters minus one.
constexpr DWORD kValueBufferLength = 2048;

std::wstring Utf16FromBytes(const std::string& bytes, size_t offset, bool bigEndian) {
    std::wstring text;
    text.reserve((bytes.size() - offset) / 2);
    for (size_t i = offset; i + 1 < bytes.size(); i += 2) {
        const unsigned char first = static_cast<unsigned char>(bytes[i]);
        const unsigned char second = static_cast<unsigned char>(bytes[i + 1]);
        text += static_cast<wchar_t>(bigEndian ? (first << 8 | second) : (second << 8 | first));
    }
    return text;
}

bool StartsWith(const std::string& bytes, const char* prefix, size_t length) {
    return bytes.size() >= length && bytes.compare(0, length, prefix, length) == 0;
}

std::wstring ReadValue(const wchar_t* key, const std::wstring& path) {
    wchar_t value[kValueBufferLength];
    const DWORD n =
        GetPrivateProfileStringW(kSection, key, L"", value, kValueBufferLength, path.c_str());
    return std::wstring(value, n);
}

}  // namespace

std::wstring TextFromBody(const std::string& body) {
    if (body.size() > kMaxBodyBytes) return std::wstring();
    if (StartsWith(body, "\xEF\xBB\xBF", 3)) return Utf8ToWide(body.substr(3));
    if (StartsWith(body, "\xFF\xFE", 2)) return Utf16FromBytes(body, 2, false);
    if (StartsWith(body, "\xFE\xFF", 2)) return Utf16FromBytes(body, 2, true);
    return Utf8ToWide(body);
}

std::wstring FilePath(const std::wstring& packageFolder) {
    return JoinPath(packageFolder, kFileName);
}

bool Store(const std::wstring& path, const std::wstring& text) {
    if (path.size() > kMaxPathLength) return false;
    Runtime::UniqueFileHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                               nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                               nullptr));
    if (!file) return false;

    std::string bytes("\xFF\xFE", 2);
    bytes.reserve(2 + 2 * text.size());
    for (wchar_t c : text) {
        bytes += static_cast<char>(c & 0xff);
        bytes += static_cast<char>((c >> 8) & 0xff);
    }
    DWORD written = 0;
    const bool ok =
        WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
        written == bytes.size() && FlushFileBuffers(file.get());
    file.reset();
    // A description cut short could lose its digest and let an unchecked
    // package through; no description is safer than part of one.
    if (!ok) DeleteFileW(path.c_str());
    return ok;
}

Values Read(const std::wstring& path) {
    Values values;
    values.url = ReadValue(L"Url", path);
    values.mirrorUrls = ReadValue(L"murl", path);
    values.size = ReadValue(L"Size", path);
    values.md5 = ReadValue(L"Md5", path);
    values.version = ReadValue(L"Version", path);
    return values;
}

int64_t ParseSize(const std::wstring& size) {
    return _wtoi64(size.c_str());
}

std::wstring VersionForFileName(const std::wstring& version) {
    static const wchar_t kUnsafe[] = L"\\/:*?\"<>|";
    std::wstring safe(version);
    for (wchar_t& c : safe) {
        if (c < 0x20 || wcschr(kUnsafe, c)) c = L'_';
    }
    return safe;
}

std::wstring TemporaryPackagePath(const std::wstring& packagePath, const std::wstring& version) {
    return FormatString(L"%s_%s.tmp", StripExtension(packagePath).c_str(),
                        VersionForFileName(version).c_str());
}

}  // namespace UpdateDescription
