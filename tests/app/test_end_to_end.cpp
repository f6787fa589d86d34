// The whole program against the simulated driver board: the window on its real parts
// (serial control, the 64 Hz timer, the strip chart), driven through its buttons, with the
// board on a pseudo-terminal (the simulator run as a separate process) or inside the
// program (--simulate).
#include "app/event_dispatch.h"
#include "app/form1.h"
#include "app/real_parts.h"
#include "chart/strip_chart_widget.h"
#include "serial/simulated_board.h"
#include "support/driver_sim_process.h"
#include "support/form_fixture.h"
#include "support/port_holder.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <array>
#include <cstdio>
#include <memory>
#include <set>
#include <vector>

#ifndef VELTRANO_DRIVER_SIM_EXE
#error "VELTRANO_DRIVER_SIM_EXE must name the veltrano-driver-sim executable"
#endif

using namespace veltrano;
using veltrano::testing::DriverSimProcess;
using veltrano::testing::inChartView;

namespace {

const QString kOkLine = QString(40, QLatin1Char('-')) + QStringLiteral("____OK____") + QString(44, QLatin1Char('-'));
const QString kClosedNotice = QStringLiteral("MSComm = False ");
const QString kGreetingReply = QStringLiteral("veltrano driver sim ready, ");
// The simulator's answer to the record the window sends with its fields left at their defaults.
const QString kDefaultRecordReply = QStringLiteral("ok mode 0 h-bridge sf 2600 acc off resp 10 test 2 edge 1\r\n");
const QString kRunReply = QStringLiteral("run h-bridge\r\n");

using Sample = std::array<int, 4>;

// What the window did, seen from handlers connected after its own: each runs once the
// window's handler for the same event has finished.
struct Watch {
    int chartTicks = 0; // ticks in the chart view
    int pollsSent = 0; // the chart view's first poll plus one per tick with the port open
    int closedTicks = 0; // chart-view ticks with the port closed
    int closedTicksMisreported = 0; // ... after which Text7 did not read the closed notice
    std::vector<Sample> decoded; // data0..data3 after each decoded frame
    std::vector<Sample> plotted; // the four series' last Y after each chart-view tick
    std::vector<int> framesBeforePlot; // ... and how many frames had been decoded by then

    bool countingProgress = false;
    int progressTicks = 0; // ticks from the download to the OK line
    int progressTextMismatches = 0; // ticks before the OK line where Text7 was not one '>' per tick
};

} // namespace

class EndToEndTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void parameterDownload_greetsLoadsRunsAndReportsOk_data() { transports(); }
    void parameterDownload_greetsLoadsRunsAndReportsOk();
    void liveChart_pollsDecodesAndPlotsTheBoardsTraces_data() { transports(); }
    void liveChart_pollsDecodesAndPlotsTheBoardsTraces();
    void devicePulledOutMidStream_windowCarriesOnAndReconnects();
    void portHeldByAnotherProgram_isNotListedAndCannotBeConnected();

private:
    // The board on a pseudo-terminal, or inside the program.
    static void transports()
    {
        QTest::addColumn<bool>("inProcess");
        QTest::newRow("pty") << false;
        QTest::newRow("in-process") << true;
    }
    // Starts the simulator on a link in the test's directory and points COM3 at it (plus
    // COM5 at a device that does not exist); inProcess puts the program's own simulated
    // board at COM3 instead. False (with a failed check) when it did not start.
    bool startSim(const QStringList& extraArgs = {}, bool inProcess = false);
    bool startSimAsAsked()
    {
        QFETCH(bool, inProcess);
        return startSim({}, inProcess);
    }
    // What the board received ("rx ..." lines) and the polls it counted, either way.
    QStringList boardReceived() { return board_ ? boardLog_ : sim_->received(); }
    long boardPolls() { return board_ ? board_->device().polls() : sim_->summarisedPolls(); }
    // Builds, loads and shows the window on its real parts and starts watching it.
    void openWindow();
    void click(QAbstractButton* button) { button->click(); }
    StripChartWidget* chart() { return dynamic_cast<StripChartWidget*>(&form_->TChart1); }
    Sample currentData() const
    {
        return {form_->data0.value_or(-1), form_->data1.value_or(-1), form_->data2.value_or(-1), int(form_->data3)};
    }
    // Waits until the window has decoded `frames` frames in the chart view.
    bool waitForFrames(int frames, int timeoutMs);

    std::unique_ptr<QTemporaryDir> dir_;
    QString link_;
    std::unique_ptr<DriverSimProcess> sim_;
    std::shared_ptr<SimulatedBoard> board_;
    QStringList boardLog_;
    std::shared_ptr<PortTable> ports_;
    QElapsedTimer sinceSimStart_; // started just before the simulator, so never behind its clock
    std::unique_ptr<Form1> form_;
    std::unique_ptr<QProcess> holder_;
    Watch watch_;
    long failuresAtStart_ = 0;
};

