#pragma once

// Brushed DC motor with its load, fed by a PWM H-bridge.
//
//   L di/dt = V - R i - Ke w
//   J dw/dt = Kt i - b w - Tc sign(w) - Tload
//   dθ/dt   = w
//
// V is the bridge output averaged over a PWM period: duty (-1..1) times the supply.
// With the bridge switched off the current free-wheels through the bridge diodes
// back into the supply and the shaft coasts on friction alone.

namespace veltrano::sim {

struct MotorParams {
    double supplyVoltage = 12.0; // V
    double resistance = 2.0; // armature resistance, ohm
    double inductance = 2e-3; // armature inductance, H
    double ke = 0.02; // back-EMF constant, V s/rad
    double kt = 0.02; // torque constant, N m/A
    double inertia = 2e-5; // rotor plus load, kg m^2
    double viscous = 2e-5; // viscous friction, N m s/rad
    double coulomb = 2e-3; // dry friction, N m
    double loadTorque = 0.0; // external load, N m (positive opposes forward rotation)
};

struct MotorState {
    double current = 0; // A
    double speed = 0; // rad/s
    double angle = 0; // rad, not wrapped
};

class DcMotor {
public:
    explicit DcMotor(MotorParams params = {}) : params_(params) { }

    // Advances by dt seconds. duty is clamped to -1..1; driven=false switches the
    // bridge off (the duty is then ignored). dt should stay well below a millisecond.
    void step(double dt, double duty, bool driven);

    const MotorState& state() const { return state_; }
    const MotorParams& params() const { return params_; }
    void setLoadTorque(double torque) { params_.loadTorque = torque; }

    // Speed reached with the bridge held at this duty and no external load, rad/s
    // (viscous friction only, dry friction neglected).
    double steadySpeed(double duty) const;

private:
    MotorParams params_;
    MotorState state_;
};

} // namespace veltrano::sim
