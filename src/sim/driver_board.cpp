#include "sim/driver_board.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace veltrano::sim {

namespace {

constexpr double twoPi = 2 * std::numbers::pi;
constexpr double rpmToRadS = twoPi / 60;
constexpr double degToRad = std::numbers::pi / 180;
constexpr double pwmFullScale = 4095;      // speed factor of a 100 % duty in the open-loop modes
constexpr double maxAngleDeg = 36000;      // position set-point limit

// Speed loop (PI): tuned for ~50 ms closed-loop time constant with the default motor.
constexpr double speedKp = 0.0033;  // duty per rad/s
constexpr double speedKi = 0.037;   // duty per rad
// Position loop (PID, derivative on the measured speed).
constexpr double positionKp = 0.15;    // duty per rad
constexpr double positionKd = 0.0063;  // duty per rad/s
constexpr double positionKi = 0.3;     // duty per rad s
constexpr double positionIntegralLimit = 0.3;  // duty
constexpr double positionIntegralZone = 0.2;   // rad

std::uint8_t toByte(double value)
{
    return static_cast<std::uint8_t>(std::clamp(std::lround(value), 0L, 255L));
}

// Signed quantity to 0..255 around 128.
std::uint8_t signedByte(double value, double fullScale)
{
    return toByte(128 + value / fullScale * 127);
}

}  // namespace

DriverBoard::DriverBoard(MotorParams params) : m_motor(params)
{
    restartSpeedMeasurement();
}

void DriverBoard::setSettings(const DriverSettings& settings)
{
    const bool modeChanged = settings.mode != m_settings.mode;
    const bool resolutionChanged = settings.countBothEdges != m_settings.countBothEdges;
    m_settings = settings;
    if (resolutionChanged)
        restartSpeedMeasurement();
    // A position record means "from where the shaft is now", not from wherever it
    // was when the board came up or last ran.
    const bool newReference = isPositionLoop();
    if (newReference)
        resetPositionReference();
    if ((modeChanged || newReference) && m_running)
        resetLoops();
}

void DriverBoard::run()
{
    if (m_running)
        return;
    m_running = true;
    m_runStart = m_time;
    resetPositionReference();
    resetLoops();
}

void DriverBoard::stop()
{
    m_running = false;
    m_integral = 0;
    m_duty = 0;
}

bool DriverBoard::toggleDirection()
{
    m_direction = -m_direction;
    return reversed();
}

bool DriverBoard::isSpeedLoop() const
{
    return m_settings.mode == ControlMode::PidSpeed || m_settings.mode == ControlMode::AnalogPid;
}

bool DriverBoard::isPositionLoop() const
{
    return m_settings.mode == ControlMode::PidPosition || m_settings.mode == ControlMode::RcServo;
}

double DriverBoard::gainScale() const
{
    return std::clamp(m_settings.responses / 10.0, 0.1, 10.0);
}

double DriverBoard::rampRate() const
{
    if (isSpeedLoop())
        return 3000 * rpmToRadS;
    if (isPositionLoop())
        return 3600 * degToRad;
    return 1.0;
}

void DriverBoard::resetLoops()
{
    m_integral = 0;
    if (isSpeedLoop())
        m_rampedTarget = m_measuredSpeed;
    else if (isPositionLoop())
        m_rampedTarget = position();
    else
        m_rampedTarget = 0;
}

void DriverBoard::resetPositionReference()
{
    readEncoder();
    m_reference = m_count * twoPi / countsPerTurn();
}

double DriverBoard::position() const
{
    return m_count * twoPi / countsPerTurn() - m_reference;
}

void DriverBoard::restartSpeedMeasurement()
{
    readEncoder();
    m_countHistory.fill(m_count);
    m_measuredSpeed = 0;
}

void DriverBoard::readEncoder()
{
    m_count = static_cast<long>(std::floor(m_motor.state().angle / twoPi * countsPerTurn()));
}

