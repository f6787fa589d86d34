// The program's command line: what starts the window, what answers and ends, what is refused.
#include "app/command_line.h"

#include <QRegularExpression>
#include <QtTest>

using namespace veltrano;

class CommandLineTest : public QObject {
    Q_OBJECT
private slots:
    void answers_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("run");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("output");  // patterns
        QTest::addColumn<QString>("errors");

        const QString none = QStringLiteral("^$");
        const QString help = QStringLiteral("^Usage: \\S+ \\[options\\]\\n.*-h, --help.*-v, --version");
        const QString refused = QStringLiteral("^veltrano: %1\\n\\nUsage: ");
        QTest::newRow("no arguments") << QStringList{} << true << 0 << none << none;
        QTest::newRow("--version") << QStringList{"--version"} << false << 0
                                   << QStringLiteral("^veltrano \\d+\\.\\d+(\\.\\d+)*\\n$") << none;
        QTest::newRow("-v") << QStringList{"-v"} << false << 0 << QStringLiteral("^veltrano \\d") << none;
        QTest::newRow("--help") << QStringList{"--help"} << false << 0 << help << none;
        QTest::newRow("-h") << QStringList{"-h"} << false << 0 << help << none;
        QTest::newRow("--help-all") << QStringList{"--help-all"} << false << 0
                                    << help + QStringLiteral(".*Qt's options.* -platform <value>") << none;
        QTest::newRow("unknown option") << QStringList{"--bogus"} << false << 2 << none
                                        << refused.arg("Unknown option 'bogus'\\.");
        QTest::newRow("unknown option beside --version") << QStringList{"--version", "-x"} << false << 2
                                                         << none << refused.arg("Unknown option 'x'\\.");
        QTest::newRow("stray argument") << QStringList{"COM3"} << false << 2 << none
                                        << refused.arg("unexpected argument 'COM3'\\.");
        QTest::newRow("stray argument after --") << QStringList{"--", "--help"} << false << 2 << none
                                                 << refused.arg("unexpected argument '--help'\\.");
        QTest::newRow("--record") << QStringList{"--record", "run.csv"} << true << 0 << none << none;
        QTest::newRow("--record without its file") << QStringList{"--record"} << false << 2 << none
                                                   << refused.arg("Missing value after '--record'\\.");
        QTest::newRow("Qt's options pass") << QStringList{"-platform", "xcb", "-style=Fusion", "-reverse"}
                                           << true << 0 << none << none;
        QTest::newRow("Qt's option without its value")
            << QStringList{"-platform"} << false << 2 << none
            << refused.arg("Missing value after '-platform'\\.");
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
            return QRegularExpression(pattern, QRegularExpression::DotMatchesEverythingOption)
                .match(text)
                .hasMatch();
        };
        QVERIFY2(matches(output, answer.output), qPrintable(answer.output));
        QVERIFY2(matches(errors, answer.errors), qPrintable(answer.errors));
    }
};

QTEST_MAIN(CommandLineTest)
#include "test_command_line.moc"
