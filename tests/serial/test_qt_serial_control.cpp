#include "app/application.h"
#include "app/event_dispatch.h"
#include "platform/control_error.h"
#include "serial/port_lock.h"
#include "serial/line_serial_control.h"
#include "support/port_holder.h"
#include "support/pty_pair.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <memory>
#include <optional>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

using namespace veltrano;
using veltrano::testing::PortHold;
using veltrano::testing::PtyPair;

namespace {

// The ports of every control of a test.
std::shared_ptr<PortTable> ports;

void setPorts(const QString& table) { ports->setFixed(parsePortTable(table)); }

QByteArray allByteValues()
{
    QByteArray bytes;
    for (int i = 0; i < 256; ++i)
        bytes.append(char(i));
    return bytes;
}

QByteArray pattern(int size)
{
    QByteArray bytes;
    bytes.reserve(size);
    for (int i = 0; i < size; ++i)
        bytes.append(char((i * 7 + i / 256) & 0xff));
    return bytes;
}

// The port of the control's open line (a closed one may wait to be deleted beside it).
QSerialPort* openPortOf(LineSerialControl& control)
{
    for (QSerialPort* port : control.findChildren<QSerialPort*>()) {
        if (port->isOpen())
            return port;
    }
    return nullptr;
}

// The line as the system sees it, read from the descriptor the control opened.
std::optional<termios> lineOf(LineSerialControl& control)
{
    QSerialPort* port = openPortOf(control);
    if (!port)
        return std::nullopt;
    termios tio{};
    if (::tcgetattr(int(port->handle()), &tio) != 0)
        return std::nullopt;
    return tio;
}

} // namespace

class TestQtSerialControl : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void portNumberRange();
    void opensByTableName_data();
    void opensByTableName();
    void openFailsForUnknownOrMissingPort();
    void closedPortRefusesData();
    void lineSettings();
    void allByteValuesBothWays();
    void outputKeepsCallOrder();
    void oneEventPerCharacterUnderBurst();
    void floodLeavesEventLoopRunning();
    void thresholdAndInputLength();
    void handlerTakingNothingWaitsForNewBytes();
    void handlerSpinningEventLoopIsNotReentered();
    void handlerChangingSettingsLosesNothing();
    void handlerFailingLosesNothing();
    void handlerClosingPortDropsTheRest();
    void portInUseByAnotherProcess_data();
    void portInUseByAnotherProcess();
    void anotherProcessCannotTakeOpenPort();
    void farSideClosedClosesPort();
    void bytesFromBeforeAnOpenAreDropped();

private:
    void openOnPty(LineSerialControl& control, int number = 1);

    std::unique_ptr<PtyPair> pty_;
    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<QProcess> holder_;
};

void TestQtSerialControl::init()
{
    ports = std::make_shared<PortTable>(PortMap{});
    pty_ = std::make_unique<PtyPair>();
    QVERIFY(pty_->isValid());
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
}

void TestQtSerialControl::cleanup()
{
    ports.reset();
    if (holder_) {
        holder_->closeWriteChannel();
        holder_->waitForFinished(5000);
        holder_.reset();
    }
    pty_.reset();
    dir_.reset();
}

void TestQtSerialControl::openOnPty(LineSerialControl& control, int number)
{
    setPorts(QStringLiteral("COM%1=%2").arg(number).arg(pty_->slavePath()));
    control.setCommPort(number);
    control.setPortOpen(true);
    QVERIFY(control.portOpen());
}

void TestQtSerialControl::portNumberRange()
{
    LineSerialControl control(ports);
    QCOMPARE(control.commPort(), 1);
    QVERIFY_THROWS_EXCEPTION(ControlError, control.setCommPort(0));
    QVERIFY_THROWS_EXCEPTION(ControlError, control.setCommPort(17));
    QVERIFY_THROWS_EXCEPTION(ControlError, control.setCommPort(-1));
    QCOMPARE(control.commPort(), 1);
    control.setCommPort(16);
    QCOMPARE(control.commPort(), 16);

    openOnPty(control, 4);
    QVERIFY_THROWS_EXCEPTION(ControlError, control.setCommPort(5));
    QCOMPARE(control.commPort(), 4);
    control.setPortOpen(false);
    control.setCommPort(5);
    QCOMPARE(control.commPort(), 5);
}

