// Stands in for the platform launcher (VelmoraLauncher.exe): records the
// command line it was given in VelmoraLauncher.cmdline.txt beside itself
// and exits.
#include "StubRecord.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    const std::wstring self = stub::OwnPath();
    return stub::WriteCommandLineRecord(stub::FolderOf(self), stub::BaseName(self)) ? 0 : 1;
}
