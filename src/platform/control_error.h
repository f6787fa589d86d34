#pragma once

// What every room of the program may include: the failure a control raises (here) and the
// window's units (units.h). Nothing here depends on any other room.

#include <stdexcept>
#include <string>

namespace veltrano {

// Raised by any control whose member call fails. A handler that does not trap it
// ends at the failing call; the event dispatcher reports it and the program goes on.
class ControlError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

} // namespace veltrano
