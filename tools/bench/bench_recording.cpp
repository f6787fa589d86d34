// Recording a whole run, with the whole program against the simulated driver board in the
// chart view (51 points, 2D, 64 frames a second):
//
// 1. Into a file, in rounds taken alternately without and with a recording in the same
//    process: every frame decoded is a row of the file, every line whole, resident memory
//    flat, and the CPU share within 0.3 points of the rounds without.
// 2. Into a named pipe whose reader stops reading for a while: the ticks and polls go on
//    at 64 a second through the stall, and once the reader goes on it gets the rows held
//    back, so that in the end it has read a row for every frame decoded.
//
//   bench_recording [--seconds N] [--rounds N] [--case all|file|fifo] [--stall-seconds N]
//
// --seconds: each file round (default 60); --rounds: pairs of rounds without and with a
// recording (default 3; 0: one round with a recording, nothing to compare it with);
// --case: which of the two to run (default all); --stall-seconds: the reader's stall
// (default 5), with 3 s of reading before it and 7 s after.
#include "chart_view_run.h"
#include "monitor/trace_table.h"
#include "program_application.h"
#include "record/run_recorder.h"

#include <QElapsedTimer>
#include <QFile>
#include <QKeySequence>
#include <QShortcut>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#ifndef VELTRANO_DRIVER_SIM_EXE
#error "VELTRANO_DRIVER_SIM_EXE must name the veltrano-driver-sim executable"
#endif

using namespace veltrano;
using veltrano::harness::ChartViewRun;

