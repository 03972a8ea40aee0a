// Small file, folder and text helpers shared by the installer window, the
// install steps and the update module. All work on wide strings.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "Runtime/WinHandle.h"

// The folder of the running program, without a trailing backslash; empty
// when it cannot be found (a later call tries again). Main thread.
std::wstring ModuleFolder();

// Lets the user pick a folder, starting at `start` (or at the current
// folder). The result ends with a backslash; empty when cancelled or when
// the choice has no file-system path.
std::wstring BrowseForFolder(HWND owner, const std::wstring& start);

// A byte count for people: 999B, 0.98KB, 120.00MB; at most four digits
// before the point below a terabyte.
std::wstring FormatSize(uint64_t value);

// Starts `program` with `commandLine` (the full command line, program
// included). Returns 0, or the Windows error code when it cannot start.
// The handles in `out` (when given) are already closed.
DWORD LaunchProcess(const std::wstring& program, const std::wstring& commandLine,
                    PROCESS_INFORMATION* out = nullptr);
// The same start for a caller that waits for the process: its handle goes
// to `process` (the thread handle is closed).
DWORD StartProcess(const std::wstring& program, const std::wstring& commandLine,
                   Runtime::UniqueHandle& process, PROCESS_INFORMATION* out = nullptr);

// Creates the folder and its missing parents; true when it exists after.
bool CreateDir(const std::wstring& folder);

// One attempt each; a file that does not exist counts as deleted, a source
// that does not exist as a failed move.
bool DeleteOneFile(const std::wstring& path);
bool MoveFileReplace(const std::wstring& from, const std::wstring& to);

// The size of a file in bytes, -1 when there is no such file.
int64_t FileSize64(const std::wstring& path);

// "%s\%s" of the folder and the name, the way the installer joins paths.
std::wstring JoinPath(const std::wstring& folder, const wchar_t* name);

// Everything before the last separator ("/" counts as "\"), ignoring one
// trailing separator; empty when there is none.
std::wstring ParentFolder(const std::wstring& path);

// Everything before the last "." of the path (which may lie in a folder
// name); the whole path when there is none.
std::wstring StripExtension(const std::wstring& path);
