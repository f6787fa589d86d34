// The parameter record and the 8-bit form of outgoing text.
#include "protocol/messages.h"

#include <QtTest>

using namespace veltrano;

namespace {
struct Fields : ParameterSource {
    QString speedFactor, responses, speedTest;
    bool acc = false, edge = false;
    int mode = -1;
    mutable QStringList reads;
    QString speedFactorText() const override
    {
        reads << "speed";
        return speedFactor;
    }
    bool accelerationChecked() const override
    {
        reads << "acc";
        return acc;
    }
    QString responsesText() const override
    {
        reads << "responses";
        return responses;
    }
    QString speedTestText() const override
    {
        reads << "test";
        return speedTest;
    }
    int controlModeIndex() const override
    {
        reads << "mode";
        return mode;
    }
    bool counterEdgeChecked() const override
    {
        reads << "edge";
        return edge;
    }
};

QString joined(const ParameterSource& source)
{
    QString all;
    for (const QString& piece : parameterRecord(source))
        all += piece;
    return all;
}
} // namespace

class MessagesTest : public QObject {
    Q_OBJECT
private slots:
    void record_allDefaults()
    {
        Fields f;
        const auto pieces = parameterRecord(f);
        const QStringList expected = {"C", "2600", "=", "1", "=", "10", "=", "2", "=", "0", "=", "1", "F"};
        QCOMPARE(QStringList(pieces.begin(), pieces.end()), expected);
        QCOMPARE(joined(f), QString("C2600=1=10=2=0=1F"));
        QCOMPARE(joined(f).size(), 17);
    }

    void record_workedExample()
    {
        Fields f;
        f.speedFactor = "0";
        f.speedTest = "5";
        f.acc = true;
        f.mode = 3; // RC SERVO MODE
        QCOMPARE(joined(f), QString("C1=9=10=5=3=1F"));
    }

    void record_numberFields_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("sent");
        QTest::newRow("zero") << "0"
                              << "1";
        QTest::newRow("double zero") << "00"
                                     << "00";
        QTest::newRow("space zero") << " 0"
                                    << " 0";
        QTest::newRow("decimal zero") << "0.0"
                                      << "0.0";
        QTest::newRow("equals") << "="
                                << "=";
        QTest::newRow("F") << "F"
                           << "F";
        QTest::newRow("text") << "abc"
                              << "abc";
    }
    void record_numberFields()
    {
        QFETCH(QString, typed);
        QFETCH(QString, sent);
        Fields f;
        f.speedFactor = f.responses = f.speedTest = typed;
        const auto pieces = parameterRecord(f);
        QCOMPARE(pieces[1], sent);
        QCOMPARE(pieces[5], sent);
        QCOMPARE(pieces[7], sent);
    }

    void record_modeDigit()
    {
        for (int position = -2; position <= 7; ++position) {
            Fields f;
            f.mode = position;
            const QString expected = position >= 0 && position <= 5 ? QString::number(position) : "0";
            QCOMPARE(parameterRecord(f)[9], expected);
        }
        Fields f;
        f.edge = true;
        QCOMPARE(parameterRecord(f)[11], QString("9"));
    }

    void record_eachPieceReadsOnlyItsField()
    {
        Fields f;
        for (int i = 0; i < kRecordPieces; ++i)
            recordPiece(i, f);
        QCOMPARE(f.reads, (QStringList{"speed", "acc", "responses", "test", "mode", "edge"}));
    }

    void wire_oneBytePerCharacter()
    {
        QString all;
        for (int code = 0; code < 256; ++code)
            all += QChar(code);
        const QByteArray bytes = toWire(all);
        QCOMPARE(bytes.size(), 256);
        for (int code = 0; code < 256; ++code)
            QCOMPARE(quint8(bytes[code]), quint8(code));
        QCOMPARE(fromWire(bytes), all);
    }

    void wire_charactersWithoutAnEightBitFormBecomeOneQuestionMarkEach()
    {
        QCOMPARE(toWire(QString::fromUtf8("tốc độ")), QByteArray("t?c ??"));
        QCOMPARE(toWire(QString::fromUtf8("a😀b")), QByteArray("a?b")); // one character, one byte
        QCOMPARE(toWire(QString::fromUtf8("é")), QByteArray("\xE9"));
        QCOMPARE(toWire(QString()), QByteArray());
    }
};

QTEST_MAIN(MessagesTest)
#include "test_messages.moc"