void TestQtSerialControl::opensByTableName_data()
{
    QTest::addColumn<bool>("throughLink");
    QTest::newRow("device path") << false;
    QTest::newRow("symlink") << true;
}

void TestQtSerialControl::opensByTableName()
{
    QFETCH(bool, throughLink);
    QString device = pty_->slavePath();
    if (throughLink) {
        const QString link = dir_->filePath(QStringLiteral("tty"));
        QVERIFY(QFile::link(device, link));
        device = link;
    }
    setPorts(QStringLiteral("COM2=/dev/nonexistent-veltrano; COM7=%1").arg(device));

    LineSerialControl control(ports);
    QVERIFY(!control.portOpen());
    QVERIFY(control.describePort(7).startsWith(device));
    QVERIFY(control.describePort(3).isEmpty());
    control.setCommPort(7);
    control.setPortOpen(true);
    QVERIFY(control.portOpen());
    QVERIFY_THROWS_EXCEPTION(ControlError, control.setPortOpen(true));
    QVERIFY(control.portOpen());

    control.setPortOpen(false);
    QVERIFY(!control.portOpen());
    control.setPortOpen(false); // closing a closed port is fine
    QVERIFY(!control.portOpen());
    control.setPortOpen(true); // and it opens again
    QVERIFY(control.portOpen());
}

void TestQtSerialControl::openFailsForUnknownOrMissingPort()
{
    LineSerialControl control(ports);
    setPorts(QStringLiteral("COM2=%1;COM3=%2").arg(pty_->slavePath(), dir_->filePath("missing")));

    control.setCommPort(1); // not in the table
    QVERIFY_THROWS_EXCEPTION(ControlError, control.setPortOpen(true));
    QVERIFY(!control.portOpen());

    control.setCommPort(3); // in the table, no such device
    QVERIFY_THROWS_EXCEPTION(ControlError, control.setPortOpen(true));
    QVERIFY(!control.portOpen());

    QFile plain(dir_->filePath("missing"));
    QVERIFY(plain.open(QIODevice::WriteOnly)); // exists, but is no terminal
    plain.close();
    QVERIFY_THROWS_EXCEPTION(ControlError, control.setPortOpen(true));
    QVERIFY(!control.portOpen());

    // The table is looked up at each open: COM2 went away.
    setPorts(QStringLiteral("COM3=/dev/null"));
    control.setCommPort(2);
    QVERIFY_THROWS_EXCEPTION(ControlError, control.setPortOpen(true));
    QVERIFY(!control.portOpen());
    setPorts(QStringLiteral("COM2=%1").arg(pty_->slavePath()));
    control.setPortOpen(true);
    QVERIFY(control.portOpen());
}

void TestQtSerialControl::closedPortRefusesData()
{
    LineSerialControl control(ports);
    QVERIFY_THROWS_EXCEPTION(ControlError, control.output("x"));
    QVERIFY_THROWS_EXCEPTION(ControlError, control.input());
    openOnPty(control);
    control.setPortOpen(false);
    QVERIFY_THROWS_EXCEPTION(ControlError, control.output("x"));
    QVERIFY_THROWS_EXCEPTION(ControlError, control.input());
}

void TestQtSerialControl::lineSettings()
{
    LineSerialControl control(ports);
    QCOMPARE(control.settings(), QStringLiteral("9600,N,8,1"));

    // Kept for the next open.
    control.setSettings(QStringLiteral("2400,N,8,1"));
    QCOMPARE(control.settings(), QStringLiteral("2400,N,8,1"));
    openOnPty(control);
    auto line = lineOf(control);
    QVERIFY(line);
    QCOMPARE(cfgetospeed(&*line), speed_t(B2400));
    QCOMPARE(line->c_cflag & CSIZE, tcflag_t(CS8));
    QVERIFY(!(line->c_cflag & (PARENB | CSTOPB | CRTSCTS)));
    QVERIFY(!(line->c_iflag & (IXON | IXOFF)));

    // Applied to the open port at once.
    const struct {
        const char* text;
        speed_t speed;
    } valid[] = {{"115200,N,8,1", B115200}, {"9600,N,8,1", B9600}, {"2400,N,8,1", B2400}};
    for (const auto& v : valid) {
        control.setSettings(QString::fromLatin1(v.text));
        QCOMPARE(control.settings(), QString::fromLatin1(v.text));
        line = lineOf(control);
        QVERIFY(line);
        QCOMPARE(cfgetospeed(&*line), v.speed);
    }

    for (const char* bad : {"", "19200,N,8,1", "9600,E,8,1", "9600,n,8,1", "9600,N,7,1", "9600,N,8,2", " 9600,N,8,1",
                            "9600,N,8,1 ", "9600", "garbage"}) {
        QVERIFY_THROWS_EXCEPTION(ControlError, control.setSettings(QString::fromLatin1(bad)));
        QCOMPARE(control.settings(), QStringLiteral("2400,N,8,1"));
    }
    line = lineOf(control);
    QVERIFY(line);
    QCOMPARE(cfgetospeed(&*line), speed_t(B2400));
}

