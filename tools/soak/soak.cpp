// Soak run: the window on its real parts against the simulated driver board for a long
// time, with an operator clicking around at random (seeded) moments: switching views,
// pausing and resuming the chart, loading parameters, RUN / DIV / STOP, 3D and the window
// length, disconnecting and reconnecting (now and then with a port search in between).
// Once a minute and at the end it reports memory, CPU, the chart view's polls against the
// frames it decoded, handler failures and everything written to standard error.
//
//   soak [--minutes N] [--seed S]      (defaults: 10 minutes, seed 1)
//
// Exits 1 when a frame was lost, the resident memory grew by more than 1 MB after the
// first minute, or a handler failed; 2 when the run could not be set up.
#include "app/event_dispatch.h"
#include "app/form1.h"
#include "app/real_parts.h"
#include "counting_serial.h"
#include "driver_sim_child.h"
#include "process_status.h"
#include "program_application.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <malloc.h>
#include <sys/resource.h>
#include <unistd.h>

#ifndef VELTRANO_DRIVER_SIM_EXE
#error "VELTRANO_DRIVER_SIM_EXE must name the veltrano-driver-sim executable"
#endif

using namespace veltrano;
using veltrano::bench::CountingSerial;
using veltrano::bench::DriverSimChild;
using veltrano::bench::residentKb;
using veltrano::bench::statusKb;

namespace {

// A poll whose answer has not been decoded this long after it was written counts as lost.
// Answers come back within a few milliseconds; the margin covers a busy machine.
constexpr qint64 kAnswerWithinMs = 500;
constexpr double kGrowthLimitMb = 1.0;

// Bytes handed out by malloc and not freed yet (small blocks and mmapped ones), in kB:
// beside the resident memory, it tells memory held from pages kept after freeing.
long heapInUseKb()
{
    const struct mallinfo2 info = mallinfo2();
    return long((info.uordblks + info.hblkhd) / 1024);
}

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
           + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Everything this process writes to standard error (handler failures, Qt warnings, ...)
// passes through a pipe read by a thread of its own, which counts the lines and hands
// them on to the real standard error. A thread rather than the event loop, so that a
// burst of output cannot fill the pipe and block the window's thread.
class StderrTap {
public:
    StderrTap()
    {
        int fds[2];
        if (::pipe(fds) != 0)
            return;
        saved_ = ::dup(STDERR_FILENO);
        ::dup2(fds[1], STDERR_FILENO);
        ::close(fds[1]);
        std::setvbuf(stderr, nullptr, _IONBF, 0);
        reader_ = std::thread([this, in = fds[0]] { read(in); });
    }
    ~StderrTap()
    {
        if (saved_ < 0)
            return;
        std::fflush(stderr);
        ::dup2(saved_, STDERR_FILENO); // closes the pipe's last write end: the reader ends
        reader_.join();
        ::close(saved_);
    }
    long lines() const { return lines_.load(); }
    std::vector<std::string> firstLines() const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return first_;
    }

private:
    void read(int in)
    {
        std::string partial;
        char buffer[4096];
        for (;;) {
            const ssize_t n = ::read(in, buffer, sizeof buffer);
            if (n <= 0)
                break;
            [[maybe_unused]] ssize_t written = ::write(saved_, buffer, size_t(n));
            partial.append(buffer, size_t(n));
            for (size_t end = partial.find('\n'); end != std::string::npos; end = partial.find('\n')) {
                ++lines_;
                std::lock_guard<std::mutex> lock(mutex_);
                if (first_.size() < 20)
                    first_.push_back(partial.substr(0, end));
                partial.erase(0, end + 1);
            }
        }
        ::close(in);
    }

    int saved_ = -1;
    std::thread reader_;
    std::atomic<long> lines_{0};
    mutable std::mutex mutex_;
    std::vector<std::string> first_;
};

// The chart view's polls against the frames it decoded. Answers come back in the order
// of the polls, so the polls not yet answered are always the newest ones written.
struct FrameBook {
    long polls = 0;      // polls written
    long decoded = 0;    // frames decoded in the chart view that answered one of them
    long excluded = 0;   // unanswered when the port was closed or the view left: their
                         // answers are dropped with the port's input or go to the setup log
    long lost = 0;       // not answered within kAnswerWithinMs
    long unexpected = 0; // frames decoded with no poll waiting for one
    long pending = 0;    // written, not yet answered
    std::deque<qint64> recent; // write times of the polls of the last kAnswerWithinMs

