// Body sources and sinks of a transfer, and their in-memory forms.
//
// A transfer reads a request body from an IBaseStream and writes the answer
// body to an OBaseStream. The in-memory forms serve commands, whose answers
// are small; the file sink of downloads lives in DownloadWriteFile.h.
#pragma once

#include <cstdint>
#include <memory>

class IBaseStream {
public:
    virtual ~IBaseStream() = default;
    // Bytes read, 0 at the end, -1 when the request cannot be met.
    virtual int Read(void* buffer, unsigned count) = 0;
    virtual uint64_t GetSize() = 0;
    virtual void Close() = 0;
};

class OBaseStream {
public:
    virtual ~OBaseStream() = default;
    // Bytes written, or -1 with errorType/errorCode set.
    virtual int Write(const void* data, unsigned count) = 0;
    virtual void Close() = 0;
    // Drops everything written so far (a server ignored a byte range).
    virtual void Reset() = 0;

    // Both 0 while no error occurred; read by the engine after a failed
    // write and when a command ends.
    int errorCode = 0;
    int errorType = 0;  // an HttpErrType value
};

// A request body held in memory.
class IBufferStream : public IBaseStream {
public:
    IBufferStream(uint32_t size, const void* source);

    // All-or-nothing: a read that would pass the end returns -1.
    int Read(void* buffer, unsigned count) override;
    uint64_t GetSize() override { return size_; }
    void Close() override;

private:
    std::unique_ptr<unsigned char[]> data_;
    uint32_t size_ = 0;
    uint32_t position_ = 0;
};

// An answer body collected in memory, up to kMaxSize bytes.
class OBufferStream : public OBaseStream {
public:
    static constexpr uint32_t kInitialCapacity = 2 * 1024 * 1024;
    // Capacity given to a stream written again after Close.
    static constexpr uint32_t kReopenCapacity = 512 * 1024;
    // Answers held in memory are descriptions and small commands; anything
    // larger is refused rather than grown without bound.
    static constexpr uint32_t kMaxSize = 64 * 1024 * 1024;

    OBufferStream();

    int Write(const void* data, unsigned count) override;
    void Close() override;
    void Reset() override { Close(); }

    const unsigned char* data() const { return data_.get(); }
    uint32_t size() const { return size_; }
    uint32_t capacity() const { return capacity_; }

private:
    bool Grow(uint64_t needed);

    std::unique_ptr<unsigned char[]> data_;
    uint32_t capacity_ = 0;
    uint32_t size_ = 0;
};
