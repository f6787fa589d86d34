#include "app/quit_on_signal.h"
#include "platform/log.h"

#include "app/form1.h"

#include <QSocketNotifier>

#ifdef Q_OS_UNIX
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace veltrano {

#ifdef Q_OS_UNIX
namespace {

constexpr int kQuitSignals[] = {SIGTERM, SIGHUP, SIGINT};

int wakeRead = -1;
int wakeWrite = -1;
std::atomic<int> firstSignal{0};
static_assert(std::atomic<int>::is_always_lock_free);

// Runs in whatever thread the signal interrupts: nothing but async-signal-safe calls.
extern "C" void onQuitSignal(int signo)
{
    int none = 0;
    if (!firstSignal.compare_exchange_strong(none, signo)) {
        // The first one has not ended the program (a handler hangs, or the close does):
        // this one ends it as it would have without us, once the handler returns.
        struct sigaction fallback { };
        fallback.sa_handler = SIG_DFL;
        sigemptyset(&fallback.sa_mask);
        sigaction(signo, &fallback, nullptr);
        raise(signo);
        return;
    }
    const int savedErrno = errno;
    const unsigned char byte = static_cast<unsigned char>(signo);
    [[maybe_unused]] const ssize_t written = write(wakeWrite, &byte, 1);
    errno = savedErrno;
}

} // namespace

void endOnSignal(Form1& window)
{
    if (wakeRead < 0) {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) {
            qCWarning(lcApp, "no pipe for signals (%s): kill and Ctrl+C end the program at once", std::strerror(errno));
            return;
        }
        wakeRead = fds[0];
        wakeWrite = fds[1];
    }
    auto* notifier = new QSocketNotifier(wakeRead, QSocketNotifier::Read, &window);
    QObject::connect(notifier, &QSocketNotifier::activated, &window, [&window] {
        unsigned char bytes[8];
        while (::read(wakeRead, bytes, sizeof bytes) > 0) { }
        window.End->click();
    });
    for (const int signo : kQuitSignals) {
        struct sigaction current { };
        if (sigaction(signo, nullptr, &current) == 0 && current.sa_handler == SIG_IGN)
            continue;
        struct sigaction quit { };
        quit.sa_handler = onQuitSignal;
        sigemptyset(&quit.sa_mask);
        quit.sa_flags = SA_RESTART;
        sigaction(signo, &quit, nullptr);
    }
}

#else

void endOnSignal(Form1&) { }

#endif

} // namespace veltrano
