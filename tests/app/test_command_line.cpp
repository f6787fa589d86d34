// The program's command line: what starts the window, what answers and ends, what is refused.
#include "app/command_line.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#ifndef VELTRANO_EXE
#error "VELTRANO_EXE must name the program"
#endif

using namespace veltrano;

class CommandLineTest : public QObject {
    Q_OBJECT
private slots:
    void answers_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("run");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("output"); // patterns
        QTest::addColumn<QString>("errors");

        const QString none = QStringLiteral("^$");
        const QString help = QStringLiteral("^Usage: \\S+ \\[options\\]\\n.*-h, --help.*-v, --version");
        const QString refused = QStringLiteral("^veltrano: %1\\n\\nUsage: ");
        QTest::newRow("no arguments") << QStringList{} << true << 0 << none << none;
        QTest::newRow("--version") << QStringList{"--version"} << false << 0
                                   << QStringLiteral("^veltrano \\d+\\.\\d+(\\.\\d+)*\\nQt 6\\.\\d+\\.\\d+\\n$")
                                   << none;
        QTest::newRow("-v") << QStringList{"-v"} << false << 0 << QStringLiteral("^veltrano \\d") << none;
        QTest::newRow("--help") << QStringList{"--help"} << false << 0 << help << none;
        QTest::newRow("-h") << QStringList{"-h"} << false << 0 << help << none;
        QTest::newRow("--help-all") << QStringList{"--help-all"} << false << 0
                                    << help + QStringLiteral(".*Qt's options.* -platform <value>") << none;
        QTest::newRow("unknown option") << QStringList{"--bogus"} << false << 2 << none
                                        << refused.arg("Unknown option 'bogus'\\.");
        QTest::newRow("unknown option beside --version")
            << QStringList{"--version", "-x"} << false << 2 << none << refused.arg("Unknown option 'x'\\.");
        QTest::newRow("stray argument") << QStringList{"COM3"} << false << 2 << none
                                        << refused.arg("unexpected argument 'COM3'\\.");
        QTest::newRow("stray argument after --")
            << QStringList{"--", "--help"} << false << 2 << none << refused.arg("unexpected argument '--help'\\.");
        QTest::newRow("--record") << QStringList{"--record", "run.csv"} << true << 0 << none << none;
        QTest::newRow("--record without its file")
            << QStringList{"--record"} << false << 2 << none << refused.arg("Missing value after '--record'\\.");
        QTest::newRow("Qt's options pass")
            << QStringList{"-platform", "xcb", "-style=Fusion", "-reverse"} << true << 0 << none << none;
        QTest::newRow("Qt's option without its value")
            << QStringList{"-platform"} << false << 2 << none << refused.arg("Missing value after '-platform'\\.");
    }

    void answers()
    {
        QFETCH(QStringList, arguments);
        QFETCH(bool, run);
        QFETCH(int, status);
        QFETCH(QString, output);
        QFETCH(QString, errors);

        arguments.prepend(QStringLiteral("veltrano"));
        const CommandLineAnswer answer = readCommandLine(arguments);
        QCOMPARE(answer.run, run);
        QCOMPARE(answer.exitStatus, status);
        const auto matches = [](const QString& pattern, const QString& text) {
            return QRegularExpression(pattern, QRegularExpression::DotMatchesEverythingOption).match(text).hasMatch();
        };
        QVERIFY2(matches(output, answer.output), qPrintable(answer.output));
        QVERIFY2(matches(errors, answer.errors), qPrintable(answer.errors));
    }

    // --simulate and --replay: the simulated board's port, or one line of refusal.
    void simulatedBoardPort_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("port"); // 0: refused
        QTest::newRow("--simulate") << QStringList{"--simulate"} << 3;
        QTest::newRow("-simulate") << QStringList{"-simulate"} << 3;
        QTest::newRow("--simulate=COM7") << QStringList{"--simulate=COM7"} << 7;
        QTest::newRow("--simulate=com16") << QStringList{"--simulate=com16"} << 16;
        QTest::newRow("--simulate COM7") << QStringList{"--simulate", "COM7"} << 7;
        QTest::newRow("--simulate COM17") << QStringList{"--simulate", "COM17"} << 0;
        QTest::newRow("--replay implies it") << QStringList{"--replay", "run.csv"} << 3;
        QTest::newRow("--replay with a port") << QStringList{"--replay", "run.csv", "--simulate=COM9"} << 9;
        QTest::newRow("COM0") << QStringList{"--simulate=COM0"} << 0;
        QTest::newRow("COM17") << QStringList{"--simulate=COM17"} << 0;
        QTest::newRow("COM05") << QStringList{"--simulate=COM05"} << 0;
        QTest::newRow("foo") << QStringList{"--simulate=foo"} << 0;
    }

    void simulatedBoardPort()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, port);
        arguments.prepend(QStringLiteral("veltrano"));
        const CommandLineAnswer answer = readCommandLine(arguments);
        QCOMPARE(answer.run, port != 0);
        QCOMPARE(answer.simulatedPort, port);
        QCOMPARE(answer.exitStatus, port ? 0 : 2);
        if (!port)
            QVERIFY2(answer.errors.startsWith("veltrano: --simulate=") && answer.errors.count(u'\n') == 1,
                     qPrintable(answer.errors));
    }

    // The program refuses what it cannot simulate before it opens a window (a platform
    // that does not exist would end it otherwise), with one line on standard error.
    void refusedBeforeAnyWindow_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("desktop");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("error");
        QTest::newRow("COM17") << QStringList{"--simulate=COM17"} << true << 2
                               << "veltrano: --simulate=COM17: the simulated board takes a port from COM1 to COM16";
        QTest::newRow("no usable row") << QStringList{"--replay", "header-only.csv"} << true << 2
                                       << "veltrano: --replay header-only.csv: no usable row; nothing to replay";
        QTest::newRow("no such file") << QStringList{"--simulate", "--replay", "missing.csv"} << true << 2
                                      << "veltrano: --replay missing.csv: cannot read: No such file or directory; "
                                         "nothing to replay";
