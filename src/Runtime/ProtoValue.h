// A small value whose type is chosen at run time: null, 64-bit integer,
// string, list or map keyed by wide strings, nested to any depth. Used as a
// property bag where a record's fields vary (error records, header maps,
// progress records).
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <type_traits>
#include <vector>

// Thrown by accessors used on the wrong kind of value. Nothing catches it:
// callers only read what they stored themselves.
struct ProtoValueException {
    int code;
    std::wstring message;
};

class ProtoValue {
public:
    enum Kind : int32_t {
        kNull = 0,
        kInteger = 1,
        kScalar8 = 2,  // 8 raw bytes, copied bitwise
        kAnsiString = 3,
        kString = 4,
        kList = 5,
        kMap = 6,
    };
    using List = std::vector<ProtoValue>;
    using Map = std::map<std::wstring, ProtoValue>;

    ProtoValue() = default;
    explicit ProtoValue(Kind kind);
    ProtoValue(const std::wstring& text);  // NOLINT: a string value reads naturally
    ProtoValue(const wchar_t* text);       // NOLINT
    template <typename T,
              std::enable_if_t<std::is_integral_v<T> && !std::is_same_v<T, bool>, int> = 0>
    ProtoValue(T value) : kind_(kInteger) {  // NOLINT
        payload_.integer = static_cast<int64_t>(value);
    }
    ProtoValue(const ProtoValue& other);
    ProtoValue(ProtoValue&& other) noexcept;
    ProtoValue& operator=(const ProtoValue& other);
    ProtoValue& operator=(ProtoValue&& other) noexcept;
    ~ProtoValue();

    Kind kind() const { return kind_; }
    void Clear();

    // Turns null into a list; appends when `index` equals the size.
    ProtoValue& operator[](unsigned index);
    ProtoValue& operator[](int index) { return (*this)[static_cast<unsigned>(index)]; }
    // Turns null into a map; inserts a null entry for a new key.
    ProtoValue& operator[](const std::wstring& key);
    ProtoValue& operator[](const wchar_t* key) { return (*this)[std::wstring(key)]; }

    // Read-only lookup: the shared null value when absent or not a map.
    const ProtoValue& Get(const std::wstring& key) const;
    bool HasKey(const std::wstring& key) const;
    void Append(const ProtoValue& value);

    // The stored integer; 0 for null.
    const int64_t& integer() const;
    // The stored wide string; empty for null.
    const std::wstring& string() const;

    size_t size() const;

private:
    void Swap(ProtoValue& other) noexcept;
    [[noreturn]] static void Throw(int code, const wchar_t* message);

    Kind kind_ = kNull;
    union Payload {
        int64_t integer;
        unsigned char raw[8];
        std::string* ansi;
        std::wstring* text;
        List* list;
        Map* map;
    } payload_{0};
};
