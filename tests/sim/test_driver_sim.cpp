// Tests of the simulated driver board (tools/driver-sim): record parsing, poll
// answers, the motor and its control loops, the command line, and a run of the
// real executable over its pseudo-terminal.

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

namespace {

constexpr double radSToRpm = 60 / (2 * std::numbers::pi);

std::vector<ProtocolEvent> feedAll(ProtocolParser& parser, std::string_view bytes, double now)
{
    std::vector<ProtocolEvent> events;
    parser.feed(bytes, now, events);
    return events;
}

std::vector<Kind> kinds(const std::vector<ProtocolEvent>& events)
{
    std::vector<Kind> out;
    for (const auto& e : events)
        out.push_back(e.kind);
    return out;
}

DriverSettings settingsFor(ControlMode mode, long speedFactor, int speedTest = 0)
{
    DriverSettings s;
    s.mode = mode;
    s.speedFactor = speedFactor;
    s.speedTest = speedTest;
    return s;
}

double rpm(const DriverBoard& board) { return board.motor().state().speed * radSToRpm; }

// The pieces the setup program writes for one record.
std::vector<std::string> recordPieces(const std::string& sf, char acc, const std::string& responses,
                                      const std::string& speedTest, char mode, char edge)
{
    return {"C", sf,        "=", std::string(1, acc),  "=", responses,
            "=", speedTest, "=", std::string(1, mode), "=", std::string(1, edge),
            "F"};
}

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
    // Record decoding
    void parsesGoodRecords_data();
    void parsesGoodRecords();
    void rejectsMalformedRecords_data();
    void rejectsMalformedRecords();

    // Streaming parser
    void recordInThirteenPiecesGivesOneEvent();
    void joinedMessagesComeOutInOrder();
    void typedFAndEqualsMakeOneErrorAndNoLeftovers();
    void overlongRecordIsDroppedUpToItsF();
    void unfinishedRecordTimesOut();
    void recordEndsTwoSecondsAfterItsC_data();
    void recordEndsTwoSecondsAfterItsC();
    void freeTextEndsAtCommandPauseOrLength();
    void resetForgetsPartialRecord();

    // Answers on the line
    void pollIsAnsweredWithFourBytesAndE();
    void frameNeverCarries69UnlessAllowed();
    void textRepliesAreShortLines();
    void answerRatioIsDeterministic();

    // Motor and control loops
    void idleBoardDoesNotMove();
    void hBridgeSpeedsUpToSteadySpeed();
    void pidSpeedSettlesUnderLoad();
    void speedTestAlternatesTheSetpoint();
    void pidPositionStepsBackAndForth();
    void stopCoastsDown();
    void toggleReversesAndAccelerationRamps();
    void currentStaysWithinLimitOnLargeSteps();
    void traceScalingSaturatesWithoutWrapping();
    void allTracesMoveWithDefaultRecord();
    void positionCountsFromRecordOrRun_data();
    void positionCountsFromRecordOrRun();

    // Replay of a recorded run
    void readsRecordedRuns_data();
    void readsRecordedRuns();
    void refusesFilesItCannotPlay();
    void replayAnswersThePolls();

    // Command line
    void parsesOptions();
    void rejectsBadOptions();

