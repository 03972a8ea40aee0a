#include <gtest/gtest.h>

#include <functional>

#include "Runtime/ProtoValue.h"

namespace {

struct ThrowCase {
    const char* name;
    std::function<void()> action;
    int code;
    const wchar_t* message;
};

TEST(ProtoValue, AccessorsThrowTheDocumentedCodes) {
    const ThrowCase cases[] = {
        {"index past the end of a list",
         [] { ProtoValue v; v[0u] = 1; v[2u]; }, 1, L"ProtoValue operator[int] out of range"},
        {"index on a map", [] { ProtoValue v(ProtoValue::kMap); v[0u]; }, 1,
         L"ProtoValue operator[int] out of range"},
        {"index on an integer", [] { ProtoValue v(5); v[0u]; }, 1,
         L"ProtoValue operator[int] out of range"},
        {"key on an integer", [] { ProtoValue v(5); v[L"a"]; }, 2,
         L"ProtoValue operator[string] wrong type"},
        {"key on a list", [] { ProtoValue v(ProtoValue::kList); v[L"a"]; }, 2,
         L"ProtoValue operator[string] wrong type"},
        {"integer of a string", [] { ProtoValue v(L"x"); (void)v.integer(); }, 3,
         L"ProtoValue::integer wrong type"},
        {"string of an integer", [] { ProtoValue v(7); (void)v.string(); }, 3,
         L"ProtoValue::string wrong type"},
        {"string of a map", [] { ProtoValue v(ProtoValue::kMap); (void)v.string(); }, 3,
         L"ProtoValue::string wrong type"},
        {"append to a map", [] { ProtoValue v; v[L"k"] = 1; v.Append(2); }, 1,
         L"ProtoValue operator[int] out of range"},
        {"append to an integer", [] { ProtoValue v(3); v.Append(2); }, 1,
         L"ProtoValue operator[int] out of range"},
    };
    for (const ThrowCase& c : cases) {
        SCOPED_TRACE(c.name);
        try {
            c.action();
            ADD_FAILURE() << "no exception";
        } catch (const ProtoValueException& e) {
            EXPECT_EQ(c.code, e.code);
            EXPECT_EQ(std::wstring(c.message), e.message);
        }
    }
}

TEST(ProtoValue, IndexOnNullBuildsAListAndAppendsAtTheEnd) {
    ProtoValue v;
    v[0u];
    ASSERT_EQ(ProtoValue::kList, v.kind());
    EXPECT_EQ(1u, v.size());
    EXPECT_EQ(ProtoValue::kNull, v[0u].kind());
    v[1u] = L"second";
    EXPECT_EQ(2u, v.size());
    EXPECT_EQ(L"second", v[1u].string());

    ProtoValue list;
    list.Append(1);
    list.Append(L"two");
    ASSERT_EQ(2u, list.size());
    EXPECT_EQ(1, list[0u].integer());
}

TEST(ProtoValue, ReadsOfMissingValuesGiveSharedDefaults) {
    ProtoValue map;
    map[L"curl"][L"code"] = 28;
    const ProtoValue& missing = map.Get(L"http");
    EXPECT_EQ(ProtoValue::kNull, missing.kind());
    EXPECT_EQ(L"", missing.string());
    EXPECT_EQ(0, missing.integer());
    EXPECT_FALSE(map.HasKey(L"http"));
    EXPECT_EQ(1u, map.size()) << "Get must not insert";
    EXPECT_EQ(28, map.Get(L"curl").Get(L"code").integer());
    EXPECT_TRUE(map[L"curl"].HasKey(L"code"));

    ProtoValue list;
    list.Append(L"code");
    EXPECT_FALSE(list.HasKey(L"code"));
    EXPECT_EQ(ProtoValue::kNull, ProtoValue(5).Get(L"x").kind());
}

TEST(ProtoValue, KeysAreCaseSensitiveAndOrderedByCodeUnits) {
    ProtoValue map;
    map[L"b"] = 1;
    map[L"B"] = 2;
    map[L"ab"] = 3;
    map[L"a"] = 4;
    EXPECT_EQ(4u, map.size());
    EXPECT_EQ(1, map[L"b"].integer());
    EXPECT_EQ(2, map[L"B"].integer());
}

TEST(ProtoValue, CopiesAreDeep) {
    ProtoValue source;
    source[L"list"].Append(L"a");
    source[L"list"].Append(L"b");
    source[L"n"] = 64;

    ProtoValue copy(source);
    copy[L"list"][0u] = L"changed";
    copy[L"list"].Append(L"c");
    copy[L"n"] = 65;

    EXPECT_EQ(L"a", source[L"list"][0u].string());
    EXPECT_EQ(2u, source[L"list"].size());
    EXPECT_EQ(64, source[L"n"].integer());

    ProtoValue assigned;
    assigned = source;
    source[L"list"][1u] = L"source changed";
    EXPECT_EQ(L"b", assigned[L"list"][1u].string());
}

TEST(ProtoValue, AssigningFromOwnDescendantKeepsBothIntact) {
    ProtoValue tree;
    tree[L"child"][L"leaf"] = L"text";
    tree[L"child"][L"n"] = 1;

    tree = tree[L"child"];  // the source dies with the old content
    EXPECT_EQ(L"text", tree[L"leaf"].string());
    EXPECT_EQ(1, tree[L"n"].integer());

    ProtoValue list;
    list.Append(L"x");
    list.Append(list[0u]);  // the element may move while the list grows
    EXPECT_EQ(L"x", list[1u].string());

    ProtoValue self;
    self[L"k"] = 5;
    const ProtoValue& alias = self;
    self = alias;
    EXPECT_EQ(5, self[L"k"].integer());
}

TEST(ProtoValue, ClearMakesNull) {
    ProtoValue v;
    v[L"a"][0u] = L"x";
    v.Clear();
    EXPECT_EQ(ProtoValue::kNull, v.kind());
    EXPECT_EQ(0u, v.size());
    v[L"again"] = 1;  // usable after clearing
    EXPECT_TRUE(v.HasKey(L"again"));
}

}  // namespace
