#pragma once

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
