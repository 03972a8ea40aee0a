#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>

#include <string>

#include "InstallSteps.h"
#include "TestSupport.h"

// Discovery reads the prefix's real launcher INI file and registry value.
// Each test starts and ends without either, so the prefix is left as found.
namespace {

constexpr wchar_t kRegistryKey[] = L"SOFTWARE\\VelmoraLauncher";

std::wstring LauncherIniPath() {
    wchar_t folder[MAX_PATH];
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, 0, folder))) return L"";
    return std::wstring(folder) + L"\\VelmoraLaucher.ini";
}

void RemoveRegistration() {
    DeleteFileW(LauncherIniPath().c_str());
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, kRegistryKey);
}

void WriteIni(const std::wstring& launcherPath) {
    ASSERT_TRUE(WritePrivateProfileStringW(L"VelmoraNet-Launcher", L"InstallPath",
                                           launcherPath.c_str(), LauncherIniPath().c_str()));
}

void WriteRegistry(DWORD type, const void* data, DWORD bytes) {
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, kRegistryKey, 0, nullptr, 0,
                                             KEY_WRITE, nullptr, &key, nullptr));
    const LONG result =
        RegSetValueExW(key, L"InstPath", 0, type, static_cast<const BYTE*>(data), bytes);
    RegCloseKey(key);
    ASSERT_EQ(ERROR_SUCCESS, result);
}

void WriteRegistryString(const std::wstring& folder) {
    WriteRegistry(REG_SZ, folder.c_str(),
                  static_cast<DWORD>((folder.size() + 1) * sizeof(wchar_t)));
}

class LauncherDiscovery : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(LauncherIniPath().empty());
        RemoveRegistration();
        steps.installFolder = L"unchanged";
        steps.launcherExePath = L"stale";
    }
    void TearDown() override { RemoveRegistration(); }

    // An install folder with (or without) a launcher in it.
    std::wstring MakeInstallFolder(const wchar_t* name, bool withLauncher) {
        const std::wstring folder = temp.File(name);
        EXPECT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
        if (withLauncher) {
            EXPECT_TRUE(testsupport::WriteFileBytes(folder + L"\\VelmoraLauncher.exe", "MZ"));
        }
        return folder;
    }

    testsupport::TempFolder temp;
    CInstallSteps steps;
};

TEST_F(LauncherDiscovery, FindsNothingOnAFreshMachine) {
    EXPECT_FALSE(steps.FindInstalledLauncher());
    EXPECT_EQ(L"", steps.launcherExePath);
    EXPECT_EQ(L"unchanged", steps.installFolder);
}

TEST_F(LauncherDiscovery, FindsTheLauncherThroughTheIniFile) {
    const std::wstring folder = MakeInstallFolder(L"Velmora", true);
    WriteIni(folder + L"\\VelmoraLauncher.exe");
    EXPECT_TRUE(steps.FindInstalledLauncher());
    EXPECT_EQ(folder + L"\\VelmoraLauncher.exe", steps.launcherExePath);
    EXPECT_EQ(folder, steps.installFolder);
}

TEST_F(LauncherDiscovery, FallsBackToTheRegistryWhenTheIniNamesNoFile) {
    const std::wstring gone = MakeInstallFolder(L"Old", false);
    const std::wstring folder = MakeInstallFolder(L"Velmora", true);
    WriteIni(gone + L"\\VelmoraLauncher.exe");
    WriteRegistryString(folder);
    EXPECT_TRUE(steps.FindInstalledLauncher());
    EXPECT_EQ(folder + L"\\VelmoraLauncher.exe", steps.launcherExePath);
    EXPECT_EQ(folder, steps.installFolder);
}

TEST_F(LauncherDiscovery, ARegisteredFolderWithoutLauncherIsProposedButNotFound) {
    const std::wstring folder = MakeInstallFolder(L"Velmora", false);
    WriteRegistryString(folder);
    EXPECT_FALSE(steps.FindInstalledLauncher());
    EXPECT_EQ(L"", steps.launcherExePath);
    EXPECT_EQ(folder, steps.installFolder);
}

TEST_F(LauncherDiscovery, AcceptsARegistryStringWithoutTerminator) {
    const std::wstring folder = MakeInstallFolder(L"Velmora", true);
    WriteRegistry(REG_SZ, folder.c_str(), static_cast<DWORD>(folder.size() * sizeof(wchar_t)));
    EXPECT_TRUE(steps.FindInstalledLauncher());
    EXPECT_EQ(folder + L"\\VelmoraLauncher.exe", steps.launcherExePath);
}

TEST_F(LauncherDiscovery, IgnoresUnusableRegistryValues) {
    const std::wstring folder = MakeInstallFolder(L"Velmora", true);
    const DWORD number = 1;
    const std::wstring missing = temp.File(L"missing");
    const std::wstring tooLong(2048, L'x');  // fills the whole value buffer
    struct Case {
        const char* name;
        DWORD type;
        const void* data;
        DWORD bytes;
    } cases[] = {
        {"expandable string", REG_EXPAND_SZ, folder.c_str(),
         static_cast<DWORD>((folder.size() + 1) * sizeof(wchar_t))},
        {"number", REG_DWORD, &number, sizeof number},
        {"missing folder", REG_SZ, missing.c_str(),
         static_cast<DWORD>((missing.size() + 1) * sizeof(wchar_t))},
        {"empty", REG_SZ, L"", sizeof(wchar_t)},
        {"4096 bytes", REG_SZ, tooLong.c_str(),
         static_cast<DWORD>(tooLong.size() * sizeof(wchar_t))},
        {"too long", REG_SZ, tooLong.c_str(),
         static_cast<DWORD>((tooLong.size() + 1) * sizeof(wchar_t))},
    };
    for (const Case& c : cases) {
        WriteRegistry(c.type, c.data, c.bytes);
        steps.installFolder = L"unchanged";
        EXPECT_FALSE(steps.FindInstalledLauncher()) << c.name;
        EXPECT_EQ(L"", steps.launcherExePath) << c.name;
        EXPECT_EQ(L"unchanged", steps.installFolder) << c.name;
    }
}

}  // namespace
