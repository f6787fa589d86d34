#pragma once

// Keeping a whole run: lines handed over on the UI thread go to a file on a writer thread
// of their own, so that a slow disk or a pipe whose reader dawdles never holds up a tick
// or a poll. The file only ever receives whole lines, written at least every quarter of a
// second and synced to the disk at least once a second; after a failed write the file ends
// at its last whole line. The recorder depends on nothing of the program's.

#include "record/record_file.h"

#include <QByteArray>
#include <QString>

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace veltrano {

class RunRecorder {
public:
    // Lines held back for a file that does not keep up, at most; past that the recording
    // stops with its message rather than eat memory (at 64 rows a second, hours of rows).
    static constexpr qsizetype kMaxBacklog = 64 * 1024 * 1024;

    // Starts a recording into `path`, a new file, with `header` (a whole line) as its first
    // line. An existing file is never replaced; a named pipe with a reader is written to.
    // Returns null with the reason in *error.
    static std::unique_ptr<RunRecorder> start(const QString& path, const QByteArray& header, QString* error);

    ~RunRecorder();
    RunRecorder(const RunRecorder&) = delete;
    RunRecorder& operator=(const RunRecorder&) = delete;

    const QString& path() const { return path_; }

    // Queues one whole line (ending in '\n'). Cheap; never waits for the file. Does nothing
    // once the recording has failed.
    void append(const QByteArray& line);

    // Called once, on the writer thread or in append(), when the recording fails.
    void setOnFailure(std::function<void()> onFailure);
    bool hasFailed() const;

    struct Result {
        qint64 rowsKept = 0; // lines after the header that are in the file
        QString error; // why it stopped early; empty when it did not
    };
    // Writes what is held (waiting at most two seconds for a pipe that takes nothing), closes
    // the file and says how many rows it kept. Further calls return the same.
    Result stop();

private:
    RunRecorder(QString path, std::unique_ptr<RecordFile> file);
    void run();
    bool writeOut(const QByteArray& bytes, bool finishing);
    void fail(const QString& why);

    const QString path_;
    std::unique_ptr<RecordFile> file_; // closed by stop()
    // The writer thread's own; read by stop() once it has ended.
    qint64 fileEnd_ = 0; // bytes in the file, up to the end of its last whole line
    qint64 linesKept_ = 0; // whole lines in the file, the header included

    mutable std::mutex lock_;
    std::condition_variable wake_;
    QByteArray pending_;
    bool stopping_ = false;
    bool failed_ = false;
    QString error_;
    std::function<void()> onFailure_;
    std::thread writer_;
    bool stopped_ = false;
    Result result_;
};

} // namespace veltrano
