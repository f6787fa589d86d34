#pragma once

namespace veltrano::soak {

// Memory, CPU and ticks of this process, read once a minute and at the end of the run.
// The resident memory read after minute 1 is the baseline the later readings are
// compared with.
class ResourceSampler {
public:
    struct Minute {
        int number = 0;
        long residentKb = 0;
        double residentChangeMb = 0; // since minute 1
        long anonymousKb = 0;
        long fileBackedKb = 0;
        long heapKb = 0;
        double heapChangeMb = 0; // since minute 1
        double cpuShare = 0; // % of one core over the minute
        double ticksPerSecond = 0;
    };
    struct End {
        int minutes = 0; // minute readings taken
        long residentKb = 0;
        long baselineKb = -1; // after minute 1; -1 without one
        double growthMb = 0; // largest reading after minute 1 over the baseline
        long heapKb = 0;
        long baselineHeapKb = 0;
        double cpuShare = 0; // % of one core over the run
    };

    // Starts the CPU count of the run.
    void start();
    void countTick() { ++ticks_; }
    Minute sampleMinute();
    End sampleEnd(double elapsedSeconds);

private:
    int minute_ = 0;
    long ticks_ = 0;
    long minuteTicks_ = 0;
    long baselineKb_ = -1;
    long baselineHeapKb_ = 0;
    long largestAfterBaselineKb_ = -1;
    double cpuStart_ = 0;
    double minuteCpu_ = 0;
};

// Bytes handed out by malloc and not freed yet (small blocks and mmapped ones), in kB:
// beside the resident memory, it tells memory held from pages kept after freeing.
long heapInUseKb();

} // namespace veltrano::soak
