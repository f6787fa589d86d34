// The simulated board's motor and its control loops.
#include "sim/driver_board.h"
#include "sim/driver_protocol.h"
#include "sim/sim_device.h"

#include <QtTest>

#include <cmath>
#include <numbers>
#include <set>
#include <utility>

using namespace veltrano::sim;
using Kind = ProtocolEvent::Kind;

namespace {

constexpr double kRadSToRpm = 60 / (2 * std::numbers::pi);

DriverSettings settingsFor(ControlMode mode, long speedFactor, int speedTest = 0)
{
    DriverSettings s;
    s.mode = mode;
    s.speedFactor = speedFactor;
    s.speedTest = speedTest;
    return s;
}

double rpm(const DriverBoard& board) { return board.motor().state().speed * kRadSToRpm; }

} // namespace

class TestSimMotor : public QObject {
    Q_OBJECT

private slots:
    void idleBoardDoesNotMove();
    void hBridgeSpeedsUpToSteadySpeed();
    void pidSpeedSettlesUnderLoad();
    void speedTestAlternatesTheSetpoint();
    void pidPositionStepsBackAndForth();
    void stopCoastsDown();
    void toggleReversesAndAccelerationRamps();
    void currentStaysWithinLimitOnLargeSteps();
    void traceScalingSaturatesWithoutWrapping();
    void allTracesMoveWithDefaultRecord();
    void positionCountsFromRecordOrRun_data();
    void positionCountsFromRecordOrRun();
};

// ---------------------------------------------------------------- motor and loops

void TestSimMotor::idleBoardDoesNotMove()
{
    DriverBoard board;
    board.setSettings(settingsFor(ControlMode::HBridge, 4095));
    board.advance(1.0);
    QCOMPARE(board.motor().state().speed, 0.0);
    QCOMPARE(board.motor().state().current, 0.0);
    QCOMPARE(board.duty(), 0.0);
    QCOMPARE(board.traces()[0], std::uint8_t(128));
    QCOMPARE(board.traces()[2], std::uint8_t(128));
    QVERIFY(std::abs(board.time() - 1.0) < 1e-6);
}

void TestSimMotor::hBridgeSpeedsUpToSteadySpeed()
{
    DriverBoard board;
    board.setSettings(settingsFor(ControlMode::HBridge, 2600));
    board.run();
    const double duty = 2600 / 4095.0;
    board.advance(0.02);
    const double early = board.motor().state().speed;
    QVERIFY(early > 0);
    QVERIFY(board.motor().state().current > 1.0); // starting current well above running current
    board.advance(0.6);
    const double steady = board.motor().state().speed;
    QCOMPARE(board.duty(), duty);
    QVERIFY(steady > 5 * early);
    // Dry friction keeps it a little under the friction-free figure.
    const double ideal = board.motor().steadySpeed(duty);
    QVERIFY2(steady < ideal && steady > 0.95 * ideal, qPrintable(QString("%1 vs %2").arg(steady).arg(ideal)));
    QVERIFY(std::abs(board.measuredSpeed() - steady) < 0.03 * steady);
    QVERIFY(board.motor().state().current > 0 && board.motor().state().current < 1.0);
    // 2 A full scale, so that a running motor's current reads well off 128.
    QCOMPARE(board.traces()[1], std::uint8_t(128 + std::lround(board.motor().state().current * 63.5)));

    // A heavier load slows the open loop down.
    board.motor().setLoadTorque(0.01);
    board.advance(0.6);
    QVERIFY(board.motor().state().speed < 0.9 * steady);
}

void TestSimMotor::pidSpeedSettlesUnderLoad()
{
    for (const double load : {0.0, 0.01}) {
        DriverBoard board;
        board.motor().setLoadTorque(load);
        board.setSettings(settingsFor(ControlMode::PidSpeed, 2000));
        board.run();
        board.advance(1.5);
        QVERIFY2(std::abs(rpm(board) - 2000) < 40, qPrintable(QString::number(rpm(board))));
        double lo = 1e9;
        double hi = -1e9;
        for (int i = 0; i < 100; ++i) {
            board.advance(0.005);
            lo = std::min(lo, rpm(board));
            hi = std::max(hi, rpm(board));
        }
        QVERIFY2(hi - lo < 60, qPrintable(QString("%1..%2").arg(lo).arg(hi)));
    }
}

