// The update module against real servers on loopback: descriptions and
// packages served by nginx, failures by the fault server. Runs under
// with_http_servers.py; the listener records what the module reports.
#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "CommonUtils.h"
#include "Http/HttpEngines.h"
#include "HttpTestSupport.h"
#include "Runtime/StringUtils.h"
#include "Runtime/WinHandle.h"
#include "TestSupport.h"
#include "UpdateTestSupport.h"
#include "Updater/Updater.h"

using namespace httptest;
using namespace updatetest;
using testsupport::PathExists;
using testsupport::Utf16LeBytes;

namespace {

constexpr DWORD kTimeoutMs = 30000;
using Kind = RecordingListener::Kind;
const std::string kSmall = DataBytes(L"small.bin");
const std::wstring kSmallMd5 = Md5Of(kSmall);

// The names in a folder, without "." and "..".
std::set<std::wstring> FolderEntries(const std::wstring& folder) {
    std::set<std::wstring> names;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L"..") names.insert(name);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return names;
}

// The Range field of nginx's log line ("URI RANGE STATUS").
std::string RangeOf(const std::string& logLine) {
    std::istringstream fields(logLine);
    std::string uri, range;
    fields >> uri >> range;
    return range;
}

class UpdateModule : public testing::Test {
protected:
    void TearDown() override {
        module.reset();
        SetEnvironmentVariableW(L"INSTALLER_UPDATE_URLS", nullptr);
    }

    // Serves `body` under a name of this test and returns its nginx URL.
    std::wstring ServeDescription(const std::string& body, const std::wstring& tag = L"") {
        const std::wstring name = token + tag + L".txt";
        Serve(name, body);
        return NginxUrl(name);
    }

    // A new module (with a fresh listener) for these description URLs.
    void StartModule(const std::wstring& primary, const std::wstring& fallback) {
        module.reset();
        listener.events.clear();
        SetDescriptionUrls(primary, fallback);
        module = std::make_unique<CUpdateModule>(packageFolder, &listener);
        ASSERT_TRUE(module->Start());
    }

    // Starts a module whose primary URL serves a description of the small
    // package; the fallback would fail.
    void StartWithPackage(const std::wstring& packageUrl, const std::wstring& size,
                          const std::wstring& version, const std::wstring& tag = L"") {
        const std::string body = Description(packageUrl, L"", size, kSmallMd5, version);
        StartModule(ServeDescription(body, tag), FaultUrl(token, L"status/404"));
    }

    // The package on nginx, with a query that tells this test's requests apart.
    std::wstring PackageUri(const std::wstring& tag = L"") const {
        return L"/small.bin?t=" + token + tag;
    }
    std::wstring PackageUrl(const std::wstring& tag = L"") const {
        return NginxUrl(PackageUri(tag).substr(1));
    }
    std::vector<std::string> PackageRequests(const std::wstring& tag = L"") const {
        return NginxLog(WideToUtf8(PackageUri(tag)));
    }

    std::wstring PackagePath() const { return packageFolder + L"\\kzinstaller.exe"; }
    std::wstring TempPath(const wchar_t* name) const { return packageFolder + L"\\" + name; }
    std::wstring DescriptionPath() const { return packageFolder + L"\\kzinstall.ini"; }

    testsupport::TempFolder folder;
    const std::wstring packageFolder = folder.File(L"package");
    const std::wstring token = UniqueToken();
    RecordingListener listener;
    std::unique_ptr<CUpdateModule> module;
};

