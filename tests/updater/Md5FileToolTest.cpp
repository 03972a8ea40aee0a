#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "Runtime/WinHandle.h"
#include "TestSupport.h"

namespace {

struct ToolRun {
    DWORD exitCode = ~0u;
    std::string output;
};

// Runs md5file.exe from the build folder and collects its standard output.
ToolRun RunMd5File(const std::wstring& argument) {
    ToolRun run;
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return run;
    Runtime::UniqueHandle reader(readEnd);
    Runtime::UniqueHandle writer(writeEnd);
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);

    const std::wstring program = testsupport::ProgramFolder() + L"\\md5file.exe";
    std::wstring commandLine = L"\"" + program + L"\" \"" + argument + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    startup.hStdInput = nullptr;
    PROCESS_INFORMATION info = {};
    if (!CreateProcessW(program.c_str(), &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr,
                        nullptr, &startup, &info)) {
        return run;
    }
    Runtime::UniqueHandle process(info.hProcess);
    Runtime::UniqueHandle thread(info.hThread);
    writer.reset();  // the child holds the only write end now
    char buffer[4096];
    DWORD n = 0;
    while (ReadFile(reader.get(), buffer, sizeof buffer, &n, nullptr) && n > 0) {
        run.output.append(buffer, n);
    }
    WaitForSingleObject(process.get(), 30000);
    GetExitCodeProcess(process.get(), &run.exitCode);
    return run;
}

TEST(Md5FileTool, PrintsTheLowerCaseDigestOfTheFile) {
    testsupport::TempFolder folder;
    const std::wstring path = folder.File(L"abc.txt");
    ASSERT_TRUE(testsupport::WriteFileBytes(path, "abc"));
    const ToolRun run = RunMd5File(path);
    EXPECT_EQ(0u, run.exitCode);
    EXPECT_EQ("900150983cd24fb0d6963f7d28e17f72\r\n", run.output) << "a console line";
}

TEST(Md5FileTool, FailsOnAMissingFile) {
    testsupport::TempFolder folder;
    const ToolRun run = RunMd5File(folder.File(L"missing.bin"));
    EXPECT_EQ(1u, run.exitCode);
    EXPECT_EQ(std::string::npos, run.output.find("d41d8cd98f00b204e9800998ecf8427e"));
}

}  // namespace
