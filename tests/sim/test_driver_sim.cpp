// Tests of the simulated driver board (tools/driver-sim) as a program: replay of a kept
// run, the command line, and the real executable over its pseudo-terminal.

#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include "sim/driver_board.h"
#include "sim/driver_protocol.h"
#include "sim/replay_file.h"
#include "sim/sim_device.h"
#include "serial/simulated_line.h"
#include "sim_options.h"
#include "support/record_pieces.h"

#include <cerrno>
#include <cmath>
#include <fcntl.h>
#include <numbers>
#include <poll.h>
#include <set>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <utility>

#ifndef VELTRANO_DRIVER_SIM_EXE
#error "VELTRANO_DRIVER_SIM_EXE must name the veltrano-driver-sim executable"
#endif

using namespace veltrano::sim;
using Kind = ProtocolEvent::Kind;

using veltrano::testing::recordPieces;

namespace {

// Client end of the simulator's line, opened by path in raw mode.
class LineClient {
public:
    explicit LineClient(const QString& path)
    {
        fd_ = ::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd_ < 0)
            return;
        termios t{};
        tcgetattr(fd_, &t);
        cfmakeraw(&t);
        cfsetispeed(&t, B115200);
        cfsetospeed(&t, B115200);
        tcsetattr(fd_, TCSANOW, &t);
    }
    ~LineClient()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    bool isOpen() const { return fd_ >= 0; }

    bool send(const QByteArray& bytes)
    {
        return ::write(fd_, bytes.constData(), static_cast<size_t>(bytes.size())) == bytes.size();
    }

    // Reads until the received bytes end with `terminator` and hold at least
    // minLength bytes, or the time is up. Returns what arrived.
    QByteArray readUntil(const QByteArray& terminator, int timeoutMs, int minLength = 0)
    {
        QByteArray got;
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < timeoutMs) {
            if (got.size() >= minLength && got.endsWith(terminator))
                break;
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, 5) > 0 && (p.revents & POLLIN)) {
                char buf[256];
                const ssize_t n = ::read(fd_, buf, sizeof buf);
                if (n > 0)
                    got.append(buf, static_cast<qsizetype>(n));
            }
        }
        return got;
    }

    // Everything that arrives within the time, for checking that nothing else came.
    QByteArray drain(int ms) { return readUntil(QByteArray("\x01never\x02"), ms); }

    // True once the other side has gone (read gives end of file or an error).
    bool waitForHangup(int timeoutMs)
    {
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < timeoutMs) {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, 10) > 0) {
                if (p.revents & (POLLHUP | POLLERR))
                    return true;
                char buf[256];
                const ssize_t n = ::read(fd_, buf, sizeof buf);
                if (n == 0 || (n < 0 && errno != EAGAIN))
                    return true;
            }
        }
        return false;
    }

private:
    int fd_ = -1;
};

} // namespace

class TestDriverSim : public QObject {
    Q_OBJECT

private slots:
    void readsRecordedRuns_data();
    void readsRecordedRuns();
    void refusesFilesItCannotPlay();
    void replayAnswersThePolls();
    void parsesOptions();
    void rejectsBadOptions();
    void endToEndSessionSurvivesReopening();
    void endToEndPulledOutAndBackAgain();
    void bothFrontsAnswerAlike_data();
    void bothFrontsAnswerAlike();

private:
    struct Sim {
        std::unique_ptr<QProcess> process;
        QString linkPath;
        QString comName;
    };
    Sim startSim(const QStringList& extraArgs, const QString& link);
    static QString readPortsLine(QProcess& process, int timeoutMs);
};

// ---------------------------------------------------------------- replay

