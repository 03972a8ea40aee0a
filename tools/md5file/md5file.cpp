// md5file PATH: prints the lower-case MD5 digest of the file.
#include <cstdio>

#include "Updater/MD5.h"

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        fputs("usage: md5file PATH\n", stderr);
        return 2;
    }
    FILE* file = _wfopen(argv[1], L"rb");
    if (!file) {
        fwprintf(stderr, L"md5file: cannot open %ls\n", argv[1]);
        return 1;
    }
    MD5 digest(file);  // reads to the end and closes the file
    printf("%s\n", digest.hex_digest());
    return 0;
}
