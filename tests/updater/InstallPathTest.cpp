// The whole install path: the update module fetches the description and
// the package stand-in from nginx, then the install steps check its digest,
// run it, start the launcher stand-in and clean up. A small listener drives
// the steps the way the main window does. Runs under with_http_servers.py.
#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <ostream>
#include <string>

#include "HttpTestSupport.h"
#include "InstallSteps.h"
#include "InstallTestSupport.h"
#include "Runtime/StringUtils.h"
#include "TestSupport.h"
#include "UpdateTestSupport.h"
#include "Updater/Updater.h"

using namespace httptest;
using namespace updatetest;
using installtest::PlayInstallTimer;
using installtest::ReadRecord;
using installtest::StepsWindow;
using testsupport::PathExists;

namespace {

constexpr DWORD kOutcomeTimeoutMs = 90000;

// Hands the digest and version on to the install steps and starts them
// once the package is in place, as the main window does.
class InstallingListener : public RecordingListener {
public:
    explicit InstallingListener(CInstallSteps& steps) : steps_(steps) {}

    void OnUpdateInfo(int errType, int code, const std::wstring& version,
                      const std::wstring& md5) override {
        RecordingListener::OnUpdateInfo(errType, code, version, md5);
        steps_.packageVersion = version;
        steps_.packageMd5 = md5;
    }
    void OnDownloadFinished(int errType, int code, const std::wstring& text) override {
        RecordingListener::OnDownloadFinished(errType, code, text);
        if (errType == 0 && code == 0) steps_.StartInstall();
    }

private:
    CInstallSteps& steps_;
};

struct PathCase {
    const char* name;
    bool sideBySide;  // the package folder is the installer's own
    bool packageLeft;
};

std::ostream& operator<<(std::ostream& out, const PathCase& c) { return out << c.name; }

class InstallPath : public testing::TestWithParam<PathCase> {
protected:
    void SetUp() override {
        steps.SetWindow(window.hwnd());
        steps.packageFolder = packageFolder;
        steps.installFolder = installFolder;
    }

    void TearDown() override {
        module.reset();
        KillTimer(window.hwnd(), kInstallTimerId);
        SetEnvironmentVariableW(L"INSTALLER_UPDATE_URLS", nullptr);
        // A launcher still running keeps its file; give it time to end so
        // the folder can go.
        if (PathExists(LauncherRecord())) testsupport::DeleteFileWhenFree(LauncherPath(), 10000);
    }

    // Serves the package stand-in and a description of it; returns the
    // description's URL.
    std::wstring ServePackage() {
        const std::string package =
            testsupport::ReadFileBytes(testsupport::ProgramFolder() + L"\\kzinstaller.exe");
        EXPECT_FALSE(package.empty());
        const std::wstring packageName = token + L"-kzinstaller.exe";
        Serve(packageName, package);
        const std::wstring descriptionName = token + L"-kzinstall.txt";
        Serve(descriptionName, Description(NginxUrl(packageName), L"",
                                           FormatString(L"%u", unsigned(package.size())),
                                           Md5Of(package), L"1.0.3"));
        return NginxUrl(descriptionName);
    }

    // Runs the module and then the install steps, playing the install
    // timer. Returns how the steps ended.
    UINT Install(const std::wstring& descriptionUrl) {
        SetDescriptionUrls(descriptionUrl, FaultUrl(token, L"status/404"));
        module = std::make_unique<CUpdateModule>(packageFolder, &listener);
        EXPECT_TRUE(module->Start());
        return PlayInstallTimer(steps, window, kOutcomeTimeoutMs);
    }

    std::wstring PackagePath() const { return packageFolder + L"\\kzinstaller.exe"; }
    std::wstring LauncherPath() const { return installFolder + L"\\VelmoraLauncher.exe"; }
    std::wstring LauncherRecord() const { return installFolder + L"\\VelmoraLauncher.cmdline.txt"; }
    std::wstring PackageRecord() const { return installFolder + L"\\kzinstaller.cmdline.txt"; }

    testsupport::TempFolder temp;
    const std::wstring packageFolder = temp.File(L"package");
    const std::wstring installFolder = temp.File(L"install folder");
    const std::wstring token = UniqueToken();
    StepsWindow window;
    CInstallSteps steps;
    InstallingListener listener{steps};
    std::unique_ptr<CUpdateModule> module;
};

TEST_P(InstallPath, DownloadsVerifiesRunsLaunchesAndCleansUp) {
    const PathCase& c = GetParam();
    steps.sideBySide = c.sideBySide;
    ASSERT_EQ(static_cast<UINT>(WM_CLOSE), Install(ServePackage()))
        << "the digest from the description matches the downloaded package";

    ASSERT_EQ(1, listener.Count(RecordingListener::kUpdateInfo));
    EXPECT_EQ(0, listener.Last(RecordingListener::kUpdateInfo).errType);
    EXPECT_EQ(L"1.0.3", steps.packageVersion);
    EXPECT_EQ(32u, steps.packageMd5.size());
    EXPECT_EQ(0, listener.Last(RecordingListener::kFinished).errType);
    EXPECT_EQ(PackagePath(), steps.packagePath);

    EXPECT_EQ(PackagePath() + L" /S \"/unpack=" + installFolder + L"\" /launch=off",
              ReadRecord(PackageRecord()));
    EXPECT_EQ(LauncherPath() + L" -i \"2\" -d", ReadRecord(LauncherRecord()))
        << "no channel given: the default channel 2";
    EXPECT_EQ(c.packageLeft, PathExists(PackagePath()));
    EXPECT_FALSE(PathExists(packageFolder + L"\\kzinstall.ini"));
    EXPECT_FALSE(PathExists(packageFolder + L"\\kzinstaller_1.0.3.tmp"));
}

INSTANTIATE_TEST_SUITE_P(Cases, InstallPath,
                         testing::Values(PathCase{"Downloaded", false, false},
                                         PathCase{"BesideTheInstaller", true, true}),
                         [](const testing::TestParamInfo<PathCase>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
