// The ZIP reader on the archive the build packs and on damaged archives. The
// damaged ones are placed so that they end right before an inaccessible
// page: a read past the end of the buffer crashes the test.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "TestSupport.h"
#include "UiTestSupport.h"
#include "ui/UIResource.h"
#include "ui/UIZip.h"

using SkinUI::CSkinResources;
using SkinUI::CSkinZip;

namespace {

// Bytes that end exactly where a PAGE_NOACCESS page begins.
class GuardedBuffer {
public:
    explicit GuardedBuffer(const std::string& bytes) {
        SYSTEM_INFO info;
        ::GetSystemInfo(&info);
        size_t page = info.dwPageSize;
        size_t dataPages = (bytes.size() + page - 1) / page + 1;
        size_ = (dataPages + 1) * page;
        base_ = static_cast<BYTE*>(::VirtualAlloc(nullptr, size_, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
        DWORD old = 0;
        ::VirtualProtect(base_ + dataPages * page, page, PAGE_NOACCESS, &old);
        data_ = base_ + dataPages * page - bytes.size();
        memcpy(data_, bytes.data(), bytes.size());
        length_ = bytes.size();
    }
    ~GuardedBuffer() { ::VirtualFree(base_, 0, MEM_RELEASE); }
    const BYTE* data() const { return data_; }
    size_t size() const { return length_; }

private:
    BYTE* base_;
    BYTE* data_;
    size_t size_;
    size_t length_;
};

std::wstring BuildArchivePath() { return testsupport::ProgramFolder() + L"\\skinres\\skin.zip"; }

std::string BuildArchiveBytes() { return testsupport::ReadFileBytes(BuildArchivePath()); }

// Opens and unpacks every item; the results only matter in that nothing
// reads outside the buffer.
void ReadEverything(const std::string& bytes) {
    GuardedBuffer buffer(bytes);
    CSkinZip zip;
    if (!zip.OpenMemory(buffer.data(), buffer.size())) return;
    for (int i = 0; i < zip.ItemCount(); ++i) {
        DWORD size = zip.ItemSize(i);
        if (size > CSkinZip::kMaxItemBytes) continue;
        std::vector<BYTE> out(size);
        zip.Unpack(i, out.data(), size);
        int length = 0;
        zip.ItemName(i, &length);
    }
    zip.FindItem(L"MessageBox.xml");
}

uint32_t Read32(const std::string& s, size_t at) {
    return static_cast<BYTE>(s[at]) | static_cast<BYTE>(s[at + 1]) << 8 |
           static_cast<BYTE>(s[at + 2]) << 16 | static_cast<uint32_t>(static_cast<BYTE>(s[at + 3])) << 24;
}

void Write32(std::string& s, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) s[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

size_t EndRecord(const std::string& zip) { return zip.rfind(std::string("PK\x05\x06", 4)); }

size_t FirstDirectoryRecord(const std::string& zip) { return Read32(zip, EndRecord(zip) + 16); }

TEST(SkinZip, ReadsTheArchiveTheBuildPacks) {
    CSkinZip zip;
    ASSERT_TRUE(zip.OpenFile(BuildArchivePath().c_str()));
    ASSERT_GE(zip.ItemCount(), 28);
    for (const wchar_t* name : {L"InstallPackages.xml", L"MessageBox.xml"}) {
        int index = zip.FindItem(name);
        ASSERT_GE(index, 0) << name;
        std::vector<BYTE> bytes(zip.ItemSize(index));
        ASSERT_EQ(SkinUI::kZipOk, zip.Unpack(index, bytes.data(), static_cast<DWORD>(bytes.size())));
        EXPECT_EQ(0, memcmp(bytes.data(), "<?xml", 5)) << name;
    }
}

TEST(SkinZip, FindsNamesWithoutCaseAndWithBackslashes) {
    uitest::ZipBuilder builder;
    builder.Add("btn_close000.png", "lower");
    builder.Add("img/inner.png", "inner", false);
    builder.Add("img/inner.png", "second of the same name");
    std::string bytes = builder.Build();
    CSkinZip zip;
    ASSERT_TRUE(zip.OpenMemory(bytes.data(), bytes.size()));
    EXPECT_EQ(0, zip.FindItem(L"BTN_CLOSE000.PNG"));
    EXPECT_EQ(1, zip.FindItem(L"img\\inner.png"));
    EXPECT_EQ(1, zip.FindItem(L"IMG/Inner.png")) << "the first match wins";
    EXPECT_EQ(-1, zip.FindItem(L"inner.png"));
    EXPECT_EQ(-1, zip.FindItem(std::wstring(256, L'a').c_str()));
    std::vector<BYTE> out(zip.ItemSize(1));
    ASSERT_EQ(SkinUI::kZipOk, zip.Unpack(1, out.data(), static_cast<DWORD>(out.size())));
    EXPECT_EQ("inner", std::string(out.begin(), out.end()));
}

TEST(SkinZip, RefusesDamagedArchivesWithoutReadingOutsideThem) {
    std::string good = BuildArchiveBytes();
    ASSERT_FALSE(good.empty());
    size_t end = EndRecord(good);
    size_t directory = FirstDirectoryRecord(good);

    std::string directoryOutside = good;
    Write32(directoryOutside, end + 16, static_cast<uint32_t>(good.size() + 100));
    std::string directoryTooLong = good;
    Write32(directoryTooLong, end + 12, 0x7FFFFFFF);
    std::string badSignature = good;
    badSignature[directory] = 'X';
    std::string manyEntries = good;
    manyEntries[end + 8] = manyEntries[end + 10] = '\xFF';
    manyEntries[end + 9] = manyEntries[end + 11] = '\x7F';

    struct Case {
        const char* what;
        std::string bytes;
    } cases[] = {
        {"empty", ""},
        {"garbage", std::string(5000, 'z')},
        {"only an end record", good.substr(end)},
        {"truncated in the middle", good.substr(0, good.size() / 2)},
        {"truncated inside the end record", good.substr(0, good.size() - 5)},
        {"directory outside the data", directoryOutside},
        {"directory longer than the data", directoryTooLong},
        {"damaged directory record", badSignature},
        {"more entries than the directory holds", manyEntries},
    };
    for (const Case& c : cases) {
        GuardedBuffer buffer(c.bytes);
        CSkinZip zip;
        EXPECT_FALSE(zip.OpenMemory(c.bytes.empty() ? nullptr : buffer.data(), buffer.size())) << c.what;
        EXPECT_EQ(-1, zip.FindItem(L"MessageBox.xml")) << c.what;
    }
}

TEST(SkinZip, ItemsThatPointOutsideOrFailTheirChecksDoNotUnpack) {
    uitest::ZipBuilder builder;
    builder.Add("a.xml", std::string(3000, 'a'));
    builder.Add("b.xml", "stored bytes", false);
    std::string good = builder.Build();
    size_t directory = FirstDirectoryRecord(good);

    std::string localOutside = good;
    Write32(localOutside, directory + 42, static_cast<uint32_t>(good.size() - 10));
    std::string packedTooLong = good;
    Write32(packedTooLong, directory + 20, 0x00FFFFFF);
    std::string badCrc = good;
    Write32(badCrc, directory + 16, Read32(good, directory + 16) ^ 1);
    std::string wrongSize = good;
    Write32(wrongSize, directory + 24, 2999);
    std::string brokenData = good;
    const size_t dataStart = 30 + strlen("a.xml");  // after the first local header
    brokenData[dataStart + 1] = '\xFF';
    brokenData[dataStart + 2] = '\xFF';

    struct Case {
        const char* what;
        std::string bytes;
        SkinUI::ZipStatus expected;
    } cases[] = {
        {"local header outside the data", localOutside, SkinUI::kZipDamaged},
        {"packed size past the end", packedTooLong, SkinUI::kZipDamaged},
        {"wrong CRC", badCrc, SkinUI::kZipBadCrc},
        {"recorded size smaller than the data", wrongSize, SkinUI::kZipDamaged},
    };
    for (const Case& c : cases) {
        GuardedBuffer buffer(c.bytes);
        CSkinZip zip;
        ASSERT_TRUE(zip.OpenMemory(buffer.data(), buffer.size())) << c.what;
        std::vector<BYTE> out(zip.ItemSize(0) + 1);
        EXPECT_EQ(c.expected, zip.Unpack(0, out.data(), zip.ItemSize(0))) << c.what;
    }
    GuardedBuffer buffer(brokenData);
    CSkinZip zip;
    ASSERT_TRUE(zip.OpenMemory(buffer.data(), buffer.size()));
    std::vector<BYTE> out(zip.ItemSize(0));
    EXPECT_NE(SkinUI::kZipOk, zip.Unpack(0, out.data(), zip.ItemSize(0)));
    EXPECT_EQ(SkinUI::kZipBadBuffer, zip.Unpack(1, out.data(), 5));
    EXPECT_EQ(SkinUI::kZipNoItem, zip.Unpack(7, out.data(), 0));
}

TEST(SkinZip, EveryTruncationAndEveryDirectoryByteIsSurvived) {
    uitest::ZipBuilder builder;
    builder.Add("InstallPackages.xml", std::string(700, '<'));
    builder.Add("x.png", "stored", false);
    builder.Add("empty.png", "");
    std::string good = builder.Build();
    for (size_t length = 0; length < good.size(); ++length) ReadEverything(good.substr(0, length));
    size_t directory = FirstDirectoryRecord(good);
    for (size_t at = directory; at < good.size(); ++at) {
        for (char value : {'\x00', '\x7F', '\xFF'}) {
            std::string mutated = good;
            mutated[at] = value;
            ReadEverything(mutated);
        }
    }
}

// ---- Skin files through the skin source ----

class SkinFileTest : public ::testing::Test {
protected:
    void TearDown() override { uitest::UseFolder(L""); }

    std::string Read(const wchar_t* name, const wchar_t** error) {
        std::vector<BYTE> bytes;
        if (!CSkinResources::ReadSkinFile(name, bytes, error)) return "<failed>";
        return std::string(bytes.begin(), bytes.end());
    }
    // What reading `name` reports: the failure text, or "" when it worked.
    std::wstring Failure(const wchar_t* name) {
        const wchar_t* error = L"unset";
        Read(name, &error);
        return error ? error : L"";
    }

    testsupport::TempFolder folder_;
};

TEST_F(SkinFileTest, FromAFolder) {
    const DWORD limit = CSkinResources::kMaxSkinFileBytes;
    testsupport::WriteFileBytes(folder_.File(L"ok.xml"), "<Window />");
    testsupport::WriteFileBytes(folder_.File(L"empty.xml"), "");
    testsupport::WriteFileBytes(folder_.File(L"limit.xml"), std::string(limit, 'x'));
    testsupport::WriteFileBytes(folder_.File(L"large.xml"), std::string(limit + 1, 'x'));
    uitest::UseFolder(folder_.path());
    struct Case {
        const wchar_t* name;
        const wchar_t* error;
    } cases[] = {
        {L"ok.xml", L""},
        {L"limit.xml", L""},
        {L"missing.xml", L"Error opening file"},
        {L"empty.xml", L"File is empty"},
        {L"large.xml", L"File too large"},
    };
    for (const Case& c : cases) EXPECT_EQ(c.error, Failure(c.name)) << c.name;
    const wchar_t* error = nullptr;
    EXPECT_EQ("<Window />", Read(L"ok.xml", &error));
}

TEST_F(SkinFileTest, FromAnArchiveFileOrMemory) {
    const DWORD limit = CSkinResources::kMaxSkinFileBytes;
    uitest::ZipBuilder builder;
    builder.Add("MessageBox.xml", "<Window size=\"280,115\" />");
    builder.Add("Empty.xml", "");
    builder.Add("limit.xml", std::string(limit, ' '));
    builder.Add("large.xml", std::string(limit + 1, ' '));
    std::string archive = builder.Build();
    std::string brokenArchive = archive;
    const size_t dataStart = 30 + strlen("MessageBox.xml");  // after the first local header
    brokenArchive[dataStart + 2] = '\x01';
    brokenArchive[dataStart + 3] = '\x02';
    testsupport::WriteFileBytes(folder_.File(L"skin.zip"), archive);
    testsupport::WriteFileBytes(folder_.File(L"bad.zip"), "not an archive");

    struct Case {
        const wchar_t* name;
        const wchar_t* error;
    } cases[] = {
        {L"MESSAGEBOX.XML", L""},             {L"limit.xml", L""},
        {L"Empty.xml", L"File is empty"},     {L"large.xml", L"File too large"},
        {L"nothing.xml", L"Could not find ziped file"},
    };
    uitest::UseFolder(folder_.path());
    ASSERT_TRUE(CSkinResources::SetResourceZipFile(L"skin.zip"));
    for (int pass = 0; pass < 2; ++pass) {
        if (pass == 1) {
            ASSERT_TRUE(CSkinResources::SetResourceZipMemory(archive.data(), static_cast<DWORD>(archive.size())));
            EXPECT_EQ(std::wstring(L"membuffer"), CSkinResources::ResourceZipName().Data());
        }
        for (const Case& c : cases) EXPECT_EQ(c.error, Failure(c.name)) << c.name;
    }
    ASSERT_TRUE(CSkinResources::SetResourceZipMemory(brokenArchive.data(), static_cast<DWORD>(brokenArchive.size())));
    EXPECT_EQ(L"Could not unzip file", Failure(L"MessageBox.xml"));

    std::string truncated = archive.substr(0, archive.size() - 30);
    EXPECT_FALSE(CSkinResources::SetResourceZipMemory(truncated.data(), static_cast<DWORD>(truncated.size())));
    EXPECT_EQ(L"Error opening zip file", Failure(L"MessageBox.xml"));

    EXPECT_FALSE(CSkinResources::SetResourceZipFile(L"bad.zip"));
    EXPECT_EQ(L"Error opening zip file", Failure(L"MessageBox.xml"));
}

TEST_F(SkinFileTest, AnotherMemoryArchiveReplacesTheOpenOne) {
    uitest::ZipBuilder first, second;
    first.Add("a.xml", "first");
    second.Add("a.xml", "second");
    std::string one = first.Build(), two = second.Build();
    const wchar_t* error = nullptr;
    ASSERT_TRUE(CSkinResources::SetResourceZipMemory(one.data(), static_cast<DWORD>(one.size())));
    EXPECT_EQ("first", Read(L"a.xml", &error));
    ASSERT_TRUE(CSkinResources::SetResourceZipMemory(one.data(), static_cast<DWORD>(one.size())));
    EXPECT_EQ("first", Read(L"a.xml", &error));
    // A different buffer is opened, so the old one may be released safely.
    ASSERT_TRUE(CSkinResources::SetResourceZipMemory(two.data(), static_cast<DWORD>(two.size())));
    EXPECT_EQ("second", Read(L"a.xml", &error));
}

}  // namespace