namespace {

int fail(const QString& what)
{
    std::fprintf(stderr, "bench_recording: %s\n", qPrintable(what));
    return 2;
}

[[gnu::format(printf, 1, 2)]] void say(const char* format, ...)
{
    va_list values;
    va_start(values, format);
    std::vprintf(format, values);
    va_end(values);
    std::fflush(stdout); // a long run shows its rounds as they end
}

bool tickRateOk(double rate) { return rate >= 63.0 && rate <= 65.0; }

bool wholeNumber(const QByteArray& text, long low, long high)
{
    bool ok = false;
    const long value = text.toLong(&ok);
    return ok && value >= low && value <= high;
}

// What a recording holds: rows after the header, and lines that are not whole rows (no
// end of line, a wrong field count, a value out of range, time running backwards).
struct Rows {
    long rows = 0;
    long torn = 0;
    bool headerOk = false;
    QList<QByteArray> last; // the last row's fields
};

Rows readRows(const QByteArray& contents)
{
    Rows r;
    r.headerOk = contents.startsWith(kRunHeader);
    qsizetype at = r.headerOk ? qsizetype(sizeof kRunHeader - 1) : 0;
    long lastMs = 0;
    while (at < contents.size()) {
        const qsizetype end = contents.indexOf('\n', at);
        if (end < 0) {
            ++r.torn; // a line without its end
            break;
        }
        const QList<QByteArray> f = contents.mid(at, end - at).split(',');
        at = end + 1;
        bool xOk = false;
        if (f.size() == 6)
            f[1].toDouble(&xOk);
        const bool ok = f.size() == 6 && wholeNumber(f[0], lastMs, 1L << 40) && xOk && wholeNumber(f[2], -32768, 32767)
                        && wholeNumber(f[3], -32768, 32767) && wholeNumber(f[4], -32768, 32767)
                        && wholeNumber(f[5], 0, 255);
        if (!ok) {
            ++r.torn;
            continue;
        }
        lastMs = f[0].toLong();
        ++r.rows;
        r.last = f;
    }
    return r;
}

// The last row holds the values the window decoded last.
bool lastRowIsWindows(const Rows& rows, const Form1& form)
{
    if (rows.last.size() != 6)
        return rows.rows == 0;
    return rows.last[2].toInt() == form.data0.value_or(0) && rows.last[3].toInt() == form.data1.value_or(0)
           && rows.last[4].toInt() == form.data2.value_or(0) && rows.last[5].toInt() == form.data3;
}

bool startRecording(Form1& form, const QString& path, QString* error)
{
    std::unique_ptr<RunRecorder> recorder = RunRecorder::start(path, QByteArray(kRunHeader), error);
    if (!recorder)
        return false;
    form.recordRun(std::move(recorder));
    return form.isRecording();
}

// Ends the recording as the operator does, with Ctrl+R (through the window's dispatcher).
void stopRecording(Form1& form)
{
    for (QShortcut* shortcut : form.findChildren<QShortcut*>()) {
        if (shortcut->key() == QKeySequence(Qt::CTRL | Qt::Key_R))
            emit shortcut->activated();
    }
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n == 0 ? 0 : n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// The file case: rounds without and with a recording, alternately. True when every target
// holds.
bool fileCase(ChartViewRun& run, int seconds, int rounds)
{
    Form1& form = run.form();
    std::vector<double> without, with;
    bool ok = true;
    long rowsAll = 0, decodedAll = 0, tornAll = 0;
    double worstGrowthMb = 0, slowest = 1e9, fastest = 0;
    const int total = rounds == 0 ? 1 : 2 * rounds;
    for (int i = 0; i < total; ++i) {
        const bool recording = rounds == 0 || i % 2 == 1;
        const int round = rounds == 0 ? 1 : i / 2 + 1;
        const QString path = run.tempPath(QStringLiteral("run-%1.csv").arg(round));
        QString error;
        if (recording && !startRecording(form, path, &error)) {
            std::fprintf(stderr, "bench_recording: %s\n", qPrintable(error));
            return false;
        }
        const ChartViewRun::Stretch s = run.measure(seconds);
        const double rate = s.ticks / s.seconds;
        const double growthMb = (s.rssEndKb - s.rssStartKb) / 1024.0;
        slowest = std::min(slowest, rate);
        fastest = std::max(fastest, rate);
        ok = ok && tickRateOk(rate) && s.polls == s.ticks && s.polls > 0 && s.decoded * 100 >= s.polls * 99;
        if (!recording) {
            without.push_back(s.cpuPct());
            say("recording round %d without: CPU share %.2f %%, %.2f ticks/s, %ld polls, %ld decoded, "
                "resident %.2f -> %.2f MB, %.1f s\n",
                round, s.cpuPct(), rate, s.polls, s.decoded, s.rssStartKb / 1024.0, s.rssEndKb / 1024.0, s.seconds);
            continue;
        }
        stopRecording(form);
        if (form.isRecording()) {
            std::fprintf(stderr, "bench_recording: Ctrl+R did not stop the recording\n");
            return false;
        }
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            std::fprintf(stderr, "bench_recording: cannot read %s back\n", qPrintable(path));
            return false;
        }
        const QByteArray contents = file.readAll();
        const Rows rows = readRows(contents);
        const bool valuesOk = rows.headerOk && lastRowIsWindows(rows, form);
        with.push_back(s.cpuPct());
        rowsAll += rows.rows;
        decodedAll += s.decoded;
        tornAll += rows.torn + (valuesOk ? 0 : 1);
        worstGrowthMb = std::max(worstGrowthMb, growthMb);
        ok = ok && rows.rows == s.decoded && valuesOk && rows.torn == 0;
        say("recording round %d with:    CPU share %.2f %%, %.2f ticks/s, %ld polls, %ld decoded, %ld rows, "
            "%ld torn, %lld bytes, resident %.2f -> %.2f MB, %.1f s\n",
            round, s.cpuPct(), rate, s.polls, s.decoded, rows.rows, rows.torn, qlonglong(contents.size()),
            s.rssStartKb / 1024.0, s.rssEndKb / 1024.0, s.seconds);
        QFile::remove(path);
    }
    say("recording into a file (chart view 2D, 51 points, motor running): %d round(s) of %d s with, %d without\n",
        int(with.size()), seconds, int(without.size()));
    say("recording ticks per second, every round: %.2f to %.2f 1/s (target 63 to 65)\n", slowest, fastest);
    say("recording rows written: %ld rows (target = frames decoded, %ld)\n", rowsAll, decodedAll);
    say("recording torn or unreadable lines: %ld lines (target 0)\n", tornAll);
    say("recording resident memory growth, largest of the rounds with: %.3f MB (target < 1 MB)\n", worstGrowthMb);
    const bool rssOk = worstGrowthMb < 1.0;
    if (rounds == 0) {
        say("recording CPU share with a recording: %.2f %% of one core\n", with[0]);
        return ok && rssOk;
    }
    const double added = median(with) - median(without);
    say("recording CPU share without, median of %d: %.2f %% of one core\n", int(without.size()), median(without));
    say("recording CPU share with, median of %d: %.2f %% of one core\n", int(with.size()), median(with));
    say("recording CPU share added by the recording: %.2f points (target <= 0.3 points)\n", added);
    return ok && rssOk && added <= 0.3;
}

// Reads the pipe as it comes, except while told to stall; ends at the end of the pipe.
struct PipeReader {
    int fd = -1;
    std::atomic<bool> stalled{false};
    std::atomic<long> lines{0}; // the header included
    QByteArray contents; // the reader thread's until it has ended
    std::thread thread;

