#include "Runtime/Logger.h"

#include <ctime>
#include <cwchar>
#include <vector>

namespace {

const wchar_t* LevelTag(int level) {
    switch (level) {
        case kLogInfo: return L"INFO";
        case kLogWarn: return L"WARN";
        case kLogError: return L"ERRO";
        default: return nullptr;
    }
}

// Appends one bracketed piece formatted into a fixed buffer of `Size`
// characters; an empty or failed formatting appends nothing.
template <size_t Size, typename... Args>
void AppendPiece(std::wstring& line, const wchar_t* format, Args... args) {
    wchar_t buffer[Size];
    int n = _snwprintf_s(buffer, Size, _TRUNCATE, format, args...);
    if (n < 0) n = static_cast<int>(wcslen(buffer));  // truncated: keep what fits
    if (n > 0) line.append(buffer, n);
}

}  // namespace

void BaseLogger::SetOptions(std::unique_ptr<LogOptions> options) {
    Runtime::CriticalSectionLock guard(lock_);
    options_ = std::move(options);
}

void BaseLogger::Log(int level, const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    Emit(level, 0, nullptr, format, args);
    va_end(args);
}

void BaseLogger::LogAt(int level, int line, const wchar_t* sourceFile, const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    Emit(level, line, sourceFile ? sourceFile : L"", format, args);
    va_end(args);
}

void BaseLogger::Emit(int level, int line, const wchar_t* sourceFile, const wchar_t* format,
                      va_list args) {
    Runtime::CriticalSectionLock guard(lock_);
    ++lockDepth_;
    if (IsEnabled()) Write(FormatLine(level, line, sourceFile, format, args));
    --lockDepth_;
}

std::wstring BaseLogger::FormatLine(int level, int line, const wchar_t* sourceFile,
                                    const wchar_t* format, va_list args) const {
    const LogOptions options = options_ ? *options_ : LogOptions{};
    std::wstring text;
    if (const wchar_t* tag = LevelTag(level)) AppendPiece<64>(text, L"[%4s]", tag);
    if (options.flags & LogOptions::kTime) {
        __time64_t now = _time64(nullptr);
        wchar_t stamp[32];
        size_t n = wcsftime(stamp, 32, L"[%Y-%m-%d %H:%M:%S]", _localtime64(&now));
        text.append(stamp, n);
    }
    if (options.flags & LogOptions::kProcessId)
        AppendPiece<64>(text, L"[pid:%d]", static_cast<int>(GetCurrentProcessId()));
    if (options.flags & LogOptions::kThreadId)
        AppendPiece<64>(text, L"[tid:%d]", static_cast<int>(GetCurrentThreadId()));
    if (sourceFile) AppendPiece<2048>(text, L"[%s:%d]", sourceFile, line);

    if (format) {
        va_list measure;
        va_copy(measure, args);
        int n = _vscwprintf(format, measure);
        va_end(measure);
        if (n > 0) {
            std::vector<wchar_t> message(static_cast<size_t>(n) + 1, L'\0');
            _vsnwprintf_s(message.data(), message.size(), _TRUNCATE, format, args);
            text.append(message.data(), n);
        }
    }
    if (options.crlf) text += L"\r\n";
    return text;
}

void TraceLogger::Write(const std::wstring& line) {
    if (IsEnabled()) OutputDebugStringW(line.c_str());
}

void FileLogger::SetStream(FILE* stream) {
    Runtime::CriticalSectionLock guard(Lock());
    stream_ = stream;
}

void FileLogger::Write(const std::wstring& line) {
    if (!IsEnabled()) return;
    fwrite(line.data(), sizeof(wchar_t), line.size(), stream_);
    fflush(stream_);
}

void ConsoleLogger::SetConsoleReady(bool ready) {
    Runtime::CriticalSectionLock guard(Lock());
    consoleReady_ = ready;
}

void ConsoleLogger::Write(const std::wstring& line) {
    if (!IsEnabled()) return;
    DWORD written = 0;
    WriteConsoleW(GetStdHandle(STD_OUTPUT_HANDLE), line.c_str(), static_cast<DWORD>(line.size()),
                  &written, nullptr);
}

