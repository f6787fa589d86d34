// The system's serial ports on Windows, through the Win32 communications API.
//
// QSerialPort waits for arriving bytes through overlapped comm events, which Wine never
// reports, so this line reads with blocking ReadFile on a thread of its own (which works on
// Windows and under Wine alike) and hands the bytes to the UI thread.

#include "serial/system_line.h"

#include "platform/control_error.h"
#include "platform/system_message.h"
#include "serial/bounded_call.h"
#include "serial/serial_control.h"

#include <QMetaObject>
#include <QMutex>

#include <atomic>
#include <chrono>
#include <optional>

#include <windows.h>

namespace veltrano {

namespace {

// A read returns as soon as a byte is there, or after this long with nothing, so that the
// reader sees a close within this time even where cancelling its read is not supported.
// Wine (8.0) does not return on arrival but only at the end of this wait: with 50 ms the
// chart plotted the board's answers in pairs every other tick; with 5 ms it is smooth.
constexpr DWORD kReadWaitMs = 5;
// A write is queued in the driver; only a line that takes nothing for this long fails it.
constexpr DWORD kWriteWaitMs = 2000;
// Opening a Bluetooth serial port first connects to its device, which can take many
// seconds when the device is out of reach; the port search tries sixteen ports in turn.
constexpr std::chrono::milliseconds kOpenLimit{1000};

struct Opened {
    HANDLE port;
    DWORD error;
};

// The errors a read or write meets once the device is gone (a USB adapter pulled out).
bool meansDeviceGone(DWORD error)
{
    switch (error) {
    case ERROR_ACCESS_DENIED:
    case ERROR_BAD_COMMAND:
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_DEVICE_REMOVED:
    case ERROR_FILE_NOT_FOUND:
    case ERROR_GEN_FAILURE:
    case ERROR_INVALID_HANDLE:
    case ERROR_NOT_READY: return true;
    default: return false;
    }
}

class Win32SerialLine : public ByteLine {
public:
    Win32SerialLine(const QString& name, const QString& device, QObject* parent)
        : ByteLine(parent), name_(name), device_(device)
    {
    }

    ~Win32SerialLine() override { close(); }

    void open(int baud) override
    {
        // "\\.\COMn" reaches COM10 and above too; no sharing: the port is ours alone.
        const std::wstring path = (QStringLiteral("\\\\.\\") + device_).toStdWString();
        const std::optional<Opened> opened = callWithin<Opened>(
            kOpenLimit,
            [path] {
                const HANDLE port = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                                0, nullptr);
                return Opened{port, port == INVALID_HANDLE_VALUE ? GetLastError() : DWORD(ERROR_SUCCESS)};
            },
            [](Opened late) {
                if (late.port != INVALID_HANDLE_VALUE)
                    CloseHandle(late.port);
            });
        if (!opened)
            fail(QStringLiteral("no answer to opening within %1 ms").arg(kOpenLimit.count()));
        port_ = opened->port;
        if (port_ == INVALID_HANDLE_VALUE) {
            const DWORD error = opened->error;
            if (error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION)
                throw PortInUse(QStringLiteral("%1: %2").arg(name_, systemMessage(error)),
                                QStringLiteral("in use by another program"));
            fail(systemMessage(error));
        }
        try {
            applyBaud(baud);
            COMMTIMEOUTS timeouts{};
            timeouts.ReadIntervalTimeout = MAXDWORD;
            timeouts.ReadTotalTimeoutMultiplier = MAXDWORD;
            timeouts.ReadTotalTimeoutConstant = kReadWaitMs;
            timeouts.WriteTotalTimeoutConstant = kWriteWaitMs;
            if (!SetCommTimeouts(port_, &timeouts))
                fail(systemMessage(GetLastError()));
            // Bytes the system kept from before this open belong to no request of ours.
            PurgeComm(port_, PURGE_RXCLEAR);
            stopping_ = false;
            reader_ = CreateThread(nullptr, 0, &Win32SerialLine::readerEntry, this, 0, nullptr);
            if (!reader_)
                fail(systemMessage(GetLastError()));
        } catch (...) {
            CloseHandle(std::exchange(port_, INVALID_HANDLE_VALUE));
            throw;
        }
    }

