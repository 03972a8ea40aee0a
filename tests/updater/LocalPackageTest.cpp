#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "InstallSteps.h"
#include "Runtime/StringUtils.h"
#include "Runtime/WinHandle.h"
#include "TestSupport.h"

// CheckLocalPackage looks beside the running program, so each case runs a
// copy of this test program from a folder of its own; the copy reports
// what it found into the file named by this variable.
namespace {

constexpr wchar_t kReportVariable[] = L"LOCAL_PACKAGE_REPORT";

TEST(LocalPackageProbe, Report) {
    wchar_t reportPath[MAX_PATH];
    if (!GetEnvironmentVariableW(kReportVariable, reportPath, MAX_PATH)) {
        GTEST_SKIP() << "runs as the copy started by LocalPackage tests";
    }
    CInstallSteps steps;
    steps.CheckLocalPackage();
    const std::wstring report = FormatString(L"%d %d %s", steps.sideBySide, steps.localPackage,
                                             steps.packageFolder.c_str());
    ASSERT_TRUE(testsupport::WriteFileBytes(reportPath, WideToUtf8(report)));
}

std::wstring OwnPath() {
    wchar_t path[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    return std::wstring(path, n);
}

// Runs a copy of this program in `folder` and returns its report.
std::wstring ProbeFolder(const std::wstring& folder, const std::wstring& reportPath) {
    const std::wstring copy = folder + L"\\setup.exe";
    if (!CopyFileW(OwnPath().c_str(), copy.c_str(), FALSE)) return L"copy failed";
    SetEnvironmentVariableW(kReportVariable, reportPath.c_str());
    std::wstring commandLine = L"\"" + copy + L"\" --gtest_filter=LocalPackageProbe.Report";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    const BOOL started = CreateProcessW(copy.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0,
                                        nullptr, nullptr, &startup, &info);
    SetEnvironmentVariableW(kReportVariable, nullptr);
    if (!started) return L"start failed";
    Runtime::UniqueHandle process(info.hProcess);
    Runtime::UniqueHandle thread(info.hThread);
    if (WaitForSingleObject(process.get(), 60000) != WAIT_OBJECT_0) return L"timed out";
    return Utf8ToWide(testsupport::ReadFileBytes(reportPath));
}

TEST(LocalPackage, FollowsTheFilesBesideTheInstaller) {
    struct Case {
        bool marker;   // kzmain.dll
        bool package;  // kzinstaller.exe
        bool sideBySide;
        bool localPackage;
    } cases[] = {
        {false, false, false, false},
        {false, true, false, false},
        {true, false, true, false},
        {true, true, true, true},
    };
    for (const Case& c : cases) {
        testsupport::TempFolder folder;
        testsupport::TempFolder reports;
        if (c.marker) {
            ASSERT_TRUE(testsupport::WriteFileBytes(folder.File(L"kzmain.dll"), "dll"));
        }
        if (c.package) {
            ASSERT_TRUE(testsupport::WriteFileBytes(folder.File(L"kzinstaller.exe"), "exe"));
        }
        const std::wstring expected = FormatString(L"%d %d %s", c.sideBySide, c.localPackage,
                                                   c.sideBySide ? folder.path().c_str() : L"");
        const std::wstring report = ProbeFolder(folder.path(), reports.File(L"report.txt"));
        EXPECT_EQ(0, _wcsicmp(expected.c_str(), report.c_str()))
            << "marker " << c.marker << ", package " << c.package << ": " << WideToUtf8(report);
    }
}

}  // namespace
