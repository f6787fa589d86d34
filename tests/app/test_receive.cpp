// The communication event: the setup log and the sample-frame decode.
#include "monitor/frame_decode.h"
#include "support/form_fixture.h"
#include "support/reference_receiver.h"

#include <QRandomGenerator>
#include <QtTest>

#include <optional>
#include <string>

using namespace veltrano;
using veltrano::testing::FormFixture;
using veltrano::testing::inChartView;

namespace {

// Connected, in the chart view, with the box restarted as "0" by a first decode.
struct ChartView : FormFixture {
    ChartView() : FormFixture({3})
    {
        connect("COM3");
        click(form->Draw);
    }
};

struct Values {
    std::optional<int> d0, d1, d2;
    int d3;
};
Values values(const Form1& w)
{
    const auto opt = [](const std::optional<std::int16_t>& v) { return v ? std::optional<int>(*v) : std::nullopt; };
    return {opt(w.data0), opt(w.data1), opt(w.data2), w.data3};
}

} // namespace

class ReceiveTest : public QObject {
    Q_OBJECT
private slots:
    // The decode on its own: box and previous sample in, sample, shown character and box out.
    void decodeFrame_readsBackFromTheEndMark_data()
    {
        QTest::addColumn<QString>("box");
        QTest::addColumn<QList<int>>("values"); // data0..data3; -1 keeps the previous value
        QTest::addColumn<QString>("lastData");
        QTest::addColumn<int>("frameIndex");
        QTest::newRow("whole frame") << "\rABCDE" << QList<int>{65, 66, 67, 68} << "D" << 4;
        QTest::newRow("longer box") << "xyzABCDE" << QList<int>{65, 66, 67, 68} << "D" << 4;
        QTest::newRow("short frame") << "CDE" << QList<int>{-1, -1, 67, 68} << "D" << 3;
        QTest::newRow("end mark alone") << "E" << QList<int>{-1, -1, -1, -1} << "" << 1;
        QTest::newRow("no 8-bit form") << QString("ABC\u0101E") << QList<int>{65, 66, 67, '?'} << "\u0101" << 4;
    }
    void decodeFrame_readsBackFromTheEndMark()
    {
        QFETCH(QString, box);
        QFETCH(QList<int>, values);
        const Sample previous{std::int16_t(1), std::int16_t(2), std::int16_t(3), 4};
        const FrameDecode d = decodeFrame(box, previous);
        const int got[4] = {*d.sample.data0, *d.sample.data1, *d.sample.data2, d.sample.data3};
        for (int i = 0; i < 4; ++i)
            QCOMPARE(got[i], values[i] < 0 ? i + 1 : values[i]);
        QTEST(d.lastData, "lastData");
        QTEST(d.frameIndex, "frameIndex");
        QCOMPARE(d.box, QString("0"));
    }

    void setupLog_appendsKeepsCaretAtEndAndStartsProgress()
    {
        FormFixture f({3});
        f.connect("COM3");
        f.form->progressActive = 0;
        f.serial->receive("OK\r\n");
        QCOMPARE(f.form->Text2->text(), QString("\rOK\r\n"));
        QCOMPARE(f.form->Text2->selStart(), 5);
        QCOMPARE(f.form->progressActive, std::int16_t(1));
        // Every character sets it again, also long after a run has ended.
        f.timer->fire(61);
        QCOMPARE(f.form->progressActive, std::int16_t(0));
        f.serial->receive("x");
        QCOMPARE(f.form->progressActive, std::int16_t(1));
    }

    void setupLog_restartsOnlyWhenItPassesAThousand()
    {
        FormFixture f({3});
        f.connect("COM3");
        f.serial->receive(QByteArray(999, 'a')); // with the leading carriage return: 1000
        QCOMPARE(f.form->Text2->text().size(), 1000);
        QCOMPARE(f.form->Text2->selStart(), 1000);
        f.serial->receive("b");
        QCOMPARE(f.form->Text2->text(), QString("0"));
    }

