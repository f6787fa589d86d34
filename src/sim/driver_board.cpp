#include "sim/driver_board.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace veltrano::sim {

namespace {

constexpr double kTwoPi = 2 * std::numbers::pi;
constexpr double kRpmToRadS = kTwoPi / 60;
constexpr double kDegToRad = std::numbers::pi / 180;
constexpr double kPwmFullScale = 4095; // speed factor of a 100 % duty in the open-loop modes
constexpr double kMaxAngleDeg = 36000; // position set-point limit

// Speed loop (PI): tuned for ~50 ms closed-loop time constant with the default motor.
constexpr double kSpeedKp = 0.0033; // duty per rad/s
constexpr double kSpeedKi = 0.037; // duty per rad
// Position loop (PID, derivative on the measured speed).
constexpr double kPositionKp = 0.15; // duty per rad
constexpr double kPositionKd = 0.0063; // duty per rad/s
constexpr double kPositionKi = 0.3; // duty per rad s
constexpr double kPositionIntegralLimit = 0.3; // duty
constexpr double kPositionIntegralZone = 0.2; // rad

std::uint8_t toByte(double value) { return static_cast<std::uint8_t>(std::clamp(std::lround(value), 0L, 255L)); }

// Signed quantity to 0..255 around 128.
std::uint8_t signedByte(double value, double fullScale) { return toByte(128 + value / fullScale * 127); }

} // namespace

DriverBoard::DriverBoard(MotorParams params) : motor_(params) { restartSpeedMeasurement(); }

void DriverBoard::setSettings(const DriverSettings& settings)
{
    const bool modeChanged = settings.mode != settings_.mode;
    const bool resolutionChanged = settings.countBothEdges != settings_.countBothEdges;
    settings_ = settings;
    if (resolutionChanged)
        restartSpeedMeasurement();
    // A position record means "from where the shaft is now", not from wherever it
    // was when the board came up or last ran.
    const bool newReference = isPositionLoop();
    if (newReference)
        resetPositionReference();
    if ((modeChanged || newReference) && running_)
        resetLoops();
}

void DriverBoard::run()
{
    if (running_)
        return;
    running_ = true;
    runStart_ = time_;
    resetPositionReference();
    resetLoops();
}

void DriverBoard::stop()
{
    running_ = false;
    integral_ = 0;
    duty_ = 0;
}

bool DriverBoard::toggleDirection()
{
    direction_ = -direction_;
    return reversed();
}

bool DriverBoard::isSpeedLoop() const
{
    return settings_.mode == ControlMode::PidSpeed || settings_.mode == ControlMode::AnalogPid;
}

bool DriverBoard::isPositionLoop() const
{
    return settings_.mode == ControlMode::PidPosition || settings_.mode == ControlMode::RcServo;
}

double DriverBoard::gainScale() const { return std::clamp(settings_.responses / 10.0, 0.1, 10.0); }

double DriverBoard::rampRate() const
{
    if (isSpeedLoop())
        return 3000 * kRpmToRadS;
    if (isPositionLoop())
        return 3600 * kDegToRad;
    return 1.0;
}

void DriverBoard::resetLoops()
{
    integral_ = 0;
    if (isSpeedLoop())
        rampedTarget_ = measuredSpeed_;
    else if (isPositionLoop())
        rampedTarget_ = position();
    else
        rampedTarget_ = 0;
}

void DriverBoard::resetPositionReference()
{
    readEncoder();
    reference_ = count_ * kTwoPi / countsPerTurn();
}

double DriverBoard::position() const { return count_ * kTwoPi / countsPerTurn() - reference_; }

void DriverBoard::restartSpeedMeasurement()
{
    readEncoder();
    countHistory_.fill(count_);
    measuredSpeed_ = 0;
}

void DriverBoard::readEncoder()
{
    count_ = static_cast<long>(std::floor(motor_.state().angle / kTwoPi * countsPerTurn()));
}

