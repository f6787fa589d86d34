#include "sim/motor_model.h"

#include <algorithm>
#include <cmath>

namespace veltrano::sim {

void DcMotor::step(double dt, double duty, bool driven)
{
    const MotorParams& p = params_;
    MotorState& s = state_;
    if (dt <= 0)
        return;

    // Electrical part: exact solution of the first-order current equation with the
    // speed held over the step, which stays stable whatever L/R is.
    const double decay = std::exp(-p.resistance * dt / p.inductance);
    const double emf = p.ke * s.speed;
    if (driven) {
        const double v = std::clamp(duty, -1.0, 1.0) * p.supplyVoltage;
        const double target = (v - emf) / p.resistance;
        s.current = target + (s.current - target) * decay;
    } else if (s.current != 0) {
        // Free-wheeling through the diodes: the current drives against the supply
        // until it reaches zero and then stays there (the diodes block).
        const double v = s.current > 0 ? -p.supplyVoltage : p.supplyVoltage;
        const double target = (v - emf) / p.resistance;
        const double next = target + (s.current - target) * decay;
        s.current = (next > 0) == (s.current > 0) ? next : 0.0;
    }

    // Mechanical part, semi-implicit Euler with dry friction and stiction.
    const double drive = p.kt * s.current - p.loadTorque;
    if (s.speed == 0 && std::abs(drive) <= p.coulomb) {
        // Held by static friction.
    } else {
        const double direction = s.speed != 0 ? (s.speed > 0 ? 1.0 : -1.0) : (drive > 0 ? 1.0 : -1.0);
        const double torque = drive - p.viscous * s.speed - p.coulomb * direction;
        const double next = s.speed + torque / p.inertia * dt;
        // Friction can stop the shaft but never turn it round.
        if (s.speed != 0 && (next > 0) != (s.speed > 0) && std::abs(drive) <= p.coulomb)
            s.speed = 0;
        else
            s.speed = next;
    }
    s.angle += s.speed * dt;
}

double DcMotor::steadySpeed(double duty) const
{
    const MotorParams& p = params_;
    const double v = std::clamp(duty, -1.0, 1.0) * p.supplyVoltage;
    return v * p.kt / (p.resistance * p.viscous + p.kt * p.ke);
}

} // namespace veltrano::sim