    // Returns at once with a read pending: the reader's blocking read is cancelled (and
    // would end within kReadWaitMs where cancelling is not supported).
    void close() override
    {
        if (reader_) {
            stopping_ = true;
            CancelSynchronousIo(reader_);
            WaitForSingleObject(reader_, INFINITE);
            CloseHandle(std::exchange(reader_, nullptr));
        }
        if (port_ != INVALID_HANDLE_VALUE)
            CloseHandle(std::exchange(port_, INVALID_HANDLE_VALUE));
        const QMutexLocker locker(&lock_);
        received_.clear();
    }

    bool isOpen() const override { return port_ != INVALID_HANDLE_VALUE; }

    void setBaud(int baud) override { applyBaud(baud); }

    void write(const QByteArray& bytes) override
    {
        DWORD written = 0;
        if (WriteFile(port_, bytes.constData(), DWORD(bytes.size()), &written, nullptr)
            && written == DWORD(bytes.size()))
            return;
        const DWORD error = written == DWORD(bytes.size()) ? ERROR_SUCCESS : GetLastError();
        if (meansDeviceGone(error))
            reportLoss(QStringLiteral("write failed"));
        throw ControlError(
            QStringLiteral("Output failed: %1")
                .arg(error == ERROR_SUCCESS
                         ? QStringLiteral("the line took only %1 of %2 bytes").arg(written).arg(bytes.size())
                         : systemMessage(error))
                .toStdString());
    }

    QByteArray readAll() override
    {
        const QMutexLocker locker(&lock_);
        notifyQueued_ = false;
        return std::exchange(received_, QByteArray());
    }

private:
    [[noreturn]] void fail(const QString& reason) const
    {
        throw ControlError(QStringLiteral("%1 (%2): %3").arg(name_, device_, reason).toStdString());
    }

    void applyBaud(int baud)
    {
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        if (!GetCommState(port_, &dcb))
            fail(systemMessage(GetLastError()));
        dcb.BaudRate = DWORD(baud);
        dcb.ByteSize = 8;
        dcb.Parity = NOPARITY;
        dcb.StopBits = ONESTOPBIT;
        dcb.fBinary = TRUE;
        dcb.fParity = FALSE;
        dcb.fOutxCtsFlow = FALSE;
        dcb.fOutxDsrFlow = FALSE;
        dcb.fDtrControl = DTR_CONTROL_ENABLE;
        dcb.fRtsControl = RTS_CONTROL_ENABLE;
        dcb.fDsrSensitivity = FALSE;
        dcb.fOutX = FALSE;
        dcb.fInX = FALSE;
        dcb.fNull = FALSE;
        dcb.fAbortOnError = FALSE;
        if (!SetCommState(port_, &dcb))
            fail(systemMessage(GetLastError()));
    }

    static DWORD WINAPI readerEntry(void* line)
    {
        static_cast<Win32SerialLine*>(line)->readLoop();
        return 0;
    }

    // The reader thread: what arrives is kept for readAll, and the UI thread is told once
    // until it has read.
    void readLoop()
    {
        char buffer[4096];
        while (!stopping_) {
            DWORD got = 0;
            if (!ReadFile(port_, buffer, sizeof buffer, &got, nullptr)) {
                const DWORD error = GetLastError();
                if (stopping_ || error == ERROR_OPERATION_ABORTED)
                    return;
                reportLoss(meansDeviceGone(error) ? QStringLiteral("read failed") : systemMessage(error));
                return;
            }
            if (got == 0)
                continue;
            bool notify = false;
            {
                const QMutexLocker locker(&lock_);
                received_.append(buffer, qsizetype(got));
                notify = !std::exchange(notifyQueued_, true);
            }
            if (notify)
                QMetaObject::invokeMethod(
                    this, [this] { emit readyRead(); }, Qt::QueuedConnection);
        }
    }

    // From either thread: the loss is told from the UI thread's event loop.
    void reportLoss(const QString& reason)
    {
        QMetaObject::invokeMethod(
            this, [this, reason] { emit lost(reason); }, Qt::QueuedConnection);
    }

    QString name_;
    QString device_;
    HANDLE port_ = INVALID_HANDLE_VALUE;
    HANDLE reader_ = nullptr;
    std::atomic<bool> stopping_{false};
    QMutex lock_;
    QByteArray received_;
    bool notifyQueued_ = false;
};

} // namespace

ByteLine* makeSystemLine(const QString& name, const QString& device, QObject* parent)
{
    return new Win32SerialLine(name, device, parent);
}

} // namespace veltrano
