// Ctrl+R's dialog refuses a name a recording must not take: it stays open with the reason,
// nothing is recorded, and a file that was there is left as it was.
#include "app/run_record_dialog.h"
#include "support/form_fixture.h"
#include "support/operator_input.h"

#include <QLineEdit>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QtTest>

using namespace veltrano;
using veltrano::testing::FormFixture;
using veltrano::testing::OperatorInput;

class RecordRefusalsTest : public QObject {
    Q_OBJECT
private slots:
    void aNameThatMustNotBeWritten_keepsTheDialogOpen_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("reason");
        QTest::newRow("an existing file") << "kept.csv"
                                          << "exists; a recording never replaces a file";
#ifdef Q_OS_WIN
        // Windows opens the device for these, in any folder and with any extension.
        QTest::newRow("CON") << "CON"
                             << "names a device";
        QTest::newRow("nul.csv") << "nul.csv"
                                 << "names a device";
        QTest::newRow("COM3.csv") << "COM3.csv"
                                  << "names a device";
        QTest::newRow("LPT1.run.csv") << "LPT1.run.csv"
                                      << "names a device";
#endif
    }
    void aNameThatMustNotBeWritten_keepsTheDialogOpen()
    {
        QFETCH(QString, name);
        QFETCH(QString, reason);
        FormFixture f({3});
        Form1& form = *f.form;
        f.connect("COM3");
        QTemporaryDir dir;
        QFile kept(dir.filePath("kept.csv"));
        QVERIFY(kept.open(QIODevice::WriteOnly) && kept.write("an earlier run\n") > 0);
        kept.close();

        OperatorInput(&form).key(Qt::Key_R, Qt::ControlModifier);
        auto* dialog = form.findChild<RunRecordDialog*>();
        QVERIFY(dialog && dialog->isVisible());
        auto* typed = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        QVERIFY(typed);
        typed->setText(dir.filePath(name));
        QTest::keyClick(typed, Qt::Key_Return);

        QTRY_VERIFY(dialog->findChild<QMessageBox*>());
        const QString message = dialog->findChild<QMessageBox*>()->text();
        QVERIFY2(message.contains(reason), qPrintable(message));
        QVERIFY(dialog->isVisible());
        QVERIFY(!form.isRecording());
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), "an earlier run\n");
    }
};

QTEST_MAIN(RecordRefusalsTest)
#include "test_record_refusals.moc"
