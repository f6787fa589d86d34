#pragma once

// The simulated driver board: encoder counter, control loops and PWM stage around
// a DcMotor, stepped on a fixed 1 ms control period with finer motor sub-steps.
//
// How the record fields drive it (sf = speed factor, P = speed test in seconds):
//   H-BRIDGE        open loop, duty = sf / 4095 (12-bit PWM compare value)
//   PID SPEED       speed loop, set-point sf rpm
//   PID POSITION    position loop, set-point steps between 0 and sf degrees
//   RC SERVO MODE   position loop fed by a simulated RC pulse 1.0..2.0 ms = -90..+90 deg
//   ANALOG PID MODE speed loop, set-point sf rpm times a simulated analog input
//   ANALOG MODE     open loop, duty sf / 4095 times the analog input
// With P > 0 the first two modes alternate every P seconds between the full and the
// half level and PID POSITION between sf and 0 degrees; the analog input and the RC
// pulse follow a sine of period 4 P (with P = 0 they rest at full scale / centre).
// responses scales all loop gains by responses / 10 (limited to 0.1 .. 10).
// acc flag "9" ramps the set-point (duty 1 per s, speed 3000 rpm/s, angle 3600 deg/s).
// counter edge "9" counts both edges of both encoder channels (400 counts per turn),
// "1" one edge of one channel (100 counts per turn).
// "T" reverses the direction of whatever set-point the mode follows.
// Positions count from a reference taken at each run command and at each record that
// selects PID POSITION or RC SERVO MODE, so a position set-point means "from here".

#include "sim/driver_protocol.h"
#include "sim/motor_model.h"

#include <array>
#include <cstdint>

namespace veltrano::sim {

class DriverBoard {
public:
    static constexpr double kControlPeriod = 1e-3; // s
    static constexpr int kSubSteps = 10; // motor steps per control period
    static constexpr double kMaxSpeedRpm = 6000; // full scale of the speed trace, and speed set-point limit
    static constexpr double kMaxCurrent = 2; // full scale of the current trace, A (peaks clip)
    static constexpr double kCurrentLimit = 5; // bridge current limit, A
    static constexpr int kEncoderLines = 100;
    static constexpr double kSpeedWindow = 0.01; // speed measured over this span, s
    static constexpr int kPositionStepsPerTurn = 4; // position trace: one step a quarter turn

    explicit DriverBoard(MotorParams params = {});

    void setSettings(const DriverSettings& settings);
    const DriverSettings& settings() const { return settings_; }

    void run();
    void stop();
    // Reverses the set-point direction; returns true when it is now reversed.
    bool toggleDirection();
    bool running() const { return running_; }
    bool reversed() const { return direction_ < 0; }

    // Runs the board for this many seconds of simulated time (fixed steps; a
    // remainder shorter than one control period is carried to the next call).
    void advance(double seconds);
    double time() const { return time_; }

    const DcMotor& motor() const { return motor_; }
    DcMotor& motor() { return motor_; }
    double duty() const { return duty_; } // applied, after the current limit
    double measuredSpeed() const { return measuredSpeed_; } // rad/s from the encoder
    long encoderCount() const { return count_; }
    int countsPerTurn() const { return settings_.countBothEdges ? 4 * kEncoderLines : kEncoderLines; }
    // Present target in the mode's own unit (duty, rad/s or rad), after the ramp.
    double setpoint() const { return rampedTarget_; }
    // Encoder position from the reference, rad.
    double position() const;

    // The four values of a poll answer, each scaled to 0..255:
    //   0 speed  (128 = stopped, ±127 = ±kMaxSpeedRpm)
    //   1 armature current (128 = 0 A, ±127 = ±kMaxCurrent, clipped beyond)
    //   2 PWM duty (128 = 0, ±127 = ±100 %)
    //   3 encoder position from the reference in quarter turns, 128 = reference,
    //     wrapping modulo 256 (every 64 turns)
    std::array<std::uint8_t, 4> traces() const;

private:
    void controlStep();
    double rawTarget() const; // set-point before the ramp
    bool isSpeedLoop() const;
    bool isPositionLoop() const;
    double gainScale() const;
    double rampRate() const;
    void resetLoops();
    void resetPositionReference();
    void readEncoder();
    void restartSpeedMeasurement();

    DcMotor motor_;
    DriverSettings settings_;
    bool running_ = false;
    double direction_ = 1;
    double time_ = 0; // board time, s
    double runStart_ = 0; // board time of the last run command
    double pending_ = 0; // simulated time not yet stepped
    double duty_ = 0;
    double rampedTarget_ = 0;
    double integral_ = 0;
    long count_ = 0;
    double reference_ = 0; // encoder angle that position() counts from, rad
    static constexpr int kHistoryLength = 10; // kSpeedWindow / kControlPeriod
    std::array<long, kHistoryLength> countHistory_{};
    int historyPos_ = 0;
    double measuredSpeed_ = 0;
};

} // namespace veltrano::sim