TEST_F(UpdateModule, FetchesTheDescriptionAndPutsThePackageInPlace) {
    const std::string body = Description(PackageUrl(), L"", L"1000", kSmallMd5, L"1.0.3");
    StartModule(ServeDescription(body), FaultUrl(token, L"status/404"));
    ASSERT_TRUE(listener.WaitFor(Kind::kFinished, kTimeoutMs));

    const auto& events = listener.events;
    ASSERT_GE(events.size(), 3u);
    EXPECT_EQ(Kind::kUpdateInfo, events.front().kind);
    EXPECT_EQ(0, events.front().errType);
    EXPECT_EQ(0, events.front().code);
    EXPECT_EQ(L"1.0.3", events.front().text);
    EXPECT_EQ(kSmallMd5, events.front().md5);
    for (size_t i = 1; i + 1 < events.size(); ++i) {
        EXPECT_EQ(Kind::kProgress, events[i].kind);
        EXPECT_EQ(1000, events[i].total);
    }
    const auto finished = events.back();
    EXPECT_EQ(Kind::kFinished, finished.kind);
    EXPECT_EQ(0, finished.errType);
    EXPECT_EQ(0, finished.code);
    EXPECT_EQ(L"", finished.text);

    EXPECT_EQ(PackagePath(), module->packagePath());
    EXPECT_EQ(TempPath(L"kzinstaller_1.0.3.tmp"), module->tempPath());
    EXPECT_EQ(kSmall, testsupport::ReadFileBytes(PackagePath()));
    EXPECT_FALSE(PathExists(module->tempPath()));
    EXPECT_EQ("\xFF\xFE" + Utf16LeBytes(Utf8ToWide(body)),
              testsupport::ReadFileBytes(DescriptionPath()));
    EXPECT_FALSE(module->downloading());
    EXPECT_TRUE(FaultLog(token).empty()) << "the fallback is not needed";
}

TEST_F(UpdateModule, FallbackIsFetchedAtOnceWhenThePrimaryFails) {
    struct Case {
        const char* name;
        const wchar_t* primary;
        size_t primaryAttempts;  // transport errors are retried by the command
    } cases[] = {
        {"HttpStatus", L"status/500", 1},
        {"NoAnswer", L"hangup", 3},
    };
    const std::string body = Description(PackageUrl(), L"", L"1000", kSmallMd5, L"2.0");
    const std::wstring descriptionName = token + L".txt";
    Serve(descriptionName, body);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::wstring caseToken = UniqueToken();
        StartModule(FaultUrl(caseToken, c.primary), FaultUrl(caseToken, L"plain/" + descriptionName));
        ASSERT_TRUE(listener.WaitFor(Kind::kFinished, kTimeoutMs));

        EXPECT_EQ(1, listener.Count(Kind::kUpdateInfo)) << "the primary's failure is not reported";
        EXPECT_EQ(0, listener.Last(Kind::kUpdateInfo).errType);
        EXPECT_EQ(L"2.0", listener.Last(Kind::kUpdateInfo).text);
        const auto log = FaultLog(caseToken);
        ASSERT_EQ(c.primaryAttempts + 1, log.size());
        EXPECT_EQ(WideToUtf8(L"plain/" + descriptionName), log.back().what);
        // No retry wait and no owner's timer between the two URLs.
        EXPECT_LT(log.back().ms - log[log.size() - 2].ms, 3000);
    }
}

TEST_F(UpdateModule, FailingFallbackReportsOnceWithItsPair) {
    struct Case {
        const char* name;
        const wchar_t* fallback;
        int errType, code;
        size_t fallbackAttempts;
    } cases[] = {
        {"HttpStatus", L"status/404", 4, 404, 1},
        {"NoAnswer", L"hangup", 5, 52, 3},  // CURLE_GOT_NOTHING after three attempts
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::wstring caseToken = UniqueToken();
        StartModule(FaultUrl(caseToken, L"status/500"), FaultUrl(caseToken, c.fallback));
        ASSERT_TRUE(listener.WaitFor(Kind::kUpdateInfo, kTimeoutMs));
        PumpFor(1500);
        ASSERT_EQ(1, listener.Count(Kind::kUpdateInfo));
        const auto info = listener.Last(Kind::kUpdateInfo);
        EXPECT_EQ(c.errType, info.errType);
        EXPECT_EQ(c.code, info.code);
        EXPECT_EQ(L"", info.text);
        EXPECT_EQ(L"", info.md5);
        EXPECT_EQ(1u, listener.events.size()) << "no download";
        auto log = FaultLog(caseToken);
        ASSERT_EQ(1 + c.fallbackAttempts, log.size());
        EXPECT_EQ("status/500", log.front().what);

        // The owner's retry starts again at the primary URL.
        module->RetryDescription();
        ASSERT_TRUE(testsupport::PumpMessagesUntil(
            [&] { return listener.Count(Kind::kUpdateInfo) == 2; }, kTimeoutMs));
        log = FaultLog(caseToken);
        ASSERT_EQ(2 * (1 + c.fallbackAttempts), log.size());
        EXPECT_EQ("status/500", log[1 + c.fallbackAttempts].what);
    }
}