#ifndef Q_OS_WIN
        const QString noDesktop
            = "veltrano: no desktop session to open the window in (DISPLAY and WAYLAND_DISPLAY are unset)";
        QTest::newRow("no desktop") << QStringList{} << false << 1 << noDesktop;
        QTest::newRow("no desktop, --simulate") << QStringList{"--simulate"} << false << 1 << noDesktop;
        QTest::newRow("no desktop, --version") << QStringList{"--version"} << false << 0 << "";
#endif
    }

    void refusedBeforeAnyWindow()
    {
        QFETCH(QStringList, arguments);
        QFETCH(bool, desktop);
        QFETCH(int, status);
        QFETCH(QString, error);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QFile header(dir.filePath("header-only.csv"));
        QVERIFY(header.open(QIODevice::WriteOnly) && header.write("x,Data_0,Data_1,Data_2,Data_3\n1,2,3\n") > 0);
        header.close();
        QProcess program;
        program.setWorkingDirectory(dir.path());
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        if (desktop) {
            environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("no-such-platform"));
        } else {
            for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
                environment.remove(QString::fromLatin1(name));
        }
        program.setProcessEnvironment(environment);
        program.start(QStringLiteral(VELTRANO_EXE), arguments);
        QVERIFY(program.waitForFinished(10000));
        QCOMPARE(program.exitCode(), status);
        // Windows ends its lines in CR LF.
        const QStringList lines
            = QString::fromLocal8Bit(program.readAllStandardError()).remove(u'\r').split(u'\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.value(lines.size() - 1), error);
        QVERIFY2(lines.size() <= 2, qPrintable(lines.join(u'\n'))); // at most the bad row before it
    }

#ifndef Q_OS_WIN
    // A message of the running program's log, on standard error with the program's prefix.
    void runningProgramLogsWithItsPrefix()
    {
        QTemporaryDir config;
        QProcess program;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
        environment.insert(QStringLiteral("VELTRANO_PORTS"), QStringLiteral("COM3=/dev/null"));
        program.setProcessEnvironment(environment);
        program.start(QStringLiteral(VELTRANO_EXE), {QStringLiteral("--simulate=COM3")});
        QByteArray errors;
        auto programLine = [&] {
            errors += program.readAllStandardError();
            const qsizetype at = errors.indexOf("veltrano: ");
            return at < 0 || errors.indexOf('\n', at) < 0 ? QByteArray()
                                                          : errors.mid(at, errors.indexOf('\n', at) - at);
        };
        QTRY_VERIFY_WITH_TIMEOUT(!programLine().isEmpty(), 10000);
        program.kill();
        program.waitForFinished();
        QCOMPARE(programLine(), QByteArray("veltrano: COM3 (/dev/null) is out of reach for this run: COM3 is the "
                                           "simulated driver board"));
    }
#endif
};

QTEST_MAIN(CommandLineTest)
#include "test_command_line.moc"