void TestQtSerialControl::allByteValuesBothWays()
{
    LineSerialControl control(ports);
    openOnPty(control);
    const QByteArray all = allByteValues();

    control.output(all);
    QCOMPARE(pty_->read(all.size() + 1, 1000), all);

    QByteArray received;
    connect(&control, &SerialControl::onComm, this, [&] { received += control.input(); });
    control.setRThreshold(1);
    QVERIFY(pty_->writeAll(all));
    QTRY_COMPARE(received.size(), all.size());
    QCOMPARE(received, all);
}

void TestQtSerialControl::outputKeepsCallOrder()
{
    LineSerialControl control(ports);
    openOnPty(control);
    QByteArray expected;
    for (int i = 0; i < 200; ++i) {
        const QByteArray piece = QByteArray::number(i) + (i % 3 == 0 ? QByteArray() : QByteArray(i % 7, '\n'));
        control.output(piece);
        expected += piece;
    }
    control.output(QByteArray()); // sends nothing, fails nothing
    QCOMPARE(pty_->read(expected.size() + 1, 2000), expected);
}

void TestQtSerialControl::oneEventPerCharacterUnderBurst()
{
    LineSerialControl control(ports);
    openOnPty(control);
    control.setRThreshold(1);
    control.setInputLen(1);

    QByteArray received;
    int events = 0;
    int wrongEvents = 0;
    connect(&control, &SerialControl::onComm, this, [&] {
        ++events;
        const QByteArray one = control.input();
        if (one.size() != 1 || control.commEvent() != SerialControl::kComEvReceive)
            ++wrongEvents;
        received += one;
    });

    const QByteArray burst = pattern(10000);
    QElapsedTimer timer;
    timer.start();
    QVERIFY(pty_->writeAll(burst));
    QTRY_COMPARE_WITH_TIMEOUT(received.size(), burst.size(), 20000);
    qInfo("10000 characters, one event each: %.2f ms", timer.nsecsElapsed() / 1e6);
    QCOMPARE(received, burst);
    QCOMPARE(events, burst.size());
    QCOMPARE(wrongEvents, 0);

    // Nothing left over raises further events.
    QTest::qWait(100);
    QCOMPARE(events, burst.size());
}

void TestQtSerialControl::floodLeavesEventLoopRunning()
{
    LineSerialControl control(ports);
    openOnPty(control);
    control.setInputLen(1);
    QByteArray received;
    qsizetype receivedWhenOtherWorkRan = -1;
    connect(&control, &SerialControl::onComm, this, [&] {
        // Work queued by the first handler call must not wait for the whole backlog.
        if (received.isEmpty()) {
            QMetaObject::invokeMethod(
                this, [&] { receivedWhenOtherWorkRan = received.size(); }, Qt::QueuedConnection);
        }
        received += control.input();
    });

    // A backlog builds up while nothing is raised.
    const QByteArray flood = pattern(10000);
    QVERIFY(pty_->writeAll(flood));
    // The line's port goes with the line once the control has closed it.
    QPointer<QSerialPort> port = openPortOf(control);
    QVERIFY(port);
    QTRY_VERIFY_WITH_TIMEOUT(
        [&] {
            int pending = -1;
            return ::ioctl(int(port->handle()), FIONREAD, &pending) == 0 && pending == 0;
        }(),
        20000);
    QCoreApplication::processEvents();
    QVERIFY(received.isEmpty());

    control.setRThreshold(1);
    QVERIFY(pty_->writeAll("!"));
    QTRY_COMPARE_WITH_TIMEOUT(received.size(), flood.size() + 1, 20000);
    QCOMPARE(received, flood + "!");
    QVERIFY(receivedWhenOtherWorkRan > 0);
    QVERIFY2(receivedWhenOtherWorkRan <= LineSerialControl::kMaxEventsPerPass,
             qPrintable(QString::number(receivedWhenOtherWorkRan)));
}

