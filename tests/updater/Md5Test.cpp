#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "TestSupport.h"
#include "Updater/MD5.h"

namespace {

std::string DigestOf(const std::string& bytes) {
    MD5 digest;
    digest.update(reinterpret_cast<const unsigned char*>(bytes.data()),
                  static_cast<uint32_t>(bytes.size()));
    digest.finalize();
    return digest.hex_digest();
}

std::string DigestOfFile(const std::wstring& path) {
    FILE* file = _wfopen(path.c_str(), L"rb");
    if (!file) return "cannot open";
    MD5 digest(file);
    return digest.hex_digest();
}

// Bytes that differ from block to block, so a misplaced block shows.
std::string PatternBytes(size_t size) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 7 + i / 251) & 0xff);
    return bytes;
}

TEST(Md5, DigestsTheReferenceVectors) {
    struct Case {
        const char* message;
        const char* digest;
    } cases[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
         "d174ab98d277d9f5a5611c2c9f419d9f"},
        {"1234567890123456789012345678901234567890"
         "1234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"},
    };
    for (const Case& c : cases) EXPECT_EQ(c.digest, DigestOf(c.message)) << c.message;
}

TEST(Md5, PiecesGiveTheSameDigestAsOneUpdate) {
    const std::string bytes = PatternBytes(1000);
    const std::string whole = DigestOf(bytes);
    for (uint32_t piece : {1u, 3u, 55u, 56u, 63u, 64u, 65u, 127u, 999u}) {
        MD5 digest;
        for (size_t at = 0; at < bytes.size(); at += piece) {
            const size_t n = std::min<size_t>(piece, bytes.size() - at);
            digest.update(reinterpret_cast<const unsigned char*>(bytes.data() + at),
                          static_cast<uint32_t>(n));
        }
        digest.finalize();
        EXPECT_EQ(whole, digest.hex_digest()) << "pieces of " << piece;
    }
}

// The pattern files' digests were taken with md5sum.
TEST(Md5, DigestsFilesAcrossTheReadBlockBoundary) {
    testsupport::TempFolder folder;
    struct Case {
        size_t size;
        const char* digest;
    } cases[] = {
        {0, "d41d8cd98f00b204e9800998ecf8427e"},
        {1023, "47d72a045d48a797640db7b5919f4912"},
        {1024, "6cd8e81aa97eb4792758fbcb7304bf4d"},
        {1025, "f85a696adad4e94fc175c4afe0186cb6"},
        {3 * 1024 + 1, "ae1845dfda4bb7e2b54632d95bbf87fc"},
    };
    for (const Case& c : cases) {
        const std::string bytes = PatternBytes(c.size);
        const std::wstring path = folder.File(L"data.bin");
        ASSERT_TRUE(testsupport::WriteFileBytes(path, bytes));
        EXPECT_EQ(c.digest, DigestOfFile(path)) << c.size << " bytes";
    }
}

TEST(Md5, KnownFileDigests) {
    testsupport::TempFolder folder;
    struct Case {
        std::string bytes;
        const char* digest;
    } cases[] = {
        {std::string(1024, 'a'), "c9a34cfc85d982698c6ac89f76071abd"},
        {std::string(1025, 'a'), "ae187e1febee2a150b64849c32d566ca"},
    };
    for (const Case& c : cases) {
        const std::wstring path = folder.File(L"a.bin");
        ASSERT_TRUE(testsupport::WriteFileBytes(path, c.bytes));
        EXPECT_EQ(c.digest, DigestOfFile(path)) << c.bytes.size() << " bytes";
    }
}

TEST(Md5, MisuseIsReportedAndChangesNothing) {
    MD5 digest;
    testing::internal::CaptureStderr();
    EXPECT_STREQ("", digest.hex_digest());
    digest.update(reinterpret_cast<const unsigned char*>("abc"), 3);
    digest.finalize();
    digest.finalize();
    digest.update(reinterpret_cast<const unsigned char*>("x"), 1);
    const std::string messages = testing::internal::GetCapturedStderr();
    EXPECT_STREQ("900150983cd24fb0d6963f7d28e17f72", digest.hex_digest());
    EXPECT_EQ(
        "MD5::hex_digest:  Can't get digest if you haven't finalized the digest!\n"
        "MD5::finalize:  Already finalized this digest!\n"
        "MD5::update:  Can't update a finalized digest!\n",
        messages);
}

}  // namespace
