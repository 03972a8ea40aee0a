// httpfetch: drives the installer's real HTTP engine from the command line
// (both engines, their workshop threads, main-thread dispatch, the 500 ms
// timer and a message loop).
//
//   httpfetch URL LOCALPATH [--size N] [--mirrors "URL;URL"]
//       one file download; prints "progress total=T done=D speed=S" per
//       progress call and "finish type=X code=Y" at the end
//   httpfetch --command URL
//       one in-memory request; prints "body bytes=N" and "finish type=X code=Y"
//
// Exits 0 only for the outcome (0, 0); 2 for a bad command line.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "Http/HttpCommand.h"
#include "Http/HttpDownloadFile.h"
#include "Http/HttpEngines.h"
#include "Runtime/MainThreadDispatch.h"

namespace {

struct Outcome {
    bool finished = false;
    int type = 0;
    int code = 0;
};

void OnFinished(void* userData, int type, int code) {
    auto* outcome = static_cast<Outcome*>(userData);
    if (outcome->finished) return;
    outcome->finished = true;
    outcome->type = type;
    outcome->code = code;
    printf("finish type=%d code=%d\n", type, code);
    fflush(stdout);
    PostQuitMessage(0);
}

void OnProgress(void*, uint64_t total, uint64_t done, uint32_t speed) {
    printf("progress total=%llu done=%llu speed=%u\n", static_cast<unsigned long long>(total),
           static_cast<unsigned long long>(done), speed);
    fflush(stdout);
}

void OnCommandDone(void* userData, const std::string& body, int type, int code) {
    printf("body bytes=%u\n", static_cast<unsigned>(body.size()));
    OnFinished(userData, type, code);
}

void RunMessageLoop() {
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

int Usage() {
    fprintf(stderr,
            "usage: httpfetch URL LOCALPATH [--size N] [--mirrors \"URL;URL\"]\n"
            "       httpfetch --command URL\n");
    return 2;
}

struct Arguments {
    bool command = false;
    std::wstring url;
    std::wstring localPath;
    uint64_t size = 0;
    std::wstring mirrors;
};

bool ParseArguments(int argc, wchar_t** argv, Arguments* args) {
    if (argc == 3 && wcscmp(argv[1], L"--command") == 0) {
        args->command = true;
        args->url = argv[2];
        return true;
    }
    if (argc < 3) return false;
    args->url = argv[1];
    args->localPath = argv[2];
    for (int i = 3; i < argc; i += 2) {
        if (i + 1 >= argc) return false;
        if (wcscmp(argv[i], L"--size") == 0) {
            args->size = _wcstoui64(argv[i + 1], nullptr, 10);
        } else if (wcscmp(argv[i], L"--mirrors") == 0) {
            args->mirrors = argv[i + 1];
        } else {
            return false;
        }
    }
    return true;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    Arguments args;
    if (!ParseArguments(argc, argv, &args)) return Usage();

    InitMainThreadDispatch();
    const UINT_PTR timer = StartHttpEngines();

    Outcome outcome;
    {
        // The tasks are stopped before the engines go, as the installer does.
        CHttpCommand command;
        CHttpDownloadFile download;
        bool submitted;
        if (args.command) {
            command.SetUrl(args.url);
            command.SetCallback(&OnCommandDone, &outcome);
            submitted = SubmitCommandTask(&command);
        } else {
            submitted = download.Download(args.url, args.localPath, args.size, &outcome, args.mirrors,
                                          &OnFinished, &OnProgress);
        }
        // A download that is complete or cannot open its file finishes
        // inside Download, before the loop runs.
        if (submitted && !outcome.finished) RunMessageLoop();
        command.Stop();
        download.Stop();
    }

    ShutdownMainThreadDispatch();
    StopHttpEngines(timer);
    if (!outcome.finished) fprintf(stderr, "httpfetch: the request could not be submitted\n");
    return outcome.finished && outcome.type == 0 && outcome.code == 0 ? 0 : 1;
}