void TestQtSerialControl::thresholdAndInputLength()
{
    LineSerialControl control(ports);
    openOnPty(control);
    QList<QByteArray> takes;
    connect(&control, &SerialControl::onComm, this, [&] { takes.append(control.input()); });

    // Threshold 0 raises nothing; the bytes wait until read.
    QVERIFY(pty_->writeAll("abcdef"));
    QTest::qWait(150);
    QVERIFY(takes.isEmpty());
    control.setInputLen(4);
    QCOMPARE(control.input(), QByteArray("abcd"));
    control.setInputLen(0);
    QCOMPARE(control.input(), QByteArray("ef"));
    QCOMPARE(control.input(), QByteArray());

    // Threshold 3: raised once at least 3 wait, for as long as 3 wait.
    control.setRThreshold(3);
    control.setInputLen(2);
    QVERIFY(pty_->writeAll("gh"));
    QTest::qWait(150);
    QVERIFY(takes.isEmpty());
    QVERIFY(pty_->writeAll("ijklm"));
    // "ghijklm": takes "gh", "ij", "kl"; "m" alone stays below the threshold.
    QTRY_COMPARE(takes.size(), 3);
    QTest::qWait(100);
    QCOMPARE(takes, (QList<QByteArray>{"gh", "ij", "kl"}));
    control.setInputLen(0);
    QCOMPARE(control.input(), QByteArray("m"));
}

void TestQtSerialControl::handlerTakingNothingWaitsForNewBytes()
{
    LineSerialControl control(ports);
    openOnPty(control);
    control.setRThreshold(1);
    control.setInputLen(1);
    bool taking = false;
    int events = 0;
    QByteArray received;
    connect(&control, &SerialControl::onComm, this, [&] {
        ++events;
        if (taking)
            received += control.input();
    });

    QVERIFY(pty_->writeAll("xyz"));
    QTRY_COMPARE(events, 1);
    QTest::qWait(150);
    QCOMPARE(events, 1); // no busy loop over characters nobody takes

    taking = true;
    QVERIFY(pty_->writeAll("w"));
    QTRY_COMPARE(received, QByteArray("xyzw"));
    QCOMPARE(events, 5);

    // Closing drops what was not read.
    taking = false;
    QVERIFY(pty_->writeAll("lost"));
    QTRY_COMPARE(events, 6);
    control.setPortOpen(false);
    control.setPortOpen(true);
    taking = true;
    QVERIFY(pty_->writeAll("new"));
    QTRY_COMPARE(received, QByteArray("xyzwnew"));
}

void TestQtSerialControl::handlerSpinningEventLoopIsNotReentered()
{
    LineSerialControl control(ports);
    openOnPty(control);
    control.setRThreshold(1);
    control.setInputLen(1);
    const QByteArray burst = pattern(3000);
    qsizetype fed = 0;
    bool feedFailed = false;
    int depth = 0;
    int deepest = 0;
    QByteArray received;
    connect(&control, &SerialControl::onComm, this, [&] {
        ++depth;
        deepest = std::max(deepest, depth);
        received += control.input();
        // More bytes arrive while the handler runs its own event loop.
        if (fed < burst.size()) {
            const QByteArray chunk = burst.mid(fed, 7);
            fed += chunk.size();
            feedFailed |= !pty_->writeAll(chunk);
            QDeadlineTimer spin(2);
            while (!spin.hasExpired())
                QCoreApplication::processEvents();
        } else {
            QCoreApplication::processEvents();
        }
        --depth;
    });

    fed = 20;
    QVERIFY(pty_->writeAll(burst.left(fed)));
    QTRY_COMPARE_WITH_TIMEOUT(received.size(), burst.size(), 20000);
    QCOMPARE(received, burst);
    QVERIFY(!feedFailed);
    QCOMPARE(deepest, 1);
}

