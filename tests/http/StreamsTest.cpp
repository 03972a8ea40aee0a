#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Http/HttpErrors.h"
#include "Http/Streams.h"

namespace {

TEST(IBufferStream, ReadsWholeRequestsOnly) {
    const std::string source = "0123456789abcde";  // 15 bytes
    IBufferStream stream(15, source.data());
    char buffer[16] = {};
    EXPECT_EQ(15u, stream.GetSize());
    EXPECT_EQ(10, stream.Read(buffer, 10));
    EXPECT_EQ("0123456789", std::string(buffer, 10));
    EXPECT_EQ(-1, stream.Read(buffer, 10)) << "would pass the end";
    EXPECT_EQ(5, stream.Read(buffer, 5)) << "the position stayed at 10";
    EXPECT_EQ("abcde", std::string(buffer, 5));
    EXPECT_EQ(0, stream.Read(buffer, 5)) << "at the end";
    stream.Close();
    EXPECT_EQ(0u, stream.GetSize());
}

TEST(OBufferStream, GrowsByDoublingWithTenSpareBytes) {
    OBufferStream stream;
    ASSERT_EQ(OBufferStream::kInitialCapacity, stream.capacity());
    std::vector<char> chunk(OBufferStream::kInitialCapacity - 10, 'a');
    EXPECT_EQ(static_cast<int>(chunk.size()), stream.Write(chunk.data(), static_cast<unsigned>(chunk.size())));
    EXPECT_EQ(OBufferStream::kInitialCapacity, stream.capacity()) << "exactly capacity minus 10 fits";
    EXPECT_EQ(1, stream.Write("b", 1));
    EXPECT_EQ(2 * OBufferStream::kInitialCapacity, stream.capacity());
    EXPECT_EQ(chunk.size() + 1, stream.size());
    EXPECT_EQ('b', stream.data()[chunk.size()]);
}

TEST(OBufferStream, WritesAgainAfterClose) {
    OBufferStream stream;
    stream.Write("abc", 3);
    stream.Close();
    EXPECT_EQ(0u, stream.capacity());
    EXPECT_EQ(0u, stream.size());
    EXPECT_EQ(3, stream.Write("xyz", 3));
    EXPECT_EQ(OBufferStream::kReopenCapacity, stream.capacity());
    EXPECT_EQ("xyz", std::string(reinterpret_cast<const char*>(stream.data()), stream.size()));
    stream.Reset();
    EXPECT_EQ(0u, stream.size());
}

TEST(OBufferStream, RefusesMoreThanItsLimit) {
    OBufferStream stream;
    std::vector<char> chunk(OBufferStream::kMaxSize / 4, 'a');
    for (int i = 0; i < 4; ++i)
        ASSERT_EQ(static_cast<int>(chunk.size()), stream.Write(chunk.data(), static_cast<unsigned>(chunk.size())));
    EXPECT_EQ(0, stream.errorType);
    EXPECT_EQ(-1, stream.Write("x", 1));
    EXPECT_EQ(kHttpErrUser, stream.errorType);
    EXPECT_EQ(kErrBodyTooLarge, stream.errorCode);
    EXPECT_EQ(OBufferStream::kMaxSize, stream.size()) << "what fitted is kept";
}

}  // namespace
