#pragma once

#include <QByteArray>
#include <QString>

namespace veltrano::testing {

// A pseudo-terminal for tests: the test keeps the master side and the code under test
// opens the slave by its path. The slave descriptor from openpty is closed at once so
// the test does not hold the device itself; the master is raw and non-blocking.
class PtyPair {
public:
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    bool isValid() const { return master_ >= 0; }
    QString slavePath() const { return slavePath_; }

    // Writes all bytes to the master, pumping the event loop while the pty is full.
    // False when the pty stays full for timeoutMs or a write fails.
    bool writeAll(const QByteArray& bytes, int timeoutMs = 10000);
    // Reads from the master, pumping the event loop, until count bytes have arrived
    // or timeoutMs passes; returns what arrived.
    QByteArray read(qsizetype count, int timeoutMs = 5000);
    // Closes the master: the far side of the line goes away.
    void closeMaster();

private:
    int master_ = -1;
    QString slavePath_;
};

} // namespace veltrano::testing