void TestDriverSim::readsRecordedRuns_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("frames"); // four bytes a frame
    QTest::addColumn<QStringList>("problems");
    QTest::addColumn<QString>("refusal");

    const QByteArray rec = "t_ms,x,Data_0,Data_1,Data_2,Data_3\n";
    QTest::newRow("recording") << rec + "15,2,12,200,3,69\n31,3,0,255,128,7\n"
                               << QByteArray("\x0c\xc8\x03\x45\x00\xff\x80\x07", 8) << QStringList() << QString();
    QTest::newRow("snapshot, CRLF, decimals, blanks, no last newline")
        << QByteArray("x,Data_0,Data_1,Data_2,Data_3\r\n\r\n1,12.0,200,3,69\r\n \t\r\n2,0,255,128.00,7")
        << QByteArray("\x0c\xc8\x03\x45\x00\xff\x80\x07", 8) << QStringList() << QString();
    QTest::newRow("columns by name") << QByteArray("Data_3,t,Data_1,Data_0,Data_2\n4,x,2,1,3\n")
                                     << QByteArray("\x01\x02\x03\x04") << QStringList() << QString();
    QTest::newRow("bad rows")
        << rec
               + "0,0,1,1,1,1\n0,0,1,2,3\n0,0,300,0,0,0\n\n0,0,1.5,0,0,0\n0,0,0,,0,0\n"
                 "0,0,0,0,-1,0\n0,0,0,0,0,1e2\n0,0,0,0,0,12a\n"
               + QByteArray(1100, '7') + "\n0,0,2,2,2,2\n"
        << QByteArray("\x01\x01\x01\x01\x02\x02\x02\x02")
        << QStringList{"line 3: 5 columns where the header has 6",      "line 4: Data_0 \"300\" is outside 0..255",
                       "line 6: Data_0 \"1.5\" is not a whole number",  "line 7: Data_1 is empty",
                       "line 8: Data_2 \"-1\" is not a whole number",   "line 9: Data_3 \"1e2\" is not a whole number",
                       "line 10: Data_3 \"12a\" is not a whole number", "line 11: longer than 1024 characters"}
        << QString();
    QTest::newRow("no usable row") << rec + "0,0,256,0,0,0\n"
                                   << QByteArray() << QStringList{"line 2: Data_0 \"256\" is outside 0..255"}
                                   << "no usable row";
    QTest::newRow("header only") << rec << QByteArray() << QStringList() << "no usable row";
    QTest::newRow("no Data_2") << QByteArray("x,Data_0,Data_1,Data_3\n1,2,3,4\n") << QByteArray() << QStringList()
                               << "the header (line 1) has no Data_2 column";
    QTest::newRow("empty") << QByteArray("\n\r\n") << QByteArray() << QStringList() << "no header line";
}

void TestDriverSim::readsRecordedRuns()
{
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, frames);
    QFETCH(QStringList, problems);
    QFETCH(QString, refusal);

    // Fed in pieces of every size, the outcome is the same as all at once.
    for (const std::size_t piece : {std::size_t(1), std::size_t(3), std::size_t(1) << 20}) {
        ReplayReader reader;
        for (qsizetype i = 0; i < text.size(); i += qsizetype(piece))
            reader.feed(
                std::string_view(text.constData() + i, std::min<std::size_t>(piece, std::size_t(text.size() - i))));
        const ReplayData data = reader.finish();
        QByteArray got;
        for (const Frame& f : data.frames)
            got.append(reinterpret_cast<const char*>(f.data()), 4);
        QCOMPARE(got, frames);
        QStringList gotProblems;
        for (const std::string& p : data.problems)
            gotProblems << QString::fromStdString(p);
        QCOMPARE(gotProblems, problems);
        QVERIFY2(refusal.isEmpty() ? data.refusal.empty() : QString::fromStdString(data.refusal).startsWith(refusal),
                 data.refusal.c_str());
    }
}

