#include "Runtime/ProtoValue.h"

#include <cstring>
#include <utility>

namespace {

const ProtoValue& SharedNull() {
    static const ProtoValue value;
    return value;
}

const std::wstring& SharedEmptyString() {
    static const std::wstring value;
    return value;
}

const int64_t& SharedZero() {
    static const int64_t value = 0;
    return value;
}

}  // namespace

ProtoValue::ProtoValue(Kind kind) : kind_(kind) {
    switch (kind) {
        case kAnsiString: payload_.ansi = new std::string(); break;
        case kString: payload_.text = new std::wstring(); break;
        case kList: payload_.list = new List(); break;
        case kMap: payload_.map = new Map(); break;
        default: break;  // null and scalars: the zeroed payload
    }
}

ProtoValue::ProtoValue(const std::wstring& text) : kind_(kString) {
    payload_.text = new std::wstring(text);
}

ProtoValue::ProtoValue(const wchar_t* text) : ProtoValue(std::wstring(text ? text : L"")) {}

ProtoValue::ProtoValue(const ProtoValue& other) : kind_(other.kind_) {
    switch (kind_) {
        case kAnsiString: payload_.ansi = new std::string(*other.payload_.ansi); break;
        case kString: payload_.text = new std::wstring(*other.payload_.text); break;
        case kList: payload_.list = new List(*other.payload_.list); break;
        case kMap: payload_.map = new Map(*other.payload_.map); break;
        default: std::memcpy(payload_.raw, other.payload_.raw, sizeof payload_.raw); break;
    }
}

ProtoValue::ProtoValue(ProtoValue&& other) noexcept { Swap(other); }

// Copy first, then exchange: the old content goes only after the new one is
// in place, so assigning a value from one of its own descendants is safe.
ProtoValue& ProtoValue::operator=(const ProtoValue& other) {
    ProtoValue copy(other);
    Swap(copy);
    return *this;
}

ProtoValue& ProtoValue::operator=(ProtoValue&& other) noexcept {
    ProtoValue taken(std::move(other));
    Swap(taken);
    return *this;
}

ProtoValue::~ProtoValue() { Clear(); }

void ProtoValue::Clear() {
    switch (kind_) {
        case kAnsiString: delete payload_.ansi; break;
        case kString: delete payload_.text; break;
        case kList: delete payload_.list; break;
        case kMap: delete payload_.map; break;
        default: break;
    }
    kind_ = kNull;
    payload_.integer = 0;
}

void ProtoValue::Swap(ProtoValue& other) noexcept {
    std::swap(kind_, other.kind_);
    std::swap(payload_, other.payload_);
}

void ProtoValue::Throw(int code, const wchar_t* message) {
    throw ProtoValueException{code, message};
}

ProtoValue& ProtoValue::operator[](unsigned index) {
    if (kind_ == kNull) *this = ProtoValue(kList);
    if (kind_ != kList) Throw(1, L"ProtoValue operator[int] out of range");
    List& list = *payload_.list;
    if (index < list.size()) return list[index];
    if (index == list.size()) {
        list.emplace_back();
        return list.back();
    }
    Throw(1, L"ProtoValue operator[int] out of range");
}

ProtoValue& ProtoValue::operator[](const std::wstring& key) {
    if (kind_ == kNull) *this = ProtoValue(kMap);
    if (kind_ != kMap) Throw(2, L"ProtoValue operator[string] wrong type");
    return (*payload_.map)[key];
}

const ProtoValue& ProtoValue::Get(const std::wstring& key) const {
    if (kind_ != kMap) return SharedNull();
    auto it = payload_.map->find(key);
    return it == payload_.map->end() ? SharedNull() : it->second;
}

bool ProtoValue::HasKey(const std::wstring& key) const {
    return kind_ == kMap && payload_.map->count(key) != 0;
}

void ProtoValue::Append(const ProtoValue& value) {
    // Copy first: `value` may live inside this list and move when it grows.
    ProtoValue copy(value);
    (*this)[static_cast<unsigned>(size())] = std::move(copy);
}

size_t ProtoValue::size() const {
    if (kind_ == kList) return payload_.list->size();
    if (kind_ == kMap) return payload_.map->size();
    return 0;
}

const int64_t& ProtoValue::integer() const {
    if (kind_ == kInteger) return payload_.integer;
    if (kind_ == kNull) return SharedZero();
    Throw(3, L"ProtoValue::integer wrong type");
}

const std::wstring& ProtoValue::string() const {
    if (kind_ == kString) return *payload_.text;
    if (kind_ == kNull) return SharedEmptyString();
    Throw(3, L"ProtoValue::string wrong type");
}