    void chartView_normalFrame()
    {
        ChartView f;
        f.serial->receive("xyzwE"); // the first frame after entering: box "\r" + frame
        f.serial->receive("ABCDE");
        QCOMPARE(values(*f.form).d0, std::optional<int>(65));
        QCOMPARE(values(*f.form).d1, std::optional<int>(66));
        QCOMPARE(values(*f.form).d2, std::optional<int>(67));
        QCOMPARE(f.form->data3, std::uint8_t(68));
        QCOMPARE(f.form->Text7->text(), QString("D"));
        QCOMPARE(f.form->Text2->text(), QString("0"));
    }

    void chartView_firstShortFrameReadsTheCarriageReturn()
    {
        ChartView f;
        f.serial->receive("\x01\x02\x03"
                          "E");
        QCOMPARE(f.form->data0, std::optional<std::int16_t>(13));
        QCOMPARE(f.form->data1, std::optional<std::int16_t>(1));
        QCOMPARE(f.form->data3, std::uint8_t(3));
    }

    void chartView_shortFramesReachIntoTheLeadingZero()
    {
        ChartView f;
        f.serial->receive("\x0a\x0b\x0c\x0d"
                          "E");
        f.serial->receive("\x01\x02\x03"
                          "E");
        QCOMPARE(f.form->data0, std::optional<std::int16_t>(48));
        QCOMPARE(f.form->data1, std::optional<std::int16_t>(1));
        QCOMPARE(f.form->data2, std::optional<std::int16_t>(2));
        QCOMPARE(f.form->data3, std::uint8_t(3));
        f.serial->receive("\x05\x06"
                          "E");
        QCOMPARE(f.form->data0, std::optional<std::int16_t>(48)); // kept
        QCOMPARE(f.form->data1, std::optional<std::int16_t>(48));
        QCOMPARE(f.form->data2, std::optional<std::int16_t>(5));
        QCOMPARE(f.form->data3, std::uint8_t(6));
        f.serial->receive("E");
        QCOMPARE(f.form->data3, std::uint8_t(48));
        QCOMPARE(f.form->data2, std::optional<std::int16_t>(5));
        QCOMPARE(f.form->Text7->text(), QString("0"));
    }

    void chartView_longFrameKeepsTheLastFour()
    {
        ChartView f;
        f.serial->receive("123456789E");
        QCOMPARE(f.form->data0, std::optional<std::int16_t>('6'));
        QCOMPARE(f.form->data3, std::uint8_t('9'));
    }

    void chartView_lowerCaseIsDataButEndMarkSplitsAFrame()
    {
        ChartView f;
        f.serial->receive("abeeE");
        QCOMPARE(f.form->data2, std::optional<std::int16_t>(101));
        QCOMPARE(f.form->data3, std::uint8_t(101));
        f.serial->receive(QByteArray("\x07"
                                     "E"
                                     "\x09\x0a"
                                     "E"));
        // First decode cut at the data "E": data3 = D1, data2 = "0".
        // Second: box "0", D3, D4, "E".
        QCOMPARE(f.form->data3, std::uint8_t(0x0a));
        QCOMPARE(f.form->data2, std::optional<std::int16_t>(0x09));
        QCOMPARE(f.form->data1, std::optional<std::int16_t>(48));
        QCOMPARE(f.form->data0, std::optional<std::int16_t>('a')); // unchanged from the first frame
    }

    void chartView_firstHalfOfASplitFrame()
    {
        ChartView f;
        f.serial->receive("wxyzE");
        f.serial->receive(QByteArray("\x07"
                                     "E"));
        QCOMPARE(f.form->data3, std::uint8_t(7));
        QCOMPARE(f.form->data2, std::optional<std::int16_t>(48));
        QCOMPARE(f.form->Text7->text(), QString("\x07"));
    }

    void chartView_endMarkAlreadyInTheBoxDecodesOnTheNextCharacter()
    {
        ChartView f;
        f.form->Text2->setText("COM PORT DOES NOT HAVE");
        f.serial->receive("z");
        QCOMPARE(f.form->data3, std::uint8_t('E'));
        QCOMPARE(f.form->Text7->text(), QString("E"));
        QCOMPARE(f.form->Text2->text(), QString("0"));
        f.serial->receive("ABCDE");
        QCOMPARE(f.form->data0, std::optional<std::int16_t>('A'));
    }