    void run()
    {
        char buffer[65536];
        for (;;) {
            if (stalled) {
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
                continue;
            }
            pollfd ready{fd, POLLIN, 0};
            if (::poll(&ready, 1, 50) <= 0)
                continue;
            const ssize_t got = ::read(fd, buffer, sizeof buffer);
            if (got == 0)
                return; // the recording closed its end
            if (got < 0) {
                if (errno == EAGAIN || errno == EINTR)
                    continue;
                return;
            }
            contents.append(buffer, got);
            lines += long(std::count(buffer, buffer + got, '\n'));
        }
    }
};

// The pipe case: a reader that stalls for `stallSeconds`. True when every target holds.
bool fifoCase(ChartViewRun& run, int stallSeconds)
{
    constexpr int kLeadSeconds = 3;
    constexpr int kTailSeconds = 7;
    Form1& form = run.form();
    const QByteArray path = QFile::encodeName(run.tempPath(QStringLiteral("run.fifo")));
    if (::mkfifo(path.constData(), 0600) != 0) {
        std::perror("bench_recording: mkfifo");
        return false;
    }
    PipeReader reader;
    reader.fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (reader.fd < 0) {
        std::perror("bench_recording: opening the pipe");
        return false;
    }
    // A page of pipe, about two seconds of rows, so that the stall backs up into the
    // recorder instead of vanishing into the kernel's usual 64 KiB.
    (void)::fcntl(reader.fd, F_SETPIPE_SZ, 4096);
    const int capacity = ::fcntl(reader.fd, F_GETPIPE_SZ);
    QString error;
    if (!startRecording(form, QFile::decodeName(path), &error)) {
        std::fprintf(stderr, "bench_recording: %s\n", qPrintable(error));
        ::close(reader.fd);
        return false;
    }
    reader.thread = std::thread([&reader] { reader.run(); });

    struct Mark {
        double at = 0;
        long ticks = 0, polls = 0, decoded = 0, linesRead = 0;
    };
    Mark stallStart, stallEnd;
    int pipeBytesAtEnd = -1;
    double caughtUpAfter = -1; // seconds from the end of the stall until the reader had every row
    double longestGapMs = 0; // between two ticks during the stall
    QElapsedTimer wall, sinceTick;
    QTimer catchUp;
    catchUp.setInterval(5);
    QObject::connect(&catchUp, &QTimer::timeout, [&] {
        if (reader.lines - 1 >= stallEnd.decoded) {
            caughtUpAfter = wall.nsecsElapsed() / 1e9 - stallEnd.at;
            catchUp.stop();
        }
    });
    const QMetaObject::Connection tickGap = QObject::connect(&form.Timer1, &TickTimer::tick, [&] {
        if (reader.stalled && sinceTick.isValid())
            longestGapMs = std::max(longestGapMs, sinceTick.nsecsElapsed() / 1e6);
        sinceTick.start();
    });
    auto mark = [&](Mark& m) {
        m = {wall.nsecsElapsed() / 1e9, run.ticks(), run.serial().polls, run.decoded(), reader.lines.load()};
    };
    const auto s = run.measure(kLeadSeconds + stallSeconds + kTailSeconds, [&] {
        wall.start();
        QTimer::singleShot(kLeadSeconds * 1000, Qt::PreciseTimer, [&] {
            mark(stallStart);
            reader.stalled = true;
        });
        QTimer::singleShot((kLeadSeconds + stallSeconds) * 1000, Qt::PreciseTimer, [&] {
            mark(stallEnd);
            (void)::ioctl(reader.fd, FIONREAD, &pipeBytesAtEnd);
            reader.stalled = false;
            catchUp.start();
        });
    });
    QObject::disconnect(tickGap);
    stopRecording(form);
    reader.thread.join();
    ::close(reader.fd);
    catchUp.stop();

    const Rows rows = readRows(reader.contents);
    const bool valuesOk = rows.headerOk && lastRowIsWindows(rows, form);
    const double stalledFor = stallEnd.at - stallStart.at;
    const long stallTicks = stallEnd.ticks - stallStart.ticks;
    const long stallPolls = stallEnd.polls - stallStart.polls;
    const long stallDecoded = stallEnd.decoded - stallStart.decoded;
    const double stallRate = stalledFor > 0 ? stallTicks / stalledFor : 0;
    const double stallAnswered = stallPolls > 0 ? 100.0 * stallDecoded / stallPolls : 0;
    const long unreadAtEnd = stallEnd.decoded - (stallEnd.linesRead - 1);

    say("recording into a pipe whose reader stalls (pipe of %d bytes): %.1f s, the reader stopped for %.2f s "
        "from %.2f s on\n",
        capacity, s.seconds, stalledFor, stallStart.at);
    say("recording pipe ticks per second during the stall: %.2f 1/s (target 63 to 65)\n", stallRate);
    say("recording pipe longest gap between ticks during the stall: %.1f ms\n", longestGapMs);
    say("recording pipe polls answered and decoded during the stall: %.2f %% (target >= 99 %%; %ld of %ld)\n",
        stallAnswered, stallDecoded, stallPolls);
    say("recording pipe polls answered and decoded over the run: %.2f %% (target >= 99 %%; %ld of %ld)\n",
        s.polls > 0 ? 100.0 * s.decoded / s.polls : 0.0, s.decoded, s.polls);
    say("recording pipe rows not yet read at the end of the stall: %ld rows (%d bytes waiting in the pipe)\n",
        unreadAtEnd, pipeBytesAtEnd);
    say("recording pipe rows held back read within: %.3f s of the reader going on (target <= 1 s)\n", caughtUpAfter);
    say("recording pipe rows read: %ld rows (target = frames decoded, %ld)\n", rows.rows, s.decoded);
    say("recording pipe torn or unreadable lines: %ld lines (target 0)\n", rows.torn + (valuesOk ? 0 : 1));
    return tickRateOk(stallRate) && stallAnswered >= 99.0 && s.polls > 0 && s.decoded * 100 >= s.polls * 99
           && caughtUpAfter >= 0 && caughtUpAfter <= 1.0 && rows.rows == s.decoded && rows.torn == 0 && valuesOk;
}

} // namespace

