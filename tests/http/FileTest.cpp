// The file wrapper and the download sink on real files of the Wine prefix.
#include <gtest/gtest.h>

#include <windows.h>

#include "Http/DownloadWriteFile.h"
#include "Http/FileEx.h"
#include "Http/HttpErrors.h"
#include "Runtime/FileSize.h"
#include "TestSupport.h"

using testsupport::ReadFileBytes;
using testsupport::WriteFileBytes;

namespace {

class Files : public ::testing::Test {
protected:
    testsupport::TempFolder folder;
    std::wstring path = folder.File(L"file.bin");
};

TEST_F(Files, OpenOfAMissingFileFillsTheErrorRecord) {
    CFileEx file;
    CFileExException error;
    EXPECT_EQ(0, file.Open(path, CFileEx::kRead, &error));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, error.code);
    EXPECT_EQ(L"INVALID_HANDLE_VALUE", error.message);
    EXPECT_FALSE(file.IsOpen());
}

TEST_F(Files, DownloadFlagsKeepContentsAndSeekToTheEnd) {
    ASSERT_TRUE(WriteFileBytes(path, "0123456789"));
    CFileEx file;
    ASSERT_EQ(1, file.Open(path, 0xB0A2, nullptr));
    EXPECT_EQ(0u, file.GetPosition());
    EXPECT_EQ(10u, file.Seek(0, CFileEx::kEnd));
    file.Write("ab", 2);
    EXPECT_EQ(12u, file.SeekToEnd());
    EXPECT_EQ(0u, file.Seek(0, CFileEx::kBegin));
    char buffer[4];
    EXPECT_EQ(4u, file.Read(buffer, 4));
    EXPECT_EQ("0123", std::string(buffer, 4));
    file.Close();
    EXPECT_EQ("0123456789ab", ReadFileBytes(path));
}

TEST_F(Files, SetLengthZeroEmptiesAndRewinds) {
    ASSERT_TRUE(WriteFileBytes(path, "0123456789"));
    CFileEx file;
    ASSERT_EQ(1, file.Open(path, CFileEx::kReadWrite, nullptr));
    file.Seek(5, CFileEx::kBegin);
    EXPECT_NE(0, file.SetLength(0));
    EXPECT_EQ(0u, file.GetPosition());
    file.Close();
    EXPECT_EQ("", ReadFileBytes(path));
}

TEST_F(Files, CloseTwiceAndFailuresAfterOpening) {
    CFileEx file;
    ASSERT_EQ(1, file.Open(path, CFileEx::kCreate | CFileEx::kWrite, nullptr));
    EXPECT_EQ(path, file.name());
    file.Close();
    EXPECT_NO_THROW(file.Close());
    EXPECT_EQ(L"", file.name());
    try {
        file.Write("x", 1);
        ADD_FAILURE() << "a write without a file must throw";
    } catch (const CFileExException& e) {
        EXPECT_NE(0, e.code);
    }
    // Read access only: the write fails, and the message names the file.
    ASSERT_EQ(1, file.Open(path, CFileEx::kRead, nullptr));
    try {
        file.Write("x", 1);
        ADD_FAILURE() << "a write to a read-only handle must throw";
    } catch (const CFileExException& e) {
        EXPECT_EQ(path, e.message);
    }
}

TEST_F(Files, SinkAppendsResetsAndReportsItsErrors) {
    DownloadWriteFile sink;
    EXPECT_EQ(-1, sink.Write("x", 1));
    EXPECT_EQ(kHttpErrUser, sink.errorType);
    EXPECT_EQ(kErrWriteWithoutFile, sink.errorCode);

    ASSERT_TRUE(WriteFileBytes(path, "abc"));
    ASSERT_TRUE(sink.Open(path));
    EXPECT_EQ(0, sink.errorCode) << "Open's Close clears the error";
    EXPECT_EQ(3, sink.Write("def", 3));
    EXPECT_EQ("abcdef", ReadFileBytes(path));
    sink.Reset();
    EXPECT_EQ(2, sink.Write("gh", 2));
    sink.Close();
    EXPECT_EQ("gh", ReadFileBytes(path));

    sink.Reset();  // without an open file: the file goes
    EXPECT_EQ(-1, LocalFileSize(path));

    EXPECT_FALSE(sink.Open(folder.File(L"no\\such\\folder\\f.bin")));
    EXPECT_EQ(kHttpErrSys, sink.errorType);
    EXPECT_EQ(kErrOpenLocalFile, sink.errorCode);
}

// A package of 4 GiB or more: sizes and the append position stay right
// where 32-bit positions would fail.
TEST_F(Files, LargeFilesKeepTheirSizeAndAppendAtTheEnd) {
    const int64_t size = 5LL * 1024 * 1024 * 1024 + 7;
    {
        Runtime::UniqueFileHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                                   FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(file.valid());
        LARGE_INTEGER end;
        end.QuadPart = size;
        if (!SetFilePointerEx(file.get(), end, nullptr, FILE_BEGIN) || !SetEndOfFile(file.get()))
            GTEST_SKIP() << "no room for a sparse 5 GiB file";
    }
    EXPECT_EQ(size, LocalFileSize(path));
    DownloadWriteFile sink;
    ASSERT_TRUE(sink.Open(path));
    EXPECT_EQ(4, sink.Write("tail", 4));
    sink.Close();
    EXPECT_EQ(size + 4, LocalFileSize(path));
    DeleteFileW(path.c_str());
}

}  // namespace
