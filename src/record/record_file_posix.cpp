#include "record/record_file.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace veltrano {

namespace {

QString systemError(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

class PosixRecordFile : public RecordFile {
public:
    PosixRecordFile(int fd, bool isPipe) : fd_(fd), isPipe_(isPipe) { }
    ~PosixRecordFile() override { ::close(fd_); }

    bool isPipe() const override { return isPipe_; }

    Written write(const char* data, qint64 size) override
    {
        for (;;) {
            const ssize_t put = ::write(fd_, data, size_t(size));
            if (put > 0)
                return {qint64(put), false, {}};
            const int error = put < 0 ? errno : EIO;
            if (error == EINTR)
                continue;
            if (error == EAGAIN && isPipe_)
                return {0, true, {}};
            return {0, false, systemError(error)};
        }
    }

    void waitWritable(int ms) override
    {
        pollfd ready{fd_, POLLOUT, 0};
        ::poll(&ready, 1, ms);
    }

    bool sync(QString* error) override
    {
        if (isPipe_ || ::fdatasync(fd_) == 0 || errno == EINVAL || errno == EROFS)
            return true;
        *error = systemError(errno);
        return false;
    }

    void truncate(qint64 size) override
    {
        if (!isPipe_)
            (void)::ftruncate(fd_, off_t(size));
    }

private:
    const int fd_;
    const bool isPipe_;
};

} // namespace

std::unique_ptr<RecordFile> RecordFile::open(const QString& path, QString* error)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat st { };
    if (::stat(name.constData(), &st) == 0 && S_ISFIFO(st.st_mode)) {
        // Without a reader there is nobody to keep the run for (and a blocking open would
        // wait for one).
        const int fd = ::open(name.constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            *error = errno == ENXIO ? QStringLiteral("%1: no program reads this pipe").arg(path)
                                    : QStringLiteral("%1: %2").arg(path, systemError(errno));
            return nullptr;
        }
        return std::make_unique<PosixRecordFile>(fd, true);
    }
    // A new entry or nothing: O_EXCL also refuses a link, whether or not it leads anywhere.
    const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
        *error = errno == EEXIST ? QStringLiteral("%1 exists; a recording never replaces a file").arg(path)
                                 : QStringLiteral("%1: %2").arg(path, systemError(errno));
        return nullptr;
    }
    return std::make_unique<PosixRecordFile>(fd, false);
}

void RecordFile::prepareWriterThread()
{
    // Signals are the UI thread's; a pipe whose reader went away shows here as EPIPE, and a
    // file past its size limit as EFBIG.
    sigset_t all;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, nullptr);
}

} // namespace veltrano
