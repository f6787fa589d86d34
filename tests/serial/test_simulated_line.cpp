// The line to the board simulated inside the program: paced as a cable at its rate, never
// answering inside a write, and the board the same from one opening to the next.
#include "serial/serial_control.h"
#include "serial/simulated_line.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>

using namespace veltrano;

class TestSimulatedLine : public QObject {
    Q_OBJECT

private slots:
    void answersArePacedByTheRate_data();
    void answersArePacedByTheRate();
    void slowLineDropsWhatItCannotCarry();
    void boardOutlivesItsLine();
};

void TestSimulatedLine::answersArePacedByTheRate_data()
{
    QTest::addColumn<int>("baud");
    QTest::newRow("2400") << 2400;
    QTest::newRow("9600") << 9600;
    QTest::newRow("115200") << 115200;
}

void TestSimulatedLine::answersArePacedByTheRate()
{
    QFETCH(int, baud);
    SimulatedLine line(std::make_shared<SimulatedBoard>());
    line.open(baud);
    QSignalSpy ready(&line, &ByteLine::readyRead);
    QElapsedTimer clock;
    clock.start();
    line.write("Q");
    QCOMPARE(ready.count(), 0); // nothing inside the write
    QCOMPARE(line.readAll(), QByteArray());

    QByteArray answer;
    QTRY_VERIFY_WITH_TIMEOUT((answer += line.readAll()).size() >= 5, 2000);
    const double elapsedMs = double(clock.nsecsElapsed()) / 1e6;
    QCOMPARE(answer, QByteArray("\x80\x80\x80\x80"
                                "E"));
    // "Q" out and five characters back, ten bits each.
    const double lineMs = 6 * 10 * 1000.0 / baud;
    QVERIFY2(elapsedMs >= lineMs, qPrintable(QStringLiteral("%1 ms for %2 ms of line").arg(elapsedMs).arg(lineMs)));
    // The answer comes a character at a time where the rate is slow enough to see it: its
    // 21 ms take more than one delivery even where timers fire only about every 10 ms (Wine).
    if (baud == 2400)
        QVERIFY2(ready.count() >= 2, qPrintable(QString::number(ready.count())));
}

void TestSimulatedLine::slowLineDropsWhatItCannotCarry()
{
    // A second of polls at 64 a second asks 2400 baud for a third more than it carries.
    // The answers that find the board's send buffer full are dropped, so the last ones
    // are through soon after the last poll instead of a third of a second later.
    SimulatedLine line(std::make_shared<SimulatedBoard>());
    line.open(2400);
    QByteArray answers;
    for (int i = 0; i < 64; ++i) {
        line.write("Q");
        QTest::qWait(15);
        answers += line.readAll();
    }
    QTest::qWait(150);
    answers += line.readAll();
    QTest::qWait(250);
    QCOMPARE(line.readAll(), QByteArray());
    QVERIFY2(answers.size() % 5 == 0 && answers.count('E') == answers.size() / 5, answers.toHex().constData());
    QVERIFY2(answers.size() / 5 < 64, qPrintable(QString::number(answers.size() / 5)));
}

void TestSimulatedLine::boardOutlivesItsLine()
{
    const auto board = std::make_shared<SimulatedBoard>();
    {
        SimulatedLine line(board);
        line.open(115200);
        line.write("C100=1=10=0=1=1F");
        QByteArray ok;
        QTRY_VERIFY_WITH_TIMEOUT((ok += line.readAll()).endsWith("\r\n"), 2000);
        line.write("C999"); // half a record when the line closes is forgotten
        SimulatedLine second(board); // one board, one cable
        QVERIFY_THROWS_EXCEPTION(PortInUse, second.open(115200));
    }
    SimulatedLine again(board);
    again.open(115200);
    again.write("A");
    QByteArray reply;
    QTRY_VERIFY_WITH_TIMEOUT((reply += again.readAll()).endsWith("\r\n"), 2000);
    QCOMPARE(reply, QByteArray("veltrano driver sim ready, mode 1 pid speed sf 100 acc off resp 10 test 0 edge 1\r\n"));
}

QTEST_GUILESS_MAIN(TestSimulatedLine)
#include "test_simulated_line.moc"
