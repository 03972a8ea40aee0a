#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <regex>

#include "Runtime/Logger.h"
#include "Runtime/StringUtils.h"
#include "TestSupport.h"

namespace {

// Points the file logger at a temporary file for one test and reads back
// what it wrote (UTF-16 code units, no byte-order mark).
class FileLoggerCapture {
public:
    FileLoggerCapture() : path_(folder_.File(L"log.bin")) { stream_ = _wfopen(path_.c_str(), L"wb"); }
    ~FileLoggerCapture() {
        FileLogger::Instance().SetOptions(nullptr);
        FileLogger::Instance().SetStream(nullptr);
        if (stream_) fclose(stream_);
    }
    void Enable(unsigned flags, bool crlf) {
        auto options = std::make_unique<LogOptions>();
        options->flags = flags;
        options->crlf = crlf;
        FileLogger::Instance().SetOptions(std::move(options));
        FileLogger::Instance().SetStream(stream_);
    }
    std::wstring Text() const {
        std::string bytes = testsupport::ReadFileBytes(path_);
        return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / 2);
    }

private:
    testsupport::TempFolder folder_;
    std::wstring path_;
    FILE* stream_ = nullptr;
};

TEST(Logger, WithoutOptionsWritesNothing) {
    FileLoggerCapture capture;
    FileLogger::Instance().SetStream(nullptr);
    FileLogger::Instance().Log(kLogError, L"never %d", 1);
    LOG_PAIR(kLogInfo, L".\\Test", L"never either");
    EXPECT_EQ(L"", capture.Text());
}

TEST(Logger, PlainLineIsTagThenMessage) {
    FileLoggerCapture capture;
    capture.Enable(0, false);
    FileLogger::Instance().Log(kLogInfo, L"abc");
    EXPECT_EQ(L"[INFO]abc", capture.Text());
}

TEST(Logger, UnknownLevelHasNoTag) {
    FileLoggerCapture capture;
    capture.Enable(LogOptions::kProcessId, true);
    FileLogger::Instance().Log(7, L"x");
    EXPECT_EQ(L"[pid:" + std::to_wstring(GetCurrentProcessId()) + L"]x\r\n", capture.Text());
}

TEST(Logger, FullLineCarriesEveryPieceInOrder) {
    FileLoggerCapture capture;
    capture.Enable(LogOptions::kTime | LogOptions::kProcessId | LogOptions::kThreadId, true);
    FileLogger::Instance().LogAt(kLogError, 45, L".\\Http\\HttpMgr", L"code:%d url:%s", 404,
                                 L"http://h/安装");
    std::wregex shape(L"\\[ERRO\\]\\[\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\]"
                      L"\\[pid:\\d+\\]\\[tid:\\d+\\]\\[\\.\\\\Http\\\\HttpMgr:45\\]"
                      L"code:404 url:http://h/安装\r\n");
    std::wstring text = capture.Text();
    EXPECT_TRUE(std::regex_match(text, shape)) << WideToUtf8(text);
    EXPECT_NE(std::wstring::npos, text.find(L"[tid:" + std::to_wstring(GetCurrentThreadId()) + L"]"));
}

TEST(Logger, LongMessagesAreNotTruncated) {
    FileLoggerCapture capture;
    capture.Enable(0, false);
    std::wstring message(3000, L'm');
    FileLogger::Instance().Log(kLogWarn, L"%s", message.c_str());
    EXPECT_EQ(L"[WARN]" + message, capture.Text());
}

}  // namespace
