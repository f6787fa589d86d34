#include "serial/port_registry.h"
#include "serial/port_table.h"
#include "serial/simulated_board.h"

#include <QCryptographicHash>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

#include <sys/stat.h>

using namespace veltrano;

namespace {

// "path" or "path>by-id link", separated by spaces.
QList<SerialDevice> devices(const QString& listed)
{
    QList<SerialDevice> list;
    for (const QString& item : listed.split(u' ', Qt::SkipEmptyParts)) {
        const QStringList parts = item.split(u'>');
        list.append(SerialDevice{.path = parts.at(0), .byId = parts.value(1)});
    }
    return list;
}

QStringList messages; // every warning since the test began
QtMessageHandler passOn = nullptr;
void collect(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    messages.append(text);
    passOn(type, context, text);
}

} // namespace

class TestPortTable : public QObject {
    Q_OBJECT

private slots:
    // No test touches the user's own number file.
    void initTestCase()
    {
        qputenv("XDG_CONFIG_HOME", config_.path().toLocal8Bit());
        passOn = qInstallMessageHandler(collect);
    }
    void init() { qunsetenv("VELTRANO_PORTS"), messages.clear(); }
    void cleanup() { qunsetenv("VELTRANO_PORTS"); }

    void portNames_data();
    void portNames();
    void parsesEntries();
    void ignoresMalformedEntries_data();
    void ignoresMalformedEntries();
    void firstEntryOfANameWins();
    void naturalOrder();
    void naturalOrderIsStrictWeak();
    void locationsNumberedInNaturalOrder_data();
    void locationsNumberedInNaturalOrder();
    void environmentIsTheWholeTable();
    void environmentReadOnceAtStart();
    void environmentMistakesReportedOnce();
    void simulatedBoardTakesItsNumber();
    void descriptionNamesTheDevice();
    void registryFile_data();
    void registryFile();
    void numbersHoldFromSearchToSearch();
    void numberFileKeepsWhatIsNotOurs_data();
    void numberFileKeepsWhatIsNotOurs();
    void byIdLinksFollowTheDevices();
    void windowsNames_data();
    void windowsNames();

private:
    QTemporaryDir config_;
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
    const PortMap table = parsePortTable(
        QStringLiteral("  COM3=/dev/ttyUSB0 ;COM5 = /tmp/sim/tty;\tCOM16=/dev/a=b ; "));
    PortMap expected;
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
    QTest::newRow("comma for semicolon") << "COM1=/dev/ttyS0,COM3=/dev/ttyS1";
    QTest::newRow("leading zero") << "COM05=/dev/ttyS0";
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
    QStringList rejected;
    QVERIFY(parsePortTable(text, &rejected).isEmpty());
    // Each bad entry is named, nothing else is.
    QCOMPARE(rejected.size(), text.contains(u'=') || text.contains(u'/') ? 1 : 0);
    if (!rejected.isEmpty())
        QVERIFY2(rejected.first().startsWith(u'"' + text.trimmed() + u'"'), qPrintable(rejected.first()));
    // A bad entry costs nothing to the good ones around it.
    const PortMap table = parsePortTable(text + QStringLiteral(";COM2=/dev/ok;") + text);
    QCOMPARE(table.size(), 1);
    QCOMPARE(table.value(2), QStringLiteral("/dev/ok"));
}

void TestPortTable::firstEntryOfANameWins()
{
    QStringList rejected;
    const PortMap table = parsePortTable(QStringLiteral("COM4=/dev/first;com4=/dev/second"), &rejected);
    QCOMPARE(rejected, QStringList{QStringLiteral("\"com4=/dev/second\" ignored: COM4 listed before")});
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
        QStringLiteral(""),
        QStringLiteral("a"),
        QStringLiteral("a1"),
        QStringLiteral("a01"),
        QStringLiteral("a001"),
        QStringLiteral("a1b"),
        QStringLiteral("a01c"),
        QStringLiteral("a2"),
        QStringLiteral("a10"),
        QStringLiteral("ab"),
        QStringLiteral("1"),
        QStringLiteral("10"),
        QStringLiteral("a99999999999999999999999"),
        QStringLiteral("a100000000000000000000000"),
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
    QVERIFY(naturalLess(QStringLiteral("a99999999999999999999999"), QStringLiteral("a100000000000000000000000")));
}

