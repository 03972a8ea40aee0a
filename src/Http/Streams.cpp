#include "Http/Streams.h"

#include <windows.h>

#include <cstring>
#include <new>

#include "Http/HttpErrors.h"

IBufferStream::IBufferStream(uint32_t size, const void* source)
    : data_(new unsigned char[size ? size : 1]), size_(size) {
    if (size) memcpy(data_.get(), source, size);
}

int IBufferStream::Read(void* buffer, unsigned count) {
    if (position_ == size_) return 0;
    if (static_cast<uint64_t>(position_) + count > size_) return -1;
    memcpy(buffer, data_.get() + position_, count);
    position_ += count;
    return static_cast<int>(count);
}

void IBufferStream::Close() {
    data_.reset();
    size_ = 0;
    position_ = 0;
}

OBufferStream::OBufferStream()
    : data_(new unsigned char[kInitialCapacity]), capacity_(kInitialCapacity) {}

int OBufferStream::Write(const void* data, unsigned count) {
    if (static_cast<uint64_t>(size_) + count > kMaxSize) {
        errorType = kHttpErrUser;
        errorCode = kErrBodyTooLarge;
        return -1;
    }
    // Ten spare bytes past the data, as the owners expect room for a terminator.
    if (!Grow(static_cast<uint64_t>(size_) + count + 10)) {
        errorType = kHttpErrSys;
        errorCode = ERROR_NOT_ENOUGH_MEMORY;
        return -1;
    }
    if (count) memcpy(data_.get() + size_, data, count);
    size_ += count;
    return static_cast<int>(count);
}

void OBufferStream::Close() {
    data_.reset();
    capacity_ = 0;
    size_ = 0;
}

bool OBufferStream::Grow(uint64_t needed) {
    if (needed <= capacity_) return true;
    uint64_t capacity = capacity_ ? capacity_ : kReopenCapacity;
    while (capacity < needed) capacity *= 2;
    std::unique_ptr<unsigned char[]> grown(new (std::nothrow) unsigned char[capacity]);
    if (!grown) return false;
    if (size_) memcpy(grown.get(), data_.get(), size_);
    data_ = std::move(grown);
    capacity_ = static_cast<uint32_t>(capacity);
    return true;
}