void TestSimMotor::speedTestAlternatesTheSetpoint()
{
    DriverBoard board;
    board.setSettings(settingsFor(ControlMode::PidSpeed, 3000, 1));
    board.run();
    board.advance(0.9);
    QVERIFY2(std::abs(rpm(board) - 3000) < 60, qPrintable(QString::number(rpm(board))));
    board.advance(1.0);
    QVERIFY2(std::abs(rpm(board) - 1500) < 60, qPrintable(QString::number(rpm(board))));
    board.advance(1.0);
    QVERIFY2(std::abs(rpm(board) - 3000) < 60, qPrintable(QString::number(rpm(board))));
}

void TestSimMotor::pidPositionStepsBackAndForth()
{
    DriverBoard board;
    board.setSettings(settingsFor(ControlMode::PidPosition, 720, 1));
    board.run();
    const double start = board.motor().state().angle;
    auto degrees = [&] { return (board.motor().state().angle - start) * 180 / std::numbers::pi; };
    board.advance(0.9);
    QVERIFY2(std::abs(degrees() - 720) < 5, qPrintable(QString::number(degrees())));
    QVERIFY(std::abs(board.motor().state().speed) < 1.0);
    board.advance(1.0);
    QVERIFY2(std::abs(degrees()) < 5, qPrintable(QString::number(degrees())));
}

void TestSimMotor::stopCoastsDown()
{
    DriverBoard board;
    board.setSettings(settingsFor(ControlMode::HBridge, 3000));
    board.run();
    board.advance(0.8);
    const double running = board.motor().state().speed;
    QVERIFY(running > 100);

    board.stop();
    board.advance(0.01);
    QCOMPARE(board.duty(), 0.0);
    QCOMPARE(board.motor().state().current, 0.0); // the diodes block once it has decayed
    double previous = board.motor().state().speed;
    QVERIFY(previous > 0.9 * running); // coasting, not braking
    for (int i = 0; i < 40; ++i) {
        board.advance(0.1);
        const double now = board.motor().state().speed;
        QVERIFY(now <= previous);
        QVERIFY(now >= 0); // friction never turns it round
        previous = now;
    }
    QCOMPARE(board.motor().state().speed, 0.0);
    const double angle = board.motor().state().angle;
    board.advance(0.5);
    QCOMPARE(board.motor().state().angle, angle);
    QCOMPARE(board.traces()[0], std::uint8_t(128));
}

void TestSimMotor::toggleReversesAndAccelerationRamps()
{
    DriverBoard board;
    DriverSettings s = settingsFor(ControlMode::HBridge, 4095);
    s.acceleration = true;
    board.setSettings(s);
    board.run();
    board.advance(0.25);
    QVERIFY2(std::abs(board.duty() - 0.25) < 0.01, qPrintable(QString::number(board.duty())));
    board.advance(1.0);
    QCOMPARE(board.duty(), 1.0);

    QVERIFY(board.toggleDirection());
    board.advance(0.5);
    QVERIFY2(std::abs(board.duty() - 0.5) < 0.01, qPrintable(QString::number(board.duty())));
    board.advance(0.5);
    QVERIFY2(std::abs(board.duty()) < 0.01, qPrintable(QString::number(board.duty()))); // halfway from +1 to -1
    board.advance(1.1);
    QCOMPARE(board.duty(), -1.0);
    QVERIFY(board.motor().state().speed < 0);
    QVERIFY(board.traces()[0] < 128);
    QVERIFY(!board.toggleDirection());
}

void TestSimMotor::currentStaysWithinLimitOnLargeSteps()
{
    DriverBoard board;
    board.setSettings(settingsFor(ControlMode::PidPosition, 3600, 1));
    board.run();
    double peak = 0;
    for (int i = 0; i < 3000; ++i) {
        board.advance(0.001);
        peak = std::max(peak, std::abs(board.motor().state().current));
    }
    QVERIFY2(peak > 0.8 * DriverBoard::kCurrentLimit, qPrintable(QString::number(peak)));
    QVERIFY2(peak < 1.1 * DriverBoard::kCurrentLimit, qPrintable(QString::number(peak)));
}

