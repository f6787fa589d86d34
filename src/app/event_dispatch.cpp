#include "app/event_dispatch.h"
#include "platform/log.h"

#include <cstdio>
#include <exception>
#include <string>

namespace veltrano {

namespace {

long failures = 0;
std::string lastReport;
long repeats = 0;

void report(const std::string& text)
{
    ++failures;
    if (text == lastReport) {
        // A handler failing on every tick would otherwise flood the terminal.
        if (++repeats % 1000 == 0)
            qCWarning(lcDispatch, "%s (repeated %ld times)", text.c_str(), repeats);
        return;
    }
    if (repeats > 0)
        qCWarning(lcDispatch, "last failure repeated %ld times", repeats);
    lastReport = text;
    repeats = 0;
    qCWarning(lcDispatch, "%s", text.c_str());
}

} // namespace

void dispatch(const char* handlerName, const std::function<void()>& handler)
{
    try {
        handler();
    } catch (...) {
        reportFailure(handlerName, std::current_exception());
    }
}

void reportFailure(const char* handlerName, const std::exception_ptr& failure)
{
    try {
        std::rethrow_exception(failure);
    } catch (const std::exception& e) {
        report(std::string(handlerName) + ": " + e.what());
    } catch (...) {
        report(std::string(handlerName) + ": unknown failure");
    }
}

long dispatchFailureCount() { return failures; }

} // namespace veltrano