void TestDriverSim::refusesFilesItCannotPlay()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QCOMPARE(loadReplay(dir.filePath("missing.csv").toStdString()).refusal,
             std::string("cannot read: No such file or directory"));
    QCOMPARE(loadReplay(dir.path().toStdString()).refusal, std::string("cannot read: Is a directory"));

    // A file beyond the bound is refused without being held: the reader keeps no
    // more than a line of it.
    ReplayReader big;
    big.feed("x,Data_0,Data_1,Data_2,Data_3\n");
    const std::string chunk(1 << 20, '1');
    for (int i = 0; i < 64 && !big.full(); ++i)
        big.feed(chunk);
    QVERIFY(big.full());
    QVERIFY(big.finish().refusal.starts_with("larger than 64 MiB"));

    // The executable says why and ends with status 2 before any link is made.
    QFile bad(dir.filePath("bad.csv"));
    QVERIFY(bad.open(QIODevice::WriteOnly));
    bad.write("t_ms,x,Data_0,Data_1,Data_2,Data_3\n0,0,1,2,3,999\n");
    bad.close();
    QProcess sim;
    sim.start(QStringLiteral(VELTRANO_DRIVER_SIM_EXE),
              {"--quiet", "--link", dir.filePath("tty"), "--replay", bad.fileName(), "--loop"});
    QVERIFY(sim.waitForFinished(5000));
    QCOMPARE(sim.exitCode(), 2);
    const QString err = QString::fromLocal8Bit(sim.readAllStandardError());
    QVERIFY2(err.contains("line 2: Data_3 \"999\" is outside 0..255") && err.contains("no usable row"),
             qPrintable(err));
    QVERIFY(!QFileInfo(dir.filePath("tty")).isSymLink());
}

void TestDriverSim::replayAnswersThePolls()
{
    const std::vector<Frame> frames = {{69, 1, 2, 3}, {4, 5, 6, 7}, {8, 9, 10, 11}};
    auto answers = [&](bool loop, bool emitE, double ratio, int polls, std::vector<std::string>* warnings) {
        SimDevice device({emitE, ratio, 3});
        device.setReplay(frames, loop);
        device.setWarner([&](const std::string& w) { warnings->push_back(w); });
        std::string out;
        for (int i = 0; i < polls; ++i)
            device.receive("Q", i * 0.01, out);
        return out;
    };
    const std::string f0("\x46\x01\x02\x03"
                         "E",
                         5),
        f1("\x04\x05\x06\x07"
           "E",
           5),
        f2("\x08\x09\x0a\x0b"
           "E",
           5);
    const std::string idle = SimDevice::frame(DriverBoard().traces(), false);

    // Once through, then the board's own frames, with one warning.
    std::vector<std::string> warnings;
    QCOMPARE(answers(false, false, 1.0, 5, &warnings), f0 + f1 + f2 + idle + idle);
    QCOMPARE(warnings.size(), std::size_t(1));
    QVERIFY2(warnings[0].find("simulated frames") != std::string::npos, warnings[0].c_str());

    warnings.clear();
    QCOMPARE(answers(true, false, 1.0, 7, &warnings), f0 + f1 + f2 + f0 + f1 + f2 + f0);
    QVERIFY(warnings.empty());
    QCOMPARE(answers(true, true, 1.0, 1, &warnings), std::string("\x45\x01\x02\x03"
                                                                 "E",
                                                                 5));

    // An unanswered poll costs no row: what is answered is the file in order.
    const std::string some = answers(true, false, 0.5, 40, &warnings);
    QVERIFY(some.size() > 5 * 10 && some.size() < 5 * 30);
    for (std::size_t i = 0; i < some.size(); i += 5)
        QCOMPARE(some.substr(i, 5), (std::vector<std::string>{f0, f1, f2})[(i / 5) % 3]);
}

// ---------------------------------------------------------------- command line