    // The executable over its pty
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

// ---------------------------------------------------------------- records

void TestDriverSim::parsesGoodRecords_data()
{
    QTest::addColumn<QString>("body");
    QTest::addColumn<long>("speedFactor");
    QTest::addColumn<bool>("acceleration");
    QTest::addColumn<int>("responses");
    QTest::addColumn<int>("speedTest");
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("bothEdges");

    QTest::newRow("defaults") << "2600=1=10=2=0=1" << 2600L << false << 10 << 2 << 0 << false;
    QTest::newRow("rc servo, flags on") << "1=9=10=5=3=9" << 1L << true << 10 << 5 << 3 << true;
    QTest::newRow("negative factor, mode 5") << "-500=1=0=0=5=9" << -500L << false << 0 << 0 << 5 << true;
    QTest::newRow("plus sign, leading zeros") << "+0042=1=007=010=2=1" << 42L << false << 7 << 10 << 2 << false;
    QTest::newRow("nine digits after many zeros")
        << "0000000000999999999=1=0=0=0=1" << 999999999L << false << 0 << 0 << 0 << false;
}

void TestDriverSim::parsesGoodRecords()
{
    QFETCH(QString, body);
    QFETCH(long, speedFactor);
    QFETCH(bool, acceleration);
    QFETCH(int, responses);
    QFETCH(int, speedTest);
    QFETCH(int, mode);
    QFETCH(bool, bothEdges);

    const RecordResult r = parseRecordBody(body.toStdString());
    QVERIFY2(r.settings.has_value(), r.error.c_str());
    QVERIFY(r.error.empty());
    QCOMPARE(r.settings->speedFactor, speedFactor);
    QCOMPARE(r.settings->acceleration, acceleration);
    QCOMPARE(r.settings->responses, responses);
    QCOMPARE(r.settings->speedTest, speedTest);
    QCOMPARE(static_cast<int>(r.settings->mode), mode);
    QCOMPARE(r.settings->countBothEdges, bothEdges);
}

void TestDriverSim::rejectsMalformedRecords_data()
{
    QTest::addColumn<QString>("body");
    QTest::addColumn<QString>("reason");

    QTest::newRow("F typed in speed factor") << "1F2=9=10=5=3=1"
                                             << "speed factor \"1F2\"";
    QTest::newRow("= typed in a field") << "1=2=9=10=5=3=1"
                                        << "7 fields";
    QTest::newRow("field missing") << "2600=1=10=2=0"
                                   << "5 fields";
    QTest::newRow("empty") << ""
                           << "1 fields";
    QTest::newRow("empty speed factor") << "=1=10=2=0=1"
                                        << "speed factor \"\"";
    QTest::newRow("decimal point") << "26.5=1=10=2=0=1"
                                   << "speed factor";
    QTest::newRow("too many digits") << "1234567890=1=10=2=0=1"
                                     << "speed factor";
    QTest::newRow("too many digits after zeros") << "-001234567890=1=10=2=0=1"
                                                 << "speed factor";
    QTest::newRow("lone sign") << "-=1=10=2=0=1"
                               << "speed factor";
    QTest::newRow("acc flag 5") << "2600=5=10=2=0=1"
                                << "acc flag \"5\"";
    QTest::newRow("responses text") << "2600=1=ten=2=0=1"
                                    << "responses \"ten\"";
    QTest::newRow("negative speed test") << "2600=1=10=-2=0=1"
                                         << "speed test \"-2\"";
    QTest::newRow("mode 6") << "2600=1=10=2=6=1"
                            << "control mode \"6\"";
    QTest::newRow("mode two digits") << "2600=1=10=2=00=1"
                                     << "control mode \"00\"";
    QTest::newRow("counter edge 0") << "2600=1=10=2=0=0"
                                    << "counter edge \"0\"";
    QTest::newRow("control byte shown escaped") << "26\x01=1=10=2=0=1"
                                                << "\"26\\x01\"";
}

void TestDriverSim::rejectsMalformedRecords()
{
    QFETCH(QString, body);
    QFETCH(QString, reason);
    const RecordResult r = parseRecordBody(body.toStdString());
    QVERIFY(!r.settings.has_value());
    QVERIFY2(QString::fromStdString(r.error).contains(reason), r.error.c_str());
}

// ---------------------------------------------------------------- streaming parser

void TestDriverSim::recordInThirteenPiecesGivesOneEvent()
{
    ProtocolParser parser;
    const auto pieces = recordPieces("1", '9', "10", "5", '3', '1');
    double t = 0;
    std::vector<ProtocolEvent> events;
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        t += 0.12; // gaps well past the free-text pause, all within the record time-out
        parser.poll(t, events);
        parser.feed(pieces[i], t, events);
        if (i + 1 < pieces.size())
            QVERIFY2(events.empty(), pieces[i].c_str());
    }
    QCOMPARE(events.size(), std::size_t(1));
    QCOMPARE(events[0].kind, Kind::Record);
    QCOMPARE(events[0].text, std::string("C1=9=10=5=3=1F"));
    QCOMPARE(events[0].settings.speedFactor, 1L);
    QVERIFY(events[0].settings.acceleration);
    QCOMPARE(events[0].settings.mode, ControlMode::RcServo);
    QVERIFY(!parser.inRecord());
}