void EndToEndTest::init()
{
    watch_ = Watch{};
    failuresAtStart_ = dispatchFailureCount();
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
    link_ = dir_->filePath(QStringLiteral("board/tty"));
}

void EndToEndTest::cleanup()
{
    // The window first, so that it closes the port while the line is still there.
    form_.reset();
    if (holder_) {
        holder_->closeWriteChannel();
        if (!holder_->waitForFinished(5000)) {
            holder_->kill();
            holder_->waitForFinished(5000);
        }
        holder_.reset();
    }
    sim_.reset();
    board_.reset();
    boardLog_.clear();
    ports_.reset();
    dir_.reset();
}

bool EndToEndTest::startSim(const QStringList& extraArgs, bool inProcess)
{
    sinceSimStart_.start();
    const QString absent = QStringLiteral("COM5=") + dir_->filePath(QStringLiteral("absent"));
    if (inProcess) {
        board_ = std::make_shared<SimulatedBoard>();
        board_->device().setLogger([this](const std::string& line) {
            if (line.rfind("rx ", 0) == 0)
                boardLog_.append(QString::fromStdString(line));
        });
        ports_ = std::make_shared<PortTable>(parsePortTable(absent));
        ports_->placeSimulatedBoard(3, board_);
        return true;
    }
    sim_ = std::make_unique<DriverSimProcess>(QStringLiteral(VELTRANO_DRIVER_SIM_EXE), link_, QStringLiteral("COM3"),
                                              extraArgs);
    [&] { QVERIFY2(sim_->ok(), qPrintable(sim_->error())); }();
    if (!sim_->ok())
        return false;
    [&] { QCOMPARE(sim_->portsEntry(), QStringLiteral("COM3=") + link_); }();
    if (QTest::currentTestFailed())
        return false;
    ports_ = std::make_shared<PortTable>(parsePortTable(sim_->portsEntry() + u';' + absent));
    return true;
}

void EndToEndTest::openWindow()
{
    form_ = std::make_unique<Form1>(realParts(ports_));
    Form1* form = form_.get();
    Watch* watch = &watch_;

    connect(&form->Timer1, &TickTimer::tick, form, [this, form, watch] {
        if (watch->countingProgress) {
            ++watch->progressTicks;
            if (form->Text7->text() == kOkLine)
                watch->countingProgress = false;
            else if (form->Text7->text() != QString(watch->progressTicks, QLatin1Char('>')))
                ++watch->progressTextMismatches;
        }
        if (!inChartView(*form))
            return;
        ++watch->chartTicks;
        if (form->MSComm1.portOpen()) {
            ++watch->pollsSent;
        } else {
            ++watch->closedTicks;
            if (form->Text7->text() != kClosedNotice)
                ++watch->closedTicksMisreported;
        }
        Sample last{};
        for (int s = 0; s < 4; ++s)
            last[s] = int(chart()->series(s).last().y);
        watch->plotted.push_back(last);
        watch->framesBeforePlot.push_back(int(watch->decoded.size()));
    });
    connect(&form->MSComm1, &SerialControl::onComm, form, [this, form, watch] {
        // A decoded frame leaves the receive box holding just "0".
        if (inChartView(*form) && form->Text2->text() == QLatin1String("0"))
            watch->decoded.push_back(currentData());
    });
    connect(form->Draw, &QAbstractButton::clicked, form, [form, watch] {
        if (inChartView(*form) && form->MSComm1.portOpen())
            ++watch->pollsSent; // the view's first poll
    });

    form_->load();
    form_->show();
}