void TestPortTable::locationsNumberedInNaturalOrder_data()
{
    QTest::addColumn<QString>("known");
    QTest::addColumn<QString>("present");
    QTest::addColumn<QString>("numbered");
    QTest::addColumn<QString>("unnumbered");
    QString full;
    QString many;
    QString manyNumbered;
    for (int n = 17; n >= 0; --n)
        many += QStringLiteral("/dev/ttyS%1 ").arg(n);
    for (int n = kFirstPortNumber; n <= kLastPortNumber; ++n) {
        full += QStringLiteral("COM%1=/dev/old%1;").arg(n);
        manyNumbered += QStringLiteral("COM%1=/dev/ttyS%2;").arg(n).arg(n - 1);
    }
    QTest::newRow("first seen: USB and ACM first")
        << ""
        << "/dev/ttyUSB0 /dev/ttyS10 /dev/ttyS2 /dev/ttyACM0 /dev/ttyS2 /dev/ttyUSB10 /dev/ttyUSB9"
        << "COM1=/dev/ttyACM0;COM2=/dev/ttyUSB0;COM3=/dev/ttyUSB9;COM4=/dev/ttyUSB10;COM5=/dev/ttyS2;COM6=/dev/ttyS10"
        << "";
    QTest::newRow("more than 16") << "" << many << manyNumbered << "/dev/ttyS16 /dev/ttyS17";
    QTest::newRow("none") << ""
                          << ""
                          << ""
                          << "";
    QTest::newRow("replugged elsewhere") << "COM2=/id/a"
                                         << "/dev/ttyUSB1>/id/a /dev/ttyUSB0"
                                         << "COM1=/dev/ttyUSB0;COM2=/id/a"
                                         << "";
    QTest::newRow("gone keeps its number") << "COM1=/id/a;COM3=/dev/ttyS0"
                                           << "/dev/ttyUSB0>/id/b /dev/ttyS0"
                                           << "COM1=/id/a;COM2=/id/b;COM3=/dev/ttyS0"
                                           << "";
    QTest::newRow("all taken: lowest number of one gone")
        << full << "/dev/old1 /dev/old2 /dev/ttyUSB0" << QString(full).replace("/dev/old3", "/dev/ttyUSB0") << "";
}

void TestPortTable::locationsNumberedInNaturalOrder()
{
    QFETCH(QString, known);
    QFETCH(QString, present);
    QFETCH(QString, numbered);
    QFETCH(QString, unnumbered);
    const Numbering numbering = assignNumbers(parsePortTable(known), devices(present));
    QCOMPARE(numbering.table, parsePortTable(numbered));
    QCOMPARE(numbering.unnumbered, unnumbered.split(u' ', Qt::SkipEmptyParts));
}

void TestPortTable::environmentIsTheWholeTable()
{
    qputenv("VELTRANO_PORTS", "COM3=/dev/ttyUSB0; COM5=/tmp/sim/tty");
    const std::shared_ptr<PortTable> table = PortTable::fromEnvironment();
    QCOMPARE(table->device(3), QStringLiteral("/dev/ttyUSB0"));
    QCOMPARE(table->device(5), QStringLiteral("/tmp/sim/tty"));
    for (int n : {0, 1, 2, 4, 16, 17})
        QVERIFY2(table->device(n).isEmpty(), qPrintable(QString::number(n)));

    // Set but empty: no port exists, whatever the system has.
    qputenv("VELTRANO_PORTS", "");
    const std::shared_ptr<PortTable> empty = PortTable::fromEnvironment();
    empty->rescan();
    QVERIFY(empty->devices().isEmpty());
}

void TestPortTable::environmentReadOnceAtStart()
{
    qputenv("VELTRANO_PORTS", "COM1=/dev/one");
    const std::shared_ptr<PortTable> table = PortTable::fromEnvironment();
    qputenv("VELTRANO_PORTS", "COM2=/dev/two");
    table->rescan();
    QCOMPARE(table->devices(), parsePortTable(QStringLiteral("COM1=/dev/one")));
}

void TestPortTable::environmentMistakesReportedOnce()
{
    qputenv("VELTRANO_PORTS", "COM2=/dev/ok;COM17=/dev/once");
    const std::shared_ptr<PortTable> table = PortTable::fromEnvironment();
    table->rescan();
    for (int n = kFirstPortNumber; n <= kLastPortNumber; ++n)
        table->device(n);
    QCOMPARE(messages.filter(QStringLiteral("COM17=/dev/once")).size(), 1);
}