void TestDriverSim::joinedMessagesComeOutInOrder()
{
    ProtocolParser parser;
    const auto events = feedAll(parser, "AC2600=1=10=2=0=1FJQQTQI", 0);
    QCOMPARE(kinds(events), (std::vector<Kind>{Kind::Greeting, Kind::Record, Kind::Run, Kind::Poll, Kind::Poll,
                                               Kind::Toggle, Kind::Poll, Kind::Stop}));
    QCOMPARE(events[1].settings, DriverSettings{});

    // Split at every possible point gives the same sequence.
    const std::string stream = "AC1=9=10=5=3=1FJQ";
    for (std::size_t cut = 1; cut < stream.size(); ++cut) {
        ProtocolParser p;
        auto first = feedAll(p, stream.substr(0, cut), 0);
        const auto second = feedAll(p, stream.substr(cut), 0.001);
        first.insert(first.end(), second.begin(), second.end());
        QCOMPARE(kinds(first), (std::vector<Kind>{Kind::Greeting, Kind::Record, Kind::Run, Kind::Poll}));
    }
}

void TestDriverSim::typedFAndEqualsMakeOneErrorAndNoLeftovers()
{
    {
        // "F" typed into the speed factor must not end the record early.
        ProtocolParser parser;
        auto events = feedAll(parser, "C1F2", 0);
        QVERIFY(events.empty());
        events = feedAll(parser, "=9=10=5=3=1F", 0.01);
        QCOMPARE(kinds(events), std::vector<Kind>{Kind::RecordError});
        QVERIFY2(events[0].text.find("\"1F2\"") != std::string::npos, events[0].text.c_str());
        QCOMPARE(kinds(feedAll(parser, "Q", 0.02)), std::vector<Kind>{Kind::Poll});
    }
    {
        // "F" inside the responses field as well as the speed test field.
        ProtocolParser parser;
        const auto events = feedAll(parser, "C2600=1=F=2F=0=1F", 0);
        QCOMPARE(kinds(events), std::vector<Kind>{Kind::RecordError});
        QVERIFY2(events[0].text.find("responses \"F\"") != std::string::npos, events[0].text.c_str());
    }
    {
        // A typed "=" gives seven fields; the record ends at the final "F" only.
        ProtocolParser parser;
        const auto events = feedAll(parser, "C1=2=9=10=5=3=1FJ", 0);
        QCOMPARE(kinds(events), (std::vector<Kind>{Kind::RecordError, Kind::Run}));
        QVERIFY(events[0].text.find("7 fields") != std::string::npos);
    }
    {
        // Command letters typed into a field are field content, not commands ("Q" aside).
        ProtocolParser parser;
        const auto events = feedAll(parser, "CJAIT=1=10=2=0=1F", 0);
        QCOMPARE(kinds(events), std::vector<Kind>{Kind::RecordError});
        QVERIFY(events[0].text.find("\"JAIT\"") != std::string::npos);
    }
}

void TestDriverSim::overlongRecordIsDroppedUpToItsF()
{
    ProtocolParser parser;
    const std::string digits(70, '7');
    auto events = feedAll(parser, "C" + digits, 0);
    QCOMPARE(kinds(events), std::vector<Kind>{Kind::RecordError});
    QVERIFY(events[0].text.find("longer than 64") != std::string::npos);
    // The rest of it is swallowed, but for the poll; what follows its "F" counts again.
    events = feedAll(parser, "=1=10Q=2=0=1F", 0.01);
    QCOMPARE(kinds(events), std::vector<Kind>{Kind::Poll});
    QCOMPARE(kinds(feedAll(parser, "Q", 0.02)), std::vector<Kind>{Kind::Poll});

    // 62 characters between C and F fit exactly; one more does not.
    std::string body = "2600=1=10=2=0=1";
    body.insert(0, std::string(62 - body.size(), '0'));
    ProtocolParser fits;
    QCOMPARE(kinds(feedAll(fits, "C" + body + "F", 0)), std::vector<Kind>{Kind::Record});
    ProtocolParser tooLong;
    QCOMPARE(kinds(feedAll(tooLong, "C0" + body + "F", 0)), std::vector<Kind>{Kind::RecordError});
}

