#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "InstallSteps.h"
#include "TestSupport.h"

// The default install folder depends on the drives of the machine. The
// script with-drive-layout runs this program and, once it has started (a
// process cannot start without C:), changes the prefix's drive links:
//   program                              script
//   creates READY      ------------->    sets the drive layout
//   waits for GO       <-------------    creates GO
//   checks, creates DONE  ---------->    restores the drives
//   waits for RESTORED <-------------    creates RESTORED
// DRIVE_SYNC_DIR names the folder of those files, EXPECT_DEFAULT_DRIVE the
// drive the folder should be on ("none" for no folder at all).
namespace {

constexpr DWORD kHandshakeTimeoutMs = 60000;

bool Signal(const std::wstring& sync, const wchar_t* name) {
    return testsupport::WriteFileBytes(sync + L"\\" + name, "");
}

bool AwaitSignal(const std::wstring& sync, const wchar_t* name) {
    const std::wstring path = sync + L"\\" + name;
    return testsupport::PumpMessagesUntil([&] { return testsupport::PathExists(path); },
                                          kHandshakeTimeoutMs);
}

TEST(DefaultFolder, FollowsTheDriveLayout) {
    const std::wstring sync = testsupport::EnvironmentValue(L"DRIVE_SYNC_DIR");
    const std::wstring drive = testsupport::EnvironmentValue(L"EXPECT_DEFAULT_DRIVE");
    if (sync.empty() || drive.empty()) GTEST_SKIP() << "runs under with-drive-layout";
    const std::wstring expected = drive == L"none" ? L"" : drive + L":\\澜岳网络\\澜岳枫屿";

    ASSERT_TRUE(Signal(sync, L"READY"));
    ASSERT_TRUE(AwaitSignal(sync, L"GO"));
    const std::wstring folder = CInstallSteps().DefaultInstallFolder();
    ASSERT_TRUE(Signal(sync, L"DONE"));
    ASSERT_TRUE(AwaitSignal(sync, L"RESTORED"));
    EXPECT_EQ(expected, folder);
}

}  // namespace
