#include <gtest/gtest.h>

#include <string>

#include "ui/UIString.h"

using SkinUI::UIPtrList;
using SkinUI::UIString;
using SkinUI::UIStringMap;

namespace {

std::wstring Repeat(wchar_t c, int n) { return std::wstring(static_cast<size_t>(n), c); }

TEST(UIString, ShortTextsStayInlineLongOnesMoveToTheHeapAndBack) {
    UIString s(Repeat(L'a', 162).c_str());
    EXPECT_TRUE(s.IsInline());
    EXPECT_EQ(162, s.Length());

    s.Append(L'b');
    EXPECT_FALSE(s.IsInline());
    EXPECT_EQ(163, s.Length());
    // Room for 163 characters and the terminator: 328 bytes.
    EXPECT_EQ(163, s.Capacity());
    EXPECT_EQ(Repeat(L'a', 162) + L"b", std::wstring(s.Data()));

    s.Assign(L"hello");
    EXPECT_TRUE(s.IsInline());
    EXPECT_EQ(std::wstring(L"hello"), s.Data());
}

TEST(UIString, AssignReusesALargeEnoughHeapBuffer) {
    UIString s(Repeat(L'x', 300).c_str());
    const wchar_t* buffer = s.Data();
    s.Assign(Repeat(L'y', 200).c_str());
    EXPECT_EQ(buffer, s.Data());
    s.Assign(Repeat(L'z', 400).c_str());
    EXPECT_EQ(400, s.Length());
    EXPECT_EQ(Repeat(L'z', 400), std::wstring(s.Data()));
}

TEST(UIString, NullTextsAndLengths) {
    UIString s(L"abc");
    s.Assign(nullptr);
    EXPECT_TRUE(s.IsEmpty());
    s.Assign(L"abcdef", 3);
    EXPECT_EQ(std::wstring(L"abc"), s.Data());
    s.Append(static_cast<const wchar_t*>(nullptr));
    EXPECT_EQ(std::wstring(L"abc"), s.Data());
}

TEST(UIString, AppendingAndAssigningFromItself) {
    UIString s(Repeat(L'q', 100).c_str());
    s.Append(s.Data());  // grows past the inline buffer while reading itself
    EXPECT_EQ(Repeat(L'q', 200), std::wstring(s.Data()));
    s.Assign(s.Data() + 150);
    EXPECT_EQ(Repeat(L'q', 50), std::wstring(s.Data()));
    UIString big(Repeat(L'r', 400).c_str());
    big.Assign(big.Data() + 10);
    EXPECT_EQ(Repeat(L'r', 390), std::wstring(big.Data()));
}

TEST(UIString, PrefixSubstringAndIndexOf) {
    struct Case {
        const wchar_t* text;
        int start, n;
        const wchar_t* expected;
    } substrings[] = {
        {L"abcdef", 2, -1, L"cdef"}, {L"abcdef", 2, 2, L"cd"},  {L"abcdef", 4, 10, L"ef"},
        {L"abcdef", 6, -1, L""},     {L"abcdef", 0, 0, L""},   {L"abcdef", 9, 1, L""},
        {L"abcdef", -1, 2, L""},
    };
    for (const Case& c : substrings) {
        EXPECT_EQ(std::wstring(c.expected), UIString(c.text).Substring(c.start, c.n).Data())
            << c.text << " " << c.start << " " << c.n;
    }
    EXPECT_EQ(std::wstring(L"abc"), UIString(L"abc").Prefix(10).Data());
    EXPECT_EQ(std::wstring(L""), UIString(L"abc").Prefix(-1).Data());
    EXPECT_EQ(std::wstring(L"ab"), UIString(L"abc").Prefix(2).Data());

    UIString s(L"one two one");
    EXPECT_EQ(0, s.IndexOf(L"one"));
    EXPECT_EQ(8, s.IndexOf(L"one", 1));
    EXPECT_EQ(-1, s.IndexOf(L"three"));
    EXPECT_EQ(-1, s.IndexOf(L"one", 50));
}

TEST(UIString, ReplaceTextDoesNotSearchTheInsertedText) {
    struct Case {
        const wchar_t* text;
        const wchar_t* pattern;
        const wchar_t* replacement;
        const wchar_t* expected;
        int count;
    } cases[] = {
        {L"aXa", L"a", L"aa", L"aaXaa", 2},
        {L"tooltip<n>line<n>", L"<n>", L"\r\n", L"tooltip\r\nline\r\n", 2},
        {L"abc", L"x", L"y", L"abc", 0},
        {L"abc", L"", L"y", L"abc", 0},  // an empty pattern would never end
        {L"aaa", L"a", L"", L"", 3},
    };
    for (const Case& c : cases) {
        UIString s(c.text);
        EXPECT_EQ(c.count, s.ReplaceText(c.pattern, c.replacement)) << c.text;
        EXPECT_EQ(std::wstring(c.expected), s.Data()) << c.text;
    }
}

TEST(UIString, FormatGrowsUntilTheTextFits) {
    UIString s;
    std::wstring long600 = Repeat(L'w', 600);
    EXPECT_EQ(600, s.Format(L"%s", long600.c_str()));
    EXPECT_EQ(long600, std::wstring(s.Data()));
    // Exactly the first pass's 256 characters: no room for the terminator.
    std::wstring exact = Repeat(L'e', 256);
    EXPECT_EQ(256, s.Format(L"%s", exact.c_str()));
    EXPECT_EQ(exact, std::wstring(s.Data()));
    EXPECT_EQ(6, s.Format(L"(%d,%d)", 3, -1));
    EXPECT_EQ(std::wstring(L"(3,-1)"), s.Data());
}

TEST(UIString, FormatGivesUpPastItsCeilingInsteadOfGrowingForEver) {
    const std::wstring huge(9 * 1024 * 1024, L'x');  // 18 MiB of text
    UIString s(L"old");
    EXPECT_EQ(-1, s.Format(L"%s", huge.c_str()));
    EXPECT_TRUE(s.IsEmpty());
}

TEST(UIString, FormatShortKeepsAtMost63Characters) {
    UIString s;
    std::wstring long80 = Repeat(L'k', 80);
    s.FormatShort(L"%s", long80.c_str());
    EXPECT_EQ(Repeat(L'k', 63), std::wstring(s.Data()));
    s.FormatShort(L"dest='%d,%d,%d,%d'", 0, 0, 250, 30);
    EXPECT_EQ(std::wstring(L"dest='0,0,250,30'"), s.Data());
}

TEST(UIString, ComparesByCodeUnitAndHashesFromTheEnd) {
    EXPECT_TRUE(UIString(L"abc") == L"abc");
    EXPECT_TRUE(UIString(L"abc") != L"ABC");
    EXPECT_TRUE(UIString(L"B") < L"a");
    EXPECT_EQ(0u, UIString::HashKey(L""));
    // "ab": from the last character: h = 'b', then h = 'b' * 33 + 'a'.
    EXPECT_EQ(static_cast<unsigned>(L'b') * 33 + L'a', UIString::HashKey(L"ab"));
}

TEST(UIPtrList, GrowsFrom11AndDoubles) {
    UIPtrList list;
    int values[30];
    for (int i = 0; i < 10; ++i) ASSERT_TRUE(list.Add(&values[i]));
    EXPECT_EQ(11, list.Capacity());
    ASSERT_TRUE(list.Add(&values[10]));
    EXPECT_EQ(22, list.Capacity());
    EXPECT_EQ(11, list.Count());
    EXPECT_EQ(&values[10], list.ItemAt(10));
    EXPECT_EQ(nullptr, list.ItemAt(11));
    EXPECT_EQ(nullptr, list.ItemAt(-1));
}

TEST(UIPtrList, InsertRemoveAndIndexOf) {
    UIPtrList list;
    int a, b, c, d;
    list.Add(&a);
    list.Add(&c);
    EXPECT_TRUE(list.Insert(1, &b));
    EXPECT_TRUE(list.Insert(3, &d));  // at the count: appends
    EXPECT_FALSE(list.Insert(5, &d));
    EXPECT_FALSE(list.Insert(-1, &d));
    EXPECT_EQ(4, list.Count());
    EXPECT_EQ(2, list.IndexOf(&c));
    EXPECT_EQ(-1, list.IndexOf(nullptr));

    EXPECT_TRUE(list.RemoveAt(3));  // the last: only the count drops
    EXPECT_EQ(3, list.Count());
    EXPECT_TRUE(list.RemoveAt(0));
    EXPECT_EQ(&b, list.ItemAt(0));
    EXPECT_EQ(&c, list.ItemAt(1));
    EXPECT_FALSE(list.RemoveAt(2));
    EXPECT_FALSE(list.RemoveAt(-1));

    list.Reset(3);
    EXPECT_EQ(3, list.Count());
    EXPECT_EQ(nullptr, list.ItemAt(2));
    list.Clear();
    EXPECT_TRUE(list.IsEmpty());
    EXPECT_EQ(0, list.Capacity());
}

// Two keys that share a bucket of the map: "key0" and the first "keyN"
// whose hash falls into the same bucket.
void FindCollidingKeys(const UIStringMap& map, std::wstring& first, std::wstring& second) {
    unsigned buckets = static_cast<unsigned>(map.BucketCount());
    first = L"key0";
    unsigned target = UIString::HashKey(first.c_str()) % buckets;
    for (int i = 1;; ++i) {
        second = L"key" + std::to_wstring(i);
        if (UIString::HashKey(second.c_str()) % buckets == target) return;
    }
}

TEST(UIStringMap, LookupMovesTheFoundEntryToTheFrontOfItsChain) {
    UIStringMap map;
    std::wstring first, second;
    FindCollidingKeys(map, first, second);
    int one = 1, two = 2;
    ASSERT_TRUE(map.Add(first.c_str(), &one));
    ASSERT_TRUE(map.Add(second.c_str(), &two));
    // The entry added last heads the chain; KeyAt walks the chain from its head.
    auto headOfChain = [&]() {
        for (int i = 0; i < map.Count(); ++i) {
            std::wstring key = map.KeyAt(i);
            if (key == first || key == second) return key;
        }
        return std::wstring();
    };
    EXPECT_EQ(second, headOfChain());
    EXPECT_EQ(&two, map.Lookup(second.c_str()));
    EXPECT_EQ(second, headOfChain());
    EXPECT_EQ(&one, map.Lookup(first.c_str()));
    EXPECT_EQ(first, headOfChain());
    EXPECT_EQ(&two, map.Lookup(second.c_str(), false));
    EXPECT_EQ(first, headOfChain());
}

TEST(UIStringMap, AddPutRemoveAndKeyAt) {
    UIStringMap map;
    int a = 1, b = 2;
    EXPECT_TRUE(map.Add(L"name", &a));
    EXPECT_FALSE(map.Add(L"name", &b));
    EXPECT_EQ(&a, map.Put(L"name", &b));
    EXPECT_EQ(&b, map.Lookup(L"name"));
    EXPECT_EQ(nullptr, map.Lookup(L"NAME"));  // exact comparison
    EXPECT_EQ(nullptr, map.Put(L"other", &a));
    EXPECT_EQ(2, map.Count());
    EXPECT_TRUE(map.Add(L"empty", nullptr));
    EXPECT_FALSE(map.Add(L"empty", &a)) << "a key stored with a null value is still present";
    EXPECT_EQ(3, map.Count());

    map.Remove(L"missing");
    map.Remove(L"name");
    EXPECT_EQ(2, map.Count());
    EXPECT_EQ(nullptr, map.Lookup(L"name"));
    EXPECT_NE(nullptr, map.KeyAt(1));
    EXPECT_EQ(nullptr, map.KeyAt(2));
    EXPECT_EQ(nullptr, map.KeyAt(-1));
}

TEST(UIStringMap, WithoutBucketsNothingIsStored) {
    UIStringMap map;
    int a = 1;
    map.Add(L"x", &a);
    map.Rebuild(0);
    EXPECT_EQ(0, map.Count());
    EXPECT_EQ(nullptr, map.Lookup(L"x"));
    EXPECT_FALSE(map.Add(L"x", &a));
    EXPECT_EQ(&a, map.Put(L"x", &a));
    map.Remove(L"x");
    map.Rebuild(-5);
    EXPECT_EQ(0, map.BucketCount());
    map.Rebuild(7);
    EXPECT_TRUE(map.Add(L"x", &a));
}

}  // namespace
