#include "record/run_recorder.h"

#include <chrono>
#include <optional>

namespace veltrano {

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kWriteEvery = std::chrono::milliseconds(250);
constexpr auto kSyncEvery = std::chrono::seconds(1);
constexpr auto kFinishWithin = std::chrono::seconds(2);
constexpr qsizetype kWriteAtOnce = 64 * 1024; // a backlog this large goes out without waiting

} // namespace

std::unique_ptr<RunRecorder> RunRecorder::start(const QString& path, const QByteArray& header, QString* error)
{
    std::unique_ptr<RecordFile> file = RecordFile::open(path, error);
    if (!file)
        return nullptr;
    std::unique_ptr<RunRecorder> recorder(new RunRecorder(path, std::move(file)));
    recorder->append(header);
    return recorder;
}

RunRecorder::RunRecorder(QString path, std::unique_ptr<RecordFile> file)
    : path_(std::move(path)), file_(std::move(file))
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
    file_.reset();
    stopped_ = true;
    const std::lock_guard guard(lock_);
    result_ = {qMax<qint64>(0, linesKept_ - 1), error_};
    return result_;
}

void RunRecorder::run()
{
    RecordFile::prepareWriterThread();

    auto lastSync = Clock::now();
    bool unsynced = false;
    for (;;) {
        QByteArray bytes;
        bool finishing = false;
        {
            std::unique_lock guard(lock_);
            wake_.wait_for(guard, kWriteEvery,
                           [this] { return stopping_ || failed_ || pending_.size() >= kWriteAtOnce; });
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
            if (QString why; !file_->sync(&why)) {
                fail(QStringLiteral("the disk did not take it: %1").arg(why));
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
        const RecordFile::Written put = file_->write(bytes.constData() + done, bytes.size() - done);
        if (put.bytes > 0) {
            done += qsizetype(put.bytes);
            continue;
        }
        if (put.full) {
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
            file_->waitWritable(200);
            continue;
        }
        // Count and keep what is whole; a pipe cannot be cut back, a file can.
        const qsizetype whole = done > 0 ? bytes.lastIndexOf('\n', done - 1) + 1 : 0;
        linesKept_ += bytes.left(whole).count('\n');
        if (whole < done)
            file_->truncate(fileEnd_ + whole);
        fail(QStringLiteral("a write failed: %1").arg(put.error));
        return false;
    }
    fileEnd_ += bytes.size();
    linesKept_ += bytes.count('\n');
    return true;
}

} // namespace veltrano
