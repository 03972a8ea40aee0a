#include <gtest/gtest.h>

#include <windows.h>

#include <cwctype>
#include <ostream>
#include <string>

#include "InstallSteps.h"
#include "InstallTestSupport.h"
#include "Runtime/StringUtils.h"
#include "TestSupport.h"
#include "Updater/MD5.h"

using installtest::PlayInstallTimer;
using installtest::ReadRecord;
using installtest::StepsWindow;
using testsupport::PathExists;

namespace {

constexpr DWORD kOutcomeTimeoutMs = 60000;

std::wstring BuiltProgram(const wchar_t* name) {
    return testsupport::ProgramFolder() + L"\\" + name;
}

std::string FileDigest(const std::wstring& path) {
    FILE* file = _wfopen(path.c_str(), L"rb");
    if (!file) return std::string();
    MD5 digest(file);
    return digest.hex_digest();
}

// One installation in a folder of its own: the package folder holds the
// package stand-in and a description, the install folder does not exist
// yet (its name has a blank, as user-chosen folders often do).
class Installation : public testing::Test {
protected:
    void SetUp() override {
        packageFolder = temp.File(L"package");
        installFolder = temp.File(L"install folder");
        ASSERT_TRUE(CreateDirectoryW(packageFolder.c_str(), nullptr));
        steps.SetWindow(window.hwnd());
        steps.packageFolder = packageFolder;
        steps.installFolder = installFolder;
    }

    void TearDown() override {
        // A launcher still running keeps its file; give it time to end so
        // the folder can go.
        if (PathExists(LauncherRecord())) testsupport::DeleteFileWhenFree(LauncherPath(), 10000);
        KillTimer(window.hwnd(), kInstallTimerId);
    }

    std::wstring PackagePath() const { return packageFolder + L"\\kzinstaller.exe"; }
    std::wstring DescriptionPath() const { return packageFolder + L"\\kzinstall.ini"; }
    std::wstring LauncherPath() const { return installFolder + L"\\VelmoraLauncher.exe"; }
    std::wstring LauncherRecord() const { return installFolder + L"\\VelmoraLauncher.cmdline.txt"; }
    std::wstring PackageRecord() const { return installFolder + L"\\kzinstaller.cmdline.txt"; }

    // Puts the package stand-in and a description into the package folder;
    // `mode` ("fail", "slow 1500") goes into its mode file.
    void PlacePackage(const char* mode = nullptr) {
        ASSERT_TRUE(
            CopyFileW(BuiltProgram(L"kzinstaller.exe").c_str(), PackagePath().c_str(), FALSE));
        ASSERT_TRUE(testsupport::WriteFileBytes(DescriptionPath(), "\xFF\xFE"));
        if (mode) {
            ASSERT_TRUE(testsupport::WriteFileBytes(packageFolder + L"\\kzinstaller.mode", mode));
        }
    }

    // Starts the installation and plays the install timer; returns the
    // window's outcome.
    UINT Install() {
        steps.StartInstall();
        return PlayInstallTimer(steps, window, kOutcomeTimeoutMs);
    }

    std::wstring ExpectedPackageCommandLine() const {
        return PackagePath() + L" /S \"/unpack=" + installFolder + L"\" /launch=off";
    }

    testsupport::TempFolder temp;
    StepsWindow window;
    CInstallSteps steps;
    std::wstring packageFolder;
    std::wstring installFolder;
};

std::wstring UpperCase(std::wstring text) {
    for (wchar_t& c : text) c = static_cast<wchar_t>(towupper(c));
    return text;
}

// The package stand-in's own digest, as the description would give it.
std::wstring PackageDigest() {
    return AnsiToWide(FileDigest(BuiltProgram(L"kzinstaller.exe")));
}

enum class Digest { kNone, kLower, kUpper, kWrong };

struct InstallCase {
    const char* name;
    bool placePackage;
    const char* packageMode;
    Digest digest;
    bool sideBySide;
    // What should happen:
    UINT outcome;
    bool packageRan;
    bool launcherStarted;
    bool packageLeft;
    bool descriptionLeft;
};

std::ostream& operator<<(std::ostream& out, const InstallCase& c) {
    return out << c.name;
}

class InstallOutcome : public Installation, public testing::WithParamInterface<InstallCase> {};

TEST_P(InstallOutcome, FollowsThePackageAndItsDigest) {
    const InstallCase& c = GetParam();
    if (c.placePackage) {
        PlacePackage(c.packageMode);
    } else {
        ASSERT_TRUE(testsupport::WriteFileBytes(DescriptionPath(), "\xFF\xFE"));
    }
    switch (c.digest) {
        case Digest::kNone:
            break;
        case Digest::kLower:
            steps.packageMd5 = PackageDigest();
            break;
        case Digest::kUpper:
            steps.packageMd5 = UpperCase(PackageDigest());
            break;
        case Digest::kWrong:
            steps.packageMd5 = L"0123456789abcdef0123456789abcdef";
            break;
    }
    steps.sideBySide = c.sideBySide;

    ASSERT_EQ(c.outcome, Install());
    EXPECT_EQ(PackagePath(), steps.packagePath);
    if (c.packageRan) {
        EXPECT_EQ(ExpectedPackageCommandLine(), ReadRecord(PackageRecord()));
    } else {
        EXPECT_FALSE(PathExists(installFolder)) << "the package must not run";
    }
    if (c.launcherStarted) {
        EXPECT_EQ(LauncherPath() + L" -i \"2\" -d", ReadRecord(LauncherRecord()))
            << "no channel given: the default channel 2";
    } else {
        EXPECT_FALSE(PathExists(LauncherRecord()));
    }
    EXPECT_EQ(c.packageLeft, PathExists(PackagePath()));
    EXPECT_EQ(c.descriptionLeft, PathExists(DescriptionPath()));
}

constexpr UINT kClosed = WM_CLOSE;
constexpr UINT kDamaged = WM_PACKAGE_DAMAGED;

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Cases, InstallOutcome,
    testing::Values(
        // name                placed mode    digest          beside outcome   ran    launch left   ini
        InstallCase{"NoDigest", true, nullptr, Digest::kNone, false, kClosed, true, true, false, false},
        InstallCase{"LowerDigest", true, nullptr, Digest::kLower, false, kClosed, true, true, false, false},
        InstallCase{"UpperDigest", true, nullptr, Digest::kUpper, false, kClosed, true, true, false, false},
        InstallCase{"BesideInstaller", true, nullptr, Digest::kNone, true, kClosed, true, true, true, false},
        InstallCase{"WrongDigest", true, nullptr, Digest::kWrong, false, kDamaged, false, false, true, true},
        InstallCase{"MissingWithDigest", false, nullptr, Digest::kLower, false, kDamaged, false, false, false, true},
        // A package that cannot start, or that installs no launcher, is
        // reported rather than closing the installer as if it had worked.
        InstallCase{"MissingWithoutDigest", false, nullptr, Digest::kNone, false, kDamaged, false, false, false, true},
        InstallCase{"PackageFails", true, "fail", Digest::kNone, false, kDamaged, true, false, false, false}),
    [](const testing::TestParamInfo<InstallCase>& info) { return std::string(info.param.name); });
