#include "platform/port_table.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

using namespace veltrano;

class TestPortTable : public QObject {
    Q_OBJECT

private slots:
    void init() { qunsetenv("VELTRANO_PORTS"); }
    void cleanup() { qunsetenv("VELTRANO_PORTS"); }

    void portNames_data();
    void portNames();
    void parsesEntries();
    void ignoresMalformedEntries_data();
    void ignoresMalformedEntries();
    void firstEntryOfANameWins();
    void naturalOrder();
    void naturalOrderIsStrictWeak();
    void locationsNumberedInNaturalOrder();
    void environmentIsTheWholeTable();
    void environmentReadOnEveryLookup();
    void descriptionNamesTheDevice();
};

void TestPortTable::portNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("number");
    QTest::newRow("COM1") << "COM1" << 1;
    QTest::newRow("COM9") << "COM9" << 9;
    QTest::newRow("COM16") << "COM16" << 16;
    QTest::newRow("lower case") << "com3" << 3;
    QTest::newRow("COM0") << "COM0" << 0;
    QTest::newRow("COM17") << "COM17" << 0;
    QTest::newRow("leading zero") << "COM03" << 0;
    QTest::newRow("no number") << "COM" << 0;
    QTest::newRow("sign") << "COM+3" << 0;
    QTest::newRow("trailing text") << "COM3x" << 0;
    QTest::newRow("inner space") << "COM 3" << 0;
    QTest::newRow("other name") << "LPT1" << 0;
    QTest::newRow("huge") << "COM99999999999999999999" << 0;
    QTest::newRow("empty") << "" << 0;
}

void TestPortTable::portNames()
{
    QFETCH(QString, name);
    QFETCH(int, number);
    QCOMPARE(portNumberFromLenientName(name), number);
}

void TestPortTable::parsesEntries()
{
    const PortTable table =
        parsePortTable(QStringLiteral("  COM3=/dev/ttyUSB0 ;COM5 = /tmp/sim/tty;\tCOM16=/dev/a=b ; "));
    PortTable expected;
    expected.insert(3, QStringLiteral("/dev/ttyUSB0"));
    expected.insert(5, QStringLiteral("/tmp/sim/tty"));
    expected.insert(16, QStringLiteral("/dev/a=b"));
    QCOMPARE(table, expected);
}

void TestPortTable::ignoresMalformedEntries_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("empty") << "";
    QTest::newRow("separators only") << " ; ;; ";
    QTest::newRow("no equals sign") << "COM1 /dev/ttyS0";
    QTest::newRow("no device") << "COM1=";
    QTest::newRow("blank device") << "COM1=   ";
    QTest::newRow("no name") << "=/dev/ttyS0";
    QTest::newRow("COM0") << "COM0=/dev/ttyS0";
    QTest::newRow("COM17") << "COM17=/dev/ttyS0";
    QTest::newRow("other name") << "TTY1=/dev/ttyS0";
}

void TestPortTable::ignoresMalformedEntries()
{
    QFETCH(QString, text);
    QVERIFY(parsePortTable(text).isEmpty());
    // A bad entry costs nothing to the good ones around it.
    const PortTable table = parsePortTable(text + QStringLiteral(";COM2=/dev/ok;") + text);
    QCOMPARE(table.size(), 1);
    QCOMPARE(table.value(2), QStringLiteral("/dev/ok"));
}

void TestPortTable::firstEntryOfANameWins()
{
    const PortTable table = parsePortTable(QStringLiteral("COM4=/dev/first;com4=/dev/second"));
    QCOMPARE(table.size(), 1);
    QCOMPARE(table.value(4), QStringLiteral("/dev/first"));
}

void TestPortTable::naturalOrder()
{
    const QStringList expected = {
        QStringLiteral("/dev/rfcomm0"),  QStringLiteral("/dev/ttyACM0"), QStringLiteral("/dev/ttyACM1"),
        QStringLiteral("/dev/ttyS0"),    QStringLiteral("/dev/ttyS2"),   QStringLiteral("/dev/ttyS10"),
        QStringLiteral("/dev/ttyS100"),  QStringLiteral("/dev/ttyUSB0"), QStringLiteral("/dev/ttyUSB9"),
        QStringLiteral("/dev/ttyUSB11"),
    };
    QStringList shuffled = expected;
    auto* random = QRandomGenerator::global();
    for (int round = 0; round < 20; ++round) {
        std::shuffle(shuffled.begin(), shuffled.end(), *random);
        std::sort(shuffled.begin(), shuffled.end(), naturalLess);
        QCOMPARE(shuffled, expected);
    }
}