void TestPortTable::simulatedBoardTakesItsNumber()
{
    PortTable table(parsePortTable(QStringLiteral("COM3=/dev/ttyUSB0;COM5=/dev/ttyS0")));
    table.placeSimulatedBoard(3, std::make_shared<SimulatedBoard>());
    for (int round = 0; round < 2; ++round) {
        table.rescan();
        QCOMPARE(table.devices(), parsePortTable(QStringLiteral("COM5=/dev/ttyS0")));
        QVERIFY(table.simulatedBoard(3) && !table.simulatedBoard(5));
        QCOMPARE(table.describe(3), QStringLiteral("simulated driver board"));
    }
    // The device that had the number is out of reach, and standard error says so once.
    QCOMPARE(messages, QStringList(QStringLiteral(
                           "COM3 (/dev/ttyUSB0) is out of reach for this run: COM3 is the simulated driver board")));
}

void TestPortTable::descriptionNamesTheDevice()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString link = dir.filePath(QStringLiteral("tty"));
    QVERIFY(QFile::link(QStringLiteral("/dev/null"), link));
    const PortTable table(parsePortTable(QStringLiteral("COM2=/dev/null;COM3=%1").arg(link)));

    QCOMPARE(table.describe(2), QStringLiteral("/dev/null"));
    // Through a link the tooltip shows where it leads.
    QCOMPARE(table.describe(3), QStringLiteral("%1 -> /dev/null").arg(link));
    QVERIFY(table.describe(1).isEmpty());
    QVERIFY(table.describe(0).isEmpty());
    QVERIFY(table.describe(17).isEmpty());

    // A listed device: its path, by-id name, maker, product and USB ids.
    const SerialDevice usb{"/dev/ttyUSB0", "/dev/serial/by-id/usb-FTDI_A5-if00-port0", "FTDI", "FT232R USB UART", 0x403,
                           0x6001};
    QCOMPARE(describeDevice(usb.path, usb),
             "/dev/ttyUSB0 (by-id usb-FTDI_A5-if00-port0, FTDI, FT232R USB UART, USB 0403:6001)");
    QCOMPARE(describeDevice(usb.byId, usb), usb.byId + " -> /dev/ttyUSB0 (FTDI, FT232R USB UART, USB 0403:6001)");
}

void TestPortTable::registryFile_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("table");
    QTest::addColumn<int>("foreign");
    QTest::addColumn<int>("problems");
    QTest::newRow("sound") << "# numbers\r\n\nCOM2=/dev/ttyS0\r\n COM16 = /id/a b\n"
                           << "COM2=/dev/ttyS0;COM16=/id/a b" << 0 << 0;
    QTest::newRow("foreign lines") << "COM1=/dev/a\n\x01\x02garbage\nCOM17=/dev/b\nCOM05=/dev/c\nCOM3=dev/d\nCOM4=\n"
                                   << "COM1=/dev/a" << 5 << 0;
    QTest::newRow("given twice") << "COM1=/dev/a\nCOM1=/dev/b\nCOM2=/dev/a\n"
                                 << "COM1=/dev/a" << 0 << 2;
}

void TestPortTable::registryFile()
{
    QFETCH(QString, text);
    QFETCH(QString, table);
    QFETCH(int, foreign);
    QFETCH(int, problems);
    const RegistryText parsed = parseRegistry(text);
    QCOMPARE(parsed.table, parsePortTable(table));
    QCOMPARE(parsed.foreign.size(), foreign);
    QCOMPARE(parsed.problems.size(), problems);
    const RegistryText again = parseRegistry(formatRegistry(parsed.table));
    QCOMPARE(again.table, parsed.table);
    QVERIFY(again.problems.isEmpty());
}

