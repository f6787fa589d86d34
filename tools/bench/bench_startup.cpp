// Start-up: from starting the process to the first paint of the window, and the resident
// memory once it is up. Each start is a fresh process (this executable with --child, doing
// what the program's main does: QApplication, Fusion style, the window on its real parts,
// load, show), with the simulated driver board as COM3 so that the start-up port search
// finds and probes one port, as with tools/run.sh. Measured on the offscreen platform and,
// when Xvfb is installed, on a real X server (Xvfb, xcb platform). Every start alternates
// with one that also has the program's own simulated board (--simulate=COM4, so that the
// search finds and probes it beside the simulator's line), and what that adds is reported
// from the pairs.
//
//   bench_startup [--starts N]     (default 10; the median is reported)
#include "app/application.h"
#include "app/form1.h"
#include "app/real_parts.h"
#include "serial/simulated_board.h"
#include "driver_sim_child.h"
#include "process_status.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include <unistd.h>

#ifndef VELTRANO_DRIVER_SIM_EXE
#error "VELTRANO_DRIVER_SIM_EXE must name the veltrano-driver-sim executable"
#endif

using namespace veltrano;

using veltrano::harness::residentKb;

namespace {

const char* const kChildArgument = "--child";
const char* const kStartVariable = "VELTRANO_BENCH_START_NS";
const char* const kSimulateVariable = "VELTRANO_BENCH_SIMULATE";
constexpr double kSimulateTargetMs = 10;
constexpr double kStartupTargetMs = 500;
constexpr double kResidentTargetMb = 100;

// The system-wide monotonic clock, so that parent and child read the same one.
long long monotonicNs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 1'000'000'000LL + now.tv_nsec;
}

// Notes the first paint of the watched window, and a second later (once the start-up
// work has settled) prints "shown <ns from process start> rss <kB>" and ends the run.
class FirstPaint : public QObject {
public:
    explicit FirstPaint(long long startNs) : startNs_(startNs) { }
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && !painted_) {
            painted_ = true;
            const long long shownNs = monotonicNs() - startNs_;
            QTimer::singleShot(1000, [shownNs] {
                std::printf("shown %lld rss %ld\n", shownNs, residentKb());
                std::fflush(stdout);
                QCoreApplication::quit();
            });
        }
        return QObject::eventFilter(watched, event);
    }

private:
    long long startNs_;
    bool painted_ = false;
};

// One start, as the program's main does it.
int child(int argc, char* argv[])
{
    FirstPaint watch(qEnvironmentVariable(kStartVariable).toLongLong());
    Application app(argc, argv); // as the program makes it
    std::shared_ptr<PortTable> ports = PortTable::fromEnvironment();
    if (qEnvironmentVariableIsSet(kSimulateVariable)) // as main does for --simulate
        ports->placeSimulatedBoard(4, std::make_shared<SimulatedBoard>());
    Form1 form(realParts(std::move(ports)));
    form.installEventFilter(&watch);
    form.load();
    form.show();
    QTimer::singleShot(20000, [] {
        std::fprintf(stderr, "the window was not painted within 20 s\n");
        QCoreApplication::exit(1);
    });
    return app.exec();
}

struct Start {
    double ms = -1;
    double residentMb = -1;
};