    void polled(qint64 nowMs)
    {
        ++polls;
        ++pending;
        recent.push_back(nowMs);
    }
    // False when no poll was waiting for the frame.
    bool answered()
    {
        if (pending == 0) {
            ++unexpected;
            return false;
        }
        --pending;
        ++decoded;
        return true;
    }
    // Polls left unanswered for longer than kAnswerWithinMs are lost; returns how many
    // were found lost now.
    long settle(qint64 nowMs)
    {
        while (!recent.empty() && recent.front() < nowMs - kAnswerWithinMs)
            recent.pop_front();
        const long young = long(recent.size());
        if (pending <= young)
            return 0;
        const long late = pending - young;
        lost += late;
        pending = young;
        return late;
    }
    // The port closes or the view leaves: what is still unanswered will not be decoded.
    // Returns how many polls that excludes.
    long abandon(qint64 nowMs)
    {
        settle(nowMs);
        const long left = pending;
        excluded += left;
        pending = 0;
        return left;
    }
};

struct Actions {
    long view = 0, pause = 0, resume = 0, load = 0, run = 0, div = 0, stop = 0, view3D = 0, window = 0,
         disconnect = 0, connect = 0, search = 0;
    long total() const
    {
        return view + pause + resume + load + run + div + stop + view3D + window + disconnect + connect + search;
    }
    std::string text() const
    {
        char buffer[400];
        std::snprintf(buffer, sizeof buffer,
                      "view %ld, pause %ld, resume %ld, load %ld, run %ld, div %ld, stop %ld, 3D %ld, "
                      "window %ld, disconnect %ld, connect %ld, search %ld",
                      view, pause, resume, load, run, div, stop, view3D, window, disconnect, connect, search);
        return buffer;
    }
};

class Soak {
public:
    Soak(int minutes, unsigned seed, DriverSimChild& sim, StderrTap& tap)
        : minutes_(minutes), seed_(seed), rng_(seed), sim_(sim), tap_(tap)
    {
        sim_.setUnusualLineHandler([this](const QString& line) {
            ++simUnusual_;
            std::printf("  simulator: %s\n", qPrintable(line));
        });
        Form1Parts parts = realParts();
        auto counting = std::make_unique<CountingSerial>(std::move(parts.serial));
        serial_ = counting.get();
        parts.serial = std::move(counting);
        form_ = std::make_unique<Form1>(std::move(parts));
        Form1& w = *form_;
        serial_->onPoll = [this] { book_.polled(clock_.elapsed()); };
        // After the window's own receive handler, which was connected first: a decoded
        // frame ends with the end mark just taken and leaves the box holding "0".
        QObject::connect(&w.MSComm1, &SerialControl::onComm, &w, [this] {
            if (chartView() && serial_->lastTaken == 'E' && form_->Text2->text() == QLatin1String("0")
                && !book_.answered()) {
                note("frame decoded with no poll waiting for it (%lld ms after connecting, %lld ms after "
                     "entering the chart view)",
                     static_cast<long long>(clock_.elapsed() - connectedAtMs_),
                     static_cast<long long>(clock_.elapsed() - chartEnteredAtMs_));
            }
        });
        QObject::connect(&w.Timer1, &TickTimer::tick, &w, [this] { ++ticks_; });
        failuresAtStart_ = dispatchFailureCount();
    }

