#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include <atomic>
#include <string>
#include <thread>

#include "CommonUtils.h"
#include "Runtime/StringUtils.h"
#include "TestSupport.h"

namespace {

TEST(FormatSize, ScalesToFourDigitsBeforeThePoint) {
    struct Case {
        uint64_t value;
        const wchar_t* text;
    } cases[] = {
        {0, L"0B"},
        {999, L"999B"},
        {1000, L"0.98KB"},
        {1024, L"1.00KB"},
        {1023999, L"1000.00KB"},
        {1024000, L"0.98MB"},
        {125829120, L"120.00MB"},
        {13107200, L"12.50MB"},
        {1258291, L"1.20MB"},
        {1073741824, L"1.00GB"},
        {1099511627776ULL, L"1.00TB"},
        {1000ULL * 1099511627776ULL, L"1000.00TB"},
        {2000ULL * 1099511627776ULL, L"2000.00TB"},
    };
    for (const Case& c : cases) EXPECT_EQ(c.text, FormatSize(c.value)) << c.value;
}

TEST(ParentFolder, CutsAtTheLastSeparator) {
    struct Case {
        const wchar_t* path;
        const wchar_t* parent;
    } cases[] = {
        {L"", L""},
        {L"C:\\Games\\Velmora\\VelmoraLauncher.exe", L"C:\\Games\\Velmora"},
        {L"C:/Games/Velmora/VelmoraLauncher.exe", L"C:\\Games\\Velmora"},
        {L"C:\\Games\\Velmora\\", L"C:\\Games"},
        {L"C:\\VelmoraLauncher.exe", L"C:"},
        {L"VelmoraLauncher.exe", L""},
        {L"\\", L""},
    };
    for (const Case& c : cases) EXPECT_EQ(c.parent, ParentFolder(c.path)) << c.path;
}

TEST(StripExtension, CutsAtTheLastDot) {
    struct Case {
        const wchar_t* path;
        const wchar_t* stripped;
    } cases[] = {
        {L"C:\\Games\\kzinstaller.exe", L"C:\\Games\\kzinstaller"},
        {L"C:\\Games\\archive.tar.gz", L"C:\\Games\\archive.tar"},
        {L"C:\\Games\\noext", L"C:\\Games\\noext"},
        {L"C:\\Games.old\\noext", L"C:\\Games"},
        {L"", L""},
    };
    for (const Case& c : cases) EXPECT_EQ(c.stripped, StripExtension(c.path)) << c.path;
}

TEST(ModuleFolder, IsTheProgramsFolderWithoutTrailingBackslash) {
    const std::wstring folder = ModuleFolder();
    EXPECT_EQ(0, _wcsicmp(testsupport::ProgramFolder().c_str(), folder.c_str())) << folder;
    ASSERT_FALSE(folder.empty());
    EXPECT_NE(L'\\', folder.back());
    EXPECT_EQ(folder, ModuleFolder());
}

class FileHelpers : public testing::Test {
protected:
    testsupport::TempFolder folder;
};

TEST_F(FileHelpers, DeleteOneFile) {
    const std::wstring path = folder.File(L"a.txt");
    EXPECT_TRUE(DeleteOneFile(path)) << "a missing file counts as deleted";
    ASSERT_TRUE(testsupport::WriteFileBytes(path, "x"));
    EXPECT_TRUE(DeleteOneFile(path));
    EXPECT_EQ(-1, FileSize64(path));

    // An open file without delete sharing cannot be deleted: one attempt, false.
    ASSERT_TRUE(testsupport::WriteFileBytes(path, "x"));
    HANDLE held = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    EXPECT_FALSE(DeleteOneFile(path));
    CloseHandle(held);
    EXPECT_TRUE(DeleteOneFile(path));
}

TEST_F(FileHelpers, MoveFileReplace) {
    const std::wstring from = folder.File(L"from.tmp");
    const std::wstring to = folder.File(L"to.exe");
    EXPECT_FALSE(MoveFileReplace(from, to)) << "nothing to move";
    ASSERT_TRUE(testsupport::WriteFileBytes(from, "new"));
    ASSERT_TRUE(testsupport::WriteFileBytes(to, "old contents"));
    EXPECT_TRUE(MoveFileReplace(from, to));
    EXPECT_EQ("new", testsupport::ReadFileBytes(to));
    EXPECT_EQ(-1, FileSize64(from));
}

TEST_F(FileHelpers, FileSize64) {
    const std::wstring path = folder.File(L"size.bin");
    EXPECT_EQ(-1, FileSize64(path));
    ASSERT_TRUE(testsupport::WriteFileBytes(path, ""));
    EXPECT_EQ(0, FileSize64(path));
    ASSERT_TRUE(testsupport::WriteFileBytes(path, "line\r\nline\n\x1a tail"));
    EXPECT_EQ(17, FileSize64(path)) << "bytes, not text-mode characters";

    // A file held open without read sharing is still measured.
    HANDLE held = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    EXPECT_EQ(17, FileSize64(path));
    CloseHandle(held);
}

TEST_F(FileHelpers, CreateDirMakesMissingParents) {
    const std::wstring deep = folder.File(L"a\\b\\澜岳枫屿");
    EXPECT_TRUE(CreateDir(deep));
    EXPECT_TRUE(testsupport::PathExists(deep));
    EXPECT_TRUE(CreateDir(deep)) << "an existing folder is fine";
    EXPECT_FALSE(CreateDir(L""));
    EXPECT_FALSE(CreateDir(L"relative\\folder"));
}

TEST_F(FileHelpers, LaunchProcessStartsTheProgramWithTheCommandLine) {
    const std::wstring launcher = folder.File(L"VelmoraLauncher.exe");
    ASSERT_TRUE(CopyFileW((testsupport::ProgramFolder() + L"\\VelmoraLauncher.exe").c_str(),
                          launcher.c_str(), FALSE));
    const std::wstring commandLine = launcher + L" -i \"7\" -d";
    PROCESS_INFORMATION info = {};
    ASSERT_EQ(0u, LaunchProcess(launcher, commandLine, &info));
    EXPECT_NE(0u, info.dwProcessId);

    // The launcher's rename may hold the record for a moment.
    const std::string record =
        testsupport::WaitForFileBytes(folder.File(L"VelmoraLauncher.cmdline.txt"), 30000);
    EXPECT_EQ(commandLine, Utf8ToWide(record));
    // Let the launcher finish before its folder goes.
    testsupport::DeleteFileWhenFree(launcher, 10000);
}

TEST_F(FileHelpers, LaunchProcessReturnsTheErrorCode) {
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND),
              LaunchProcess(folder.File(L"missing.exe"), L"missing.exe"));
}

