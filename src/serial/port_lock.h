#pragma once

#include <QString>
#include <QtGlobal>

#include <optional>

namespace veltrano {

// Who else holds a serial device, as far as the system tells.
struct PortUser {
    qint64 pid = 0; // 0 when the system does not say
    QString program; // the process name, when readable
};

// "minicom, pid 812", "pid 812" (name unreadable), "this program" or "another program".
QString describePortUser(const PortUser& user);

// Another holder of the device at `path` (its canonical path), found without opening the
// device: a process other than this one with it open (as far as /proc shows this user),
// an flock or record lock on it, or a lock file for it (UUCP style, as terminal programs
// write it, or QSerialPort's) naming a live process. A lock file naming this process is
// left from an earlier run that had the same process id: this process's own holds show
// as flocks.
std::optional<PortUser> findPortUser(const QString& path);

// The lock file QSerialPort writes for the device at `path` while it has it open
// ("<dir>/LCK..<name>", the first line the holder's pid in decimal, as UUCP-style readers
// expect); empty when no lock directory is usable.
QString qtLockFilePath(const QString& path);

// This program's hold on a device, taken before QSerialPort opens it and kept while
// connected: a descriptor of its own with an exclusive flock, which common serial code
// (pyserial's exclusive mode, for one) tries before it opens.
class PortClaim {
public:
    PortClaim() = default;
    ~PortClaim() { release(); }
    PortClaim(const PortClaim&) = delete;
    PortClaim& operator=(const PortClaim&) = delete;

    // Takes the device at `path` (canonical) unless someone else holds it: first the
    // checks of findPortUser, which open nothing; then an open that leaves the line as it
    // is (no line settings, no flush, nothing read), refused while the kernel holds the
    // device for someone (EBUSY), while another opener has set the exclusive flag (which
    // root opens through), or while an flock on it cannot be had.
    struct Refusal {
        // Empty when the device is held now; else why not: "in use by minicom, pid 812",
        // or the system's reason.
        QString reason;
        bool inUse = false; // someone else holds the device
    };
    Refusal acquire(const QString& path);
    // Lets the device go; nothing on the line changes.
    void release();
    bool isHeld() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

} // namespace veltrano