// clang-format on

TEST_F(Installation, PassesTheChannelToTheLauncher) {
    PlacePackage();
    steps.channel = 7;
    ASSERT_EQ(kClosed, Install());
    EXPECT_EQ(LauncherPath() + L" -i \"7\" -d", ReadRecord(LauncherRecord()));
}

TEST_F(Installation, WaitsForThePackageAndThenForTheInstallCounter) {
    PlacePackage("slow 1500");
    steps.installTicks = 500;
    steps.StartInstall();
    EXPECT_EQ(0, steps.installTicks) << "the counter starts again";

    // The stand-in sleeps 1.5 s after it has started.
    testsupport::PumpMessagesUntil([] { return false; }, 500);
    EXPECT_FALSE(steps.installerExited);

    ASSERT_TRUE(testsupport::PumpMessagesUntil([&] { return steps.installerExited.load(); },
                                               kOutcomeTimeoutMs));
    EXPECT_TRUE(PathExists(PackageRecord())) << "the package had finished";

    // The launcher waits for the counter.
    testsupport::PumpMessagesUntil([] { return false; }, 300);
    EXPECT_EQ(0u, window.outcome());
    EXPECT_FALSE(PathExists(LauncherRecord()));

    steps.installTicks = kInstallTicksDone;
    ASSERT_TRUE(
        testsupport::PumpMessagesUntil([&] { return window.outcome() != 0; }, kOutcomeTimeoutMs));
    EXPECT_EQ(kClosed, window.outcome());
    EXPECT_EQ(LauncherPath() + L" -i \"2\" -d", ReadRecord(LauncherRecord()));
    EXPECT_GT(window.installTimerTicks(), 0) << "the install timer runs on the window";
}

// The launcher found by discovery, started from the already-installed prompt.
class InstalledLauncher : public testing::Test {
protected:
    void SetUp() override {
        launcher = temp.File(L"VelmoraLauncher.exe");
        ASSERT_TRUE(
            CopyFileW(BuiltProgram(L"VelmoraLauncher.exe").c_str(), launcher.c_str(), FALSE));
    }

    std::wstring LaunchAndRead(CInstallSteps& steps) {
        const std::wstring record = temp.File(L"VelmoraLauncher.cmdline.txt");
        DeleteFileW(record.c_str());
        EXPECT_EQ(0u, steps.LaunchInstalledLauncher());
        const std::wstring commandLine = ReadRecord(record);
        testsupport::PumpMessagesUntil(
            [&] {
                HANDLE probe = CreateFileW(launcher.c_str(), GENERIC_READ | DELETE, 0, nullptr,
                                           OPEN_EXISTING, 0, nullptr);
                if (probe == INVALID_HANDLE_VALUE) return false;
                CloseHandle(probe);
                return true;
            },
            10000);
        return commandLine;
    }

    testsupport::TempFolder temp;
    std::wstring launcher;
};

TEST_F(InstalledLauncher, StartsWithTheChannel) {
    CInstallSteps steps;
    steps.launcherExePath = launcher;
    EXPECT_EQ(launcher + L" -i \"2\" -d", LaunchAndRead(steps));
    steps.channel = 7;
    EXPECT_EQ(launcher + L" -i \"7\" -d", LaunchAndRead(steps));
}

TEST_F(InstalledLauncher, ReportsAMissingLauncher) {
    CInstallSteps steps;
    steps.launcherExePath = temp.File(L"gone\\VelmoraLauncher.exe");
    EXPECT_NE(0u, steps.LaunchInstalledLauncher());
}

}  // namespace