// The folder chooser is driven like a person would: a helper thread waits
// for the dialog, makes sure the wanted folder is selected in its tree and
// presses one of its buttons.
class FolderChooser : public testing::Test {
protected:
    // Runs BrowseForFolder from `start` and presses `button` once the tree's
    // selected item names `leaf` (at once when `leaf` is empty). The dialog
    // normally opens on the start folder; when Wine's tree has not got there
    // after a while, the helper selects `pick` itself, as a person would
    // click it. If nothing works the dialog is cancelled, so the test fails
    // instead of hanging.
    std::wstring ChooseAndPress(const std::wstring& start, const std::wstring& pick,
                                const std::wstring& leaf, int button) {
        std::atomic<bool> finished{false};
        std::thread presser([&] {
            const DWORD begin = GetTickCount();
            DWORD lastPick = begin;
            while (!finished) {
                HWND dialog = FindDialog();
                const DWORD now = GetTickCount();
                const bool late = now - begin > 60000;
                if (dialog) lastSelection = SelectedItemText(dialog);
                if (dialog && (late || lastSelection.find(leaf) != std::wstring::npos)) {
                    PostMessageW(dialog, WM_COMMAND,
                                 MAKEWPARAM(late ? IDCANCEL : button, BN_CLICKED), 0);
                    Sleep(500);  // pressed again only if this one got lost
                } else if (dialog && now - lastPick > 5000) {
                    SendMessageW(dialog, BFFM_SETSELECTIONW, TRUE,
                                 reinterpret_cast<LPARAM>(pick.c_str()));
                    lastPick = now;
                }
                Sleep(20);
            }
        });
        const std::wstring result = BrowseForFolder(nullptr, start);
        finished = true;
        presser.join();
        return result;
    }

    static std::wstring SelectedItemText(HWND dialog) {
        HWND tree = FindWindowExW(dialog, nullptr, L"SysTreeView32", nullptr);
        if (!tree) return std::wstring();
        HTREEITEM item =
            reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CARET, 0));
        if (!item) return std::wstring();
        wchar_t text[MAX_PATH] = {};
        TVITEMW query = {};
        query.mask = TVIF_TEXT;
        query.hItem = item;
        query.pszText = text;
        query.cchTextMax = MAX_PATH;
        SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&query));
        return text;
    }

    struct DialogSearch {
        DWORD process;
        HWND found;
    };

    static BOOL CALLBACK MatchDialog(HWND window, LPARAM data) {
        DialogSearch* search = reinterpret_cast<DialogSearch*>(data);
        DWORD process = 0;
        GetWindowThreadProcessId(window, &process);
        wchar_t className[64] = {};
        GetClassNameW(window, className, 64);
        if (process != search->process || !IsWindowVisible(window) ||
            wcscmp(className, L"#32770") != 0) {
            return TRUE;
        }
        search->found = window;
        return FALSE;
    }

    // The visible dialog window of this process, if any.
    static HWND FindDialog() {
        DialogSearch search = {GetCurrentProcessId(), nullptr};
        EnumWindows(MatchDialog, reinterpret_cast<LPARAM>(&search));
        return search.found;
    }

    testsupport::TempFolder folder;
    std::wstring lastSelection;  // what the tree showed last, for failure messages
};

// Wine's tree does not always reach into the temporary folder, so the
// chosen folder lies near the root of C:.
TEST_F(FolderChooser, ReturnsTheChosenFolderWithABackslash) {
    const std::wstring parent = FormatString(L"C:\\chooser-test-%u", GetCurrentProcessId());
    const std::wstring start = parent + L"\\Games";
    ASSERT_TRUE(CreateDir(start));
    const std::wstring chosen = ChooseAndPress(start, start, L"Games", IDOK);
    RemoveDirectoryW(start.c_str());
    RemoveDirectoryW(parent.c_str());
    EXPECT_EQ(0, _wcsicmp((start + L"\\").c_str(), chosen.c_str()))
        << WideToUtf8(chosen) << ", selected " << WideToUtf8(lastSelection);
}

TEST_F(FolderChooser, ADriveRootKeepsItsOneBackslash) {
    EXPECT_EQ(L"C:\\", ChooseAndPress(L"C:\\", L"C:\\", L"C:", IDOK));
}

TEST_F(FolderChooser, CancelGivesAnEmptyResult) {
    EXPECT_EQ(L"", ChooseAndPress(folder.path(), folder.path(), L"", IDCANCEL));
}

}  // namespace
