#include "Runtime/StringUtils.h"

#include <windows.h>

#include <cstdarg>
#include <cwchar>
#include <cwctype>

namespace {

std::string WideTo(UINT codePage, const std::wstring& text, size_t bufferSize, const char* defaultChar) {
    if (text.empty()) return std::string();
    std::string out(bufferSize, '\0');
    int n = WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), &out[0],
                                static_cast<int>(out.size()), defaultChar, nullptr);
    out.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return out;
}

std::wstring ToWide(UINT codePage, const std::string& text, size_t bufferSize) {
    if (text.empty()) return std::wstring();
    std::wstring out(bufferSize, L'\0');
    int n = MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), &out[0],
                                static_cast<int>(out.size()));
    out.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return out;
}

}  // namespace

std::string WideToAnsi(const std::wstring& text) {
    return WideTo(CP_ACP, text, 2 * text.size() + 1, " ");
}

std::wstring AnsiToWide(const std::string& text) {
    return ToWide(CP_ACP, text, text.size() + 1);
}

std::string WideToUtf8(const std::wstring& text) {
    // UTF-8 takes no default character.
    return WideTo(CP_UTF8, text, 3 * text.size() + 1, nullptr);
}

std::wstring Utf8ToWide(const std::string& text) {
    return ToWide(CP_UTF8, text, 2 * text.size() + 1);
}

std::wstring FormatString(const wchar_t* format, ...) {
    if (!format) return std::wstring();
    va_list args;
    va_start(args, format);
    va_list measure;
    va_copy(measure, args);
    int n = _vscwprintf(format, measure);
    va_end(measure);
    std::wstring out;
    if (n > 0) {
        out.resize(static_cast<size_t>(n) + 1);
        int written = _vsnwprintf_s(&out[0], out.size(), _TRUNCATE, format, args);
        out.resize(written > 0 ? static_cast<size_t>(written) : 0);
    }
    va_end(args);
    return out;
}

std::wstring& TrimString(std::wstring& text) {
    size_t first = 0;
    while (first < text.size() && iswspace(text[first])) ++first;
    if (first == text.size()) return text;  // all whitespace: unchanged
    size_t last = text.size();
    while (last > first && iswspace(text[last - 1])) --last;
    text = text.substr(first, last - first);
    return text;
}

std::wstring ToLowerString(const std::wstring& text) {
    std::wstring out(text);
    for (wchar_t& c : out) c = static_cast<wchar_t>(towlower(c));
    return out;
}

std::wstring ReplaceAll(const std::wstring& text, const std::wstring& pattern,
                        const std::wstring& replacement) {
    if (pattern.empty()) return text;
    std::wstring out;
    size_t from = 0;
    for (size_t at; (at = text.find(pattern, from)) != std::wstring::npos; from = at + pattern.size()) {
        out.append(text, from, at - from);
        out += replacement;
    }
    out.append(text, from, std::wstring::npos);
    return out;
}

void SplitString(const std::wstring& text, std::vector<std::wstring>& pieces) {
    pieces.clear();
    size_t from = 0;
    for (size_t at; (at = text.find(L';', from)) != std::wstring::npos; from = at + 1)
        pieces.push_back(text.substr(from, at - from));
    pieces.push_back(text.substr(from));
}