void TestPortTable::naturalOrderIsStrictWeak()
{
    const QStringList samples = {
        QStringLiteral(""),          QStringLiteral("a"),        QStringLiteral("a1"),
        QStringLiteral("a01"),       QStringLiteral("a001"),     QStringLiteral("a1b"),
        QStringLiteral("a01c"),      QStringLiteral("a2"),       QStringLiteral("a10"),
        QStringLiteral("ab"),        QStringLiteral("1"),        QStringLiteral("10"),
        QStringLiteral("a99999999999999999999999"), QStringLiteral("a100000000000000000000000"),
    };
    for (const QString& a : samples) {
        QVERIFY2(!naturalLess(a, a), qPrintable(a));
        for (const QString& b : samples) {
            if (a != b) // distinct paths are never equivalent, so sorting is deterministic
                QVERIFY2(naturalLess(a, b) != naturalLess(b, a), qPrintable(a + " / " + b));
            for (const QString& c : samples) {
                if (naturalLess(a, b) && naturalLess(b, c))
                    QVERIFY2(naturalLess(a, c), qPrintable(a + " / " + b + " / " + c));
            }
        }
    }
    QVERIFY(naturalLess(QStringLiteral("a99999999999999999999999"),
                        QStringLiteral("a100000000000000000000000")));
}

void TestPortTable::locationsNumberedInNaturalOrder()
{
    PortTable table = portTableFromLocations({QStringLiteral("/dev/ttyUSB0"), QStringLiteral("/dev/ttyS10"),
                                              QStringLiteral("/dev/ttyS2"), QStringLiteral("/dev/ttyACM0"),
                                              QStringLiteral("/dev/ttyS2")});
    PortTable expected;
    expected.insert(1, QStringLiteral("/dev/ttyACM0"));
    expected.insert(2, QStringLiteral("/dev/ttyS2"));
    expected.insert(3, QStringLiteral("/dev/ttyS10"));
    expected.insert(4, QStringLiteral("/dev/ttyUSB0"));
    QCOMPARE(table, expected);

    QStringList many;
    for (int i = 20; i >= 0; --i)
        many.append(QStringLiteral("/dev/ttyS%1").arg(i));
    table = portTableFromLocations(many);
    QCOMPARE(table.size(), lastPortNumber);
    QCOMPARE(table.firstKey(), 1);
    QCOMPARE(table.value(1), QStringLiteral("/dev/ttyS0"));
    QCOMPARE(table.value(16), QStringLiteral("/dev/ttyS15"));

    QVERIFY(portTableFromLocations({}).isEmpty());
}

void TestPortTable::environmentIsTheWholeTable()
{
    qputenv("VELTRANO_PORTS", "COM3=/dev/ttyUSB0; COM5=/tmp/sim/tty");
    QCOMPARE(portDevice(3), QStringLiteral("/dev/ttyUSB0"));
    QCOMPARE(portDevice(5), QStringLiteral("/tmp/sim/tty"));
    for (int n : {0, 1, 2, 4, 16, 17})
        QVERIFY2(portDevice(n).isEmpty(), qPrintable(QString::number(n)));

    // Set but empty: no port exists, whatever the system has.
    qputenv("VELTRANO_PORTS", "");
    QVERIFY(currentPortTable().isEmpty());
    for (int n = firstPortNumber; n <= lastPortNumber; ++n)
        QVERIFY(portDevice(n).isEmpty());
}

void TestPortTable::environmentReadOnEveryLookup()
{
    qputenv("VELTRANO_PORTS", "COM1=/dev/one");
    QCOMPARE(portDevice(1), QStringLiteral("/dev/one"));
    qputenv("VELTRANO_PORTS", "COM1=/dev/two");
    QCOMPARE(portDevice(1), QStringLiteral("/dev/two"));
    qputenv("VELTRANO_PORTS", "COM2=/dev/two");
    QVERIFY(portDevice(1).isEmpty());
}

void TestPortTable::descriptionNamesTheDevice()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString link = dir.filePath(QStringLiteral("tty"));
    QVERIFY(QFile::link(QStringLiteral("/dev/null"), link));
    qputenv("VELTRANO_PORTS", QStringLiteral("COM2=/dev/null;COM3=%1").arg(link).toLocal8Bit());

    QCOMPARE(portDescription(2), QStringLiteral("/dev/null"));
    // Through a link the tooltip shows where it leads.
    QCOMPARE(portDescription(3), QStringLiteral("%1 -> /dev/null").arg(link));
    QVERIFY(portDescription(1).isEmpty());
    QVERIFY(portDescription(0).isEmpty());
    QVERIFY(portDescription(17).isEmpty());
}

QTEST_GUILESS_MAIN(TestPortTable)
#include "test_port_table.moc"
