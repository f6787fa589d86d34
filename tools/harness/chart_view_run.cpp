#include "chart_view_run.h"

#include "app/event_dispatch.h"
#include "app/real_parts.h"
#include "process_status.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <cstdio>

namespace veltrano::harness {

namespace {

const QString kDefaultRecordReply = QStringLiteral("ok mode 0 h-bridge sf 2600 acc off resp 10 test 2 edge 1\r\n");
const QString kRunReply = QStringLiteral("run h-bridge\r\n");

} // namespace

bool waitUntil(const std::function<bool()>& done, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QEventLoop loop;
        QTimer::singleShot(5, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

void runFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

ChartViewRun::ChartViewRun(const QString& simExecutable, bool inProgram)
{
    std::shared_ptr<PortTable> ports;
    if (inProgram) {
        board_ = std::make_shared<SimulatedBoard>();
        ports = std::make_shared<PortTable>(PortMap{});
        ports->placeSimulatedBoard(3, board_);
    } else {
        sim_ = std::make_unique<simchild::DriverSimChild>(
            simExecutable, dir_.filePath(QStringLiteral("tty")), QStringLiteral("COM3"), QStringList{},
            [this](double, const QString& line) {
                if (simchild::isOrdinaryTraffic(line))
                    return;
                ++unusualSimLines_;
                std::fprintf(stderr, "simulator: %s\n", qPrintable(line.trimmed()));
            });
        if (!sim_->ok())
            return;
        ports = std::make_shared<PortTable>(parsePortTable(sim_->portsEntry()));
    }
    Form1Parts parts = realParts(std::move(ports));
    auto counting = std::make_unique<CountingSerial>(std::move(parts.serial));
    serial_ = counting.get();
    parts.serial = std::move(counting);
    form_ = std::make_unique<Form1>(std::move(parts));
    failuresAtStart_ = dispatchFailureCount();

    // Counted after the window's own handlers, which were connected first.
    Form1& form = *form_;
    QObject::connect(&form.Timer1, &TickTimer::tick, &form, [this, &form] {
        if (measuring_ && form.Draw->text() == QLatin1String("Stop"))
            ++ticks_;
    });
    QObject::connect(&form.MSComm1, &SerialControl::onComm, &form, [this, &form] {
        // A decoded frame ends with the end mark just taken and leaves the box holding "0".
        if (form.Draw->text() == QLatin1String("Stop") && serial_->lastTaken == 'E'
            && form.Text2->text() == QLatin1String("0"))
            ++decoded_;
    });
}

QString ChartViewRun::error() const
{
    if (!dir_.isValid())
        return QStringLiteral("no temporary directory");
    return !sim_ || sim_->ok() ? QString() : sim_->error();
}

QString ChartViewRun::connect()
{
    Form1& form = *form_;
    form.load();
    form.show();
    if (form.Combo4->text() != QLatin1String("COM3"))
        return QStringLiteral("the start-up search did not list COM3");
    form.Combo3->setCurrentIndex(form.Combo3->findText(QStringLiteral("115200")));
    form.Command4->click();
    if (!form.MSComm1.portOpen() || form.MSComm1.settings() != QLatin1String("115200,N,8,1"))
        return QStringLiteral("could not connect at 115200 baud");
    if (!waitUntil([&] { return form.Text2->text().endsWith(QLatin1String("\r\n")); }, 5000))
        return QStringLiteral("no greeting reply");
    return {};
}

QString ChartViewRun::openChartView(int points, bool view3D)
{
    Form1& form = *form_;
    form.Command2->click();
    if (!waitUntil([&] { return form.Text2->text().endsWith(kDefaultRecordReply); }, 5000))
        return QStringLiteral("no reply to the parameter record");
    form.Command1->click();
    if (!waitUntil([&] { return form.Text2->text().endsWith(kRunReply); }, 5000))
        return QStringLiteral("no reply to RUN");
    form.Draw->click();
    if (form.Draw->text() != QLatin1String("Stop"))
        return QStringLiteral("the chart view did not open");
    form.HScroll1->setValue(points - 1);
    if (form.HScroll1->value() != points - 1)
        return QStringLiteral("the scroll bar does not take that window length");
    if (view3D)
        form.Check2->click();
    runFor(int(1000 * (form.HScroll1->value() + 64) / 64));
    return {};
}

bool ChartViewRun::pauseAndDrain()
{
    Form1& form = *form_;
    if (!form.Check4->isChecked())
        form.Check4->click();
    return waitUntil([&] { return form.Text2->text() == QLatin1String("0"); }, 2000);
}

ChartViewRun::Stretch ChartViewRun::measure(int seconds, const std::function<void()>& atResume)
{
    Form1& form = *form_;
    pauseAndDrain();
    runFor(100);
    Stretch s;
    const long pollsBefore = serial_->polls;
    decoded_ = 0;
    ticks_ = 0;
    s.rssStartKb = residentKb();
    QElapsedTimer wall;
    const double cpuStart = cpuSeconds();
    const double xStart = xServerPid_ > 0 ? cpuSecondsOf(xServerPid_) : 0;
    const double simStart = sim_ ? cpuSecondsOf(sim_->pid()) : 0;
    wall.start();
    measuring_ = true;
    form.Check4->click(); // resume
    if (atResume)
        atResume();

    runFor(seconds * 1000);

    form.Check4->click(); // pause
    measuring_ = false;
    s.cpuSeconds = cpuSeconds() - cpuStart;
    s.xCpuSeconds = xServerPid_ > 0 ? cpuSecondsOf(xServerPid_) - xStart : 0;
    s.simCpuSeconds = sim_ ? cpuSecondsOf(sim_->pid()) - simStart : 0;
    s.seconds = wall.nsecsElapsed() / 1e9;
    s.polls = serial_->polls - pollsBefore;
    s.ticks = ticks_;
    waitUntil([&] { return decoded_ >= s.polls; }, 2000);
    s.decoded = decoded_;
    s.rssEndKb = residentKb();
    return s;
}

long ChartViewRun::simPollsAfterAll()
{
    if (board_)
        return board_->device().polls();
    waitUntil([&] { return sim_->polls() >= serial_->polls; }, 3000);
    return sim_->polls();
}

long ChartViewRun::failures() const { return dispatchFailureCount() - failuresAtStart_ + unusualSimLines_; }

} // namespace veltrano::harness