void TestDriverSim::unfinishedRecordTimesOut()
{
    ProtocolParser parser;
    feedAll(parser, "C2600=1", 10.0);
    QVERIFY(parser.nextDeadline().has_value());
    std::vector<ProtocolEvent> events;
    parser.poll(10.0 + ProtocolParser::recordTimeout * 0.9, events);
    QVERIFY(events.empty());
    // A late piece does not extend the wait, which counts from the "C".
    feedAll(parser, "=10", 10.0 + ProtocolParser::recordTimeout * 0.9);
    parser.poll(10.0 + ProtocolParser::recordTimeout * 0.99, events);
    QVERIFY(events.empty());
    parser.poll(10.0 + ProtocolParser::recordTimeout, events);
    QCOMPARE(kinds(events), std::vector<Kind>{Kind::RecordError});
    QVERIFY2(events[0].text.find("unfinished") != std::string::npos, events[0].text.c_str());
    QVERIFY(!parser.inRecord());
    QCOMPARE(kinds(feedAll(parser, "J", 20)), std::vector<Kind>{Kind::Run});
}

void TestDriverSim::recordEndsTwoSecondsAfterItsC_data()
{
    QTest::addColumn<QStringList>("pieces"); // sent 0.25 s apart, then "J" much later
    QTest::addColumn<QString>("events"); // P poll, R record, X record error, T text, J run
    QTest::newRow("text with C, then polls") << QStringList{"Check"} + QStringList(12, "Q") << "PPPPPPPXPPPPPJ";
    QTest::newRow("trickling digits") << QStringList{"C2600=1"} + QStringList(12, "0") << "XTTTTTJ";
    QTest::newRow("ends too late") << QStringList{"C", "2", "600", "=1", "=10", "=2", "=0", "=1", "F"} << "XTJ";
    QTest::newRow("Q inside a record") << QStringList{"C26Q00=1=10=2=0=1F"} << "PXJ";
}

void TestDriverSim::recordEndsTwoSecondsAfterItsC()
{
    QFETCH(QStringList, pieces);
    QFETCH(QString, events);
    ProtocolParser parser;
    std::vector<ProtocolEvent> got;
    for (int i = 0; i < pieces.size(); ++i)
        parser.feed(pieces[i].toStdString(), i * 0.25, got);
    parser.feed("J", 100, got);
    QString letters;
    for (const auto& e : got)
        letters += QString("GRXJDSPT")[static_cast<int>(e.kind)]; // in the order of Kind
    QCOMPARE(letters, events);
}

void TestDriverSim::freeTextEndsAtCommandPauseOrLength()
{
    ProtocolParser parser;
    auto events = feedAll(parser, "hello", 0);
    QVERIFY(events.empty());
    events = feedAll(parser, "Q", 0.001);
    QCOMPARE(kinds(events), (std::vector<Kind>{Kind::Text, Kind::Poll}));
    QCOMPARE(events[0].text, std::string("hello"));

    feedAll(parser, "hi", 1.0);
    events.clear();
    parser.poll(1.0 + ProtocolParser::textPause / 2, events);
    QVERIFY(events.empty());
    parser.poll(1.0 + ProtocolParser::textPause, events);
    QCOMPARE(kinds(events), std::vector<Kind>{Kind::Text});
    QCOMPARE(events[0].text, std::string("hi"));

    events = feedAll(parser, "x\xff\r", 2.0);
    QCOMPARE(kinds(events), std::vector<Kind>{Kind::Text});
    QCOMPARE(events[0].text, std::string("x\\xFF"));

    events = feedAll(parser, std::string(ProtocolParser::maxTextLength + 3, 'z'), 3.0);
    QCOMPARE(kinds(events), std::vector<Kind>{Kind::Text});
    QCOMPARE(events[0].text.size(), ProtocolParser::maxTextLength);
}