void TestQtSerialControl::handlerChangingSettingsLosesNothing()
{
    LineSerialControl control(ports);
    openOnPty(control);
    control.setRThreshold(1);
    control.setInputLen(1);
    const QStringList settings = {QStringLiteral("115200,N,8,1"), QStringLiteral("2400,N,8,1"),
                                  QStringLiteral("9600,N,8,1")};
    QByteArray received;
    connect(&control, &SerialControl::onComm, this, [&] {
        received += control.input();
        if (received.size() % 97 == 0)
            control.setSettings(settings.at((received.size() / 97) % settings.size()));
    });

    const QByteArray burst = pattern(3000);
    QVERIFY(pty_->writeAll(burst));
    QTRY_COMPARE_WITH_TIMEOUT(received.size(), burst.size(), 20000);
    QCOMPARE(received, burst);
}

void TestQtSerialControl::handlerFailingLosesNothing()
{
    LineSerialControl control(ports);
    openOnPty(control);
    control.setRThreshold(1);
    control.setInputLen(1);
    bool taking = true;
    int events = 0;
    QByteArray received;
    connect(&control, &SerialControl::onComm, this, [&] {
        ++events;
        if (taking)
            received += control.input();
        if (events % 10 == 0)
            throw ControlError("handler failed");
    });
    // A slot that throws is reported by the application, as in the program, and the
    // program goes on.
    const long failedBefore = dispatchFailureCount();
    auto caught = [failedBefore] { return dispatchFailureCount() - failedBefore; };

    // A handler that took its character and then failed is raised again for the rest.
    const QByteArray bytes = pattern(100);
    QVERIFY(pty_->writeAll(bytes));
    QTRY_COMPARE(received.size(), bytes.size());
    QCOMPARE(received, bytes);
    QCOMPARE(caught(), 10);

    // One that fails without taking anything is not raised again until new bytes come.
    taking = false;
    events = 9;
    QVERIFY(pty_->writeAll("a"));
    QTRY_COMPARE(caught(), 11);
    QTest::qWait(100);
    QCOMPARE(events, 10);
    QCOMPARE(caught(), 11);
    taking = true;
    QVERIFY(pty_->writeAll("c"));
    QTRY_COMPARE(received, bytes + "ac");
}

void TestQtSerialControl::handlerClosingPortDropsTheRest()
{
    LineSerialControl control(ports);
    openOnPty(control);
    control.setRThreshold(1);
    control.setInputLen(1);
    QByteArray received;
    int eventsWhileClosed = 0;
    connect(&control, &SerialControl::onComm, this, [&] {
        if (!control.portOpen()) {
            ++eventsWhileClosed;
            return;
        }
        received += control.input();
        if (received.size() == 10)
            control.setPortOpen(false);
    });

    QVERIFY(pty_->writeAll(pattern(100)));
    QTRY_VERIFY(!control.portOpen());
    QTest::qWait(100);
    QCOMPARE(received, pattern(10));
    QCOMPARE(eventsWhileClosed, 0);

    control.setPortOpen(true);
    QVERIFY(pty_->writeAll("after"));
    QTRY_COMPARE(received, pattern(10) + "after");
}

void TestQtSerialControl::bytesFromBeforeAnOpenAreDropped()
{
    QByteArray received;
    LineSerialControl control(ports);
    openOnPty(control);
    control.setRThreshold(1);
    connect(&control, &SerialControl::onComm, this, [&] { received += control.input(); });
    control.setPortOpen(false);
    // A late answer arrives while nobody has the port open.
    QVERIFY(pty_->writeAll("stale"));
    QTest::qWait(50);
    control.setPortOpen(true);
    QVERIFY(pty_->writeAll("fresh"));
    QTRY_COMPARE(received, QByteArray("fresh"));
    QTest::qWait(50);
    QCOMPARE(received, QByteArray("fresh"));
}

void TestQtSerialControl::portInUseByAnotherProcess_data()
{
    QTest::addColumn<int>("hold"); // a PortHold, or -1: nobody holds the port
    QTest::addColumn<bool>("throughLink");
    QTest::newRow("nobody: opened and closed") << -1 << false;
    QTest::newRow("open") << int(PortHold::Open) << false;
    QTest::newRow("open, through a link") << int(PortHold::Open) << true;
    QTest::newRow("flock") << int(PortHold::Flock) << false;
    QTest::newRow("lock file, through a link") << int(PortHold::LockFile) << true;
    QTest::newRow("exclusive flag") << int(PortHold::Exclusive) << false;
}