void TestPortTable::numbersHoldFromSearchToSearch()
{
    const QString file = config_.filePath(QStringLiteral("veltrano/ports"));
    QCOMPARE(portRegistryPath(), file);
    PortTable table;
    table.rescan(devices(QStringLiteral("/dev/ttyS0 /dev/ttyUSB0>/id/a")));
    QCOMPARE(table.devices(), parsePortTable(QStringLiteral("COM1=/id/a;COM2=/dev/ttyS0")));
    // Another run, the adapter gone and another one come: COM1 is nothing, not the newcomer.
    table.rescan(devices(QStringLiteral("/dev/ttyS0 /dev/ttyUSB0>/id/b")));
    QCOMPARE(table.devices(), parsePortTable(QStringLiteral("COM2=/dev/ttyS0;COM3=/id/b")));
    QVERIFY(table.describe(1).isEmpty());
    QCOMPARE(table.describe(3), QStringLiteral("/dev/ttyUSB0 (by-id b)"));
    QVERIFY(messages.isEmpty());

    QFile damaged(file);
    QVERIFY(damaged.open(QIODevice::Append) && damaged.write("COM9\n") == 5);
    damaged.close();
    table.rescan(devices(QStringLiteral("/dev/ttyUSB1>/id/a")));
    QCOMPARE(table.devices(), parsePortTable(QStringLiteral("COM1=/id/a")));
    // A line not of the file's own form: the file is moved aside whole, its numbers kept.
    QCOMPARE(messages.size(), 1);
    QVERIFY2(messages.first().contains("moved it to " + file + ".damaged"), qPrintable(messages.first()));
    QVERIFY(QFile::exists(file + ".damaged"));
    QVERIFY(damaged.open(QIODevice::ReadOnly));
    const RegistryText rebuilt = parseRegistry(QString::fromUtf8(damaged.readAll()));
    QCOMPARE(rebuilt.table, parsePortTable(QStringLiteral("COM1=/id/a;COM2=/dev/ttyS0;COM3=/id/b")));
    QVERIFY(rebuilt.problems.isEmpty());
}

// What stands at a path, the way lstat sees it: "link:<target>", "folder" or the file's bytes' hash.
QString entryAt(const QString& path)
{
    const QFileInfo info(path);
    if (info.isSymLink())
        return "link:" + info.symLinkTarget();
    if (info.isDir())
        return "folder";
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256).toHex();
}

void TestPortTable::numberFileKeepsWhatIsNotOurs_data()
{
    const QByteArray header = "# veltrano port numbers\n";
    QTest::addColumn<QString>("entry"); // what stands at the path: "file", "link" to "outside", "folder"
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("outcome"); // "updated", "moved aside" or "untouched"
    QTest::addColumn<QString>("table"); // after the search
    QTest::newRow("ours through a link") << "link" << header + "COM5=/id/a\n"
                                         << "updated"
                                         << "COM5=/id/a;COM1=/dev/ttyS0";
    QTest::newRow("link to a foreign file")
        << "link" << QByteArray("root:x:0:0:root:/root:/bin/bash\n") << "moved aside"
        << "COM1=/id/a;COM2=/dev/ttyS0";
    QTest::newRow("link to nothing") << "link" << QByteArray() << "moved aside"
                                     << "COM1=/id/a;COM2=/dev/ttyS0";
    QTest::newRow("one foreign line") << "file" << header + "COM5=/id/a\n\x01\x1b[2Jjunk\n"
                                      << "moved aside"
                                      << "COM5=/id/a;COM1=/dev/ttyS0";
    QByteArray junk(5 << 20, '\0');
    for (char& c : junk)
        c = char(QRandomGenerator::global()->bounded(256));
    QTest::newRow("5 MB of junk") << "file" << junk << "moved aside"
                                  << "COM1=/id/a;COM2=/dev/ttyS0";
    QTest::newRow("damaged name taken") << "file" << QByteArray("COM1\n") << "moved aside .1"
                                        << "COM1=/id/a;COM2=/dev/ttyS0";
    // Root reads any file whatever its mode; this read fails for everyone.
    QTest::newRow("unreadable") << "link /proc/self/mem" << QByteArray() << "untouched"
                                << "COM1=/id/a;COM2=/dev/ttyS0";
    QTest::newRow("a folder in its place") << "folder" << QByteArray() << "untouched"
                                           << "COM1=/id/a;COM2=/dev/ttyS0";
}