TEST_F(UpdateModule, StoredDescriptionBeginsWithTheByteOrderMarkWhateverWasServed) {
    const std::string utf8 = Description(PackageUrl(), L"", L"1000", kSmallMd5, L"版本 1.0.3");
    const std::wstring text = Utf8ToWide(utf8);
    struct Case {
        const char* name;
        std::string body;
    } cases[] = {
        {"UTF-8", utf8},
        {"UTF-8 with its mark", "\xEF\xBB\xBF" + utf8},
        {"UTF-16LE with its mark", "\xFF\xFE" + Utf16LeBytes(text)},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StartModule(ServeDescription(c.body, FormatString(L"-%d", ++n)), FaultUrl(token, L"status/404"));
        ASSERT_TRUE(listener.WaitFor(Kind::kFinished, kTimeoutMs));
        EXPECT_EQ("\xFF\xFE" + Utf16LeBytes(text), testsupport::ReadFileBytes(DescriptionPath()));
        EXPECT_EQ(L"版本 1.0.3", listener.Last(Kind::kUpdateInfo).text);
        EXPECT_EQ(0, listener.Last(Kind::kFinished).errType);
    }
}

// The version is free text from the network: whatever it holds, the
// temporary file is a plain name in the package folder.
TEST_F(UpdateModule, TemporaryFileStaysInThePackageFolder) {
    struct Case {
        const wchar_t* version;
        const wchar_t* name;  // the exact name when it is fixed, else null
    } cases[] = {
        {L"1.0.3", L"kzinstaller_1.0.3.tmp"},
        {L"", L"kzinstaller_.tmp"},
        {L"..\\..\\evil", nullptr},
        {L"../../evil", nullptr},
        {L"C:\\Windows\\evil", nullptr},
        {L"\\\\server\\share\\evil", nullptr},
        {L"..", nullptr},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(WideToUtf8(c.version));
        const std::wstring tag = FormatString(L"-%d", ++n);
        if (c.name) {
            // A complete file under the exact name is taken as the download:
            // no request is made.
            ASSERT_TRUE(CreateDir(packageFolder));
            ASSERT_TRUE(testsupport::WriteFileBytes(TempPath(c.name), kSmall));
        }
        StartWithPackage(PackageUrl(tag), L"1000", c.version, tag);
        ASSERT_TRUE(listener.WaitFor(Kind::kFinished, kTimeoutMs));
        EXPECT_EQ(0, listener.Last(Kind::kFinished).errType);
        EXPECT_EQ(kSmall, testsupport::ReadFileBytes(PackagePath()));

        const std::wstring temp = module->tempPath();
        EXPECT_EQ(packageFolder, ParentFolder(temp));
        const std::wstring name = temp.substr(packageFolder.size() + 1);
        EXPECT_EQ(std::wstring::npos, name.find_first_of(L"\\/:")) << WideToUtf8(name);
        EXPECT_EQ(0u, name.rfind(L"kzinstaller_", 0));
        if (c.name) {
            EXPECT_EQ(c.name, name);
            EXPECT_TRUE(PackageRequests(tag).empty());
        } else {
            EXPECT_EQ(1u, PackageRequests(tag).size());
        }
        EXPECT_EQ((std::set<std::wstring>{L"package"}), FolderEntries(folder.path()));
        EXPECT_EQ((std::set<std::wstring>{L"kzinstaller.exe", L"kzinstall.ini"}),
                  FolderEntries(packageFolder));
    }
}

