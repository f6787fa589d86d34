#pragma once

#include <exception>
#include <functional>

namespace veltrano {

// The program's one contract for failures. A failing platform call throws (ControlError);
// the throw ends the handler it happened in, at that point, and nothing else: what the
// handler already did stays done, the failure is reported on standard error, and the
// program goes on. The window's handlers run inside dispatch(); what escapes any other
// slot reaches Application::notify() (application.h), which reports it the same way.

// Runs one event handler to completion, as above. A failure that repeats is reported once
// with its count.
void dispatch(const char* handlerName, const std::function<void()>& handler);

// Reports a failure that ended the named handler.
void reportFailure(const char* handlerName, const std::exception_ptr& failure);

// Failures reported so far (for tests and benchmarks).
long dispatchFailureCount();

} // namespace veltrano