void TestPortTable::numberFileKeepsWhatIsNotOurs()
{
    QFETCH(QString, entry);
    QFETCH(QByteArray, content);
    QFETCH(QString, outcome);
    QFETCH(QString, table);
    QTemporaryDir home;
    QVERIFY(QDir(home.path()).mkpath("config/veltrano"));
    const QString file = home.filePath("config/veltrano/ports");
    const QString outside = home.filePath("outside");
    if (entry == "file" || (entry == "link" && !content.isEmpty())) {
        QFile written(entry == "file" ? file : outside);
        QVERIFY(written.open(QIODevice::WriteOnly) && written.write(content) == content.size());
    }
    if (entry.startsWith("link"))
        QVERIFY(QFile::link(entry == "link" ? outside : entry.section(u' ', 1), file));
    if (entry == "folder")
        QVERIFY(QDir().mkdir(file));
    if (outcome.endsWith(".1"))
        QVERIFY(QFile(file + ".damaged").open(QIODevice::WriteOnly));
    const QString before = entryAt(file), outsideBefore = entryAt(outside);

    qputenv("XDG_CONFIG_HOME", home.filePath("config").toLocal8Bit());
    PortTable ports;
    ports.rescan(devices(QStringLiteral("/dev/ttyS0 /dev/ttyUSB0>/id/a")));
    qputenv("XDG_CONFIG_HOME", config_.path().toLocal8Bit());

    QCOMPARE(ports.devices(), parsePortTable(table));
    auto readsAs = [](const QString& path, const QString& expected) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly)
               && parseRegistry(QString::fromUtf8(f.readAll())).table == parsePortTable(expected);
    };
    if (outcome == "updated") {
        QVERIFY(QFileInfo(file).isSymLink());
        QVERIFY(readsAs(outside, table));
        QVERIFY(messages.isEmpty());
        return;
    }
    QCOMPARE(messages.size(), 1);
    QCOMPARE(entryAt(outside), outsideBefore);
    if (outcome == "untouched") {
        QCOMPARE(entryAt(file), before);
        QVERIFY(!QFileInfo::exists(file + ".damaged") && !QFileInfo(file + ".damaged").isSymLink());
        QVERIFY2(messages.first().contains("hold for this run only"), qPrintable(messages.first()));
        return;
    }
    const QString aside = file + (outcome.endsWith(".1") ? ".damaged.1" : ".damaged");
    QCOMPARE(entryAt(aside), before);
    QVERIFY2(messages.first().contains("moved it to " + aside), qPrintable(messages.first()));
    QVERIFY(!messages.first().contains(QChar(0x1b)));
    struct stat st { };
    QVERIFY(::lstat(QFile::encodeName(file).constData(), &st) == 0 && S_ISREG(st.st_mode));
    const mode_t mask = ::umask(0);
    ::umask(mask);
    QCOMPARE(st.st_mode & 0777, 0644 & ~mask);
    QVERIFY(readsAs(file, table));
}

void TestPortTable::byIdLinksFollowTheDevices()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid() && QDir(dir.path()).mkdir("by-id"));
    const QString root = QFileInfo(dir.path()).canonicalFilePath();
    for (const char* name : {"ttyUSB0", "ttyUSB1"})
        QVERIFY(QFile(root + "/" + name).open(QIODevice::WriteOnly));
    const QStringList links = {"usb-b>ttyUSB0", "usb-a>ttyUSB0", "usb-c>ttyUSB1", "gone>ttyUSB2"};
    for (const QString& link : links)
        QVERIFY(QFile::link("../" + link.section(u'>', 1), root + "/by-id/" + link.section(u'>', 0, 0)));
    const QMap<QString, QString> expected{{root + "/ttyUSB0", root + "/by-id/usb-a"},
                                          {root + "/ttyUSB1", root + "/by-id/usb-c"}};
    QCOMPARE(byIdLinks(root + "/by-id"), expected);
}

void TestPortTable::windowsNames_data()
{
    QTest::addColumn<QString>("names");
    QTest::addColumn<QString>("table");
    QTest::addColumn<QString>("unnumbered");
    QTest::newRow("own numbers") << "COM3 COM1 COM16"
                                 << "COM1=COM1;COM3=COM3;COM16=COM16"
                                 << "";
    QTest::newRow("past 16 and others") << "COM17 COM4 CNCA0 COM04"
                                        << "COM4=COM4"
                                        << "COM17 CNCA0 COM04";
}

void TestPortTable::windowsNames()
{
    QFETCH(QString, names);
    QFETCH(QString, table);
    QFETCH(QString, unnumbered);
    QStringList left;
    QCOMPARE(systemComPorts(names.split(u' ', Qt::SkipEmptyParts), &left), parsePortTable(table));
    QCOMPARE(left, unnumbered.split(u' ', Qt::SkipEmptyParts));
}

QTEST_GUILESS_MAIN(TestPortTable)
#include "test_port_table.moc"