void TestSimMotor::traceScalingSaturatesWithoutWrapping()
{
    for (const long sf : {999999999L, -999999999L}) {
        DriverBoard board;
        board.setSettings(settingsFor(ControlMode::HBridge, sf));
        board.run();
        board.advance(1.0);
        const auto t = board.traces();
        if (sf > 0) {
            QCOMPARE(t[2], std::uint8_t(255));
            QVERIFY(t[0] > 200);
        } else {
            QCOMPARE(t[2], std::uint8_t(1));
            QVERIFY(t[0] < 56);
        }
    }
    // Speed beyond full scale stays at the end of the range.
    MotorParams fast;
    fast.supplyVoltage = 24;
    DriverBoard board(fast);
    board.setSettings(settingsFor(ControlMode::HBridge, 4095));
    board.run();
    board.advance(1.0);
    QVERIFY(board.motor().state().speed * kRadSToRpm > DriverBoard::kMaxSpeedRpm);
    QCOMPARE(board.traces()[0], std::uint8_t(255));
}

void TestSimMotor::allTracesMoveWithDefaultRecord()
{
    DriverBoard board;
    const RecordResult r = parseRecordBody("2600=1=10=2=0=1");
    QVERIFY(r.settings);
    board.setSettings(*r.settings);
    board.run();
    std::array<std::set<int>, 4> seen;
    int position = 128; // the position trace starts at its reference
    int largestStep = 0; // forward: the shaft only turns forward
    for (int i = 0; i < 300; ++i) { // 64 polls a second for ~5 s
        board.advance(1.0 / 64);
        const auto t = board.traces();
        for (int k = 0; k < 4; ++k)
            seen[k].insert(t[k]);
        largestStep = std::max(largestStep, (t[3] - std::exchange(position, t[3]) + 256) % 256);
    }
    // Quarter turns from the run around 128, wrapping: a few steps a poll, no aliasing.
    QVERIFY2(largestStep <= 4, qPrintable(QString::number(largestStep)));
    QCOMPARE(position,
             static_cast<int>(128 + std::lround(std::floor(board.motor().state().angle * 2 / std::numbers::pi))) % 256);
    // The open-loop duty steps between its full and half level; the rest vary more.
    QCOMPARE(seen[2], (std::set<int>{128 + 81, 128 + 40}));
    for (int k : {0, 1, 3})
        QVERIFY2(seen[k].size() >= 5, qPrintable(QString("trace %1: %2 values").arg(k).arg(seen[k].size())));
    QVERIFY(seen[3].size() > 40); // the position trace runs through its range
}

void TestSimMotor::positionCountsFromRecordOrRun_data()
{
    QTest::addColumn<bool>("stopFirst"); // stop, record while coasting, run at rest; else record while running
    QTest::newRow("record while running") << false;
    QTest::newRow("record while coasting, run") << true;
}

void TestSimMotor::positionCountsFromRecordOrRun()
{
    QFETCH(bool, stopFirst);
    DriverBoard board;
    board.setSettings(settingsFor(ControlMode::HBridge, 4095));
    board.run();
    for (int i = 0; i < 6; ++i)
        board.advance(5); // half a minute of open loop
    if (stopFirst)
        board.stop();
    board.setSettings(settingsFor(ControlMode::PidPosition, 720));
    if (stopFirst) {
        board.advance(5); // coasting to rest
        board.run();
    }
    const double start = board.motor().state().angle;
    board.advance(1.5);
    // 720 degrees from where the shaft was at the last record or run.
    const double moved = (board.motor().state().angle - start) * 180 / std::numbers::pi;
    QVERIFY2(std::abs(moved - 720) < 5, qPrintable(QString::number(moved)));
}

QTEST_GUILESS_MAIN(TestSimMotor)
#include "test_sim_motor.moc"