void TestDriverSim::parsesOptions()
{
    const ParsedOptions defaults = parseOptions({});
    QVERIFY(defaults.error.empty());
    QCOMPARE(defaults.options.link, std::string("/tmp/veltrano-sim/tty"));
    QCOMPARE(defaults.options.com, std::string("COM3"));
    QCOMPARE(defaults.options.answerRatio, 1.0);

    const ParsedOptions p = parseOptions({"--link",
                                          "/x/tty",
                                          "--com=COM9",
                                          "--duration",
                                          "2.5",
                                          "--quiet",
                                          "--seed",
                                          "42",
                                          "--answer-ratio=0.5",
                                          "--stray-bytes",
                                          "10",
                                          "--stray-text",
                                          "hi\\r\\n\\x41\\\\",
                                          "--emit-E",
                                          "--silent-after",
                                          "3",
                                          "--close-after",
                                          "4",
                                          "--reappear-after",
                                          "1",
                                          "--replay=run.csv",
                                          "--loop"});
    QVERIFY2(p.error.empty(), p.error.c_str());
    const SimOptions& o = p.options;
    QCOMPARE(o.link, std::string("/x/tty"));
    QCOMPARE(o.com, std::string("COM9"));
    QCOMPARE(o.duration, 2.5);
    QVERIFY(o.quiet);
    QCOMPARE(o.seed, 42u);
    QCOMPARE(o.answerRatio, 0.5);
    QCOMPARE(o.strayBytes, 10.0);
    QCOMPARE(o.strayText, std::string("hi\r\nA\\"));
    QVERIFY(o.emitE);
    QCOMPARE(o.silentAfter, 3.0);
    QCOMPARE(o.closeAfter, 4.0);
    QCOMPARE(o.reappearAfter, 1.0);
    QCOMPARE(o.replay, std::string("run.csv"));
    QVERIFY(o.loop);
    QVERIFY(parseOptions({"--version"}).options.version);

    QCOMPARE(decodeEscapes("\\q\\x4"), std::string("\\q\\x4")); // unknown or short escapes stay as typed
    const std::string help = helpText();
    for (const char* option : {"--link", "--com", "--duration", "--quiet", "--seed", "--answer-ratio", "--stray-bytes",
                               "--stray-text", "--emit-E", "--silent-after", "--close-after", "--reappear-after",
                               "--replay", "--loop", "--help", "--version"})
        QVERIFY2(help.find(option) != std::string::npos, option);
}

void TestDriverSim::rejectsBadOptions()
{
    const std::vector<std::vector<std::string>> bad = {
        {"--bogus"},
        {"--answer-ratio", "1.5"},
        {"--answer-ratio", "half"},
        {"--duration"},
        {"--link", ""},
        {"--stray-bytes", "-1"},
        {"--quiet=yes"},
        {"--reappear-after", "2"},
        {"--loop"},
        {"--replay"},
        {"--replay", ""},
    };
    for (const auto& args : bad)
        QVERIFY2(!parseOptions(args).error.empty(), args.front().c_str());
}

// ---------------------------------------------------------------- executable

QString TestDriverSim::readPortsLine(QProcess& process, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < timeoutMs) {
        if (process.canReadLine())
            return QString::fromLocal8Bit(process.readLine()).trimmed();
        process.waitForReadyRead(50);
    }
    return {};
}

TestDriverSim::Sim TestDriverSim::startSim(const QStringList& extraArgs, const QString& link)
{
    Sim sim;
    sim.process = std::make_unique<QProcess>();
    sim.process->setProgram(QStringLiteral(VELTRANO_DRIVER_SIM_EXE));
    sim.process->setArguments(QStringList{"--link", link, "--com", "COM7", "--duration", "60"} + extraArgs);
    sim.process->setProcessChannelMode(QProcess::SeparateChannels);
    sim.process->start();
    if (!sim.process->waitForStarted(5000))
        return sim;
    const QString line = readPortsLine(*sim.process, 5000);
    const QString prefix = "VELTRANO_PORTS entry: ";
    if (line.startsWith(prefix)) {
        const QString entry = line.mid(prefix.size());
        sim.comName = entry.section('=', 0, 0);
        sim.linkPath = entry.section('=', 1);
    }
    return sim;
}