// "Size" is read with the decimal conversion's rules; no number means the
// size is not known, so a partial file is started over without a length check.
TEST_F(UpdateModule, SizeThatIsNotANumberDownloadsWithoutAnExpectedSize) {
    struct Case {
        const wchar_t* size;
        const char* range;  // as nginx logged it
        int errType, code;
    } cases[] = {
        {L"1000", "bytes=100-", 0, 0},
        {L"abc", "-", 0, 0},
        {L"", "-", 0, 0},
        {L"12abc", "-", 3, 2007},  // 12: the announced length differs
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(WideToUtf8(c.size));
        const std::wstring tag = FormatString(L"-%d", ++n);
        ASSERT_TRUE(CreateDir(packageFolder));
        ASSERT_TRUE(testsupport::WriteFileBytes(TempPath(L"kzinstaller_1.tmp"), kSmall.substr(0, 100)));
        StartWithPackage(PackageUrl(tag), c.size, L"1", tag);
        ASSERT_TRUE(listener.WaitFor(Kind::kFinished, kTimeoutMs));
        EXPECT_EQ(c.errType, listener.Last(Kind::kFinished).errType);
        EXPECT_EQ(c.code, listener.Last(Kind::kFinished).code);
        const auto requests = PackageRequests(tag);
        ASSERT_EQ(1u, requests.size());
        EXPECT_EQ(c.range, RangeOf(requests.front()));
        if (c.errType == 0) {
            EXPECT_EQ(kSmall, testsupport::ReadFileBytes(PackagePath()));
        }
        DeleteFileW(TempPath(L"kzinstaller_1.tmp").c_str());
    }
}

