#pragma once

// The file (or pipe) a recording writes, on the system's own calls: one implementation per
// system (record_file_posix.cpp, record_file_win.cpp), chosen by the build.

#include <QString>

#include <memory>

namespace veltrano {

class RecordFile {
public:
    // Opens `path` for a recording: a new file, never an existing name or a link, or a
    // pipe that has a reader. Null with the reason in *error otherwise.
    static std::unique_ptr<RecordFile> open(const QString& path, QString* error);

    // Closes it.
    virtual ~RecordFile() = default;

    virtual bool isPipe() const = 0;

    struct Written {
        qint64 bytes = 0; // how many went out
        bool full = false; // none could: a pipe whose reader takes nothing yet
        QString error; // none could, and never will: why (empty when some went out)
    };
    // Writes what the file takes of the bytes now; a pipe that is full is not waited for.
    virtual Written write(const char* data, qint64 size) = 0;
    // Waits up to `ms` for a full pipe to take more.
    virtual void waitWritable(int ms) = 0;
    // To the disk; false with the reason when the disk did not take it.
    virtual bool sync(QString* error) = 0;
    // Cuts the file back to `size` bytes (a pipe cannot be).
    virtual void truncate(qint64 size) = 0;

    // Called first on the thread that writes, before any write.
    static void prepareWriterThread();
};

} // namespace veltrano