void TestDriverSim::endToEndSessionSurvivesReopening()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString link = dir.filePath("sim/tty");
    // A stale link from an earlier run is replaced.
    QDir().mkpath(dir.filePath("sim"));
    QVERIFY(QFile::link("/nonexistent/pts/99", link));

    Sim sim = startSim({}, link);
    QVERIFY(sim.process->state() == QProcess::Running);
    QCOMPARE(sim.comName, QString("COM7"));
    QCOMPARE(sim.linkPath, link);
    QVERIFY(QFileInfo(link).isSymLink());
    QVERIFY(QFileInfo(link).symLinkTarget().startsWith("/dev/pts/"));

    {
        LineClient line(link);
        QVERIFY(line.isOpen());
        QVERIFY(line.send("A"));
        QVERIFY(line.readUntil("\r\n", 2000).startsWith("veltrano driver sim ready"));

        for (const std::string& piece : recordPieces("2000", '1', "10", "0", '1', '9')) {
            QVERIFY(line.send(QByteArray::fromStdString(piece)));
            QThread::msleep(3);
        }
        QCOMPARE(line.readUntil("\r\n", 2000),
                 QByteArray("ok mode 1 pid speed sf 2000 acc off resp 10 test 0 edge 9\r\n"));
        QVERIFY(line.send("C2000=1=1F0=0=1=9F"));
        QVERIFY(line.readUntil("\r\n", 2000).startsWith("bad record: responses \"1F0\""));

        QVERIFY(line.send("J"));
        QCOMPARE(line.readUntil("\r\n", 2000), QByteArray("run pid speed\r\n"));

        // Polls at ~100 per second, each answered at once with four bytes and "E".
        QElapsedTimer timer;
        timer.start();
        int lastSpeed = 0;
        qint64 slowest = 0;
        for (int i = 0; i < 150; ++i) {
            QElapsedTimer one;
            one.start();
            QVERIFY(line.send("Q"));
            const QByteArray frame = line.readUntil("E", 500, 5);
            slowest = std::max(slowest, one.elapsed());
            QCOMPARE(frame.size(), 5);
            QCOMPARE(frame.at(4), 'E');
            QVERIFY(!frame.left(4).contains('E'));
            lastSpeed = static_cast<unsigned char>(frame.at(0));
            QThread::msleep(10);
        }
        QVERIFY2(slowest < 100, qPrintable(QString("slowest answer %1 ms").arg(slowest)));
        QVERIFY2(timer.elapsed() < 4000, qPrintable(QString("150 polls took %1 ms").arg(timer.elapsed())));
        // 2000 rpm on a ±6000 rpm scale.
        QVERIFY2(std::abs(lastSpeed - (128 + 2000 * 127 / 6000)) <= 2, qPrintable(QString::number(lastSpeed)));

        // Joined commands in one write.
        QVERIFY(line.send("QhelloQ"));
        const QByteArray joined = line.readUntil("E", 1000, 5 + 13 + 5);
        QCOMPARE(joined.size(), 23);
        QCOMPARE(joined.mid(5, 13), QByteArray("echo: hello\r\n"));
        QVERIFY(line.drain(100).isEmpty());
    }

    // The program closes and opens the port again and again; the board goes on.
    // A record cut off by closing the line is forgotten at once, not after its time-out.
    for (int round = 0; round < 3; ++round) {
        QThread::msleep(50);
        LineClient line(link);
        QVERIFY(line.isOpen());
        QVERIFY(line.send("Q"));
        const QByteArray frame = line.readUntil("E", 1000, 5);
        QCOMPARE(frame.size(), 5);
        QCOMPARE(frame.at(4), 'E');
        QVERIFY2(static_cast<unsigned char>(frame.at(0)) > 150, "still running after reopening");
        if (round == 2) {
            QVERIFY(line.send("I"));
            QCOMPARE(line.readUntil("\r\n", 1000), QByteArray("stop\r\n"));
        } else {
            QVERIFY(line.send("C26"));
            QThread::msleep(30);
        }
    }

    sim.process->terminate();
    QVERIFY(sim.process->waitForFinished(3000));
    QCOMPARE(sim.process->exitStatus(), QProcess::NormalExit);
    QCOMPARE(sim.process->exitCode(), 0);
    QVERIFY(!QFileInfo::exists(link) && !QFileInfo(link).isSymLink());
}