// Starts the child once with `environment` and reads what it reports.
Start startOnce(const QProcessEnvironment& environment)
{
    QProcess process;
    process.setProgram(QCoreApplication::applicationFilePath());
    process.setArguments({QString::fromLatin1(kChildArgument)});
    QProcessEnvironment env = environment;
    const long long startNs = monotonicNs();
    env.insert(QString::fromLatin1(kStartVariable), QString::number(startNs));
    process.setProcessEnvironment(env);
    process.start();
    Start result;
    if (!process.waitForFinished(30000)) {
        process.kill();
        process.waitForFinished(5000);
        return result;
    }
    const QList<QByteArray> out = process.readAllStandardOutput().trimmed().split(' ');
    for (const QByteArray& line : process.readAllStandardError().split('\n')) {
        if (!line.trimmed().isEmpty() && !line.startsWith("QStandardPaths: XDG_RUNTIME_DIR"))
            std::fprintf(stderr, "child: %s\n", line.constData());
    }
    if (process.exitCode() == 0 && out.size() == 4 && out[0] == "shown" && out[2] == "rss") {
        result.ms = out[1].toLongLong() / 1e6;
        result.residentMb = out[3].toLong() / 1024.0;
    }
    return result;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// Runs `starts` starts and prints the two figures; false when a target is missed.
bool measure(const char* platform, const QProcessEnvironment& environment, int starts)
{
    std::vector<double> ms, mb, simulatedMs, addedMs;
    QProcessEnvironment simulated = environment;
    simulated.insert(QString::fromLatin1(kSimulateVariable), QStringLiteral("1"));
    for (int i = 0; i < starts; ++i) {
        const Start s = startOnce(environment);
        const Start withBoard = startOnce(simulated);
        if (s.ms < 0 || s.residentMb < 0 || withBoard.ms < 0) {
            std::printf("startup to window shown: failed (%s: the window was not shown)\n", platform);
            return false;
        }
        ms.push_back(s.ms);
        mb.push_back(s.residentMb);
        simulatedMs.push_back(withBoard.ms);
        addedMs.push_back(withBoard.ms - s.ms);
    }
    const double medianMs = median(ms), medianMb = median(mb);
    std::printf("startup to window shown: %.1f ms (target < %.0f ms; %s, median of %d starts, "
                "first %.1f ms, slowest %.1f ms)\n",
                medianMs, kStartupTargetMs, platform, starts, ms.front(), *std::max_element(ms.begin(), ms.end()));
    std::printf("resident memory after start: %.1f MB (target < %.0f MB; %s, 1 s after the window was shown, "
                "median of %d starts)\n",
                medianMb, kResidentTargetMb, platform, starts);
    std::string pairs;
    for (size_t i = 0; i < ms.size(); ++i)
        pairs += (i ? ", " : "") + std::to_string(int(ms[i] + 0.5)) + "/" + std::to_string(int(simulatedMs[i] + 0.5));
    const double addedMedianMs = median(addedMs);
    std::printf("startup added by --simulate: %.1f ms (target <= %.0f ms; %s, median of %d paired starts, "
                "ms without/with: %s)\n",
                addedMedianMs, kSimulateTargetMs, platform, starts, pairs.c_str());
    return medianMs < kStartupTargetMs && medianMb < kResidentTargetMb && addedMedianMs <= kSimulateTargetMs;
}

// A private X server for the xcb measurement; stopped when the object goes.
class Xvfb {
public:
    explicit Xvfb(const QString& executable)
    {
        for (int n = 100 + int(getpid() % 50); n < 200; ++n) {
            if (!QFileInfo::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(n))
                && !QFileInfo::exists(QStringLiteral("/tmp/.X%1-lock").arg(n))) {
                display_ = n;
                break;
            }
        }
        if (display_ < 0)
            return;
        process_.start(executable,
                       {QStringLiteral(":%1").arg(display_), QStringLiteral("-screen"), QStringLiteral("0"),
                        QStringLiteral("1280x1024x24"), QStringLiteral("-nolisten"), QStringLiteral("tcp")});
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        for (int i = 0; i < 100 && process_.state() != QProcess::NotRunning; ++i) {
            if (QFileInfo::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(display_))) {
                ready_ = true;
                break;
            }
            QThread::msleep(50);
        }
    }
    ~Xvfb()
    {
        if (process_.state() != QProcess::NotRunning)
            simchild::stopProcess(process_);
    }
    bool ready() const { return ready_; }
    QString display() const { return QStringLiteral(":%1").arg(display_); }

private:
    QProcess process_;
    int display_ = -1;
    bool ready_ = false;
};

} // namespace

int main(int argc, char* argv[])
{
    if (argc == 2 && qstrcmp(argv[1], kChildArgument) == 0)
        return child(argc, argv);
    int starts = 10;
    for (int i = 1; i < argc; ++i) {
        if (qstrcmp(argv[i], "--starts") == 0 && i + 1 < argc) {
            starts = std::max(1, std::atoi(argv[++i]));
        } else {
            std::fprintf(stderr, "usage: %s [--starts N]\n", argv[0]);
            return 2;
        }
    }

    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    if (!dir.isValid())
        return 2;
    simchild::DriverSimChild sim(QStringLiteral(VELTRANO_DRIVER_SIM_EXE), dir.filePath(QStringLiteral("tty")),
                                 QStringLiteral("COM3"), {QStringLiteral("--quiet")});
    if (!sim.ok()) {
        std::fprintf(stderr, "bench_startup: %s\n", qPrintable(sim.error()));
        return 2;
    }
    QProcessEnvironment base = QProcessEnvironment::systemEnvironment();
    base.insert(QStringLiteral("VELTRANO_PORTS"), sim.portsEntry());

    bool ok = true;
    QProcessEnvironment offscreen = base;
    offscreen.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    ok = measure("offscreen", offscreen, starts) && ok;

    const QString xvfbExe = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
    if (xvfbExe.isEmpty()) {
        std::printf("startup under Xvfb: not measured (no Xvfb; tools/install-deps.sh --with-x installs it)\n");
    } else {
        Xvfb server(xvfbExe);
        if (!server.ready()) {
            std::printf("startup to window shown: failed (Xvfb did not come up)\n");
            ok = false;
        } else {
            QProcessEnvironment x = base;
            x.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
            x.insert(QStringLiteral("DISPLAY"), server.display());
            ok = measure("Xvfb, xcb", x, starts) && ok;
        }
    }
    return ok ? 0 : 1;
}