    void chartView_severalCharactersInOneRead()
    {
        ChartView f;
        f.serial->setInputLen(0);
        f.serial->receive("ABCDEfg");
        // Counted from the end of the box: "\rABCDEfg" -> last char 'g' is taken as the mark.
        QCOMPARE(f.form->data3, std::uint8_t('f'));
        QCOMPARE(f.form->data2, std::optional<std::int16_t>('E'));
        QCOMPARE(f.form->data1, std::optional<std::int16_t>('D'));
        QCOMPARE(f.form->data0, std::optional<std::int16_t>('C'));
        QCOMPARE(f.form->Text2->text(), QString("0"));
    }

    void chartView_boxOfOnlyTheEndMark()
    {
        ChartView f;
        f.serial->receive("ABCDE");
        f.form->Text2->setText(""); // the operator emptied the box
        f.form->Text7->setText("x");
        f.serial->receive("E");
        QCOMPARE(f.form->data3, std::uint8_t('D'));
        QCOMPARE(f.form->data0, std::optional<std::int16_t>('A'));
        QCOMPARE(f.form->Text7->text(), QString());
        QCOMPARE(f.form->Text2->text(), QString("0"));
    }

    void chartView_boxWithoutEndMarkIsBounded()
    {
        ChartView f;
        f.serial->receive(QByteArray(999, 'x')); // "\r" + 999 = 1000: kept
        QCOMPARE(f.form->Text2->text().size(), 1000);
        f.serial->receive("y");
        QCOMPARE(f.form->Text2->text(), QString("0"));
        f.serial->receive("ABCDE");
        QCOMPARE(f.form->data0, std::optional<std::int16_t>('A'));
        QCOMPARE(f.form->data3, std::uint8_t('D'));
    }

    void otherEventCodes_areIgnored()
    {
        FormFixture f({3});
        f.connect("COM3");
        f.form->progressActive = 0;
        emit f.serial->onComm(); // no receive reported yet
        QCOMPARE(f.form->Text2->text(), QString("\r"));
        QCOMPARE(f.form->progressActive, std::int16_t(0));
    }

    // Random bytes in random chunks with random view switches, compared after every
    // event with the reference.
    void randomStreams_matchTheReference()
    {
        QRandomGenerator random(20261208);
        FormFixture f({3});
        f.connect("COM3");
        Form1& w = *f.form;
        testing::ReferenceReceiver ref;
        ref.box = u"\r";
        long events = 0;
        while (events < 120000) {
            if (random.bounded(200) == 0) {
                FormFixture::click(w.Draw);
                ref.chartView = inChartView(w);
                ref.box = w.Text2->text().toStdU16String();
            }
            const int inputLen = random.bounded(8) == 0 ? int(random.bounded(4)) : 1;
            f.serial->setInputLen(inputLen);
            QByteArray chunk;
            const int size = 1 + random.bounded(12);
            for (int i = 0; i < size; ++i) {
                // Plenty of end marks so that frames of every length turn up.
                chunk += random.bounded(6) == 0 ? 'E' : char(random.bounded(256));
            }
            // Feed the chunk one read at a time, checking after each event.
            QByteArray rest = chunk;
            const int before = f.serial->outputs.size();
            while (!rest.isEmpty()) {
                const int take = inputLen == 0 ? int(rest.size()) : qMin<int>(inputLen, rest.size());
                f.serial->receive(rest.left(take));
                ref.event(rest.left(take));
                rest.remove(0, take);
                ++events;
                QVERIFY(w.Text2->text().toStdU16String() == ref.box);
                QCOMPARE(values(w).d0, ref.d0);
                QCOMPARE(values(w).d1, ref.d1);
                QCOMPARE(values(w).d2, ref.d2);
                QCOMPARE(int(w.data3), ref.d3);
                QVERIFY(w.Text7->text().toStdU16String() == ref.line7);
            }
            QCOMPARE(f.serial->outputs.size(), before); // the handler never writes
            QVERIFY(w.Text2->text().size() <= 1000);
        }
    }
};

QTEST_MAIN(ReceiveTest)
#include "test_receive.moc"
