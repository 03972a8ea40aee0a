#include "ui/UIString.h"

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <new>

namespace SkinUI {

namespace {

constexpr size_t kFormatStartBytes = 512;
// The formatter answers -1 both for "too small" and for a text it cannot
// produce at all, so growth needs a ceiling.
constexpr size_t kFormatMaxBytes = 16 * 1024 * 1024;
constexpr int kShortFormatUnits = 64;

wchar_t* AllocateUnits(int units) {
    void* p = malloc(static_cast<size_t>(units) * sizeof(wchar_t) + sizeof(wchar_t));
    if (!p) throw std::bad_alloc();
    return static_cast<wchar_t*>(p);
}

int TextLength(const wchar_t* text) { return text ? static_cast<int>(wcslen(text)) : 0; }

}  // namespace

UIString::UIString() : data_(inline_) { inline_[0] = L'\0'; }

UIString::UIString(const wchar_t* text, int length) : data_(inline_) {
    inline_[0] = L'\0';
    Assign(text, length);
}

UIString::UIString(const UIString& other) : data_(inline_) {
    inline_[0] = L'\0';
    Assign(other.data_, other.length_);
}

UIString& UIString::operator=(const UIString& other) {
    if (this != &other) Assign(other.data_, other.length_);
    return *this;
}

UIString& UIString::operator=(const wchar_t* text) {
    Assign(text);
    return *this;
}

UIString::~UIString() {
    if (!IsInline()) free(data_);
}

int UIString::Capacity() const { return IsInline() ? kInlineUnits - 1 : heapUnits_; }

bool UIString::PointsIntoThis(const wchar_t* text) const {
    return text >= data_ && text <= data_ + length_;
}

void UIString::UseInline() {
    if (!IsInline()) free(data_);
    data_ = inline_;
    heapUnits_ = 0;
}

void UIString::Assign(const wchar_t* text, int length) {
    if (!text) {
        UseInline();
        length_ = 0;
        inline_[0] = L'\0';
        return;
    }
    if (length < 0) length = TextLength(text);
    if (length < kHeapThreshold) {
        // The text may live in the heap buffer about to be freed: move it
        // into the inline buffer first.
        memmove(inline_, text, static_cast<size_t>(length) * sizeof(wchar_t));
        UseInline();
    } else if (IsInline() || length_ < length) {
        wchar_t* buffer = AllocateUnits(length);
        memcpy(buffer, text, static_cast<size_t>(length) * sizeof(wchar_t));
        if (!IsInline()) free(data_);
        data_ = buffer;
        heapUnits_ = length;
    } else {
        memmove(data_, text, static_cast<size_t>(length) * sizeof(wchar_t));
    }
    length_ = length;
    data_[length_] = L'\0';
}

void UIString::Append(const wchar_t* text) {
    if (!text) return;
    int added = TextLength(text);
    if (added == 0) return;
    if (PointsIntoThis(text)) {
        // Growing may move our buffer; append from a copy.
        UIString copy(text, added);
        Append(copy.data_);
        return;
    }
    int newLength = length_ + added;
    if (newLength >= kHeapThreshold) {
        if (IsInline()) {
            wchar_t* buffer = AllocateUnits(newLength);
            memcpy(buffer, data_, static_cast<size_t>(length_) * sizeof(wchar_t));
            data_ = buffer;
        } else {
            void* p = realloc(data_, static_cast<size_t>(newLength) * sizeof(wchar_t) +
                                         sizeof(wchar_t));
            if (!p) throw std::bad_alloc();
            data_ = static_cast<wchar_t*>(p);
        }
        heapUnits_ = newLength;
    }
    memcpy(data_ + length_, text, static_cast<size_t>(added) * sizeof(wchar_t));
    length_ = newLength;
    data_[length_] = L'\0';
}

void UIString::Append(wchar_t ch) {
    wchar_t text[2] = {ch, L'\0'};
    if (ch != L'\0') Append(text);
}

void UIString::Empty() { Assign(nullptr); }

UIString UIString::Prefix(int n) const {
    if (n < 0) n = 0;
    if (n > length_) n = length_;
    return UIString(data_, n);
}

UIString UIString::Substring(int start, int n) const {
    if (start < 0 || start > length_) return UIString();
    if (n < 0 || n > length_ - start) n = length_ - start;
    if (n <= 0) return UIString();
    return UIString(data_ + start, n);
}

int UIString::IndexOf(const wchar_t* text, int from) const {
    if (!text || from < 0 || from > length_) return -1;
    const wchar_t* found = wcsstr(data_ + from, text);
    return found ? static_cast<int>(found - data_) : -1;
}

int UIString::ReplaceText(const wchar_t* pattern, const wchar_t* replacement) {
    int patternLength = TextLength(pattern);
    if (patternLength == 0) return 0;
    UIString replacementCopy(replacement);  // may point into this string
    int count = 0;
    int at = IndexOf(pattern, 0);
    while (at >= 0) {
        UIString rebuilt(data_, at);
        rebuilt.Append(replacementCopy.data_);
        rebuilt.Append(data_ + at + patternLength);
        Assign(rebuilt.data_, rebuilt.length_);
        ++count;
        at = IndexOf(pattern, at + replacementCopy.length_);
    }
    return count;
}

int UIString::Format(const wchar_t* format, ...) {
    size_t bytes = kFormatStartBytes;
    wchar_t* buffer = nullptr;
    int result = -1;
    for (;;) {
        void* grown = realloc(buffer, bytes);
        if (!grown) {
            free(buffer);
            Empty();
            return -1;
        }
        buffer = static_cast<wchar_t*>(grown);
        memset(buffer, 0, bytes);
        size_t count = bytes / sizeof(wchar_t);
        va_list args;
        va_start(args, format);
        result = _vsnwprintf(buffer, count, format, args);
        va_end(args);
        if (result == -1) {
            if (bytes >= kFormatMaxBytes) {
                free(buffer);
                Empty();
                return -1;
            }
            bytes *= 2;  // truncated
        } else if (static_cast<size_t>(result) >= count) {
            bytes += sizeof(wchar_t);  // fitted exactly, without room for the terminator
        } else {
            break;
        }
    }
    Assign(buffer, result);
    free(buffer);
    return result;
}

int UIString::FormatShort(const wchar_t* format, ...) {
    wchar_t buffer[kShortFormatUnits] = {};
    va_list args;
    va_start(args, format);
    int result = _vsnwprintf(buffer, kShortFormatUnits - 1, format, args);
    va_end(args);
    // A short text always fits the inline buffer.
    static_assert(kShortFormatUnits <= kInlineUnits, "short formats stay inline");
    UseInline();
    length_ = static_cast<int>(wcslen(buffer));
    wmemcpy(inline_, buffer, static_cast<size_t>(length_) + 1);
    return result;
}

int UIString::Compare(const wchar_t* text) const { return wcscmp(data_, text ? text : L""); }

unsigned UIString::HashKey(const wchar_t* text) {
    unsigned h = 0;
    for (int i = TextLength(text) - 1; i >= 0; --i) h = h * 33 + static_cast<unsigned>(text[i]);
    return h;
}

}  // namespace SkinUI
