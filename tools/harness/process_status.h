#pragma once

// Figures of this process, for the benchmarks and the soak run.
#include <QByteArray>

namespace veltrano::harness {

// A field of /proc/self/status in kB ("VmRSS", "RssAnon", "RssFile"); -1 when unreadable.
long statusKb(const QByteArray& field);

inline long residentKb() { return statusKb("VmRSS"); }

// User plus system CPU time of this process so far, in seconds.
double cpuSeconds();

// User plus system CPU time of another process so far (from /proc/PID/stat), in seconds;
// -1 when unreadable.
double cpuSecondsOf(long pid);

} // namespace veltrano::harness
