// kill, logout and Ctrl+C end the program the way End does: the window, built on its real
// parts and connected over a pseudo-terminal, runs in a separate process (this test run
// again) and gets the signals there.
#include "app/form1.h"
#include "app/quit_on_signal.h"
#include "app/real_parts.h"
#include "serial/port_lock.h"
#include "support/pty_pair.h"

#include <QApplication>
#include <QtTest>

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <thread>

using namespace veltrano;

namespace {

const char* const kWindowArgument = "--connected-window";

// The program as main builds it, connected to COM3 through its own buttons. "stuck" blocks
// the event loop for a while once connected, as a hanging handler would; "nohup" starts
// with SIGHUP ignored.
int runConnectedWindow(int argc, char** argv, const QByteArray& mode)
{
    for (const int signo : {SIGTERM, SIGHUP, SIGINT})
        std::signal(signo, mode == "nohup" && signo == SIGHUP ? SIG_IGN : SIG_DFL);
    QApplication app(argc, argv);
    Form1 form(realParts(PortTable::fromEnvironment()));
    endOnSignal(form);
    form.load();
    form.show();
    form.Combo4->setText(QStringLiteral("COM3"));
    form.Command4->click();
    std::puts(form.MSComm1.portOpen() ? "connected" : "not connected");
    std::fflush(stdout);
    if (mode == "stuck")
        std::this_thread::sleep_for(std::chrono::seconds(10));
    return app.exec();
}

} // namespace

class EndOnSignalTest : public QObject {
    Q_OBJECT
private slots:
    void signal_closesThePortAndEndsAsEndDoes_data()
    {
        QTest::addColumn<QByteArray>("mode");
        QTest::addColumn<QList<int>>("sent"); // all but the last leave the program running
        QTest::addColumn<bool>("killed"); // ended by the last signal's default action
        QTest::newRow("SIGTERM") << QByteArray("plain") << QList<int>{SIGTERM} << false;
        QTest::newRow("SIGHUP") << QByteArray("plain") << QList<int>{SIGHUP} << false;
        QTest::newRow("SIGINT") << QByteArray("plain") << QList<int>{SIGINT} << false;
        QTest::newRow("a second while stuck") << QByteArray("stuck") << QList<int>{SIGTERM, SIGINT} << true;
        QTest::newRow("SIGHUP ignored at start") << QByteArray("nohup") << QList<int>{SIGHUP, SIGTERM} << false;
    }
    void signal_closesThePortAndEndsAsEndDoes()
    {
        QFETCH(QByteArray, mode);
        QFETCH(QList<int>, sent);
        QFETCH(bool, killed);
        testing::PtyPair pty;
        QVERIFY(pty.isValid());
        const QString lockFile = qtLockFilePath(QFileInfo(pty.slavePath()).canonicalFilePath());
        QVERIFY(!lockFile.isEmpty());
        const auto removeLeftover = qScopeGuard([&] { QFile::remove(lockFile); }); // after a kill

        qputenv("VELTRANO_PORTS", "COM3=" + QFile::encodeName(pty.slavePath()));
        QProcess window; // killed when it goes out of scope
        window.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        window.start(QCoreApplication::applicationFilePath(),
                     {QString::fromLatin1(kWindowArgument), QString::fromLatin1(mode)});
        QVERIFY(window.waitForReadyRead(10000));
        QCOMPARE(window.readLine(), QByteArray("connected\n"));
        QVERIFY(pty.read(1) == "A" && QFile::exists(lockFile));

        for (qsizetype i = 0; i + 1 < sent.size(); ++i) {
            QCOMPARE(::kill(pid_t(window.processId()), sent.at(i)), 0);
            QVERIFY(!window.waitForFinished(500));
        }
        QElapsedTimer sinceLast;
        sinceLast.start();
        QCOMPARE(::kill(pid_t(window.processId()), sent.last()), 0);
        QVERIFY(window.waitForFinished(5000));
        QVERIFY2(sinceLast.elapsed() < 1000, qPrintable(QString::number(sinceLast.elapsed())));
        QCOMPARE(window.exitStatus(), killed ? QProcess::CrashExit : QProcess::NormalExit);
        QCOMPARE(window.exitCode(), killed ? sent.last() : 0);
        if (killed)
            return;
        // The line is free for the next program: no lock file, no exclusive flag, the flock to be had.
        QVERIFY(!QFile::exists(lockFile));
        const int fd = ::open(QFile::encodeName(pty.slavePath()).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        QVERIFY(fd >= 0);
        const auto closeFd = qScopeGuard([fd] { ::close(fd); });
        int exclusive = -1;
        QVERIFY(::ioctl(fd, TIOCGEXCL, &exclusive) == 0 && exclusive == 0);
        QCOMPARE(::flock(fd, LOCK_EX | LOCK_NB), 0);
    }
};

int main(int argc, char** argv)
{
    if (argc == 3 && qstrcmp(argv[1], kWindowArgument) == 0)
        return runConnectedWindow(argc, argv, argv[2]);
    QCoreApplication app(argc, argv);
    EndOnSignalTest test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "test_end_on_signal.moc"
