#pragma once

#include "app/form1.h"
#include "serial/port_table.h"

#include <memory>

namespace veltrano {

// The window's platform controls for the running program; the serial control names its
// ports through the given table.
Form1Parts realParts(std::shared_ptr<PortTable> ports);

} // namespace veltrano