void TestDriverSim::resetForgetsPartialRecord()
{
    ProtocolParser parser;
    feedAll(parser, "C26", 0);
    QVERIFY(parser.inRecord());
    parser.reset();
    QVERIFY(!parser.nextDeadline().has_value());
    QCOMPARE(kinds(feedAll(parser, "A", 0.1)), std::vector<Kind>{Kind::Greeting});
}

// ---------------------------------------------------------------- answers

void TestDriverSim::pollIsAnsweredWithFourBytesAndE()
{
    SimDevice device;
    std::string out;
    device.receive("Q", 0, out);
    QCOMPARE(out.size(), std::size_t(5));
    QCOMPARE(out[4], 'E');
    // At rest: speed, current and duty at their zero of 128.
    QCOMPARE(static_cast<unsigned char>(out[0]), 128);
    QCOMPARE(static_cast<unsigned char>(out[1]), 128);
    QCOMPARE(static_cast<unsigned char>(out[2]), 128);

    out.clear();
    device.receive("QQQ", 0.01, out);
    QCOMPARE(out.size(), std::size_t(15));
    QCOMPARE(device.polls(), 4L);
    QCOMPARE(device.answeredPolls(), 4L);
}

void TestDriverSim::frameNeverCarries69UnlessAllowed()
{
    QCOMPARE(SimDevice::frame({69, 0, 255, 69}, false), std::string("\x46\x00\xff\x46"
                                                                    "E",
                                                                    5));
    QCOMPARE(SimDevice::frame({69, 0, 255, 69}, true), std::string("\x45\x00\xff\x45"
                                                                   "E",
                                                                   5));

    // Run the board through several modes and check every answer, making sure the
    // traces did hit 69 along the way so that the check means something.
    for (const bool emitE : {false, true}) {
        SimDevice device({emitE, 1.0, 1});
        std::string out;
        device.receive("C3000=1=10=1=0=9FJ", 0, out);
        int raw69 = 0;
        int sent69 = 0;
        double t = 0;
        for (int i = 0; i < 4000; ++i) {
            t += 0.0025;
            if (i == 1500)
                device.receive("C1500=1=10=1=1=9F", t, out);
            if (i == 2500)
                device.receive("T", t, out);
            out.clear();
            const auto traces = device.board().traces();
            raw69 += static_cast<int>(std::count(traces.begin(), traces.end(), 69));
            device.receive("Q", t, out);
            QCOMPARE(out.size(), std::size_t(5));
            QCOMPARE(out.back(), 'E');
            sent69 += static_cast<int>(std::count(out.begin(), out.end() - 1, 'E'));
        }
        QVERIFY2(raw69 > 0, "the traces never reached 69; the check proves nothing");
        if (emitE)
            QCOMPARE(sent69, raw69);
        else
            QCOMPARE(sent69, 0);
    }
}

void TestDriverSim::textRepliesAreShortLines()
{
    SimDevice device;
    std::vector<std::string> logged;
    device.setLogger([&](const std::string& line) { logged.push_back(line); });

    struct Case {
        std::string send;
        std::string replyStart;
    };
    const std::vector<Case> cases = {
        {"A", "veltrano driver sim ready"},
        {"C2600=1=10=2=1=1F", "ok mode 1 pid speed sf 2600"},
        {"C2600=1=10=2=7=1F", "bad record: control mode \"7\""},
        {"J", "run pid speed"},
        {"J", "already running"},
        {"T", "dir reversed"},
        {"T", "dir forward"},
        {"I", "stop"},
        {"hello\n", "echo: hello"},
    };
    double t = 0;
    for (const Case& c : cases) {
        std::string out;
        device.receive(c.send, t += 0.1, out);
        QVERIFY2(out.rfind(c.replyStart, 0) == 0, out.c_str());
        QVERIFY(out.size() <= 100);
        QVERIFY(out.ends_with("\r\n"));
        QCOMPARE(std::count(out.begin(), out.end(), '\n'), 1L);
        for (unsigned char ch : out)
            QVERIFY(ch == '\r' || ch == '\n' || (ch >= 0x20 && ch < 0x7f));
    }
    QCOMPARE(logged.size(), cases.size());
    QCOMPARE(device.board().settings().mode, ControlMode::PidSpeed); // the bad record changed nothing
    QVERIFY(!device.board().running());
}

