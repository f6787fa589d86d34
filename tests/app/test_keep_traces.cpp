// Ctrl+S in the chart view: the traces kept as a table and a picture.
#include "app/trace_save_dialog.h"
#include "support/form_fixture.h"

#include <QMessageBox>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

using namespace veltrano;
using veltrano::testing::FormFixture;

namespace {
TraceSaveDialog* openDialog(Form1& form)
{
    QTest::keyClick(&form, Qt::Key_S, Qt::ControlModifier);
    return form.findChild<TraceSaveDialog*>();
}
} // namespace

class KeepTracesTest : public QObject {
    Q_OBJECT
private slots:
    void savesTableAndPictureWhilePollingGoesOn_data()
    {
        QTest::addColumn<bool>("writable");
        QTest::newRow("into a folder") << true;
        QTest::newRow("into a folder that is not there") << false;
    }

    void savesTableAndPictureWhilePollingGoesOn()
    {
        QFETCH(bool, writable);
        FormFixture f({3}, true, FormFixture::Chart::Real);
        Form1& form = *f.form;
        form.show();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        QVERIFY(!openDialog(form)); // the setup view has no traces to keep
        f.connect("COM3");
        FormFixture::click(form.Draw);
        const double x0 = f.realChart->xValue(0, 0);
        QString expected = QStringLiteral("x,Data_0,Data_1,Data_2,Data_3\n%1").arg(x0);
        for (int s = 0; s < 4; ++s)
            expected += QStringLiteral(",%1").arg(f.realChart->yValue(s, 0));
        expected += QLatin1Char('\n');
        for (int k = 1; k <= 3; ++k) {
            const char frame[] = {char(k), char(10 + k), char(20 + k), char(200 + k), 'E'};
            f.serial->receive(QByteArray(frame, sizeof frame));
            f.timer->fire();
            expected += QStringLiteral("%1,%2,%3,%4,%5\n").arg(x0 + k).arg(k).arg(10 + k).arg(20 + k).arg(200 + k);
        }

        f.serial->outputs.clear();
        TraceSaveDialog* dialog = openDialog(form);
        QVERIFY(dialog && dialog->isVisible());
        QVERIFY(
            QRegularExpression(R"(/veltrano-\d{8}-\d{6}\.csv$)").match(dialog->selectedFiles().value(0)).hasMatch());
        QCOMPARE(f.timer->fire(3), 3); // the dialog holds nothing up
        QCOMPARE(f.serial->outputs, (QList<QByteArray>(3, "Q")));

        QTemporaryDir dir;
        const QString base = dir.filePath(writable ? "run" : "missing/run");
        dialog->selectFile(base + ".csv");
        dialog->accept();
        if (!writable) {
            QVERIFY(dialog->isVisible());
            auto* message = dialog->findChild<QMessageBox*>();
            QVERIFY(message && message->text().contains("missing"));
            QVERIFY(!QFile::exists(base + ".csv") && !QFile::exists(base + ".png"));
            return;
        }
        QTRY_VERIFY(!form.findChild<TraceSaveDialog*>());
        QFile csv(base + ".csv");
        QVERIFY(csv.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(csv.readAll()), expected); // taken when the dialog opened
        const QImage png(base + ".png");
        QCOMPARE(png.size(), f.realChart->size());
    }
};

QTEST_MAIN(KeepTracesTest)
#include "test_keep_traces.moc"