double DriverBoard::rawTarget() const
{
    const double t = m_time - m_runStart;
    const double period = m_settings.speedTest;
    const bool secondHalf = period > 0 && static_cast<long>(std::floor(t / period)) % 2 == 1;
    const double wave = period > 0 ? std::sin(twoPi * t / (4 * period))
                                   : (m_settings.mode == ControlMode::RcServo ? 0.0 : 1.0);
    const double sf = static_cast<double>(m_settings.speedFactor);
    const double openLoopDuty = std::clamp(sf / pwmFullScale, -1.0, 1.0);
    const double speed = std::clamp(sf, -maxSpeedRpm, maxSpeedRpm) * rpmToRadS;

    double target = 0;
    switch (m_settings.mode) {
    case ControlMode::HBridge: target = openLoopDuty * (secondHalf ? 0.5 : 1.0); break;
    case ControlMode::PidSpeed: target = speed * (secondHalf ? 0.5 : 1.0); break;
    case ControlMode::PidPosition:
        target = secondHalf ? 0.0 : std::clamp(sf, -maxAngleDeg, maxAngleDeg) * degToRad;
        break;
    case ControlMode::RcServo: target = 90 * degToRad * wave; break;
    case ControlMode::AnalogPid: target = speed * wave; break;
    case ControlMode::Analog: target = openLoopDuty * wave; break;
    }
    return target * m_direction;
}

void DriverBoard::advance(double seconds)
{
    // A stalled caller does not get to replay minutes of motion at once.
    m_pending = std::min(m_pending + std::max(seconds, 0.0), 5.0);
    // The small allowance keeps sums like 1000 x 1 ms from losing a step to rounding.
    while (m_pending >= controlPeriod * (1 - 1e-9)) {
        m_pending -= controlPeriod;
        controlStep();
    }
}

void DriverBoard::controlStep()
{
    m_time += controlPeriod;

    // Encoder and speed over the last historyLength periods.
    readEncoder();
    const long old = m_countHistory[m_historyPos];
    m_countHistory[m_historyPos] = m_count;
    m_historyPos = (m_historyPos + 1) % historyLength;
    m_measuredSpeed = (m_count - old) * twoPi / countsPerTurn() / (historyLength * controlPeriod);

    if (!m_running) {
        m_duty = 0;
    } else {
        const double target = rawTarget();
        if (m_settings.acceleration) {
            const double maxStep = rampRate() * controlPeriod;
            m_rampedTarget += std::clamp(target - m_rampedTarget, -maxStep, maxStep);
        } else {
            m_rampedTarget = target;
        }

        const double g = gainScale();
        double duty = 0;
        if (isSpeedLoop()) {
            const double error = m_rampedTarget - m_measuredSpeed;
            m_integral += error * controlPeriod;
            const double limit = 1.0 / (g * speedKi);
            m_integral = std::clamp(m_integral, -limit, limit);
            duty = g * (speedKp * error + speedKi * m_integral);
        } else if (isPositionLoop()) {
            const double error = m_rampedTarget - position();
            // Integral action only near the target, so that a long move does not wind it up.
            if (std::abs(error) < positionIntegralZone)
                m_integral += error * controlPeriod;
            const double limit = positionIntegralLimit / (g * positionKi);
            m_integral = std::clamp(m_integral, -limit, limit);
            duty = g * (positionKp * error - positionKd * m_measuredSpeed + positionKi * m_integral);
        } else {
            duty = m_rampedTarget;
        }

        // Current limit: keep the bridge voltage within R * limit of the back-EMF.
        const MotorParams& p = m_motor.params();
        const double emf = p.ke * m_motor.state().speed;
        const double lo = (emf - p.resistance * currentLimit) / p.supplyVoltage;
        const double hi = (emf + p.resistance * currentLimit) / p.supplyVoltage;
        m_duty = std::clamp(duty, std::max(-1.0, lo), std::min(1.0, hi));
    }

    const double dt = controlPeriod / subSteps;
    for (int i = 0; i < subSteps; ++i)
        m_motor.step(dt, m_duty, m_running);
}

std::array<std::uint8_t, 4> DriverBoard::traces() const
{
    // Whole steps from the reference, rounded down (also below it), then wrapped; the
    // small allowance keeps an exact quarter turn from rounding to the step below.
    const long steps = static_cast<long>(std::floor(position() / twoPi * positionStepsPerTurn + 1e-9));
    return {
        signedByte(m_measuredSpeed / rpmToRadS, maxSpeedRpm),
        signedByte(m_motor.state().current, maxCurrent),
        signedByte(m_duty, 1.0),
        static_cast<std::uint8_t>(((128 + steps) % 256 + 256) % 256),
    };
}

}  // namespace veltrano::sim
