#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "CommonUtils.h"
#include "Runtime/StringUtils.h"
#include "TestSupport.h"
#include "Updater/UpdateDescription.h"

namespace {

namespace ud = UpdateDescription;
using testsupport::Utf16LeBytes;

const char kDescription[] =
    "[Install]\r\n"
    "Url=http://127.0.0.1:8080/kzinstaller.exe\r\n"
    "murl=http://127.0.0.2:8080/kzinstaller.exe;http://127.0.0.3:8080/kzinstaller.exe\r\n"
    "Size=1234567\r\n"
    "Md5=0123456789ABCDEF0123456789abcdef\r\n"
    "Version=1.0.3\r\n";

std::string Utf16Be(const std::wstring& text) {
    std::string bytes;
    for (wchar_t c : text) {
        bytes += static_cast<char>(c >> 8);
        bytes += static_cast<char>(c & 0xff);
    }
    return bytes;
}

class DescriptionFile : public testing::Test {
protected:
    // Stores a served body the way the update module does and reads it back.
    ud::Values StoreAndRead(const std::string& body) {
        EXPECT_TRUE(ud::Store(path, ud::TextFromBody(body)));
        return ud::Read(path);
    }

    testsupport::TempFolder folder;
    const std::wstring path = ud::FilePath(folder.path());
};

TEST_F(DescriptionFile, LivesInThePackageFolder) {
    EXPECT_EQ(folder.path() + L"\\kzinstall.ini", path);
}

TEST_F(DescriptionFile, StoresUtf16WithOneByteOrderMarkWhateverWasServed) {
    const std::wstring text = Utf8ToWide(kDescription);
    struct Case {
        const char* name;
        std::string body;
    } cases[] = {
        {"UTF-8", kDescription},
        {"UTF-8 with BOM", std::string("\xEF\xBB\xBF") + kDescription},
        {"UTF-16LE with BOM", "\xFF\xFE" + Utf16LeBytes(text)},
        {"UTF-16BE with BOM", "\xFE\xFF" + Utf16Be(text)},
    };
    for (const Case& c : cases) {
        const ud::Values values = StoreAndRead(c.body);
        EXPECT_EQ("\xFF\xFE" + Utf16LeBytes(text), testsupport::ReadFileBytes(path)) << c.name;
        EXPECT_EQ(L"http://127.0.0.1:8080/kzinstaller.exe", values.url) << c.name;
        EXPECT_EQ(L"1.0.3", values.version) << c.name;
    }
}

TEST_F(DescriptionFile, EmptyAndOversizedBodiesStoreOnlyTheMark) {
    for (const std::string& body : {std::string(), std::string(ud::kMaxBodyBytes + 1, 'x')}) {
        const ud::Values values = StoreAndRead(body);
        EXPECT_EQ("\xFF\xFE", testsupport::ReadFileBytes(path));
        EXPECT_EQ(L"", values.url);
    }
}

TEST_F(DescriptionFile, ReadsTheFiveValues) {
    const ud::Values values = StoreAndRead(kDescription);
    EXPECT_EQ(L"http://127.0.0.1:8080/kzinstaller.exe", values.url);
    EXPECT_EQ(L"http://127.0.0.2:8080/kzinstaller.exe;http://127.0.0.3:8080/kzinstaller.exe",
              values.mirrorUrls);
    EXPECT_EQ(L"1234567", values.size);
    EXPECT_EQ(L"0123456789ABCDEF0123456789abcdef", values.md5);
    EXPECT_EQ(L"1.0.3", values.version);
}

TEST_F(DescriptionFile, FindsNamesInAnyLetterCaseAndAppliesTheProfileRules) {
    const ud::Values values = StoreAndRead(
        "[other]\nUrl=http://wrong/\n"
        "[INSTALL]\n"
        "URL =   http://127.0.0.1/p.exe   \n"
        "MURL=\"http://127.0.0.2/p.exe\"\n"
        "size=42\n"
        "md5=abc\n"
        "vErSiOn=版本 2\n");
    EXPECT_EQ(L"http://127.0.0.1/p.exe", values.url);
    EXPECT_EQ(L"http://127.0.0.2/p.exe", values.mirrorUrls);
    EXPECT_EQ(L"42", values.size);
    EXPECT_EQ(L"abc", values.md5);
    EXPECT_EQ(L"版本 2", values.version);
}

TEST_F(DescriptionFile, WithoutTheSectionAllValuesAreEmpty) {
    const ud::Values values = StoreAndRead("[Setup]\nUrl=http://127.0.0.1/p.exe\nSize=7\n");
    EXPECT_EQ(L"", values.url);
    EXPECT_EQ(L"", values.mirrorUrls);
    EXPECT_EQ(L"", values.size);
    EXPECT_EQ(L"", values.md5);
    EXPECT_EQ(L"", values.version);
}

TEST_F(DescriptionFile, ANewDescriptionReplacesTheOldOneWhole) {
    StoreAndRead(kDescription);
    const ud::Values values = StoreAndRead("[Install]\nUrl=http://127.0.0.9/new.exe\n");
    EXPECT_EQ(L"http://127.0.0.9/new.exe", values.url);
    EXPECT_EQ(L"", values.md5);
}

TEST_F(DescriptionFile, LongValuesAreCut) {
    const std::string longUrl = "http://127.0.0.1/" + std::string(3000, 'a');
    const ud::Values values = StoreAndRead("[Install]\nUrl=" + longUrl + "\n");
    EXPECT_EQ(2047u, values.url.size());
}

TEST_F(DescriptionFile, AFileThatCannotBeWrittenIsReported) {
    // A folder in the file's place cannot be opened for writing.
    ASSERT_TRUE(CreateDirectoryW(path.c_str(), nullptr));
    EXPECT_FALSE(ud::Store(path, L"[Install]\nUrl=x\n"));
    EXPECT_EQ(L"", ud::Read(path).url);
    EXPECT_FALSE(ud::Store(std::wstring(2048, L'x'), L"[Install]\n"));
}

TEST(DescriptionSize, FollowsTheDecimalConversionRules) {
    struct Case {
        const wchar_t* text;
        int64_t size;
    } cases[] = {
        {L"", 0},
        {L"12abc", 12},
        {L"-5", -5},
        {L"abc", 0},
        {L"  42", 42},
        {L"+7", 7},
        {L"1234567", 1234567},
        {L"8589934592", 8589934592LL},
        {L"9223372036854775807", INT64_MAX},
    };
    for (const Case& c : cases) EXPECT_EQ(c.size, ud::ParseSize(c.text)) << c.text;
}

TEST(DescriptionVersion, KeepsSafeCharactersAndReplacesTheRest) {
    struct Case {
        const wchar_t* version;
        const wchar_t* fileNamePart;
    } cases[] = {
        {L"1.0.3", L"1.0.3"},
        {L"", L""},
        {L"2.0 beta-1 (测试)", L"2.0 beta-1 (测试)"},
        {L"..", L".."},
        {L"..\\..\\Windows\\evil", L".._.._Windows_evil"},
        {L"../../x", L".._.._x"},
        {L"C:\\x", L"C__x"},
        {L"a:stream", L"a_stream"},
        {L"a*b?c\"d<e>f|g", L"a_b_c_d_e_f_g"},
        {L"tab\there", L"tab_here"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.fileNamePart, ud::VersionForFileName(c.version)) << c.version;
    }
}

// The temporary download file stays a file directly in the package folder
// whatever the version says.
TEST(DescriptionVersion, TemporaryFileStaysInThePackageFolder) {
    const std::wstring packageFolder = L"C:\\Games\\Velmora";
    const std::wstring packagePath = packageFolder + L"\\kzinstaller.exe";
    struct Case {
        const wchar_t* version;
        const wchar_t* tempPath;
    } cases[] = {
        {L"1.0.3", L"C:\\Games\\Velmora\\kzinstaller_1.0.3.tmp"},
        {L"", L"C:\\Games\\Velmora\\kzinstaller_.tmp"},
        {L"..\\..\\..\\Windows\\System32\\x", nullptr},
        {L"/../../x", nullptr},
        {L"D:\\x", nullptr},
        {L"..", nullptr},
    };
    for (const Case& c : cases) {
        const std::wstring tempPath = ud::TemporaryPackagePath(packagePath, c.version);
        if (c.tempPath) {
            EXPECT_EQ(c.tempPath, tempPath);
        }
        wchar_t full[MAX_PATH];
        ASSERT_NE(0u, GetFullPathNameW(tempPath.c_str(), MAX_PATH, full, nullptr));
        EXPECT_EQ(packageFolder, ParentFolder(full)) << c.version;
    }
}

}  // namespace
