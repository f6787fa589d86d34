// veltrano-driver-sim: a simulated DC-motor driver board on a pseudo-terminal.

#include "pty_link.h"
#include "sim/replay_file.h"
#include "sim/sim_device.h"
#include "sim_options.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <memory>
#include <random>
#include <thread>

using namespace veltrano::sim;

namespace {

volatile std::sig_atomic_t g_stop = 0;

void onSignal(int) { g_stop = 1; }

class Clock {
public:
    double now() const { return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count(); }

private:
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

struct Log {
    const Clock& clock;
    bool quiet;
    void operator()(const std::string& line) const
    {
        if (!quiet)
            std::fprintf(stderr, "[%9.3f] %s\n", clock.now(), line.c_str());
    }
};

// Said whatever --quiet asks: things the operator must know about the replay.
void warn(const std::string& line) { std::fprintf(stderr, "veltrano-driver-sim: %s\n", line.c_str()); }

void announce(const SimOptions& o, const PtyLink& link, const Log& log)
{
    std::printf("VELTRANO_PORTS entry: %s=%s\n", o.com.c_str(), link.linkPath().c_str());
    std::fflush(stdout);
    log("line " + link.slaveName() + " linked at " + link.linkPath());
}

} // namespace

int main(int argc, char** argv)
{
    const ParsedOptions parsed = parseOptions(std::vector<std::string>(argv + 1, argv + argc));
    if (!parsed.error.empty()) {
        std::fprintf(stderr, "veltrano-driver-sim: %s (see --help)\n", parsed.error.c_str());
        return 2;
    }
    const SimOptions& o = parsed.options;
    if (o.version) {
        std::puts("veltrano-driver-sim " VELTRANO_VERSION);
        return 0;
    }
    if (o.help) {
        std::fputs(helpText().c_str(), stdout);
        return 0;
    }

    // Read before anything is set up, so that a file that cannot be played ends the
    // run before a link appears.
    ReplayData replay;
    if (!o.replay.empty()) {
        replay = loadReplay(o.replay);
        for (const std::string& problem : replay.problems)
            warn(o.replay + ": " + problem + "; row skipped");
        if (replay.unlistedProblems > 0)
            warn(o.replay + ": " + std::to_string(replay.unlistedProblems) + " more bad rows skipped");
        if (!replay.refusal.empty()) {
            warn(o.replay + ": " + replay.refusal + "; nothing to replay");
            return 2;
        }
    }

    struct sigaction sa { };
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    const Clock clock;
    const Log log{clock, o.quiet};

    std::unique_ptr<PtyLink> link;
    try {
        link = std::make_unique<PtyLink>(o.link);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "veltrano-driver-sim: %s\n", e.what());
        return 1;
    }
    announce(o, *link, log);

    SimDevice device({o.emitE, o.answerRatio, o.seed});
    device.setLogger(log);
    device.setWarner(warn);
    if (!o.replay.empty()) {
        log("replaying " + std::to_string(replay.frames.size()) + " frames from " + o.replay
            + (o.loop ? ", looped" : ""));
        device.setReplay(std::move(replay.frames), o.loop);
    }
    std::mt19937 strayRng(o.seed ^ 0x5eed5eedu);

    bool client = false;
    bool closed = false; // pulled out by --close-after
    double reappearAt = 0;
    bool silentLogged = false;
    double nextStrayByte = 0;
    double nextStrayText = 1;
    double nextSummary = 1;
    long lastPolls = 0;
    long lastAnswered = 0;
    std::string out;
    std::string in;

    auto send = [&](bool silent) {
        if (!out.empty() && link && client && !silent) {
            const std::size_t sent = link->write(out);
            if (sent < out.size())
                log("line full: dropped " + std::to_string(out.size() - sent) + " bytes");
        }
        out.clear();
    };

    while (!g_stop) {
        double t = clock.now();
        if (o.duration > 0 && t >= o.duration)
            break;

        if (!closed && o.closeAfter > 0 && t >= o.closeAfter && reappearAt == 0) {
            link.reset();
            client = false;
            device.lineClosed();
            log("line closed and link removed (pulled out)");
            if (o.reappearAfter <= 0)
                break;
            closed = true;
            reappearAt = t + o.reappearAfter;
        }
        if (closed) {
            if (t >= reappearAt) {
                try {
                    link = std::make_unique<PtyLink>(o.link);
                } catch (const std::exception& e) {
                    std::fprintf(stderr, "veltrano-driver-sim: %s\n", e.what());
                    return 1;
                }
                closed = false;
                announce(o, *link, log);
            } else {
                device.update(t, out);
                out.clear();
                std::this_thread::sleep_for(
                    std::chrono::milliseconds(std::clamp<long>(std::lround((reappearAt - t) * 1000), 1, 50)));
                continue;
            }
        }

        const bool silent = o.silentAfter > 0 && t >= o.silentAfter;
        if (silent && !silentLogged) {
            log("silent from now on");
            silentLogged = true;
        }

        // Stray output, only while someone listens (no burst of it on connecting).
        if (!client) {
            nextStrayByte = std::max(nextStrayByte, t);
            nextStrayText = std::max(nextStrayText, t);
        }
        if (o.strayBytes > 0) {
            while (t >= nextStrayByte) {
                out += static_cast<char>(strayRng() & 0xff);
                nextStrayByte += 1.0 / o.strayBytes;
            }
        }
        if (!o.strayText.empty() && t >= nextStrayText) {
            out += o.strayText;
            nextStrayText += 1.0;
        }
        device.update(t, out);
        send(silent);

        if (t >= nextSummary) {
            if (device.polls() != lastPolls) {
                log("polls " + std::to_string(device.polls() - lastPolls) + " in the last second, "
                    + std::to_string(device.answeredPolls() - lastAnswered) + " answered"
                    + (silent ? " (silent: nothing sent)" : ""));
                lastPolls = device.polls();
                lastAnswered = device.answeredPolls();
            }
            nextSummary = std::floor(t) + 1;
        }

        // Sleep until input or the next thing to do, at most 20 ms.
        double wake = t + 0.02;
        if (o.strayBytes > 0)
            wake = std::min(wake, nextStrayByte);
        if (!o.strayText.empty())
            wake = std::min(wake, nextStrayText);
        if (auto d = device.nextDeadline())
            wake = std::min(wake, *d);
        const int timeoutMs = static_cast<int>(std::clamp(std::ceil((wake - t) * 1000), 0.0, 20.0));

        in.clear();
        const PtyLink::Status status = link->read(in, timeoutMs);
        if (status == PtyLink::Status::NoClient) {
            if (client) {
                client = false;
                device.lineClosed();
                log("client closed the line");
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(std::max(timeoutMs, 5)));
            continue;
        }
        if (!client) {
            client = true;
            log("client opened the line");
            if (link->enforceRaw())
                log("line was not raw (echo/canonical); switched to raw");
        }
        if (status == PtyLink::Status::Data) {
            device.receive(in, clock.now(), out);
            send(silent);
        }
    }

    if (link)
        link->close();
    log("exit");
    return 0;
}
