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

std::wstring Variable(const wchar_t* name) {
    wchar_t value[MAX_PATH];
    const DWORD n = GetEnvironmentVariableW(name, value, MAX_PATH);
    return n > 0 && n < MAX_PATH ? std::wstring(value, n) : std::wstring();
}

bool Signal(const std::wstring& sync, const wchar_t* name) {
    return testsupport::WriteFileBytes(sync + L"\\" + name, "");
}

bool AwaitSignal(const std::wstring& sync, const wchar_t* name) {
    const std::wstring path = sync + L"\\" + name;
    return testsupport::PumpMessagesUntil(
        [&] { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; },
        kHandshakeTimeoutMs);
}

TEST(DefaultFolder, FollowsTheDriveLayout) {
    const std::wstring sync = Variable(L"DRIVE_SYNC_DIR");
    const std::wstring drive = Variable(L"EXPECT_DEFAULT_DRIVE");
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
