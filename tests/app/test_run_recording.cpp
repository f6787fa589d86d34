// Recording a whole run: every decoded frame a row, in order, until the run ends; a file
// that fails keeps its whole rows and the window goes on; an existing file is never replaced.
#include "app/run_record_dialog.h"
#include "support/form_fixture.h"
#include "support/operator_input.h"

#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

#include <sys/resource.h>

using namespace veltrano;
using veltrano::testing::FormFixture;
using veltrano::testing::OperatorInput;

namespace {

// Ctrl+R, and a name typed into its dialog in place of the one it offers.
void startRecording(OperatorInput& input, Form1& form, const QString& path)
{
    input.key(Qt::Key_R, Qt::ControlModifier);
    auto* dialog = form.findChild<RunRecordDialog*>();
    QVERIFY(dialog && dialog->isVisible());
    QVERIFY(dialog->selectedFiles().value(0).endsWith("-run.csv"));
    auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    QVERIFY(name);
    name->setText(path);
    QTest::keyClick(name, Qt::Key_Return);
    QTRY_VERIFY(!dialog->isVisible());
    form.activateWindow(); // as the desktop does when a dialog closes
    QVERIFY(QTest::qWaitForWindowActive(&form));
}

// The rows after the header without their time column, and whether the times never go back.
QStringList rowsOf(const QString& path, bool* timesInOrder)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {"unreadable"};
    const QByteArray all = file.readAll();
    if (!all.endsWith('\n'))
        return {"torn last line"};
    QStringList lines = QString::fromLatin1(all).split(u'\n', Qt::SkipEmptyParts);
    if (lines.isEmpty() || lines.takeFirst() != "t_ms,x,Data_0,Data_1,Data_2,Data_3")
        return {"no header"};
    qint64 last = 0;
    *timesInOrder = true;
    for (QString& line : lines) {
        const qint64 t = line.section(u',', 0, 0).toLongLong();
        *timesInOrder = *timesInOrder && t >= last;
        last = t;
        line = line.section(u',', 1);
    }
    return lines;
}

} // namespace

class RunRecordingTest : public QObject {
    Q_OBJECT
private slots:
    void everyDecodedFrameIsOneRow_data()
    {
        QTest::addColumn<QString>("end");
        QTest::newRow("Ctrl+R") << "Ctrl+R";
        QTest::newRow("DISCONECT") << "disconnect";
        QTest::newRow("FIND COM") << "search";
        QTest::newRow("device lost") << "lost";
        QTest::newRow("window closed") << "close";
    }

    void everyDecodedFrameIsOneRow()
    {
        QFETCH(QString, end);
        FormFixture f({3});
        Form1& form = *f.form;
        OperatorInput input(&form);
        f.connect("COM3");
        QTemporaryDir dir;
        const QString path = dir.filePath("run.csv");
        startRecording(input, form, path);
        QCOMPARE(form.windowTitle(), "VELTRANO - recording run.csv");

        QStringList expected;
        auto frame = [&](int k, bool split = false) {
            const char bytes[] = {char(k), char(100 + k), char(200 + k), char('E' + k), 'E'};
            expected << QStringLiteral("%1,%2,%3,%4,%5")
                            .arg(f.chart->lastX(0) + 1)
                            .arg(k)
                            .arg(100 + k)
                            .arg(200 + k)
                            .arg('E' + k);
            const QByteArray all(bytes, sizeof bytes);
            if (split)
                f.serial->receive(all.left(2));
            f.serial->receive(split ? all.mid(2) : all);
        };
        input.clickOn(form.Draw); // the chart view
        for (int k = 1; k <= 3; ++k) {
            frame(k, k == 2);
            f.timer->fire();
        }
        input.clickOn(form.Check4); // paused: the frame in flight is still decoded and kept
        frame(4);
        QCOMPARE(f.timer->fire(2), 0);
        input.clickOn(form.Draw); // the setup view: replies are text, not frames
        f.serial->receive("ok\r\n");
        input.clickOn(form.Draw);
        input.clickOn(form.Check4);
        f.timer->fire();
        frame(5);
        f.timer->fire();

        if (end == "Ctrl+R")
            input.key(Qt::Key_R, Qt::ControlModifier);
        else if (end == "disconnect")
            input.clickOn(form.Command4);
        else if (end == "search")
            input.clickOn(form.CAP_NHAT);
        else if (end == "lost")
            f.serial->loseDevice();
        else
            form.close();
        QVERIFY(!form.isRecording());
        QCOMPARE(form.windowTitle(), "VELTRANO");
        bool timesInOrder = false;
        QCOMPARE(rowsOf(path, &timesInOrder), expected);
        QVERIFY(timesInOrder);
    }

    void aFailingWriteStopsTheRecordingNotTheWindow()
    {
        FormFixture f({3});
        Form1& form = *f.form;
        OperatorInput input(&form);
        f.connect("COM3");
        input.clickOn(form.Draw);
        QTemporaryDir dir;
        const QString path = dir.filePath("run.csv");
        startRecording(input, form, path);
        // A file that may not grow past 300 bytes fails as a full disk does, part way
        // through a line. (Files the dialog writes are done by now.)
        rlimit old{};
        QVERIFY(getrlimit(RLIMIT_FSIZE, &old) == 0);
        rlimit small = old;
        small.rlim_cur = 300;
        const auto oldAction = std::signal(SIGXFSZ, SIG_IGN);
        QVERIFY(setrlimit(RLIMIT_FSIZE, &small) == 0);
        for (int k = 0; k < 40; ++k) {
            f.serial->receive(QByteArray("\x10\x20\x30\x40"
                                         "E"));
            f.timer->fire();
        }
        QTRY_VERIFY(!form.isRecording());
        QVERIFY(setrlimit(RLIMIT_FSIZE, &old) == 0);
        std::signal(SIGXFSZ, oldAction);

        auto* message = form.findChild<QMessageBox*>();
        QVERIFY(message && message->isVisible());
        bool timesInOrder = false;
        const QStringList rows = rowsOf(path, &timesInOrder);
        QVERIFY2(rows.size() > 0 && rows.size() < 40 && rows.last() != "torn last line", qPrintable(rows.join(u'|')));
        QVERIFY2(message->text().contains(QStringLiteral(" %1 rows were kept").arg(rows.size())),
                 qPrintable(message->text()));
        QCOMPARE(form.windowTitle(), "VELTRANO");
        f.serial->outputs.clear();
        QCOMPARE(f.timer->fire(2), 2); // polling goes on
        QCOMPARE(f.serial->outputs, (QList<QByteArray>(2, "Q")));
    }

    void anExistingFileIsNeverReplaced()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("kept.csv");
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write("an earlier run\n") > 0);
        file.close();
        QVERIFY(QFile::link(path, dir.filePath("link.csv")));
        for (const QString& name : {path, dir.filePath("link.csv")}) {
            QProcess program;
            program.start(QStringLiteral(VELTRANO_EXE), {"--record", name, "-platform", "offscreen"});
            QVERIFY(program.waitForFinished(10000));
            QCOMPARE(program.exitCode(), 2);
            QVERIFY2(program.readAllStandardError().contains("exists"), qPrintable(name));
        }
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), "an earlier run\n");
    }
};

QTEST_MAIN(RunRecordingTest)
#include "test_run_recording.moc"
