#pragma once

namespace veltrano {

// Windows: a GUI program has no console, so what it prints (--help, --version, messages on
// standard error) goes nowhere. Started from a console, it prints into that one instead.
void useParentConsole();

} // namespace veltrano
