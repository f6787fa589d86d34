#pragma once

#include <functional>

namespace veltrano {

// Runs one event handler to completion. A failure it raises ends the handler at that
// point (what it already did stays done); the failure is reported on standard error and
// the program goes on. A failure that repeats is reported once with its count.
void dispatch(const char* handlerName, const std::function<void()>& handler);

// Failures reported so far (for tests and benchmarks).
long dispatchFailureCount();

} // namespace veltrano