void TestQtSerialControl::portInUseByAnotherProcess()
{
    QFETCH(int, hold);
    QFETCH(bool, throughLink);
    // The line, with unusual settings and unread input, watched through a descriptor of
    // this program's own (the control counts only other programs as holders): none of it
    // may change.
    const QByteArray path = QFile::encodeName(pty_->slavePath());
    const int watch = ::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    QVERIFY(watch >= 0);
    const auto closeWatch = qScopeGuard([watch] { ::close(watch); });
    termios odd{};
    cfmakeraw(&odd);
    cfsetspeed(&odd, B4800);
    odd.c_cflag |= CSTOPB;
    QVERIFY(::tcsetattr(watch, TCSANOW, &odd) == 0);
    const auto line = [watch] {
        termios t{};
        int waiting = -1;
        int exclusive = -1;
        ::tcgetattr(watch, &t);
        ::ioctl(watch, FIONREAD, &waiting);
        ::ioctl(watch, TIOCGEXCL, &exclusive);
        return QList<qint64>{t.c_iflag,       t.c_oflag,    t.c_cflag,     t.c_lflag, cfgetispeed(&t),
                             cfgetospeed(&t), t.c_cc[VMIN], t.c_cc[VTIME], waiting,   exclusive};
    };
    if (hold >= 0) {
        holder_ = std::make_unique<QProcess>();
        const QByteArray answer = testing::startPortHolder(*holder_, pty_->slavePath(), PortHold(hold));
        if (PortHold(hold) == PortHold::LockFile && answer != "held")
            QSKIP(answer.constData());
        QCOMPARE(answer, QByteArray("held"));
    }
    QVERIFY(pty_->writeAll("unread"));
    QTRY_COMPARE(line().at(8), 6);
    const QList<qint64> before = line();

    QString device = pty_->slavePath();
    if (throughLink) {
        device = dir_->filePath(QStringLiteral("link-to-tty"));
        QVERIFY(QFile::link(pty_->slavePath(), device));
    }
    setPorts(QStringLiteral("COM3=%1").arg(device));
    LineSerialControl control(ports);
    control.setCommPort(3);
    if (hold < 0) {
        // What the port search does to a free port.
        control.setPortOpen(true);
        control.setPortOpen(false);
        QCOMPARE(line(), before);
        return;
    }
    try {
        control.setPortOpen(true);
        QFAIL("a port in use was opened");
    } catch (const PortInUse& error) {
        // The holder is this test run again, under the name the system gives it (15 characters).
        const QString holder = QStringLiteral("in use by %1, pid %2")
                                   .arg(QFileInfo(QCoreApplication::applicationFilePath()).fileName().left(15))
                                   .arg(holder_->processId());
        QCOMPARE(error.holder(), holder);
        QVERIFY2(QString::fromStdString(error.what()).endsWith(holder), error.what());
    }
    QVERIFY(!control.portOpen());
    QVERIFY_THROWS_EXCEPTION(ControlError, control.output("x"));
    QCOMPARE(line(), before);

    holder_->closeWriteChannel();
    QVERIFY(holder_->waitForFinished(5000));
    QCOMPARE(holder_->exitCode(), 0);
    control.setPortOpen(true);
    QVERIFY(control.portOpen());
}