void TestDriverSim::endToEndPulledOutAndBackAgain()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString link = dir.filePath("tty");
    Sim sim = startSim({"--close-after", "1", "--reappear-after", "0.7", "--quiet"}, link);
    QCOMPARE(sim.linkPath, link);

    {
        LineClient line(link);
        QVERIFY(line.isOpen());
        QVERIFY(line.send("Q"));
        QCOMPARE(line.readUntil("E", 1000, 5).size(), 5);
        QVERIFY(line.waitForHangup(3000));
    }
    QTRY_VERIFY_WITH_TIMEOUT(!QFileInfo(link).isSymLink(), 500); // the link goes right after the hangup

    // Back again under the same path with a new announcement.
    const QString again = readPortsLine(*sim.process, 3000);
    QCOMPARE(again, "VELTRANO_PORTS entry: COM7=" + link);
    QVERIFY(QFileInfo(link).isSymLink());
    {
        LineClient line(link);
        QVERIFY(line.isOpen());
        QVERIFY(line.send("AQ"));
        const QByteArray reply = line.readUntil("E", 1000, 10);
        QVERIFY(reply.startsWith("veltrano driver sim ready"));
        QVERIFY(reply.endsWith("E"));
    }
    sim.process->terminate();
    QVERIFY(sim.process->waitForFinished(3000));
    QCOMPARE(sim.process->exitCode(), 0);
}

void TestDriverSim::bothFrontsAnswerAlike_data()
{
    QTest::addColumn<QByteArrayList>("pieces"); // written a pause apart
    QTest::addColumn<bool>("replay");
    QTest::newRow("greeting and record in pieces")
        << QByteArrayList{"A", "C", "2000", "=", "1", "=", "10", "=", "0", "=", "1", "=", "9", "F"} << false;
    QTest::newRow("bad record") << QByteArrayList{"C2000=1=1F0=0=1=9F"} << false;
    QTest::newRow("run, direction, stop") << QByteArrayList{"J", "T", "TI"} << false;
    QTest::newRow("free text") << QByteArrayList{"hello\r", "x", "A=B"} << false;
    QTest::newRow("polls at rest") << QByteArrayList{"Q", "QQ", "AQ"} << false;
    QTest::newRow("polls of a kept run, looped") << QByteArrayList{"Q", "Q", "QQ", "Q"} << true;
}

void TestDriverSim::bothFrontsAnswerAlike()
{
    QFETCH(QByteArrayList, pieces);
    QFETCH(bool, replay);
    constexpr int kPauseMs = 120;
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString kept = dir.filePath("kept.csv");
    {
        QFile file(kept);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("x,Data_0,Data_1,Data_2,Data_3\n0,1,2,3,4\n1,69,70,71,72\n2,255,0,128,7\n");
    }

    // The simulator on its pseudo-terminal.
    Sim sim = startSim(replay ? QStringList{"--replay", kept, "--loop", "--quiet"} : QStringList{"--quiet"},
                       dir.filePath("tty"));
    QVERIFY(sim.process->state() == QProcess::Running);
    QByteArray overPty;
    {
        LineClient line(sim.linkPath);
        QVERIFY(line.isOpen());
        QTest::qWait(100); // the simulator sees its client
        for (const QByteArray& piece : pieces) {
            QVERIFY(line.send(piece));
            overPty += line.drain(kPauseMs);
        }
        overPty += line.drain(300);
    }
    sim.process->terminate();
    QVERIFY(sim.process->waitForFinished(3000));

    // The same board inside the program.
    std::vector<veltrano::sim::Frame> frames;
    if (replay)
        frames = loadReplay(kept.toStdString()).frames;
    veltrano::SimulatedLine line(std::make_shared<veltrano::SimulatedBoard>(std::move(frames)));
    line.open(115200);
    QByteArray inProgram;
    for (const QByteArray& piece : pieces) {
        line.write(piece);
        QTest::qWait(kPauseMs);
        inProgram += line.readAll();
    }
    QTest::qWait(300);
    inProgram += line.readAll();

    QVERIFY(!inProgram.isEmpty());
    QCOMPARE(inProgram, overPty);
}

QTEST_GUILESS_MAIN(TestDriverSim)
#include "test_driver_sim.moc"