bool EndToEndTest::waitForFrames(int frames, int timeoutMs)
{
    [&] { QTRY_VERIFY_WITH_TIMEOUT(int(watch_.decoded.size()) >= frames, timeoutMs); }();
    return !QTest::currentTestFailed();
}

// ---------------------------------------------------------------------------------------

void EndToEndTest::parameterDownload_greetsLoadsRunsAndReportsOk()
{
    if (!startSimAsAsked())
        return;
    openWindow();
    Form1& w = *form_;
    QVERIFY(chart());

    // The port search lists the board's port, and not the one whose device is missing.
    click(w.CAP_NHAT);
    QCOMPARE(w.Combo4->count(), 1);
    QCOMPARE(w.Combo4->itemText(0), QStringLiteral("COM3"));
    QCOMPARE(w.Combo4->text(), QStringLiteral("COM3"));
    QVERIFY(!w.MSComm1.portOpen()); // searching leaves the port closed
    QVERIFY(!w.Command2->isEnabled());

    click(w.Command4);
    QVERIFY(w.MSComm1.portOpen());
    QCOMPARE(w.Command4->text(), QStringLiteral("DISCONECT"));
    QVERIFY(w.Command2->isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(w.Text2->text().endsWith(QLatin1String("\r\n")), 5000);
    QVERIFY2(w.Text2->text().startsWith(QLatin1Char('\r') + kGreetingReply), qPrintable(w.Text2->text()));
    // The progress run the greeting started ends before the download starts its own.
    QTRY_COMPARE_WITH_TIMEOUT(w.Text7->text(), kOkLine, 10000);
    QCOMPARE(w.progressActive, std::int16_t(0));

    watch_.countingProgress = true;
    watch_.progressTicks = 0;
    click(w.Command2);
    QVERIFY(w.Command1->isEnabled() && w.Command3->isEnabled() && w.Command5->isEnabled());
    QTRY_COMPARE_WITH_TIMEOUT(w.Text2->text(), QLatin1Char('\r') + kDefaultRecordReply, 5000);
    QTRY_COMPARE_WITH_TIMEOUT(w.Text7->text(), kOkLine, 10000);
    QVERIFY(!watch_.countingProgress);
    QCOMPARE(watch_.progressTicks, 61);
    QCOMPARE(watch_.progressTextMismatches, 0);
    QCOMPARE(w.progressActive, std::int16_t(0));
    QCOMPARE(w.ProgressBar1.value(), 0.0f);

    click(w.Command1);
    QTRY_COMPARE_WITH_TIMEOUT(w.Text2->text(), QLatin1Char('\r') + kDefaultRecordReply + kRunReply, 5000);

    // Nothing else reaches the board: no stray bytes from the search, the record in one
    // piece, no second greeting.
    QTest::qWait(300);
    const QStringList expected{QStringLiteral("rx A (greeting)"), QStringLiteral("rx record C2600=1=10=2=0=1F"),
                               QStringLiteral("rx J (run)")};
    QCOMPARE(boardReceived(), expected);
    QCOMPARE(w.Text2->text(), QLatin1Char('\r') + kDefaultRecordReply + kRunReply);
    QCOMPARE(dispatchFailureCount(), failuresAtStart_);
}

void EndToEndTest::liveChart_pollsDecodesAndPlotsTheBoardsTraces()
{
    if (!startSimAsAsked())
        return;
    openWindow();
    Form1& w = *form_;
    StripChartWidget* strip = chart();
    QVERIFY(strip);

    click(w.Command4);
    click(w.Command2);
    QTRY_VERIFY_WITH_TIMEOUT(w.Text2->text().endsWith(kDefaultRecordReply), 5000);

    // The chart view first, with the motor standing; then RUN from there.
    click(w.Draw);
    QCOMPARE(w.Draw->text(), QStringLiteral("Stop"));
    QVERIFY(strip->isVisible());
    QVERIFY(waitForFrames(5, 5000));
    const int framesStanding = int(watch_.decoded.size());
    click(w.Command1);
    // The motor comes up to speed (128 is standing still).
    QTRY_VERIFY_WITH_TIMEOUT(w.data0.value_or(0) >= 150, 10000);
    // The strip fills up to its window and then scrolls.
    const int window = w.HScroll1->value();
    QTRY_VERIFY_WITH_TIMEOUT(watch_.chartTicks > window + 10, 10000);

    // Pause: no more ticks, no more polls; the answers still on the way are decoded.
    click(w.Check4);
    QVERIFY(!w.Timer1.isEnabled());
    QTRY_COMPARE_WITH_TIMEOUT(int(watch_.decoded.size()), watch_.pollsSent, 5000);
    QTest::qWait(200);
    QCOMPARE(int(watch_.decoded.size()), watch_.pollsSent);
    // The board counted exactly the polls the window sent (it sums them once a second).
    QTRY_COMPARE_WITH_TIMEOUT(boardPolls(), long(watch_.pollsSent), 5000);
    qInfo("%d chart ticks, %d frames decoded", watch_.chartTicks, int(watch_.decoded.size()));

    for (int s = 0; s < 4; ++s) {
        QCOMPARE(strip->pointCount(s), window + 1);
        QCOMPARE(strip->lastX(s), double(watch_.chartTicks)); // one point per tick, X counting on
        const SeriesBuffer& points = strip->series(s);
        for (int i = 1; i < points.size(); ++i)
            QCOMPARE(points[i].x, points[0].x + i);
    }
    // The traces are the board's: speed, current, duty, angle, in that order.
    // Standing: no speed, no current, no duty (128 each).
    for (int i = 0; i < framesStanding; ++i) {
        const Sample& d = watch_.decoded[size_t(i)];
        QVERIFY2(d[0] == 128 && d[1] == 128 && d[2] == 128,
                 qPrintable(QStringLiteral("frame %1: %2 %3 %4").arg(i).arg(d[0]).arg(d[1]).arg(d[2])));
    }
    bool upToSpeed = false;
    std::set<int> anglesRunning;
    for (size_t i = 0; i < watch_.decoded.size(); ++i) {
        const Sample& d = watch_.decoded[i];
        for (int v : d) {
            QVERIFY2(v >= 0 && v <= 255, qPrintable(QString::number(v)));
            QVERIFY2(v != 'E', "a data byte of 69 would be taken for the end mark");
        }
        QVERIFY2(d[0] >= 128, qPrintable(QString::number(d[0]))); // it only turns forward
        // Open-loop duty 2600/4095, full or half with the 2 s test pattern: 128 + 127 * duty;
        // 128 only until the board has the RUN.
        const int duty = d[2];
        upToSpeed = upToSpeed || d[0] >= 150;
        QVERIFY2((!upToSpeed && duty == 128) || (duty >= 207 && duty <= 211) || (duty >= 166 && duty <= 170),
                 qPrintable(QStringLiteral("frame %1: duty %2").arg(i).arg(duty)));
        if (upToSpeed)
            anglesRunning.insert(d[3]);
    }
    QVERIFY2(anglesRunning.size() >= 10, "the angle trace should sweep while the shaft turns");
    // Each tick plots the frame decoded last before it (nothing before the first frame).
    int checked = 0;
    for (size_t i = 0; i < watch_.plotted.size(); ++i) {
        const int frames = watch_.framesBeforePlot[i];
        const Sample expected = frames == 0 ? Sample{0, 0, 0, 0} : watch_.decoded[size_t(frames - 1)];
        const Sample& p = watch_.plotted[i];
        QVERIFY2(p == expected, qPrintable(QStringLiteral("tick %1 plotted %2 %3 %4 %5, last frame %6 %7 %8 %9")
                                               .arg(i)
                                               .arg(p[0])
                                               .arg(p[1])
                                               .arg(p[2])
                                               .arg(p[3])
                                               .arg(expected[0])
                                               .arg(expected[1])
                                               .arg(expected[2])
                                               .arg(expected[3])));
        if (frames > 0)
            ++checked;
    }
    QVERIFY(checked >= window);
    QCOMPARE(dispatchFailureCount(), failuresAtStart_);
}

void EndToEndTest::devicePulledOutMidStream_windowCarriesOnAndReconnects()
{
    if (!startSim({QStringLiteral("--close-after"), QStringLiteral("3"), QStringLiteral("--reappear-after"),
                   QStringLiteral("1.5")}))
        return;
    openWindow();
    Form1& w = *form_;
    StripChartWidget* strip = chart();
    QVERIFY(strip);

    click(w.Command4);
    click(w.Command2);
    click(w.Command1);
    QTRY_VERIFY_WITH_TIMEOUT(w.Text2->text().endsWith(kRunReply), 3000);
    click(w.Draw);
    QVERIFY2(waitForFrames(10, 2500), "the chart view got no frames before the board was pulled out");
    QVERIFY(w.MSComm1.portOpen());

    // Pulled out: the port reads closed soon after.
    QTRY_VERIFY_WITH_TIMEOUT(!w.MSComm1.portOpen(), 6000);
    const double lossSeenAt = sinceSimStart_.elapsed() / 1000.0;
    const QString pulledOut = QStringLiteral("line closed and link removed (pulled out)");
    QTRY_VERIFY_WITH_TIMEOUT(sim_->logged(pulledOut), 5000);
    // The port reads closed because the board went, not before.
    QVERIFY2(lossSeenAt >= sim_->loggedAt(pulledOut),
             qPrintable(
                 QStringLiteral("closed at %1 s, pulled out at %2 s").arg(lossSeenAt).arg(sim_->loggedAt(pulledOut))));
    const int ticksAtLoss = watch_.chartTicks;
    const int framesAtLoss = int(watch_.decoded.size());
    // The window no longer claims the connection.
    QTRY_COMPARE_WITH_TIMEOUT(w.Command4->text(), QStringLiteral("CONNECTING"), 2000);
    QCOMPARE(w.Text2->text(), QStringLiteral("COM PORT DISCONNECTED"));
    QVERIFY(!w.Command1->isEnabled() && !w.Command2->isEnabled() && w.Text2->isShown());

    // While it is away, the search does not find it (checked only if it has not come back yet).
    click(w.CAP_NHAT);
    if (!QFileInfo::exists(link_)) {
        QCOMPARE(w.Combo4->count(), 0);
        QCOMPARE(w.Combo4->text(), QStringLiteral("COM ERROR"));
    } else {
        qInfo("the board came back before the search; its absence was not checked");
    }

    // The window goes on ticking and plotting, and says on each tick that the port is closed.
    QTRY_VERIFY_WITH_TIMEOUT(watch_.chartTicks >= ticksAtLoss + 40, 10000);
    QVERIFY(watch_.closedTicks >= 40);
    QCOMPARE(watch_.closedTicksMisreported, 0);
    QCOMPARE(w.Text7->text(), kClosedNotice);
    QCOMPARE(int(watch_.decoded.size()), framesAtLoss);
    for (int s = 0; s < 4; ++s) {
        QCOMPARE(strip->lastX(s), double(watch_.chartTicks));
        QCOMPARE(strip->pointCount(s), w.HScroll1->value() + 1);
    }
    // No flood of failures: at most the few writes that raced the loss.
    const long failures = dispatchFailureCount() - failuresAtStart_;
    qInfo("%ld handler failures around the loss", failures);
    QVERIFY2(failures <= 5, qPrintable(QString::number(failures)));

    // Plugged in again: found again, and the board answers the greeting.
    QTRY_COMPARE_WITH_TIMEOUT(sim_->announcements(), 2, 10000);
    click(w.Draw); // back to the setup view
    QCOMPARE(w.Draw->text(), QStringLiteral("SIMULATION"));
    click(w.CAP_NHAT);
    QCOMPARE(w.Combo4->count(), 1);
    QCOMPARE(w.Combo4->text(), QStringLiteral("COM3"));
    QCOMPARE(w.Command4->text(), QStringLiteral("CONNECTING"));
    click(w.Command4); // one click connects again
    QVERIFY(w.MSComm1.portOpen());
    QTRY_VERIFY_WITH_TIMEOUT(w.Text2->text().endsWith(QLatin1String("\r\n")), 5000);
    QVERIFY2(w.Text2->text().startsWith(QLatin1Char('\r') + kGreetingReply), qPrintable(w.Text2->text()));
    QCOMPARE(sim_->received().count(QStringLiteral("rx A (greeting)")), 2);

    // And the chart view streams again.
    click(w.Draw);
    QVERIFY(waitForFrames(framesAtLoss + 10, 5000));
    QVERIFY(w.Text7->text() != kClosedNotice);
    QVERIFY2(dispatchFailureCount() - failuresAtStart_ <= 5,
             qPrintable(QString::number(dispatchFailureCount() - failuresAtStart_)));
}

void EndToEndTest::portHeldByAnotherProgram_isNotListedAndCannotBeConnected()
{
    if (!startSim())
        return;
    // Another program opens the device itself, not through the link.
    const QString device = QFileInfo(link_).canonicalFilePath();
    QVERIFY(device.startsWith(QLatin1String("/dev/")));
    holder_ = std::make_unique<QProcess>();
    QCOMPARE(testing::startPortHolder(*holder_, device), QByteArray("held"));

    openWindow();
    Form1& w = *form_;
    // Neither the search at start-up nor FIND COM lists it.
    QCOMPARE(w.Combo4->count(), 0);
    click(w.CAP_NHAT);
    QCOMPARE(w.Combo4->count(), 0);
    QCOMPARE(w.Combo4->text(), QStringLiteral("COM ERROR"));
    // The box names the holder: this test run again, by the name the system gives it.
    QCOMPARE(w.Combo4->toolTip(), QStringLiteral("COM3: in use by test_end_to_end, pid %1").arg(holder_->processId()));

    // Typed in by hand, it still cannot be connected.
    w.Combo4->setText(QStringLiteral("COM3"));
    click(w.Command4);
    QVERIFY(!w.MSComm1.portOpen());
    QCOMPARE(w.Text2->text(), QStringLiteral("COM PORT DOES NOT HAVE"));
    QCOMPARE(w.Command4->text(), QStringLiteral("CONNECTING"));
    QVERIFY(!w.Command2->isEnabled());
    // Nor does a download or RUN reach the board.
    click(w.Command2);
    click(w.Command1);
    QTest::qWait(300);
    QCOMPARE(sim_->received(), QStringList());

    // Once the other program lets go, the same port is found and connects.
    holder_->closeWriteChannel();
    QVERIFY(holder_->waitForFinished(5000));
    QCOMPARE(holder_->exitCode(), 0);
    click(w.CAP_NHAT);
    QCOMPARE(w.Combo4->count(), 1);
    QCOMPARE(w.Combo4->text(), QStringLiteral("COM3"));
    click(w.Command4);
    QVERIFY(w.MSComm1.portOpen());
    QTRY_VERIFY_WITH_TIMEOUT(w.Text2->text().endsWith(QLatin1String("\r\n")), 5000);
    QVERIFY2(w.Text2->text().startsWith(QLatin1Char('\r') + kGreetingReply), qPrintable(w.Text2->text()));
    QCOMPARE(sim_->received(), QStringList{QStringLiteral("rx A (greeting)")});
    QCOMPARE(dispatchFailureCount(), failuresAtStart_);
}

int main(int argc, char** argv)
{
    if (const auto holderExit = veltrano::testing::runAsPortHolderIfAsked(argc, argv))
        return *holderExit;
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setStyle(QStringLiteral("Fusion"));
    EndToEndTest test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "test_end_to_end.moc"