void TestQtSerialControl::anotherProcessCannotTakeOpenPort()
{
    const QString link = dir_->filePath(QStringLiteral("tty"));
    QVERIFY(QFile::link(pty_->slavePath(), link));
    setPorts(QStringLiteral("COM1=%1").arg(link));
    // A lock file left by a program that was killed names a process that is gone.
    const QString lockFile = qtLockFilePath(pty_->slavePath());
    QProcess gone;
    QVERIFY(testing::startPortHolder(gone, dir_->filePath(QStringLiteral("missing"))).startsWith("failed:"));
    const QByteArray gonePid = QByteArray::number(gone.processId());
    QVERIFY(gone.waitForFinished(5000));
    QFile stale(lockFile);
    QVERIFY(stale.open(QIODevice::WriteOnly));
    stale.write(gonePid.rightJustified(10) + '\n');
    stale.close();

    LineSerialControl control(ports);
    control.setPortOpen(true);
    QVERIFY(control.portOpen());
    // Held the ways others look for: a lock file whose first line is this program's pid,
    // as UUCP-style readers take it, the exclusive flag and an flock.
    QVERIFY(stale.open(QIODevice::ReadOnly));
    QCOMPARE(stale.readLine().trimmed().toLongLong(), QCoreApplication::applicationPid());
    stale.close();
    int exclusive = 0;
    QVERIFY(::ioctl(int(openPortOf(control)->handle()), TIOCGEXCL, &exclusive) == 0);
    QCOMPARE(exclusive, 1);

    LineSerialControl second(ports);
    QVERIFY_THROWS_EXCEPTION(ControlError, second.setPortOpen(true));
    QVERIFY(!second.portOpen());
    // Root opens through the exclusive flag: a plain open is refused to others only.
    for (const PortHold how : {PortHold::Flock, PortHold::QtSerialPort, PortHold::Open}) {
        if (how == PortHold::Open && ::geteuid() == 0)
            continue;
        QProcess other;
        const QByteArray answer = testing::startPortHolder(other, pty_->slavePath(), how);
        QVERIFY2(answer.startsWith("failed:"), answer.constData());
        QVERIFY(other.waitForFinished(5000));
        QCOMPARE(other.exitCode(), 1);
    }

    control.setPortOpen(false);
    QVERIFY(!QFile::exists(lockFile));
    holder_ = std::make_unique<QProcess>();
    QCOMPARE(testing::startPortHolder(*holder_, pty_->slavePath(), PortHold::Flock), QByteArray("held"));
}

void TestQtSerialControl::farSideClosedClosesPort()
{
    // Declared before the control: closing it on destruction still reports to them.
    QByteArray received;
    int errorReports = 0;
    LineSerialControl control(ports);
    openOnPty(control);
    control.setRThreshold(1);
    connect(&control, &SerialControl::onComm, this, [&] { received += control.input(); });
    QVERIFY(pty_->writeAll("before"));
    QTRY_COMPARE(received, QByteArray("before"));

    // The line's port goes with the line once the control has closed it.
    QPointer<QSerialPort> port = openPortOf(control);
    QVERIFY(port);
    connect(port, &QSerialPort::errorOccurred, this, [&](QSerialPort::SerialPortError error) {
        if (error != QSerialPort::NoError)
            ++errorReports;
    });
    // The loss is reported once, from the event loop: the port is closed by then.
    QStringList lossReports;
    connect(&control, &SerialControl::deviceLost, this,
            [&] { lossReports << ((port && port->isOpen()) || control.portOpen() ? "open" : "closed"); });
    // Exactly one line about the loss, and no other warning.
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^COM1 .*the device went away")));
    QTest::failOnWarning(QRegularExpression(QStringLiteral(".*")));

    QElapsedTimer timer;
    timer.start();
    pty_->closeMaster();
    QTRY_VERIFY_WITH_TIMEOUT(!control.portOpen(), 1000);
    qInfo("port read closed %lld ms after the far side closed, %d error reports", timer.elapsed(), errorReports);
    QTest::qWait(300);
    QVERIFY2(errorReports >= 1 && errorReports <= 5, qPrintable(QString::number(errorReports)));
    QVERIFY(!port || !port->isOpen());
    QVERIFY(!control.portOpen());
    QVERIFY(!QFile::exists(qtLockFilePath(pty_->slavePath())));
    QCOMPARE(lossReports, QStringList{"closed"});
    QVERIFY_THROWS_EXCEPTION(ControlError, control.output("x"));
    QVERIFY_THROWS_EXCEPTION(ControlError, control.input());
    control.setPortOpen(false);
    QVERIFY_THROWS_EXCEPTION(ControlError, control.setPortOpen(true)); // the device is gone
    QCOMPARE(lossReports, QStringList{"closed"});
}

int main(int argc, char** argv)
{
    if (const auto holderExit = veltrano::testing::runAsPortHolderIfAsked(argc, argv))
        return *holderExit;
    Application app(argc, argv); // reports a failure escaping a slot, as the program does
    TestQtSerialControl test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "test_qt_serial_control.moc"
