#include "soak_report.h"

#include <cstdarg>
#include <cstdio>

namespace veltrano::soak {

void note(qint64 elapsedMs, const char* format, ...)
{
    std::printf("  %7.1f s: ", elapsedMs / 1000.0);
    va_list args;
    va_start(args, format);
    std::vprintf(format, args);
    va_end(args);
    std::printf("\n");
}

void reportMinute(const ResourceSampler::Minute& m, const Tally& t, const WindowState& window)
{
    const FrameBook& b = t.book;
    std::printf("minute %d: resident %.2f MB (%s%+.3f MB; anonymous %.2f MB, file-backed %.2f MB), "
                "heap in use %.2f MB (%+.3f MB), CPU %.2f %% of one core, %.2f ticks/s; "
                "chart view: polls %ld, decoded %ld, excluded %ld, lost %ld, unexpected %ld, pending %ld; "
                "actions %ld (%s); handler failures %ld, stderr lines %ld, unusual simulator lines %ld; "
                "view %s, %s, %s\n",
                m.number, m.residentKb / 1024.0, m.number == 1 ? "baseline " : "since minute 1: ", m.residentChangeMb,
                m.anonymousKb / 1024.0, m.fileBackedKb / 1024.0, m.heapKb / 1024.0, m.heapChangeMb, m.cpuShare,
                m.ticksPerSecond, b.polls, b.decoded, b.excluded, b.lost, b.unexpected, b.pending, t.actions.total(),
                t.actions.text().c_str(), t.failures, t.stderrLines, t.simulatorUnusual,
                window.chartView ? "chart" : "setup", window.connected ? "connected" : "disconnected",
                window.paused ? "paused" : "ticking");
    std::fflush(stdout);
}

int reportEnd(const Ending& e, const Tally& t)
{
    const ResourceSampler::End& r = e.resources;
    const FrameBook& b = t.book;
    std::printf("soak end after %.1f s (seed %u)\n", e.elapsedSeconds, e.seed);
    std::printf("soak resident memory: %.2f MB at the end, %.2f MB after minute 1, growth after minute 1 "
                "%.3f MB (largest later reading; limit %.0f MB)\n",
                r.residentKb / 1024.0, r.baselineKb / 1024.0, r.growthMb, kGrowthLimitMb);
    std::printf("soak heap in use (malloc): %.2f MB at the end, %.2f MB after minute 1\n", r.heapKb / 1024.0,
                r.baselineHeapKb / 1024.0);
    std::printf("soak CPU share: %.2f %% of one core over the run\n", r.cpuShare);
    std::printf("soak chart view: polls written %ld, frames decoded %ld, excluded %ld (unanswered when the "
                "port closed or the view left), lost %ld, unexpected %ld, still pending %ld\n",
                b.polls, b.decoded, b.excluded, b.lost, b.unexpected, b.pending);
    std::printf("soak polls counted by the simulator: %ld of %ld written (polls still in the window's "
                "write buffer when the port closes never leave)\n",
                e.simulatorPolls, e.pollsWritten);
    std::printf("soak actions: %ld (%s)\n", t.actions.total(), t.actions.text().c_str());
    std::printf("soak handler failures: %ld; stderr lines: %ld; unusual simulator lines: %ld\n", t.failures,
                t.stderrLines, t.simulatorUnusual);
    for (const std::string& line : e.firstStderrLines)
        std::printf("  stderr: %s\n", line.c_str());

    std::string verdict;
    if (b.lost > 0 || b.pending > 0)
        verdict += " frames lost;";
    if (r.minutes >= 1 && r.growthMb > kGrowthLimitMb)
        verdict += " memory grew by more than 1 MB after the first minute;";
    if (t.failures > 0)
        verdict += " a handler failed;";
    std::printf("soak result: %s%s\n", verdict.empty() ? "PASS" : "FAIL:", verdict.c_str());
    std::fflush(stdout);
    return verdict.empty() ? 0 : 1;
}

} // namespace veltrano::soak
