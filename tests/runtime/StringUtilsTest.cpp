#include <gtest/gtest.h>

#include <windows.h>

#include "Runtime/StringUtils.h"

namespace {

std::wstring W(const wchar_t* s, size_t n) { return std::wstring(s, n); }

TEST(StringConversion, EmptyInputGivesEmptyOutput) {
    EXPECT_EQ("", WideToAnsi(L""));
    EXPECT_EQ(L"", AnsiToWide(""));
    EXPECT_EQ("", WideToUtf8(L""));
    EXPECT_EQ(L"", Utf8ToWide(""));
}

TEST(StringConversion, Utf8RoundTripsAndKeepsEmbeddedNul) {
    struct Case {
        std::wstring wide;
        std::string utf8;
    } cases[] = {
        {L"plain ascii", "plain ascii"},
        {L"安装玄穹2", "\xe5\xae\x89\xe8\xa3\x85\xe7\x8e\x84\xe7\xa9\xb9" "2"},
        {L"\U0001F600", "\xf0\x9f\x98\x80"},  // surrogate pair -> one 4-byte sequence
        {W(L"a\0b", 3), std::string("a\0b", 3)},
        {L"\u00e9", "\xc3\xa9"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.utf8, WideToUtf8(c.wide));
        EXPECT_EQ(c.wide, Utf8ToWide(c.utf8));
    }
}

TEST(StringConversion, InvalidUtf8IsNotRejected) {
    // Flags 0: the bad byte becomes the replacement character.
    std::wstring out = Utf8ToWide("a\xff" "b");
    ASSERT_EQ(3u, out.size());
    EXPECT_EQ(L'a', out[0]);
    EXPECT_EQ(L'\xfffd', out[1]);
    EXPECT_EQ(L'b', out[2]);
}

// The system code page decides the 8-bit side: Western machines use 1252,
// the installer's users a Chinese Windows with 936. Each test runs in the
// ctest entry whose locale gives its code page.
TEST(CodePage1252, ConvertsAndBlanksWhatItCannotRepresent) {
    if (GetACP() != 1252) GTEST_SKIP() << "code page " << GetACP();
    EXPECT_EQ("caf\xe9", WideToAnsi(L"caf\u00e9"));
    EXPECT_EQ(L"caf\u00e9", AnsiToWide("caf\xe9"));
    EXPECT_EQ(L"\u20ac", AnsiToWide("\x80"));
    EXPECT_EQ("a b", WideToAnsi(L"a\u4e2db"));
    EXPECT_EQ("  ", WideToAnsi(L"\U0001F600")) << "each half of a pair becomes a blank";
}

TEST(CodePage936, ConvertsChineseAndBlanksWhatItCannotRepresent) {
    if (GetACP() != 936) GTEST_SKIP() << "code page " << GetACP();
    EXPECT_EQ("\xd6\xd0\xce\xc4", WideToAnsi(L"中文"));
    EXPECT_EQ(L"中文", AnsiToWide("\xd6\xd0\xce\xc4"));
    EXPECT_EQ(L"安装玄穹2", AnsiToWide(WideToAnsi(L"安装玄穹2")));
    EXPECT_EQ("C:\\\xd3\xce\xcf\xb7\\a.exe", WideToAnsi(L"C:\\游戏\\a.exe"));
    EXPECT_EQ("x y", WideToAnsi(L"x\u0e01y")) << "Thai is outside code page 936";
}

TEST(FormatString, FormatsWideArgumentsTheWindowsWay) {
    EXPECT_EQ(L"C:\\Games\\kzinstaller.exe",
              FormatString(L"%s\\%s", L"C:\\Games", L"kzinstaller.exe"));
    EXPECT_EQ(L"(4,404)", FormatString(L"(%d,%d)", 4, 404));
    EXPECT_EQ(L"", FormatString(nullptr));
    EXPECT_EQ(L"", FormatString(L""));
    std::wstring longText(5000, L'x');
    EXPECT_EQ(longText + L"!", FormatString(L"%s!", longText.c_str()));
}

TEST(TrimString, RemovesOuterWhitespaceOnly) {
    struct Case {
        const wchar_t* in;
        const wchar_t* out;
    } cases[] = {
        {L" \tx ", L"x"},       {L"   ", L"   "},     {L"", L""},
        {L"a b", L"a b"},       {L"\r\n1.0.3\r\n", L"1.0.3"},
        {L"x", L"x"},
    };
    for (const Case& c : cases) {
        std::wstring text = c.in;
        EXPECT_EQ(c.out, TrimString(text)) << "input [" << WideToUtf8(c.in) << "]";
        EXPECT_EQ(c.out, text);
    }
}

TEST(ToLowerString, LowersAsciiLetters) {
    EXPECT_EQ(L"md5 abcdef 09", ToLowerString(L"MD5 AbCdEf 09"));
}

TEST(ReplaceAll, ReplacesEveryOccurrenceWithoutRescanning) {
    struct Case {
        const wchar_t* text;
        const wchar_t* pattern;
        const wchar_t* replacement;
        const wchar_t* out;
    } cases[] = {
        {L"http://dl.example.com:8080/p/dl.example.com/kz.exe", L"dl.example.com", L"127.100.200.250",
         L"http://127.100.200.250:8080/p/127.100.200.250/kz.exe"},
        {L"aaa", L"aa", L"b", L"ba"},            // no overlapping matches
        {L"ab", L"a", L"aa", L"aab"},            // the replacement is not rescanned
        {L"abc", L"x", L"y", L"abc"},
        {L"", L"a", L"b", L""},
        {L"abc", L"abc", L"", L""},
        {L"abc", L"", L"y", L"abc"},             // empty pattern: unchanged
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.out, ReplaceAll(c.text, c.pattern, c.replacement)) << WideToUtf8(c.text);
}

TEST(SplitString, GivesOneMorePieceThanSeparators) {
    struct Case {
        const wchar_t* text;
        std::vector<std::wstring> pieces;
    } cases[] = {
        {L"a;b", {L"a", L"b"}},
        {L"a;", {L"a", L""}},
        {L";", {L"", L""}},
        {L"", {L""}},
        {L"1.2.3.4;;5.6.7.8", {L"1.2.3.4", L"", L"5.6.7.8"}},
    };
    for (const Case& c : cases) {
        std::vector<std::wstring> pieces = {L"stale"};
        SplitString(c.text, pieces);
        EXPECT_EQ(c.pieces, pieces) << WideToUtf8(c.text);
    }
}

}  // namespace
