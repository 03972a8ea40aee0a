// Helpers shared by the test programs.
#pragma once

#include <windows.h>

#include <cstdio>
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

// Pumps messages until the file has something in it (a program started by
// the test may write it late) and returns its bytes; empty after the time-out.
std::string WaitForFileBytes(const std::wstring& path, DWORD timeoutMs);
// Deletes the file as soon as no process holds it any more (a program the
// test started may still run from it); false after the time-out.
bool DeleteFileWhenFree(const std::wstring& path, DWORD timeoutMs);
// Whether a file or folder exists at the path.
bool PathExists(const std::wstring& path);

// The text as UTF-16LE bytes, without a byte-order mark.
std::string Utf16LeBytes(const std::wstring& text);

// An environment variable's value; empty when it is not set (or longer than
// 4095 characters).
std::wstring EnvironmentValue(const wchar_t* name);

// Sends the file logger's lines to a file of its own while the object
// lives, so a test can read what was logged.
class FileLogCapture {
public:
    FileLogCapture();
    ~FileLogCapture();
    FileLogCapture(const FileLogCapture&) = delete;
    FileLogCapture& operator=(const FileLogCapture&) = delete;

    bool capturing() const { return stream_ != nullptr; }
    // Ends the capture and returns the logged text.
    std::wstring Finish();

private:
    TempFolder folder_;
    FILE* stream_ = nullptr;
};

}  // namespace testsupport
