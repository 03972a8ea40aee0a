// Conversions between UTF-16 and 8-bit text, and the few string helpers the
// rest of the installer shares. All take strings and return new ones.
#pragma once

#include <string>
#include <vector>

// System code page (CP_ACP): file names handed to libcurl, file contents.
// Characters the code page cannot represent become blanks.
std::string WideToAnsi(const std::wstring& text);
std::wstring AnsiToWide(const std::string& text);

// UTF-8: the update description, the skin XML.
std::string WideToUtf8(const std::wstring& text);
std::wstring Utf8ToWide(const std::string& text);

// printf-style formatting with the C runtime's wide rules (%s is a wide
// string). A null format or an empty result gives an empty string.
std::wstring FormatString(const wchar_t* format, ...);

// Removes leading and trailing whitespace in place; an all-blank string is
// left as it is.
std::wstring& TrimString(std::wstring& text);

// Lower-cases A-Z (the C locale is never changed).
std::wstring ToLowerString(const std::wstring& text);

// Replaces every non-overlapping occurrence of `pattern`, left to right,
// without rescanning replacements. An empty pattern changes nothing.
std::wstring ReplaceAll(const std::wstring& text, const std::wstring& pattern,
                        const std::wstring& replacement);

// Splits at ";": always one element more than there are separators.
void SplitString(const std::wstring& text, std::vector<std::wstring>& pieces);