double DriverBoard::rawTarget() const
{
    const double t = time_ - runStart_;
    const double period = settings_.speedTest;
    const bool secondHalf = period > 0 && static_cast<long>(std::floor(t / period)) % 2 == 1;
    const double wave = period > 0 ? std::sin(kTwoPi * t / (4 * period))
                                   : (settings_.mode == ControlMode::RcServo ? 0.0 : 1.0);
    const double sf = static_cast<double>(settings_.speedFactor);
    const double openLoopDuty = std::clamp(sf / kPwmFullScale, -1.0, 1.0);
    const double speed = std::clamp(sf, -kMaxSpeedRpm, kMaxSpeedRpm) * kRpmToRadS;

    double target = 0;
    switch (settings_.mode) {
    case ControlMode::HBridge: target = openLoopDuty * (secondHalf ? 0.5 : 1.0); break;
    case ControlMode::PidSpeed: target = speed * (secondHalf ? 0.5 : 1.0); break;
    case ControlMode::PidPosition:
        target = secondHalf ? 0.0 : std::clamp(sf, -kMaxAngleDeg, kMaxAngleDeg) * kDegToRad;
        break;
    case ControlMode::RcServo: target = 90 * kDegToRad * wave; break;
    case ControlMode::AnalogPid: target = speed * wave; break;
    case ControlMode::Analog: target = openLoopDuty * wave; break;
    }
    return target * direction_;
}

void DriverBoard::advance(double seconds)
{
    // A stalled caller does not get to replay minutes of motion at once.
    pending_ = std::min(pending_ + std::max(seconds, 0.0), 5.0);
    // The small allowance keeps sums like 1000 x 1 ms from losing a step to rounding.
    while (pending_ >= kControlPeriod * (1 - 1e-9)) {
        pending_ -= kControlPeriod;
        controlStep();
    }
}

void DriverBoard::controlStep()
{
    time_ += kControlPeriod;

    // Encoder and speed over the last kHistoryLength periods.
    readEncoder();
    const long old = countHistory_[historyPos_];
    countHistory_[historyPos_] = count_;
    historyPos_ = (historyPos_ + 1) % kHistoryLength;
    measuredSpeed_ = (count_ - old) * kTwoPi / countsPerTurn() / (kHistoryLength * kControlPeriod);

    if (!running_) {
        duty_ = 0;
    } else {
        const double target = rawTarget();
        if (settings_.acceleration) {
            const double maxStep = rampRate() * kControlPeriod;
            rampedTarget_ += std::clamp(target - rampedTarget_, -maxStep, maxStep);
        } else {
            rampedTarget_ = target;
        }

        const double g = gainScale();
        double duty = 0;
        if (isSpeedLoop()) {
            const double error = rampedTarget_ - measuredSpeed_;
            integral_ += error * kControlPeriod;
            const double limit = 1.0 / (g * kSpeedKi);
            integral_ = std::clamp(integral_, -limit, limit);
            duty = g * (kSpeedKp * error + kSpeedKi * integral_);
        } else if (isPositionLoop()) {
            const double error = rampedTarget_ - position();
            // Integral action only near the target, so that a long move does not wind it up.
            if (std::abs(error) < kPositionIntegralZone)
                integral_ += error * kControlPeriod;
            const double limit = kPositionIntegralLimit / (g * kPositionKi);
            integral_ = std::clamp(integral_, -limit, limit);
            duty = g * (kPositionKp * error - kPositionKd * measuredSpeed_ + kPositionKi * integral_);
        } else {
            duty = rampedTarget_;
        }

        // Current limit: keep the bridge voltage within R * limit of the back-EMF.
        const MotorParams& p = motor_.params();
        const double emf = p.ke * motor_.state().speed;
        const double lo = (emf - p.resistance * kCurrentLimit) / p.supplyVoltage;
        const double hi = (emf + p.resistance * kCurrentLimit) / p.supplyVoltage;
        duty_ = std::clamp(duty, std::max(-1.0, lo), std::min(1.0, hi));
    }

    const double dt = kControlPeriod / kSubSteps;
    for (int i = 0; i < kSubSteps; ++i)
        motor_.step(dt, duty_, running_);
}

std::array<std::uint8_t, 4> DriverBoard::traces() const
{
    // Whole steps from the reference, rounded down (also below it), then wrapped; the
    // small allowance keeps an exact quarter turn from rounding to the step below.
    const long steps = static_cast<long>(std::floor(position() / kTwoPi * kPositionStepsPerTurn + 1e-9));
    return {
        signedByte(measuredSpeed_ / kRpmToRadS, kMaxSpeedRpm),
        signedByte(motor_.state().current, kMaxCurrent),
        signedByte(duty_, 1.0),
        static_cast<std::uint8_t>(((128 + steps) % 256 + 256) % 256),
    };
}

} // namespace veltrano::sim
