#include "Runtime/MonotonicClock.h"

#include <windows.h>
#include <mmsystem.h>

#include <cmath>
#include <cstdint>

namespace {

constexpr int64_t kFileTimeOf1970 = 116444736000000000LL;
// Counter and tick count may disagree this much before the anchor is dropped.
constexpr double kTickDisagreementMs = 500.0;
// Counter and system clock may drift this much before re-anchoring.
constexpr double kDriftMs = 31.25;
// Backward steps smaller than this are held at the previous value.
constexpr double kHoldBackwardMs = 2000.0;

double SystemMilliseconds() {
    FILETIME ft;
    GetSystemTimeAsFileTime(&ft);
    ULARGE_INTEGER t;
    t.LowPart = ft.dwLowDateTime;
    t.HighPart = ft.dwHighDateTime;
    return static_cast<double>((static_cast<int64_t>(t.QuadPart) - kFileTimeOf1970) / 10000);
}

struct ClockState {
    bool probed = false;
    int64_t frequency = 0;  // 0: no performance counter
    bool anchorValid = false;
    double anchorCounterMs = 0;
    double anchorSystemMs = 0;
    bool haveLastReading = false;
    int64_t lastCounterMs = 0;
    DWORD lastTick = 0;
    double lastEstimate = 0;
    double highest = 0;
};

ClockState& State() {
    static ClockState state;
    return state;
}

double EstimateMilliseconds(ClockState& s) {
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    const int64_t counterMs = counter.QuadPart / s.frequency * 1000 +
                              counter.QuadPart % s.frequency * 1000 / s.frequency;
    const DWORD tick = GetTickCount();
    if (s.haveLastReading) {
        const int64_t counterElapsed = counterMs - s.lastCounterMs;
        const DWORD tickElapsed = tick - s.lastTick;  // 32-bit wrap-around
        if (std::fabs(static_cast<double>(counterElapsed) - tickElapsed) > kTickDisagreementMs)
            s.anchorValid = false;
    }
    s.haveLastReading = true;
    s.lastCounterMs = counterMs;
    s.lastTick = tick;

    if (!s.anchorValid) {
        timeBeginPeriod(1);
        s.anchorSystemMs = SystemMilliseconds();
        timeEndPeriod(1);
        s.anchorCounterMs = static_cast<double>(counterMs);
        s.anchorValid = true;
    }
    const double counterElapsed = counterMs - s.anchorCounterMs;
    const double estimate = s.anchorSystemMs + counterElapsed;
    if (std::fabs(counterElapsed - (SystemMilliseconds() - s.anchorSystemMs)) > kDriftMs)
        s.anchorValid = false;  // re-anchor next time; this estimate still counts
    return estimate;
}

}  // namespace

double GetMonotonicSeconds() {
    ClockState& s = State();
    if (!s.probed) {
        s.probed = true;
        LARGE_INTEGER frequency;
        if (QueryPerformanceFrequency(&frequency) && frequency.QuadPart > 0)
            s.frequency = frequency.QuadPart;
    }
    double ms;
    if (s.frequency == 0) {
        ms = SystemMilliseconds();
    } else {
        ms = EstimateMilliseconds(s);
        if (ms < s.lastEstimate && s.lastEstimate - ms < kHoldBackwardMs) ms = s.lastEstimate;
        s.lastEstimate = ms;
    }
    const double seconds = ms / 1000.0;
    if (seconds < s.highest) return s.highest;
    s.highest = seconds;
    return seconds;
}
