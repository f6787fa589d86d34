#include "record/run_recorder.h"

#include <QFile>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <optional>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace veltrano {

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kWriteEvery = std::chrono::milliseconds(250);
constexpr auto kSyncEvery = std::chrono::seconds(1);
constexpr auto kFinishWithin = std::chrono::seconds(2);
constexpr qsizetype kWriteAtOnce = 64 * 1024; // a backlog this large goes out without waiting

QString systemError(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

} // namespace

std::unique_ptr<RunRecorder> RunRecorder::start(const QString& path, const QByteArray& header, QString* error)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat st {};
    int fd = -1;
    bool isPipe = false;
    if (::stat(name.constData(), &st) == 0 && S_ISFIFO(st.st_mode)) {
        // Without a reader there is nobody to keep the run for (and a blocking open would
        // wait for one).
        fd = ::open(name.constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            *error = errno == ENXIO ? QStringLiteral("%1: no program reads this pipe").arg(path)
                                    : QStringLiteral("%1: %2").arg(path, systemError(errno));
            return nullptr;
        }
        isPipe = true;
    } else {
        // A new entry or nothing: O_EXCL also refuses a link, whether or not it leads anywhere.
        fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd < 0) {
            *error = errno == EEXIST ? QStringLiteral("%1 exists; a recording never replaces a file").arg(path)
                                     : QStringLiteral("%1: %2").arg(path, systemError(errno));
            return nullptr;
        }
    }
    std::unique_ptr<RunRecorder> recorder(new RunRecorder(path, fd, isPipe));
    recorder->append(header);
    return recorder;
}

RunRecorder::RunRecorder(QString path, int fd, bool isPipe)
    : path_(std::move(path)), fd_(fd), isPipe_(isPipe)
{
    writer_ = std::thread([this] { run(); });
}

RunRecorder::~RunRecorder() { stop(); }

void RunRecorder::append(const QByteArray& line)
{
    bool tooMuch = false;
    {
        const std::lock_guard guard(lock_);
        if (failed_ || stopping_)
            return;
        pending_ += line;
        tooMuch = pending_.size() > kMaxBacklog;
        if (!tooMuch && pending_.size() >= kWriteAtOnce)
            wake_.notify_one();
    }
    if (tooMuch)
        fail(QStringLiteral("the file took nothing for too long (%1 MiB held back)").arg(kMaxBacklog >> 20));
}

void RunRecorder::setOnFailure(std::function<void()> onFailure)
{
    const std::lock_guard guard(lock_);
    onFailure_ = std::move(onFailure);
}

bool RunRecorder::hasFailed() const
{
    const std::lock_guard guard(lock_);
    return failed_;
}

void RunRecorder::fail(const QString& why)
{
    std::function<void()> tell;
    {
        const std::lock_guard guard(lock_);
        if (failed_)
            return;
        failed_ = true;
        error_ = why;
        pending_.clear();
        tell = onFailure_;
        wake_.notify_one();
    }
    if (tell)
        tell();
}

RunRecorder::Result RunRecorder::stop()
{
    if (stopped_)
        return result_;
    {
        const std::lock_guard guard(lock_);
        stopping_ = true;
        wake_.notify_one();
    }
    writer_.join();
    ::close(fd_);
    stopped_ = true;
    const std::lock_guard guard(lock_);
    result_ = {qMax<qint64>(0, linesKept_ - 1), error_};
    return result_;
}

void RunRecorder::run()
{
    // Signals are the UI thread's; a pipe whose reader went away shows here as EPIPE, and a
    // file past its size limit as EFBIG.
    sigset_t all;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, nullptr);

    auto lastSync = Clock::now();
    bool unsynced = false;
    for (;;) {
        QByteArray bytes;
        bool finishing = false;
        {
            std::unique_lock guard(lock_);
            wake_.wait_for(guard, kWriteEvery, [this] { return stopping_ || failed_ || pending_.size() >= kWriteAtOnce; });
            if (failed_)
                return;
            bytes.swap(pending_);
            finishing = stopping_;
        }
        if (!bytes.isEmpty()) {
            if (!writeOut(bytes, finishing))
                return;
            unsynced = true;
        }
        if (unsynced && (finishing || Clock::now() - lastSync >= kSyncEvery)) {
            if (!isPipe_ && ::fdatasync(fd_) != 0 && errno != EINVAL && errno != EROFS) {
                fail(QStringLiteral("the disk did not take it: %1").arg(systemError(errno)));
                return;
            }
            lastSync = Clock::now();
            unsynced = false;
        }
        if (finishing)
            return;
    }
}

// Writes the bytes, whole lines only. A pipe that is full is waited for; while finishing,
// for two seconds at most. On failure the file is cut back to its last whole line.
bool RunRecorder::writeOut(const QByteArray& bytes, bool finishing)
{
    std::optional<Clock::time_point> giveUpAt;
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t put = ::write(fd_, bytes.constData() + done, size_t(bytes.size() - done));
        if (put > 0) {
            done += put;
            continue;
        }
        const int error = put < 0 ? errno : EIO;
        if (error == EINTR)
            continue;
        if (error == EAGAIN && isPipe_) {
            {
                const std::lock_guard guard(lock_);
                finishing = finishing || stopping_;
            }
            if (finishing && !giveUpAt)
                giveUpAt = Clock::now() + kFinishWithin;
            if (giveUpAt && Clock::now() >= *giveUpAt) {
                fail(QStringLiteral("nothing read the pipe for %1 s").arg(kFinishWithin.count()));
                return false;
            }
            pollfd ready{fd_, POLLOUT, 0};
            ::poll(&ready, 1, 200);
            continue;
        }
        // Count and keep what is whole; a pipe cannot be cut back, a file can.
        const qsizetype whole = done > 0 ? bytes.lastIndexOf('\n', done - 1) + 1 : 0;
        linesKept_ += bytes.left(whole).count('\n');
        if (!isPipe_ && whole < done)
            (void)::ftruncate(fd_, fileEnd_ + whole);
        fail(QStringLiteral("a write failed: %1").arg(systemError(error)));
        return false;
    }
    fileEnd_ += bytes.size();
    linesKept_ += bytes.count('\n');
    return true;
}

} // namespace veltrano
