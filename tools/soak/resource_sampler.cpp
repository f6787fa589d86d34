#include "resource_sampler.h"

#include "process_status.h"

#include <algorithm>

#include <malloc.h>

namespace veltrano::soak {

using harness::cpuSeconds;
using harness::residentKb;
using harness::statusKb;

long heapInUseKb()
{
    const struct mallinfo2 info = mallinfo2();
    return long((info.uordblks + info.hblkhd) / 1024);
}

void ResourceSampler::start()
{
    cpuStart_ = cpuSeconds();
    minuteCpu_ = cpuStart_;
    minuteTicks_ = ticks_;
}

ResourceSampler::Minute ResourceSampler::sampleMinute()
{
    Minute m;
    m.number = ++minute_;
    m.residentKb = residentKb();
    m.heapKb = heapInUseKb();
    if (minute_ == 1) {
        baselineKb_ = m.residentKb;
        baselineHeapKb_ = m.heapKb;
    } else {
        largestAfterBaselineKb_ = std::max(largestAfterBaselineKb_, m.residentKb);
        m.residentChangeMb = (m.residentKb - baselineKb_) / 1024.0;
    }
    m.heapChangeMb = (m.heapKb - baselineHeapKb_) / 1024.0;
    const double cpu = cpuSeconds();
    m.cpuShare = 100.0 * (cpu - minuteCpu_) / 60.0;
    minuteCpu_ = cpu;
    m.ticksPerSecond = (ticks_ - minuteTicks_) / 60.0;
    minuteTicks_ = ticks_;
    m.anonymousKb = statusKb("RssAnon");
    m.fileBackedKb = statusKb("RssFile");
    return m;
}

ResourceSampler::End ResourceSampler::sampleEnd(double elapsedSeconds)
{
    End e;
    e.minutes = minute_;
    e.residentKb = residentKb();
    e.baselineKb = baselineKb_;
    if (baselineKb_ > 0) {
        largestAfterBaselineKb_ = std::max(largestAfterBaselineKb_, e.residentKb);
        e.growthMb = (largestAfterBaselineKb_ - baselineKb_) / 1024.0;
    }
    e.cpuShare = 100.0 * (cpuSeconds() - cpuStart_) / elapsedSeconds;
    e.heapKb = heapInUseKb();
    e.baselineHeapKb = baselineHeapKb_;
    return e;
}

} // namespace veltrano::soak
