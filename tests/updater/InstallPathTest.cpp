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
#include "Runtime/StringUtils.h"
#include "TestSupport.h"
#include "UpdateTestSupport.h"
#include "Updater/Updater.h"

using namespace httptest;
using namespace updatetest;

namespace {

constexpr DWORD kOutcomeTimeoutMs = 90000;

bool Exists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Stands in for the main window: records how the install steps end (their
// WM_CLOSE or WM_PACKAGE_DAMAGED) and swallows the install timer.
class StepsWindow {
public:
    StepsWindow() {
        static const ATOM windowClass = [] {
            WNDCLASSW wc = {};
            wc.lpfnWndProc = Procedure;
            wc.hInstance = GetModuleHandleW(nullptr);
            wc.lpszClassName = L"InstallPathTestWindow";
            return RegisterClassW(&wc);
        }();
        hwnd_ = CreateWindowExW(0, MAKEINTATOM(windowClass), L"", WS_OVERLAPPED, 0, 0, 10, 10,
                                nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
        SetWindowLongPtrW(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    ~StepsWindow() { DestroyWindow(hwnd_); }
    StepsWindow(const StepsWindow&) = delete;
    StepsWindow& operator=(const StepsWindow&) = delete;

    HWND hwnd() const { return hwnd_; }
    UINT outcome() const { return outcome_; }

private:
    static LRESULT CALLBACK Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
        auto* self = reinterpret_cast<StepsWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        if (self && (message == WM_CLOSE || message == WM_PACKAGE_DAMAGED)) {
            if (!self->outcome_) self->outcome_ = message;
            return 0;
        }
        if (message == WM_TIMER && wParam == kInstallTimerId) return 0;
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }

    HWND hwnd_ = nullptr;
    UINT outcome_ = 0;
};

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
        if (Exists(LauncherRecord())) {
            testsupport::PumpMessagesUntil(
                [&] { return DeleteFileW(LauncherPath().c_str()) != FALSE; }, 10000);
        }
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

    // Runs the module and then the install steps, playing the install timer:
    // it holds at 0 while the package runs and jumps to its end once the
    // package has exited. Returns how the steps ended.
    UINT Install(const std::wstring& descriptionUrl) {
        SetDescriptionUrls(descriptionUrl, FaultUrl(token, L"status/404"));
        module = std::make_unique<CUpdateModule>(packageFolder, &listener);
        EXPECT_TRUE(module->Start());
        testsupport::PumpMessagesUntil(
            [&] {
                if (steps.installerExited) steps.installTicks = kInstallTicksDone;
                return window.outcome() != 0;
            },
            kOutcomeTimeoutMs);
        return window.outcome();
    }

    // A stand-in's record; it is never empty, and may be held for a moment
    // by the rename that put it in place.
    std::wstring ReadRecord(const std::wstring& path) {
        std::string bytes;
        testsupport::PumpMessagesUntil(
            [&] { return !(bytes = testsupport::ReadFileBytes(path)).empty(); }, 30000);
        return Utf8ToWide(bytes);
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
    EXPECT_EQ(c.packageLeft, Exists(PackagePath()));
    EXPECT_FALSE(Exists(packageFolder + L"\\kzinstall.ini"));
    EXPECT_FALSE(Exists(packageFolder + L"\\kzinstaller_1.0.3.tmp"));
}

INSTANTIATE_TEST_SUITE_P(Cases, InstallPath,
                         testing::Values(PathCase{"Downloaded", false, false},
                                         PathCase{"BesideTheInstaller", true, true}),
                         [](const testing::TestParamInfo<PathCase>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
