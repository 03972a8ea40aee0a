// UIPtrList and UIStringMap.
#include <stdlib.h>
#include <string.h>

#include <new>

#include "ui/UIString.h"

namespace SkinUI {

namespace {

constexpr int kFirstCapacity = 11;

}  // namespace

// ---- UIPtrList ----

UIPtrList::UIPtrList(int initialCapacity) {
    if (initialCapacity > 0) {
        items_ = static_cast<void**>(malloc(sizeof(void*) * initialCapacity));
        if (!items_) throw std::bad_alloc();
        capacity_ = initialCapacity;
    }
}

UIPtrList::~UIPtrList() { free(items_); }

void UIPtrList::Clear() {
    free(items_);
    items_ = nullptr;
    count_ = 0;
    capacity_ = 0;
}

void UIPtrList::Reset(int n) {
    Clear();
    if (n <= 0) return;
    items_ = static_cast<void**>(calloc(static_cast<size_t>(n), sizeof(void*)));
    if (!items_) throw std::bad_alloc();
    count_ = capacity_ = n;
}

bool UIPtrList::GrowForOneMore() {
    if (count_ + 1 < capacity_) return true;
    int newCapacity = capacity_ > 0 ? capacity_ * 2 : kFirstCapacity;
    void* grown = realloc(items_, sizeof(void*) * static_cast<size_t>(newCapacity));
    if (!grown) return false;
    items_ = static_cast<void**>(grown);
    capacity_ = newCapacity;
    return true;
}

bool UIPtrList::Add(void* item) {
    if (!GrowForOneMore()) return false;
    items_[count_++] = item;
    return true;
}

bool UIPtrList::Insert(int index, void* item) {
    if (index == count_) return Add(item);
    if (index < 0 || index > count_) return false;
    if (!GrowForOneMore()) return false;
    memmove(items_ + index + 1, items_ + index, sizeof(void*) * (count_ - index));
    items_[index] = item;
    ++count_;
    return true;
}

bool UIPtrList::RemoveAt(int index) {
    if (index < 0 || index >= count_) return false;
    --count_;
    if (index < count_) memmove(items_ + index, items_ + index + 1, sizeof(void*) * (count_ - index));
    return true;
}

int UIPtrList::IndexOf(const void* item) const {
    for (int i = 0; i < count_; ++i) {
        if (items_[i] == item) return i;
    }
    return -1;
}

void* UIPtrList::ItemAt(int index) const {
    return index >= 0 && index < count_ ? items_[index] : nullptr;
}

// ---- UIStringMap ----

struct UIStringMap::Entry {
    UIString key;
    void* value;
    Entry* prev;
    Entry* next;
};

UIStringMap::UIStringMap() { Rebuild(kDefaultBuckets); }

UIStringMap::~UIStringMap() { FreeAll(); }

void UIStringMap::FreeAll() {
    for (int b = 0; b < bucketCount_; ++b) {
        Entry* e = buckets_[b];
        while (e) {
            Entry* next = e->next;
            delete e;
            e = next;
        }
    }
    free(buckets_);
    buckets_ = nullptr;
    bucketCount_ = 0;
    count_ = 0;
}

void UIStringMap::Rebuild(int n) {
    FreeAll();
    if (n <= 0) return;
    buckets_ = static_cast<Entry**>(calloc(static_cast<size_t>(n), sizeof(Entry*)));
    if (!buckets_) throw std::bad_alloc();
    bucketCount_ = n;
}

UIStringMap::Entry* UIStringMap::Find(const wchar_t* key, unsigned& bucket) const {
    bucket = UIString::HashKey(key) % static_cast<unsigned>(bucketCount_);
    for (Entry* e = buckets_[bucket]; e; e = e->next) {
        if (e->key == key) return e;
    }
    return nullptr;
}

void* UIStringMap::Lookup(const wchar_t* key, bool moveToFront) {
    if (!key || bucketCount_ == 0 || count_ == 0) return nullptr;
    unsigned bucket = 0;
    Entry* e = Find(key, bucket);
    if (!e) return nullptr;
    if (moveToFront && e->prev) {
        e->prev->next = e->next;
        if (e->next) e->next->prev = e->prev;
        e->prev = nullptr;
        e->next = buckets_[bucket];
        buckets_[bucket]->prev = e;
        buckets_[bucket] = e;
    }
    return e->value;
}

void UIStringMap::InsertFirst(unsigned bucket, const wchar_t* key, void* value) {
    Entry* e = new Entry{UIString(key), value, nullptr, buckets_[bucket]};
    if (e->next) e->next->prev = e;
    buckets_[bucket] = e;
    ++count_;
}

bool UIStringMap::Add(const wchar_t* key, void* value) {
    if (!key || bucketCount_ == 0) return false;
    // A key is present even when stored with a null value, so it never
    // appears twice.
    unsigned bucket = 0;
    if (Find(key, bucket)) {
        Lookup(key, true);
        return false;
    }
    InsertFirst(bucket, key, value);
    return true;
}

void* UIStringMap::Put(const wchar_t* key, void* value) {
    if (!key || bucketCount_ == 0) return value;
    unsigned bucket = 0;
    if (Entry* e = Find(key, bucket)) {
        void* old = e->value;
        e->value = value;
        return old;
    }
    InsertFirst(bucket, key, value);
    return nullptr;
}

void UIStringMap::Remove(const wchar_t* key) {
    if (!key || bucketCount_ == 0) return;
    unsigned bucket = 0;
    Entry* e = Find(key, bucket);
    if (!e) return;
    if (e->prev) {
        e->prev->next = e->next;
    } else {
        buckets_[bucket] = e->next;
    }
    if (e->next) e->next->prev = e->prev;
    delete e;
    --count_;
}

const wchar_t* UIStringMap::KeyAt(int index) const {
    if (index < 0 || index >= count_) return nullptr;
    int position = 0;
    for (int b = bucketCount_ - 1; b >= 0; --b) {
        for (Entry* e = buckets_[b]; e; e = e->next) {
            if (position++ == index) return e->key;
        }
    }
    return nullptr;
}

}  // namespace SkinUI