// An old package that cannot be deleted: the new one cannot take its place.
// The downloaded file stays, so the next attempt needs no new download.
TEST_F(UpdateModule, PackageThatCannotBeDeletedKeepsTheTemporaryFile) {
    struct Case {
        const char* name;
        bool holdOpen;  // else read-only
    } cases[] = {{"HeldOpenWithoutDeleteSharing", true}, {"ReadOnly", false}};
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::wstring tag = FormatString(L"-%d", ++n);
        ASSERT_TRUE(CreateDir(packageFolder));
        ASSERT_TRUE(testsupport::WriteFileBytes(PackagePath(), "old package"));
        Runtime::UniqueFileHandle holder;
        if (c.holdOpen) {
            holder.reset(CreateFileW(PackagePath().c_str(), GENERIC_READ,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
            ASSERT_TRUE(holder.valid());
        } else {
            ASSERT_TRUE(SetFileAttributesW(PackagePath().c_str(), FILE_ATTRIBUTE_READONLY));
        }

        StartWithPackage(PackageUrl(tag), L"1000", L"7", tag);
        ASSERT_TRUE(listener.WaitFor(Kind::kFinished, kTimeoutMs));
        const auto finished = listener.Last(Kind::kFinished);
        EXPECT_EQ(3, finished.errType);
        EXPECT_EQ(-1, finished.code);
        EXPECT_EQ(L"", finished.text);
        EXPECT_EQ(kSmall, testsupport::ReadFileBytes(TempPath(L"kzinstaller_7.tmp")));
        EXPECT_EQ("old package", testsupport::ReadFileBytes(PackagePath()));

        // Once the old package can go, the owner's retry puts the kept file
        // in place without downloading it again.
        holder.reset();
        SetFileAttributesW(PackagePath().c_str(), FILE_ATTRIBUTE_NORMAL);
        listener.events.clear();
        module->RetryDescription();
        ASSERT_TRUE(listener.WaitFor(Kind::kFinished, kTimeoutMs));
        EXPECT_EQ(0, listener.Last(Kind::kFinished).errType);
        EXPECT_EQ(0, listener.Last(Kind::kFinished).code);
        EXPECT_EQ(kSmall, testsupport::ReadFileBytes(PackagePath()));
        EXPECT_FALSE(PathExists(TempPath(L"kzinstaller_7.tmp")));
        EXPECT_EQ(1u, PackageRequests(tag).size());
    }
}

TEST_F(UpdateModule, FailedDownloadRemovesAnEmptyTemporaryFileAndKeepsAPartialOne) {
    struct Case {
        const char* name;
        size_t partialBytes;  // 0: no file before the download
    } cases[] = {{"NothingBefore", 0}, {"PartialBefore", 100}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::wstring temp = TempPath(L"kzinstaller_3.tmp");
        if (c.partialBytes) {
            ASSERT_TRUE(CreateDir(packageFolder));
            ASSERT_TRUE(testsupport::WriteFileBytes(temp, kSmall.substr(0, c.partialBytes)));
        }
        StartWithPackage(FaultUrl(UniqueToken(), L"status/404"), L"1000", L"3");
        ASSERT_TRUE(listener.WaitFor(Kind::kFinished, kTimeoutMs));
        const auto finished = listener.Last(Kind::kFinished);
        EXPECT_EQ(4, finished.errType);
        EXPECT_EQ(404, finished.code);
        EXPECT_EQ(L"安装失败", finished.text);
        EXPECT_EQ(c.partialBytes != 0, PathExists(temp));
        EXPECT_EQ(kSmall.substr(0, c.partialBytes), testsupport::ReadFileBytes(temp));
        EXPECT_FALSE(PathExists(PackagePath()));
    }
}

TEST_F(UpdateModule, ProgressAfterTheDownloadIsIgnored) {
    StartWithPackage(PackageUrl(), L"1000", L"1.0.3");
    ASSERT_TRUE(listener.WaitFor(Kind::kFinished, kTimeoutMs));
    const size_t before = listener.events.size();
    CUpdateModule::ProgressCallback(module->helperWindow(), 1000, 1000, 5);
    PumpFor(500);
    EXPECT_EQ(before, listener.events.size());
}

TEST_F(UpdateModule, StoppedModuleReportsNothingMore) {
    StartWithPackage(FaultUrl(token, L"drip/100/small.bin"), L"1000", L"1.0.3");
    ASSERT_TRUE(listener.WaitFor(Kind::kUpdateInfo, kTimeoutMs));
    ASSERT_TRUE(module->downloading());
    module->Stop();
    const int progressAtStop = listener.Count(Kind::kProgress);
    EXPECT_FALSE(module->downloading());
    EXPECT_EQ(nullptr, module->helperWindow());
    PumpFor(2000);
    EXPECT_EQ(0, listener.Count(Kind::kFinished));
    EXPECT_EQ(progressAtStop, listener.Count(Kind::kProgress));
}

TEST_F(UpdateModule, HelperWindowClassGrowsPerModuleAndGoesWithIt) {
    SetDescriptionUrls(FaultUrl(token, L"stall"), FaultUrl(token, L"stall"));
    const std::wstring prefix = L"_UPDATE_MODULE_HELPER_WINDOW_VELMORA";
    const auto suffix = [&](const CUpdateModule& m) {
        const std::wstring& name = m.helperClassName();
        EXPECT_EQ(0u, name.rfind(prefix, 0)) << WideToUtf8(name);
        return _wtoi(name.c_str() + prefix.size());
    };
    const auto registered = [](const std::wstring& name) {
        WNDCLASSW info;
        return GetClassInfoW(GetModuleHandleW(nullptr), name.c_str(), &info) != FALSE;
    };

    CUpdateModule first(folder.File(L"a"), &listener);
    CUpdateModule second(folder.File(L"b"), &listener);
    EXPECT_EQ(nullptr, first.helperWindow());
    ASSERT_TRUE(first.Start());
    ASSERT_TRUE(second.Start());
    EXPECT_GE(suffix(first), 1);
    EXPECT_EQ(suffix(first) + 1, suffix(second));
    EXPECT_EQ(first.helperWindow(),
              FindWindowExW(HWND_MESSAGE, nullptr, first.helperClassName().c_str(), nullptr));
    // Reserved messages and timers are answered and otherwise ignored.
    EXPECT_EQ(0, SendMessageW(first.helperWindow(), UM_RESERVED_FIRST, 1, 2));
    EXPECT_EQ(0, SendMessageW(first.helperWindow(), UM_RESERVED_LAST, 1, 2));
    EXPECT_EQ(0, SendMessageW(first.helperWindow(), WM_TIMER, 1, 0));

    const std::wstring firstClass = first.helperClassName();
    first.Stop();
    EXPECT_EQ(nullptr, first.helperWindow());
    EXPECT_FALSE(registered(firstClass));
    EXPECT_TRUE(registered(second.helperClassName()));

    // The count is never reset: a module after a stopped one moves on.
    CUpdateModule third(folder.File(L"c"), &listener);
    ASSERT_TRUE(third.Start());
    EXPECT_EQ(suffix(second) + 1, suffix(third));
    EXPECT_TRUE(listener.events.empty());
}

TEST_F(UpdateModule, TakesTheDescriptionUrlsFromTheOverride) {
    SetDescriptionUrls(L"http://127.0.0.1:1/a.txt", L"http://127.0.0.1:2/b.txt");
    CUpdateModule m(packageFolder, &listener);
    EXPECT_EQ((std::vector<std::wstring>{L"http://127.0.0.1:1/a.txt", L"http://127.0.0.1:2/b.txt"}),
              m.descriptionUrls());
}

TEST_F(UpdateModule, StartFailsWhenThePackageFolderCannotBeCreated) {
    ASSERT_TRUE(testsupport::WriteFileBytes(folder.File(L"blocker"), "a file"));
    SetDescriptionUrls(FaultUrl(token, L"status/404"), FaultUrl(token, L"status/404"));
    CUpdateModule m(folder.File(L"blocker\\package"), &listener);
    EXPECT_FALSE(m.Start());
    PumpFor(500);
    EXPECT_TRUE(FaultLog(token).empty()) << "nothing is fetched";
    EXPECT_TRUE(listener.events.empty());
}

// A description that cannot be written is not read back from an earlier
// file (or none): the stage fails like a local file that cannot be opened.
TEST_F(UpdateModule, DescriptionThatCannotBeStoredFailsTheStage) {
    ASSERT_TRUE(CreateDir(DescriptionPath()));  // a folder where the file belongs
    StartWithPackage(PackageUrl(), L"1000", L"1.0.3");
    ASSERT_TRUE(listener.WaitFor(Kind::kUpdateInfo, kTimeoutMs));
    PumpFor(1000);
    ASSERT_EQ(1u, listener.events.size());
    EXPECT_EQ(1, listener.Last(Kind::kUpdateInfo).errType);
    EXPECT_EQ(2020, listener.Last(Kind::kUpdateInfo).code);
    EXPECT_EQ(L"", listener.Last(Kind::kUpdateInfo).text);
    EXPECT_FALSE(module->downloading());
    EXPECT_TRUE(PackageRequests().empty());
}

// Without a download engine nothing would ever report the download: the
// module reports it as a package that cannot be put in place.
TEST_F(UpdateModule, DownloadThatCannotStartIsReported) {
    UninitDownloadEngine();
    StartWithPackage(PackageUrl(), L"1000", L"1.0.3");
    const bool finished = listener.WaitFor(Kind::kFinished, kTimeoutMs);
    module.reset();
    InitDownloadEngine();
    ASSERT_TRUE(finished);
    ASSERT_EQ(2u, listener.events.size());
    EXPECT_EQ(Kind::kUpdateInfo, listener.events[0].kind);
    EXPECT_EQ(0, listener.events[0].errType);
    EXPECT_EQ(3, listener.events[1].errType);
    EXPECT_EQ(-1, listener.events[1].code);
    EXPECT_TRUE(PackageRequests().empty());
}

}  // namespace