void TestDriverSim::answerRatioIsDeterministic()
{
    auto pattern = [](double ratio, std::uint32_t seed) {
        SimDevice device({false, ratio, seed});
        std::string answered;
        for (int i = 0; i < 1000; ++i) {
            std::string out;
            device.receive("Q", i * 0.01, out);
            answered += out.empty() ? '0' : '1';
            if (!out.empty() && out.size() != 5)
                return std::string("bad frame");
        }
        return answered;
    };
    const std::string a = pattern(0.3, 7);
    const auto count = std::count(a.begin(), a.end(), '1');
    QVERIFY2(count > 240 && count < 360, qPrintable(QString::number(count)));
    QCOMPARE(pattern(0.3, 7), a);
    QVERIFY(pattern(0.3, 8) != a);
    QCOMPARE(pattern(0.0, 7), std::string(1000, '0'));
    QCOMPARE(pattern(1.0, 7), std::string(1000, '1'));
}

// ---------------------------------------------------------------- motor and loops

void TestDriverSim::idleBoardDoesNotMove()
{
    DriverBoard board;
    board.setSettings(settingsFor(ControlMode::HBridge, 4095));
    board.advance(1.0);
    QCOMPARE(board.motor().state().speed, 0.0);
    QCOMPARE(board.motor().state().current, 0.0);
    QCOMPARE(board.duty(), 0.0);
    QCOMPARE(board.traces()[0], std::uint8_t(128));
    QCOMPARE(board.traces()[2], std::uint8_t(128));
    QVERIFY(std::abs(board.time() - 1.0) < 1e-6);
}

void TestDriverSim::hBridgeSpeedsUpToSteadySpeed()
{
    DriverBoard board;
    board.setSettings(settingsFor(ControlMode::HBridge, 2600));
    board.run();
    const double duty = 2600 / 4095.0;
    board.advance(0.02);
    const double early = board.motor().state().speed;
    QVERIFY(early > 0);
    QVERIFY(board.motor().state().current > 1.0); // starting current well above running current
    board.advance(0.6);
    const double steady = board.motor().state().speed;
    QCOMPARE(board.duty(), duty);
    QVERIFY(steady > 5 * early);
    // Dry friction keeps it a little under the friction-free figure.
    const double ideal = board.motor().steadySpeed(duty);
    QVERIFY2(steady < ideal && steady > 0.95 * ideal, qPrintable(QString("%1 vs %2").arg(steady).arg(ideal)));
    QVERIFY(std::abs(board.measuredSpeed() - steady) < 0.03 * steady);
    QVERIFY(board.motor().state().current > 0 && board.motor().state().current < 1.0);
    // 2 A full scale, so that a running motor's current reads well off 128.
    QCOMPARE(board.traces()[1], std::uint8_t(128 + std::lround(board.motor().state().current * 63.5)));

    // A heavier load slows the open loop down.
    board.motor().setLoadTorque(0.01);
    board.advance(0.6);
    QVERIFY(board.motor().state().speed < 0.9 * steady);
}

void TestDriverSim::pidSpeedSettlesUnderLoad()
{
    for (const double load : {0.0, 0.01}) {
        DriverBoard board;
        board.motor().setLoadTorque(load);
        board.setSettings(settingsFor(ControlMode::PidSpeed, 2000));
        board.run();
        board.advance(1.5);
        QVERIFY2(std::abs(rpm(board) - 2000) < 40, qPrintable(QString::number(rpm(board))));
        double lo = 1e9;
        double hi = -1e9;
        for (int i = 0; i < 100; ++i) {
            board.advance(0.005);
            lo = std::min(lo, rpm(board));
            hi = std::max(hi, rpm(board));
        }
        QVERIFY2(hi - lo < 60, qPrintable(QString("%1..%2").arg(lo).arg(hi)));
    }
}

