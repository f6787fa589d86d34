#pragma once

#include <QString>

namespace veltrano {

// Windows: the system's own text for an error code (GetLastError()), without its closing
// full stop, for the sentences it goes into; "system error N" for a code it has no text for.
QString systemMessage(unsigned long error);

} // namespace veltrano
