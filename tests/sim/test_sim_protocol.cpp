// The simulated board's protocol: records, the streaming parser and the answers it gives.
#include "sim/driver_protocol.h"
#include "sim/sim_device.h"
#include "support/record_pieces.h"

#include <QtTest>

#include <set>
#include <string>
#include <vector>

using namespace veltrano::sim;
using Kind = ProtocolEvent::Kind;
using veltrano::testing::recordPieces;

namespace {

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

} // namespace

class TestSimProtocol : public QObject {
    Q_OBJECT

private slots:
    void parsesGoodRecords_data();
    void parsesGoodRecords();
    void rejectsMalformedRecords_data();
    void rejectsMalformedRecords();
    void recordInThirteenPiecesGivesOneEvent();
    void joinedMessagesComeOutInOrder();
    void typedFAndEqualsMakeOneErrorAndNoLeftovers();
    void overlongRecordIsDroppedUpToItsF();
    void unfinishedRecordTimesOut();
    void recordEndsTwoSecondsAfterItsC_data();
    void recordEndsTwoSecondsAfterItsC();
    void freeTextEndsAtCommandPauseOrLength();
    void resetForgetsPartialRecord();
    void pollIsAnsweredWithFourBytesAndE();
    void frameNeverCarries69UnlessAllowed();
    void textRepliesAreShortLines();
    void answerRatioIsDeterministic();
};

// ---------------------------------------------------------------- records

void TestSimProtocol::parsesGoodRecords_data()
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

void TestSimProtocol::parsesGoodRecords()
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

void TestSimProtocol::rejectsMalformedRecords_data()
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

void TestSimProtocol::rejectsMalformedRecords()
{
    QFETCH(QString, body);
    QFETCH(QString, reason);
    const RecordResult r = parseRecordBody(body.toStdString());
    QVERIFY(!r.settings.has_value());
    QVERIFY2(QString::fromStdString(r.error).contains(reason), r.error.c_str());
}

// ---------------------------------------------------------------- streaming parser

void TestSimProtocol::recordInThirteenPiecesGivesOneEvent()
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

void TestSimProtocol::joinedMessagesComeOutInOrder()
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

void TestSimProtocol::typedFAndEqualsMakeOneErrorAndNoLeftovers()
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

void TestSimProtocol::overlongRecordIsDroppedUpToItsF()
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

void TestSimProtocol::unfinishedRecordTimesOut()
{
    ProtocolParser parser;
    feedAll(parser, "C2600=1", 10.0);
    QVERIFY(parser.nextDeadline().has_value());
    std::vector<ProtocolEvent> events;
    parser.poll(10.0 + ProtocolParser::kRecordTimeout * 0.9, events);
    QVERIFY(events.empty());
    // A late piece does not extend the wait, which counts from the "C".
    feedAll(parser, "=10", 10.0 + ProtocolParser::kRecordTimeout * 0.9);
    parser.poll(10.0 + ProtocolParser::kRecordTimeout * 0.99, events);
    QVERIFY(events.empty());
    parser.poll(10.0 + ProtocolParser::kRecordTimeout, events);
    QCOMPARE(kinds(events), std::vector<Kind>{Kind::RecordError});
    QVERIFY2(events[0].text.find("unfinished") != std::string::npos, events[0].text.c_str());
    QVERIFY(!parser.inRecord());
    QCOMPARE(kinds(feedAll(parser, "J", 20)), std::vector<Kind>{Kind::Run});
}

void TestSimProtocol::recordEndsTwoSecondsAfterItsC_data()
{
    QTest::addColumn<QStringList>("pieces"); // sent 0.25 s apart, then "J" much later
    QTest::addColumn<QString>("events"); // P poll, R record, X record error, T text, J run
    QTest::newRow("text with C, then polls") << QStringList{"Check"} + QStringList(12, "Q") << "PPPPPPPXPPPPPJ";
    QTest::newRow("trickling digits") << QStringList{"C2600=1"} + QStringList(12, "0") << "XTTTTTJ";
    QTest::newRow("ends too late") << QStringList{"C", "2", "600", "=1", "=10", "=2", "=0", "=1", "F"} << "XTJ";
    QTest::newRow("Q inside a record") << QStringList{"C26Q00=1=10=2=0=1F"} << "PXJ";
}

void TestSimProtocol::recordEndsTwoSecondsAfterItsC()
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

void TestSimProtocol::freeTextEndsAtCommandPauseOrLength()
{
    ProtocolParser parser;
    auto events = feedAll(parser, "hello", 0);
    QVERIFY(events.empty());
    events = feedAll(parser, "Q", 0.001);
    QCOMPARE(kinds(events), (std::vector<Kind>{Kind::Text, Kind::Poll}));
    QCOMPARE(events[0].text, std::string("hello"));

    feedAll(parser, "hi", 1.0);
    events.clear();
    parser.poll(1.0 + ProtocolParser::kTextPause / 2, events);
    QVERIFY(events.empty());
    parser.poll(1.0 + ProtocolParser::kTextPause, events);
    QCOMPARE(kinds(events), std::vector<Kind>{Kind::Text});
    QCOMPARE(events[0].text, std::string("hi"));

    events = feedAll(parser, "x\xff\r", 2.0);
    QCOMPARE(kinds(events), std::vector<Kind>{Kind::Text});
    QCOMPARE(events[0].text, std::string("x\\xFF"));

    events = feedAll(parser, std::string(ProtocolParser::kMaxTextLength + 3, 'z'), 3.0);
    QCOMPARE(kinds(events), std::vector<Kind>{Kind::Text});
    QCOMPARE(events[0].text.size(), ProtocolParser::kMaxTextLength);
}

void TestSimProtocol::resetForgetsPartialRecord()
{
    ProtocolParser parser;
    feedAll(parser, "C26", 0);
    QVERIFY(parser.inRecord());
    parser.reset();
    QVERIFY(!parser.nextDeadline().has_value());
    QCOMPARE(kinds(feedAll(parser, "A", 0.1)), std::vector<Kind>{Kind::Greeting});
}

// ---------------------------------------------------------------- answers

void TestSimProtocol::pollIsAnsweredWithFourBytesAndE()
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

void TestSimProtocol::frameNeverCarries69UnlessAllowed()
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

void TestSimProtocol::textRepliesAreShortLines()
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

void TestSimProtocol::answerRatioIsDeterministic()
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

QTEST_GUILESS_MAIN(TestSimProtocol)
#include "test_sim_protocol.moc"