void TestDriverSim::speedTestAlternatesTheSetpoint()
{
    DriverBoard board;
    board.setSettings(settingsFor(ControlMode::PidSpeed, 3000, 1));
    board.run();
    board.advance(0.9);
    QVERIFY2(std::abs(rpm(board) - 3000) < 60, qPrintable(QString::number(rpm(board))));
    board.advance(1.0);
    QVERIFY2(std::abs(rpm(board) - 1500) < 60, qPrintable(QString::number(rpm(board))));
    board.advance(1.0);
    QVERIFY2(std::abs(rpm(board) - 3000) < 60, qPrintable(QString::number(rpm(board))));
}

void TestDriverSim::pidPositionStepsBackAndForth()
{
    DriverBoard board;
    board.setSettings(settingsFor(ControlMode::PidPosition, 720, 1));
    board.run();
    const double start = board.motor().state().angle;
    auto degrees = [&] { return (board.motor().state().angle - start) * 180 / std::numbers::pi; };
    board.advance(0.9);
    QVERIFY2(std::abs(degrees() - 720) < 5, qPrintable(QString::number(degrees())));
    QVERIFY(std::abs(board.motor().state().speed) < 1.0);
    board.advance(1.0);
    QVERIFY2(std::abs(degrees()) < 5, qPrintable(QString::number(degrees())));
}

void TestDriverSim::stopCoastsDown()
{
    DriverBoard board;
    board.setSettings(settingsFor(ControlMode::HBridge, 3000));
    board.run();
    board.advance(0.8);
    const double running = board.motor().state().speed;
    QVERIFY(running > 100);

    board.stop();
    board.advance(0.01);
    QCOMPARE(board.duty(), 0.0);
    QCOMPARE(board.motor().state().current, 0.0); // the diodes block once it has decayed
    double previous = board.motor().state().speed;
    QVERIFY(previous > 0.9 * running); // coasting, not braking
    for (int i = 0; i < 40; ++i) {
        board.advance(0.1);
        const double now = board.motor().state().speed;
        QVERIFY(now <= previous);
        QVERIFY(now >= 0); // friction never turns it round
        previous = now;
    }
    QCOMPARE(board.motor().state().speed, 0.0);
    const double angle = board.motor().state().angle;
    board.advance(0.5);
    QCOMPARE(board.motor().state().angle, angle);
    QCOMPARE(board.traces()[0], std::uint8_t(128));
}

void TestDriverSim::toggleReversesAndAccelerationRamps()
{
    DriverBoard board;
    DriverSettings s = settingsFor(ControlMode::HBridge, 4095);
    s.acceleration = true;
    board.setSettings(s);
    board.run();
    board.advance(0.25);
    QVERIFY2(std::abs(board.duty() - 0.25) < 0.01, qPrintable(QString::number(board.duty())));
    board.advance(1.0);
    QCOMPARE(board.duty(), 1.0);

    QVERIFY(board.toggleDirection());
    board.advance(0.5);
    QVERIFY2(std::abs(board.duty() - 0.5) < 0.01, qPrintable(QString::number(board.duty())));
    board.advance(0.5);
    QVERIFY2(std::abs(board.duty()) < 0.01, qPrintable(QString::number(board.duty()))); // halfway from +1 to -1
    board.advance(1.1);
    QCOMPARE(board.duty(), -1.0);
    QVERIFY(board.motor().state().speed < 0);
    QVERIFY(board.traces()[0] < 128);
    QVERIFY(!board.toggleDirection());
}

void TestDriverSim::currentStaysWithinLimitOnLargeSteps()
{
    DriverBoard board;
    board.setSettings(settingsFor(ControlMode::PidPosition, 3600, 1));
    board.run();
    double peak = 0;
    for (int i = 0; i < 3000; ++i) {
        board.advance(0.001);
        peak = std::max(peak, std::abs(board.motor().state().current));
    }
    QVERIFY2(peak > 0.8 * DriverBoard::currentLimit, qPrintable(QString::number(peak)));
    QVERIFY2(peak < 1.1 * DriverBoard::currentLimit, qPrintable(QString::number(peak)));
}

