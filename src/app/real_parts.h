#pragma once

#include "app/form1.h"

namespace veltrano {

// The window's platform controls for the running program.
Form1Parts realParts();

} // namespace veltrano
