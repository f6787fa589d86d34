// RUN, DIV, STOP and TX: one write each while the port is open, nothing otherwise.
#include "support/form_fixture.h"

#include <QtTest>

using namespace veltrano;
using veltrano::testing::FormFixture;

class DirectCommandsTest : public QObject {
    Q_OBJECT
private slots:
    void motionButtons_writeOneCharacterPerClick()
    {
        FormFixture f({3});
        f.connect("COM3");
        FormFixture::click(f.form->Command2);
        f.serial->outputs.clear();
        for (int i = 0; i < 2; ++i) {
            FormFixture::click(f.form->Command1);
            FormFixture::click(f.form->Command3);
            FormFixture::click(f.form->Command5);
        }
        QCOMPARE(f.serial->outputs, (QList<QByteArray>{"J", "T", "I", "J", "T", "I"}));
    }

    void tx_sendsTheTextExactlyAsTyped()
    {
        FormFixture f({3});
        f.connect("COM3");
        f.serial->outputs.clear();
        for (const char* text : {"J", "Q", "hello world", "a\tb"}) {
            f.form->Text1->setText(text);
            FormFixture::click(f.form->TX);
        }
        f.form->Text1->setText("");
        FormFixture::click(f.form->TX);
        QCOMPARE(f.serial->outputs, (QList<QByteArray>{"J", "Q", "hello world", "a\tb", ""}));
    }

    void withPortClosed_nothingIsWrittenOrShown()
    {
        FormFixture f({3});
        f.connect("COM3");
        FormFixture::click(f.form->Command2);
        f.serial->loseDeviceUnreported(); // the buttons are still usable until the loss is reported
        f.serial->outputs.clear();
        f.form->Text1->setText("abc");
        const QString status = f.form->Text2->text();
        for (QPushButton* b : {f.form->Command1, f.form->Command3, f.form->Command5, f.form->TX})
            FormFixture::click(b);
        QVERIFY(f.serial->outputs.isEmpty());
        QCOMPARE(f.form->Text2->text(), status);
        QCOMPARE(f.form->Text7->text(), QString());
    }

    void keysInTheFreeText_sendNothing()
    {
        FormFixture f({3});
        f.connect("COM3");
        f.form->show();
        f.serial->outputs.clear();
        QTest::keyClicks(f.form->Text1->widget(), "JQ");
        QTest::keyClick(f.form->Text1->widget(), Qt::Key_Return);
        QTest::keyClick(f.form->Text1->widget(), Qt::Key_Enter);
        QVERIFY(f.serial->outputs.isEmpty());
        QCOMPARE(f.form->Text1->text(), QString("JQ"));
        FormFixture::click(f.form->TX);
        QCOMPARE(f.serial->outputs, QList<QByteArray>{"JQ"});
    }
};

QTEST_MAIN(DirectCommandsTest)
#include "test_direct_commands.moc"