int main(int argc, char* argv[])
{
    int seconds = 60;
    int rounds = 3;
    int stallSeconds = 5;
    QByteArray which = "all";
    const struct {
        const char* name;
        int* value;
    } numbers[] = {{"--seconds", &seconds}, {"--rounds", &rounds}, {"--stall-seconds", &stallSeconds}};
    for (int i = 1; i < argc; i += 2) {
        const auto number = std::find_if(std::begin(numbers), std::end(numbers),
                                         [&](const auto& n) { return qstrcmp(argv[i], n.name) == 0; });
        if (i + 1 < argc && number != std::end(numbers)) {
            *number->value = std::atoi(argv[i + 1]);
        } else if (i + 1 < argc && qstrcmp(argv[i], "--case") == 0) {
            which = argv[i + 1];
        } else {
            std::fprintf(stderr, "usage: %s [--seconds N] [--rounds N] [--case all|file|fifo] [--stall-seconds N]\n",
                         argv[0]);
            return 2;
        }
    }
    if (seconds < 1 || rounds < 0 || stallSeconds < 1)
        return fail(QStringLiteral("--seconds and --stall-seconds must be at least 1, --rounds at least 0"));
    if (which != "all" && which != "file" && which != "fifo")
        return fail(QStringLiteral("--case takes all, file or fifo"));

    harness::ProgramApplication app(argc, argv);
    ChartViewRun run(QStringLiteral(VELTRANO_DRIVER_SIM_EXE));
    if (!run.error().isEmpty())
        return fail(run.error());
    if (const QString error = run.connect(); !error.isEmpty())
        return fail(error);
    if (const QString error = run.openChartView(51, false); !error.isEmpty())
        return fail(error);
    if (!run.pauseAndDrain())
        return fail(QStringLiteral("answers still outstanding after the warm-up"));

    bool ok = true;
    if (which != "fifo")
        ok = fileCase(run, seconds, rounds) && ok;
    if (which != "file")
        ok = fifoCase(run, stallSeconds) && ok;

    const long allPolls = run.serial().polls;
    const long simPolls = run.simPollsAfterAll();
    const long failures = run.failures();
    say("recording polls received by the simulator: %ld polls (target = all polls written, %ld)\n", simPolls, allPolls);
    say("recording handler failures and unusual simulator lines: %ld (target 0)\n", failures);
    return ok && simPolls == allPolls && failures == 0 ? 0 : 1;
}
