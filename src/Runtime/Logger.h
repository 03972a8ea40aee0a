// Process-wide loggers: debugger output, a file stream and the console.
//
// They share one line format and differ only in where a finished line goes.
// A logger writes only once it has been given its options (and, for the file
// and console loggers, its output); the installer never configures one, so
// every call checks the enabled state under the lock and returns. Tests
// configure a logger to check the line format.
#pragma once

#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <memory>
#include <string>

#include "Runtime/CriticalSection.h"

enum LogLevel { kLogInfo = 0, kLogWarn = 1, kLogError = 2 };

struct LogOptions {
    enum Flags : unsigned { kTime = 0x02, kProcessId = 0x04, kThreadId = 0x08 };
    unsigned flags = 0;
    bool crlf = false;
};

// Tag template for the lazily created, process-wide instances.
template <typename T>
class CSingleton {
public:
    static T& Instance() {
        static T instance;
        return instance;
    }
};

class BaseLogger {
public:
    BaseLogger() = default;
    virtual ~BaseLogger() = default;
    BaseLogger(const BaseLogger&) = delete;
    BaseLogger& operator=(const BaseLogger&) = delete;

    virtual void Log(int level, const wchar_t* format, ...);
    virtual void LogAt(int level, int line, const wchar_t* sourceFile, const wchar_t* format, ...);

    // Installs (or, with null, removes) the options that enable the logger.
    void SetOptions(std::unique_ptr<LogOptions> options);

protected:
    virtual void Write(const std::wstring& line) = 0;
    virtual bool IsEnabled() = 0;

    bool HasOptions() const { return options_ != nullptr; }
    Runtime::CriticalSection& Lock() { return lock_; }

private:
    void Emit(int level, int line, const wchar_t* sourceFile, const wchar_t* format, va_list args);
    std::wstring FormatLine(int level, int line, const wchar_t* sourceFile, const wchar_t* format,
                            va_list args) const;

    std::unique_ptr<LogOptions> options_;
    Runtime::CriticalSection lock_;
    int lockDepth_ = 0;
};

class TraceLogger : public BaseLogger, public CSingleton<TraceLogger> {
protected:
    void Write(const std::wstring& line) override;
    bool IsEnabled() override { return HasOptions(); }
};

class FileLogger : public BaseLogger, public CSingleton<FileLogger> {
public:
    // Lines go to the stream as UTF-16 code units; the logger does not own it.
    void SetStream(FILE* stream);

protected:
    void Write(const std::wstring& line) override;
    bool IsEnabled() override { return HasOptions() && stream_ != nullptr; }

private:
    FILE* stream_ = nullptr;
};

class ConsoleLogger : public BaseLogger, public CSingleton<ConsoleLogger> {
public:
    void SetConsoleReady(bool ready);

protected:
    void Write(const std::wstring& line) override;
    bool IsEnabled() override { return HasOptions() && consoleReady_; }

private:
    bool consoleReady_ = false;
};

// A log statement goes to the console logger and then to the file logger.
// The source is the caller's path relative to the source root, for example
// L".\\Http\\HttpMgr".
#define LOG_PAIR(level, source, ...)                                                          \
    do {                                                                                      \
        ::ConsoleLogger::Instance().LogAt((level), __LINE__, (source), __VA_ARGS__); \
        ::FileLogger::Instance().LogAt((level), __LINE__, (source), __VA_ARGS__);    \
    } while (0)

// The other pairing: the trace logger without a location, then the file
// logger, each with its own level.
#define LOG_TRACE_PAIR(traceLevel, fileLevel, source, ...)                                     \
    do {                                                                                       \
        ::TraceLogger::Instance().Log((traceLevel), __VA_ARGS__);                              \
        ::FileLogger::Instance().LogAt((fileLevel), __LINE__, (source), __VA_ARGS__);          \
    } while (0)
