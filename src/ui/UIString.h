// The UI framework's own small value types: a wide string with an inline
// buffer, a growable array of untyped pointers and a chained hash map from
// wide-string keys to untyped pointers.
//
// None of them owns what its pointers point to, and none is safe for use from
// two threads at once: the framework uses them on the UI thread only.
#pragma once

#include <wchar.h>

namespace SkinUI {

// A UTF-16 string that keeps short texts (fewer than kHeapThreshold code
// units) inside the object and longer ones in a heap buffer of at least
// length * 2 + 2 bytes. Allocation failure throws std::bad_alloc, except in
// Format, which leaves the string empty instead.
class UIString {
public:
    static constexpr int kInlineUnits = 164;
    static constexpr int kHeapThreshold = 163;

    UIString();
    UIString(const wchar_t* text, int length = -1);
    UIString(const UIString& other);
    UIString& operator=(const UIString& other);
    UIString& operator=(const wchar_t* text);
    ~UIString();

    // A null text assigns the empty string; a negative length takes the
    // whole text. `text` may point into this string.
    void Assign(const wchar_t* text, int length = -1);
    // A null text appends nothing. `text` may point into this string.
    void Append(const wchar_t* text);
    void Append(wchar_t ch);
    UIString& operator+=(const wchar_t* text) {
        Append(text);
        return *this;
    }
    void Empty();

    int Length() const { return length_; }
    bool IsEmpty() const { return length_ == 0; }
    const wchar_t* Data() const { return data_; }
    operator const wchar_t*() const { return data_; }
    wchar_t operator[](int index) const { return data_[index]; }

    // Whether the characters live in the inline buffer, and how many
    // characters (without the terminator) the current buffer holds.
    bool IsInline() const { return data_ == inline_; }
    int Capacity() const;

    // The first n characters (n clamped to 0..length).
    UIString Prefix(int n) const;
    // n characters from `start`; a negative n, or one that runs past the
    // end, takes the rest. A start outside 0..length gives the empty string.
    UIString Substring(int start, int n = -1) const;
    // Position of the first occurrence of `text` at or after `from`, or -1.
    int IndexOf(const wchar_t* text, int from = 0) const;
    // Replaces every occurrence, resuming the search after each inserted
    // replacement; returns the number of replacements. An empty pattern
    // replaces nothing.
    int ReplaceText(const wchar_t* pattern, const wchar_t* replacement);

    // printf-style formatting with the C runtime's wide rules (%s is a wide
    // string), into a scratch buffer that grows until the text fits; returns
    // the formatter's result.
    int Format(const wchar_t* format, ...);
    // Formats at most 63 characters; used for the short image modifiers that
    // controls build while painting.
    int FormatShort(const wchar_t* format, ...);

    // Code-unit order, case-sensitive.
    int Compare(const wchar_t* text) const;
    bool operator==(const wchar_t* text) const { return Compare(text) == 0; }
    bool operator!=(const wchar_t* text) const { return Compare(text) != 0; }
    bool operator<(const wchar_t* text) const { return Compare(text) < 0; }
    bool operator==(const UIString& other) const { return Compare(other.data_) == 0; }
    bool operator!=(const UIString& other) const { return Compare(other.data_) != 0; }
    bool operator<(const UIString& other) const { return Compare(other.data_) < 0; }

    // h = h * 33 + character, from the last character to the first.
    static unsigned HashKey(const wchar_t* text);

private:
    void UseInline();
    bool PointsIntoThis(const wchar_t* text) const;

    wchar_t* data_;
    int length_ = 0;
    int heapUnits_ = 0;  // characters the heap buffer holds; 0 while inline
    wchar_t inline_[kInlineUnits];
};

// A growable array of pointers. Capacity doubles when the count reaches it
// (from 0 it becomes 11).
class UIPtrList {
public:
    explicit UIPtrList(int initialCapacity = 0);
    ~UIPtrList();
    UIPtrList(const UIPtrList&) = delete;
    UIPtrList& operator=(const UIPtrList&) = delete;

    void Clear();
    // Clear, then n null items.
    void Reset(int n);
    // False when the array cannot grow; the list is then unchanged.
    bool Add(void* item);
    // An index equal to the count appends; below 0 or above the count fails.
    bool Insert(int index, void* item);
    bool RemoveAt(int index);
    int IndexOf(const void* item) const;
    void* ItemAt(int index) const;
    void* operator[](int index) const { return ItemAt(index); }
    bool IsEmpty() const { return count_ == 0; }
    int Count() const { return count_; }
    int Capacity() const { return capacity_; }

private:
    bool GrowForOneMore();

    void** items_ = nullptr;
    int count_ = 0;
    int capacity_ = 0;
};

// A chained hash map from wide-string keys (compared exactly) to pointers;
// 83 buckets unless rebuilt.
class UIStringMap {
public:
    static constexpr int kDefaultBuckets = 83;

    UIStringMap();
    ~UIStringMap();
    UIStringMap(const UIStringMap&) = delete;
    UIStringMap& operator=(const UIStringMap&) = delete;

    // Frees every entry, then makes n empty buckets (none for n <= 0).
    void Rebuild(int n);
    // The value stored under `key`, or null. With moveToFront a found entry
    // becomes the first of its bucket chain.
    void* Lookup(const wchar_t* key, bool moveToFront = true);
    // False when there are no buckets or the key is already present.
    bool Add(const wchar_t* key, void* value);
    // Replaces and returns the previous value, or inserts and returns null.
    // Without buckets nothing is stored and `value` is returned.
    void* Put(const wchar_t* key, void* value);
    // Unlinks the entry (its value is not touched); no-op when absent.
    void Remove(const wchar_t* key);
    // Key of the index-th entry, counting buckets from the last to the first
    // and each chain from its head; null when out of range.
    const wchar_t* KeyAt(int index) const;
    int Count() const { return count_; }
    int BucketCount() const { return bucketCount_; }

private:
    struct Entry;
    void FreeAll();
    Entry* Find(const wchar_t* key, unsigned& bucket) const;
    void InsertFirst(unsigned bucket, const wchar_t* key, void* value);

    Entry** buckets_ = nullptr;
    int bucketCount_ = 0;
    int count_ = 0;
};

}  // namespace SkinUI