void TestDriverSim::traceScalingSaturatesWithoutWrapping()
{
    for (const long sf : {999999999L, -999999999L}) {
        DriverBoard board;
        board.setSettings(settingsFor(ControlMode::HBridge, sf));
        board.run();
        board.advance(1.0);
        const auto t = board.traces();
        if (sf > 0) {
            QCOMPARE(t[2], std::uint8_t(255));
            QVERIFY(t[0] > 200);
        } else {
            QCOMPARE(t[2], std::uint8_t(1));
            QVERIFY(t[0] < 56);
        }
    }
    // Speed beyond full scale stays at the end of the range.
    MotorParams fast;
    fast.supplyVoltage = 24;
    DriverBoard board(fast);
    board.setSettings(settingsFor(ControlMode::HBridge, 4095));
    board.run();
    board.advance(1.0);
    QVERIFY(board.motor().state().speed * radSToRpm > DriverBoard::maxSpeedRpm);
    QCOMPARE(board.traces()[0], std::uint8_t(255));
}

void TestDriverSim::allTracesMoveWithDefaultRecord()
{
    DriverBoard board;
    const RecordResult r = parseRecordBody("2600=1=10=2=0=1");
    QVERIFY(r.settings);
    board.setSettings(*r.settings);
    board.run();
    std::array<std::set<int>, 4> seen;
    int position = 128; // the position trace starts at its reference
    int largestStep = 0; // forward: the shaft only turns forward
    for (int i = 0; i < 300; ++i) { // 64 polls a second for ~5 s
        board.advance(1.0 / 64);
        const auto t = board.traces();
        for (int k = 0; k < 4; ++k)
            seen[k].insert(t[k]);
        largestStep = std::max(largestStep, (t[3] - std::exchange(position, t[3]) + 256) % 256);
    }
    // Quarter turns from the run around 128, wrapping: a few steps a poll, no aliasing.
    QVERIFY2(largestStep <= 4, qPrintable(QString::number(largestStep)));
    QCOMPARE(position,
             static_cast<int>(128 + std::lround(std::floor(board.motor().state().angle * 2 / std::numbers::pi))) % 256);
    // The open-loop duty steps between its full and half level; the rest vary more.
    QCOMPARE(seen[2], (std::set<int>{128 + 81, 128 + 40}));
    for (int k : {0, 1, 3})
        QVERIFY2(seen[k].size() >= 5, qPrintable(QString("trace %1: %2 values").arg(k).arg(seen[k].size())));
    QVERIFY(seen[3].size() > 40); // the position trace runs through its range
}

void TestDriverSim::positionCountsFromRecordOrRun_data()
{
    QTest::addColumn<bool>("stopFirst"); // stop, record while coasting, run at rest; else record while running
    QTest::newRow("record while running") << false;
    QTest::newRow("record while coasting, run") << true;
}

void TestDriverSim::positionCountsFromRecordOrRun()
{
    QFETCH(bool, stopFirst);
    DriverBoard board;
    board.setSettings(settingsFor(ControlMode::HBridge, 4095));
    board.run();
    for (int i = 0; i < 6; ++i)
        board.advance(5); // half a minute of open loop
    if (stopFirst)
        board.stop();
    board.setSettings(settingsFor(ControlMode::PidPosition, 720));
    if (stopFirst) {
        board.advance(5); // coasting to rest
        board.run();
    }
    const double start = board.motor().state().angle;
    board.advance(1.5);
    // 720 degrees from where the shaft was at the last record or run.
    const double moved = (board.motor().state().angle - start) * 180 / std::numbers::pi;
    QVERIFY2(std::abs(moved - 720) < 5, qPrintable(QString::number(moved)));
}

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
    constexpr int pauseMs = 120;
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
            overPty += line.drain(pauseMs);
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
        QTest::qWait(pauseMs);
        inProgram += line.readAll();
    }
    QTest::qWait(300);
    inProgram += line.readAll();

    QVERIFY(!inProgram.isEmpty());
    QCOMPARE(inProgram, overPty);
}

QTEST_GUILESS_MAIN(TestDriverSim)
#include "test_driver_sim.moc"
