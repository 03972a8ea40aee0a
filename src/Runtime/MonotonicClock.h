// A seconds clock that never goes backwards, for measuring short budgets.
#pragma once

// Seconds since 1970 as a double. Follows the performance counter, anchored
// to the system clock and re-anchored when the two drift apart; the value
// returned never decreases. Not thread-safe: the main thread uses it.
double GetMonotonicSeconds();
