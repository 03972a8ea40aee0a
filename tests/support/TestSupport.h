// Helpers shared by the test programs.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace testsupport {

// Runs the calling thread's message loop until `done` returns true or
// `timeoutMs` has passed; returns the last value of `done`.
bool PumpMessagesUntil(const std::function<bool()>& done, DWORD timeoutMs);

// The folder of the running test program (the build folder's root).
std::wstring ProgramFolder();

// A fresh, empty folder under the Windows temporary folder, removed with
// everything in it when the object goes.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::wstring& path() const { return path_; }
    std::wstring File(const std::wstring& name) const { return path_ + L"\\" + name; }

private:
    std::wstring path_;
};

// Reads or writes a whole file as bytes.
std::string ReadFileBytes(const std::wstring& path);
bool WriteFileBytes(const std::wstring& path, const std::string& bytes);

}  // namespace testsupport
