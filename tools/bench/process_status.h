#pragma once

// Figures of this process from /proc/self/status, for the benchmarks and the soak run.
#include <QByteArray>
#include <QFile>

namespace veltrano::bench {

// A field in kB ("VmRSS", "RssAnon", "RssFile"); -1 when unreadable.
inline long statusKb(const QByteArray& field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray key = field + ':';
    for (QByteArray line = status.readLine(); !line.isEmpty(); line = status.readLine()) {
        if (line.startsWith(key))
            return line.mid(key.size()).trimmed().split(' ').first().toLong();
    }
    return -1;
}

inline long residentKb() { return statusKb("VmRSS"); }

} // namespace veltrano::bench