    // Runs the soak; returns the exit code.
    int run()
    {
        Form1& w = *form_;
        clock_.start();
        w.load();
        w.show();
        if (w.Combo4->text() != QLatin1String("COM3")) {
            std::printf("soak: the start-up search did not list COM3\n");
            return 2;
        }
        w.Combo3->setCurrentIndex(w.Combo3->findText(QStringLiteral("115200")));
        w.Command4->click();
        connectedAtMs_ = clock_.elapsed();
        if (!w.MSComm1.portOpen()) {
            std::printf("soak: could not connect\n");
            return 2;
        }

        cpuStart_ = cpuSeconds();
        minuteCpu_ = cpuStart_;
        minuteTicks_ = 0;
        std::printf("soak: %d minutes, seed %u, 115200 baud; answers due within %lld ms\n", minutes_, seed_,
                    static_cast<long long>(kAnswerWithinMs));
        std::fflush(stdout);

        QTimer settleTimer;
        QObject::connect(&settleTimer, &QTimer::timeout, [this] { settle(); });
        settleTimer.start(100);
        QTimer minuteTimer;
        QObject::connect(&minuteTimer, &QTimer::timeout, [this] { reportMinute(); });
        minuteTimer.start(60'000);
        QTimer actionTimer;
        actionTimer.setSingleShot(true);
        QObject::connect(&actionTimer, &QTimer::timeout, [this, &actionTimer] {
            act();
            actionTimer.start(nextDelayMs());
        });
        actionTimer.start(nextDelayMs());
        QTimer::singleShot(qint64(minutes_) * 60'000 + 50, [] { QCoreApplication::quit(); });
        QCoreApplication::exec();
        actionTimer.stop();
        minuteTimer.stop();

        // Wind down: pause the chart and give the last answers time to come in.
        if (chartView() && !w.Check4->isChecked())
            w.Check4->click();
        QTimer::singleShot(int(kAnswerWithinMs) + 1000, [] { QCoreApplication::quit(); });
        QCoreApplication::exec();
        settleTimer.stop();
        settle();
        return finalReport();
    }

private:
    bool chartView() const { return form_->Draw->text() == QLatin1String("Stop"); }
    bool connected() const { return form_->Command4->text() == QLatin1String("DISCONECT"); }

    // One line about an event of the run, time-stamped.
    __attribute__((format(printf, 2, 3))) void note(const char* format, ...)
    {
        std::printf("  %s: ", stamp().c_str());
        va_list args;
        va_start(args, format);
        std::vprintf(format, args);
        va_end(args);
        std::printf("\n");
    }
    void settle()
    {
        if (const long late = book_.settle(clock_.elapsed()))
            note("%ld poll(s) not answered within %lld ms: lost", late, static_cast<long long>(kAnswerWithinMs));
    }
    void abandon(const char* why)
    {
        if (const long left = book_.abandon(clock_.elapsed()))
            note("%ld poll(s) unanswered %s: excluded", left, why);
    }

    int nextDelayMs()
    {
        return script_.empty() ? std::uniform_int_distribution<int>(300, 6000)(rng_) : 1000;
    }

    // One operator action, chosen at random among those the window offers right now.
    // The first actions, one a second, go once through everything the soak does, so that
    // the memory reading after the first minute already holds what the first use of each
    // part allocates for good (3D drawing, the longest window, a port search, ...).
    void act()
    {
        if (!script_.empty()) {
            const auto step = script_.front();
            script_.pop_front();
            (this->*step)();
            return;
        }
        Form1& w = *form_;
        const bool chart = chartView();
        const bool paused = w.Check4->isChecked();
        const bool link = connected();
        struct Choice {
            int weight;
            void (Soak::*action)();
        };
        std::vector<Choice> choices{{3, &Soak::switchView}, {link ? 2 : 6, &Soak::toggleConnection}};
        if (chart) {
            choices.push_back({paused ? 5 : 3, &Soak::togglePause});
            choices.push_back({1, &Soak::toggle3D});
            choices.push_back({1, &Soak::changeWindow});
        }
        if (w.Command2->isEnabled())
            choices.push_back({2, &Soak::loadData});
        if (w.Command1->isEnabled()) {
            choices.push_back({2, &Soak::runMotor});
            choices.push_back({1, &Soak::reverse});
            choices.push_back({2, &Soak::stopMotor});
        }
        int sum = 0;
        for (const Choice& c : choices)
            sum += c.weight;
        int pick = std::uniform_int_distribution<int>(0, sum - 1)(rng_);
        for (const Choice& c : choices) {
            if (pick < c.weight) {
                (this->*c.action)();
                return;
            }
            pick -= c.weight;
        }
    }

    void switchView()
    {
        if (chartView())
            abandon("on leaving the chart view");
        form_->Draw->click();
        if (chartView())
            chartEnteredAtMs_ = clock_.elapsed();
        ++actions_.view;
    }
    void toggleConnection()
    {
        Form1& w = *form_;
        if (connected()) {
            if (chartView())
                abandon("on disconnecting");
            w.Command4->click();
            ++actions_.disconnect;
            return;
        }
        if (std::uniform_int_distribution<int>(0, 1)(rng_) == 1 || forceSearch_) {
            w.CAP_NHAT->click();
            ++actions_.search;
        }
        w.Command4->click();
        connectedAtMs_ = clock_.elapsed();
        ++actions_.connect;
        if (!w.MSComm1.portOpen())
            std::printf("  %s: connecting failed (%s)\n", stamp().c_str(), qPrintable(w.Text2->text()));
    }
    void togglePause()
    {
        const bool pausing = !form_->Check4->isChecked();
        // No bookkeeping: answers to the polls already written still come in and are decoded.
        form_->Check4->click();
        ++(pausing ? actions_.pause : actions_.resume);
    }
    void toggle3D()
    {
        form_->Check2->click();
        ++actions_.view3D;
    }
    void changeWindow()
    {
        form_->HScroll1->setValue(std::uniform_int_distribution<int>(1, 500)(rng_));
        ++actions_.window;
    }
    void longestWindow()
    {
        form_->HScroll1->setValue(form_->HScroll1->maximum());
        ++actions_.window;
    }
    void reconnectWithSearch()
    {
        forceSearch_ = true;
        toggleConnection();
        forceSearch_ = false;
    }
    void loadData()
    {
        form_->Command2->click();
        ++actions_.load;
    }
    void runMotor()
    {
        form_->Command1->click();
        ++actions_.run;
    }
    void reverse()
    {
        form_->Command3->click();
        ++actions_.div;
    }
    void stopMotor()
    {
        form_->Command5->click();
        ++actions_.stop;
    }

    std::string stamp() const
    {
        char buffer[32];
        std::snprintf(buffer, sizeof buffer, "%7.1f s", clock_.elapsed() / 1000.0);
        return buffer;
    }

    long failures() const { return dispatchFailureCount() - failuresAtStart_; }

    void reportMinute()
    {
        ++minute_;
        const long rss = residentKb();
        const long heap = heapInUseKb();
        if (minute_ == 1) {
            baselineKb_ = rss;
            baselineHeapKb_ = heap;
        }
        else
            largestAfterBaselineKb_ = std::max(largestAfterBaselineKb_, rss);
        const double cpu = cpuSeconds();
        const double share = 100.0 * (cpu - minuteCpu_) / 60.0;
        minuteCpu_ = cpu;
        const long ticks = ticks_ - minuteTicks_;
        minuteTicks_ = ticks_;
        const FrameBook& b = book_;
        std::printf("minute %d: resident %.2f MB (%s%+.3f MB; anonymous %.2f MB, file-backed %.2f MB), "
                    "heap in use %.2f MB (%+.3f MB), CPU %.2f %% of one core, %.2f ticks/s; "
                    "chart view: polls %ld, decoded %ld, excluded %ld, lost %ld, unexpected %ld, pending %ld; "
                    "actions %ld (%s); handler failures %ld, stderr lines %ld, unusual simulator lines %ld; "
                    "view %s, %s, %s\n",
                    minute_, rss / 1024.0, minute_ == 1 ? "baseline " : "since minute 1: ",
                    minute_ == 1 ? 0.0 : (rss - baselineKb_) / 1024.0, statusKb("RssAnon") / 1024.0,
                    statusKb("RssFile") / 1024.0, heap / 1024.0,
                    (heap - baselineHeapKb_) / 1024.0, share, ticks / 60.0, b.polls, b.decoded,
                    b.excluded, b.lost, b.unexpected, b.pending, actions_.total(), actions_.text().c_str(),
                    failures(), tap_.lines(), simUnusual_, chartView() ? "chart" : "setup",
                    connected() ? "connected" : "disconnected",
                    form_->Check4->isChecked() ? "paused" : "ticking");
        std::fflush(stdout);
    }

    int finalReport()
    {
        const double elapsed = clock_.elapsed() / 1000.0;
        const long rss = residentKb();
        if (baselineKb_ > 0)
            largestAfterBaselineKb_ = std::max(largestAfterBaselineKb_, rss);
        const double growthMb = baselineKb_ > 0 ? (largestAfterBaselineKb_ - baselineKb_) / 1024.0 : 0.0;
        const double share = 100.0 * (cpuSeconds() - cpuStart_) / elapsed;
        const FrameBook& b = book_;
        const long simPolls = sim_.polls();

        std::printf("soak end after %.1f s (seed %u)\n", elapsed, seed_);
        std::printf("soak resident memory: %.2f MB at the end, %.2f MB after minute 1, growth after minute 1 "
                    "%.3f MB (largest later reading; limit %.0f MB)\n",
                    rss / 1024.0, baselineKb_ / 1024.0, growthMb, kGrowthLimitMb);
        std::printf("soak heap in use (malloc): %.2f MB at the end, %.2f MB after minute 1\n",
                    heapInUseKb() / 1024.0, baselineHeapKb_ / 1024.0);
        std::printf("soak CPU share: %.2f %% of one core over the run\n", share);
        std::printf("soak chart view: polls written %ld, frames decoded %ld, excluded %ld (unanswered when the "
                    "port closed or the view left), lost %ld, unexpected %ld, still pending %ld\n",
                    b.polls, b.decoded, b.excluded, b.lost, b.unexpected, b.pending);
        std::printf("soak polls counted by the simulator: %ld of %ld written (polls still in the window's "
                    "write buffer when the port closes never leave)\n",
                    simPolls, serial_->polls);
        std::printf("soak actions: %ld (%s)\n", actions_.total(), actions_.text().c_str());
        std::printf("soak handler failures: %ld; stderr lines: %ld; unusual simulator lines: %ld\n", failures(),
                    tap_.lines(), simUnusual_);
        for (const std::string& line : tap_.firstLines())
            std::printf("  stderr: %s\n", line.c_str());

        std::string verdict;
        if (b.lost > 0 || b.pending > 0)
            verdict += " frames lost;";
        if (minute_ >= 1 && growthMb > kGrowthLimitMb)
            verdict += " memory grew by more than 1 MB after the first minute;";
        if (failures() > 0)
            verdict += " a handler failed;";
        std::printf("soak result: %s%s\n", verdict.empty() ? "PASS" : "FAIL:", verdict.c_str());
        std::fflush(stdout);
        return verdict.empty() ? 0 : 1;
    }

    int minutes_;
    unsigned seed_;
    std::mt19937 rng_;
    DriverSimChild& sim_;
    StderrTap& tap_;
    CountingSerial* serial_ = nullptr;
    std::unique_ptr<Form1> form_;
    QElapsedTimer clock_;
    FrameBook book_;
    Actions actions_;
    long failuresAtStart_ = 0;
    long simUnusual_ = 0;
    std::deque<void (Soak::*)()> script_{
        &Soak::loadData,    &Soak::runMotor,   &Soak::switchView,  &Soak::longestWindow,
        &Soak::toggle3D,    &Soak::reverse,    &Soak::togglePause, &Soak::togglePause,
        &Soak::toggle3D,    &Soak::toggleConnection, &Soak::reconnectWithSearch, &Soak::loadData,
        &Soak::runMotor,    &Soak::switchView, &Soak::stopMotor,   &Soak::switchView};
    bool forceSearch_ = false;
    qint64 connectedAtMs_ = 0;
    qint64 chartEnteredAtMs_ = 0;
    long ticks_ = 0;
    long minuteTicks_ = 0;
    int minute_ = 0;
    long baselineKb_ = -1;
    long baselineHeapKb_ = 0;
    long largestAfterBaselineKb_ = -1;
    double cpuStart_ = 0;
    double minuteCpu_ = 0;
};

} // namespace

int main(int argc, char* argv[])
{
    int minutes = 10;
    unsigned seed = 1;
    for (int i = 1; i < argc; ++i) {
        if (qstrcmp(argv[i], "--minutes") == 0 && i + 1 < argc) {
            minutes = std::atoi(argv[++i]);
        } else if (qstrcmp(argv[i], "--seed") == 0 && i + 1 < argc) {
            seed = unsigned(std::strtoul(argv[++i], nullptr, 10));
        } else {
            std::fprintf(stderr, "usage: %s [--minutes N] [--seed S]\n", argv[0]);
            return 2;
        }
    }
    if (minutes < 1) {
        std::fprintf(stderr, "soak: --minutes must be at least 1\n");
        return 2;
    }
    std::setvbuf(stdout, nullptr, _IOLBF, 0);

    StderrTap tap;
    int code = 2;
    {
        bench::ProgramApplication app(argc, argv);
        QTemporaryDir dir;
        if (!dir.isValid())
            return 2;
        DriverSimChild sim(QStringLiteral(VELTRANO_DRIVER_SIM_EXE), dir.filePath(QStringLiteral("tty")),
                           QStringLiteral("COM3"));
        if (!sim.ok()) {
            std::printf("soak: %s\n", qPrintable(sim.error()));
            return 2;
        }
        qputenv("VELTRANO_PORTS", sim.portsEntry().toLocal8Bit());
        Soak soak(minutes, seed, sim, tap);
        code = soak.run();
    }
    return code;
}
