// The connect toggle: opening, greeting, closing and what the window shows around them.
#include "support/form_fixture.h"

#include <QLineEdit>
#include <QtTest>

using namespace veltrano;
using veltrano::testing::FormFixture;

class ConnectionTest : public QObject {
    Q_OBJECT
private slots:
    void connect_opensGreetsOnceAndStartsProgress()
    {
        FormFixture f({3});
        f.form->progressTicks = 7;
        f.connect("COM3");
        QVERIFY(f.serial->portOpen());
        QCOMPARE(f.serial->commPort(), 3);
        QCOMPARE(f.serial->outputs, QList<QByteArray>{"A"});
        QCOMPARE(f.form->Command4->text(), QString("DISCONECT"));
        QVERIFY(f.form->Command2->isEnabled());
        QVERIFY(f.form->Text1->isShown() && f.form->Text2->isShown() && f.form->Text7->isShown());
        QCOMPARE(f.form->Text2->text(), QString("\r"));
        QCOMPARE(f.form->progressActive, std::int16_t(1));
        QCOMPARE(f.form->progressTicks, 7.0);
        QCOMPARE(f.serial->threshold(), 1);
        QCOMPARE(f.serial->inputLength(), 1);
        // Connecting alone does not make the motion buttons usable.
        QVERIFY(!f.form->Command1->isEnabled());
    }

    void connect_lineSettingsFollowBaudList_data()
    {
        QTest::addColumn<int>("position");
        QTest::addColumn<QString>("settings");
        QTest::newRow("2400") << 0 << "2400,N,8,1";
        QTest::newRow("9600") << 1 << "9600,N,8,1";
        QTest::newRow("115200") << 2 << "115200,N,8,1";
        QTest::newRow("no selection") << -1 << "115200,N,8,1";
    }
    void connect_lineSettingsFollowBaudList()
    {
        QFETCH(int, position);
        QFETCH(QString, settings);
        FormFixture f({3});
        f.form->Combo3->setCurrentIndex(position);
        f.connect("COM3");
        QCOMPARE(f.serial->settings(), settings);
    }

    void connect_typedBaudTextIsNoSelection()
    {
        FormFixture f({3});
        f.form->Combo3->setCurrentIndex(0);
        QTest::keyClicks(f.form->Combo3->lineEdit(), "9600");
        QCOMPARE(f.form->Combo3->listIndex(), -1);
        f.connect("COM3");
        QCOMPARE(f.serial->settings(), QString("115200,N,8,1"));
    }

    void connect_unknownNameOpensNothing_data()
    {
        QTest::addColumn<QString>("name");
        for (const char* name : {"com3", "COM03", " COM3", "COM17", "COM ERROR", "COM0", ""})
            QTest::newRow(name) << QString(name);
    }
    void connect_unknownNameOpensNothing()
    {
        QFETCH(QString, name);
        FormFixture f({3, 16});
        QCOMPARE(f.serial->commPort(), 16); // left there by the start-up search
        f.serial->openedPorts.clear();
        f.connect(name);
        QVERIFY(!f.serial->portOpen());
        QVERIFY(f.serial->openedPorts.isEmpty());
        QVERIFY(f.serial->outputs.isEmpty());
        QCOMPARE(f.form->Text2->text(), QString("COM PORT DOES NOT HAVE"));
        QCOMPARE(f.form->Command4->text(), QString("CONNECTING"));
        QVERIFY(!f.form->Command2->isEnabled());
        QCOMPARE(f.form->progressActive, std::int16_t(0));
    }

    void connect_openFails_staysDisconnectedWithBoxesShown()
    {
        FormFixture f({3});
        f.serial->setPort(5, FakeSerialControl::Port::InUse);
        f.connect("COM5");
        QVERIFY(!f.serial->portOpen());
        QVERIFY(f.serial->outputs.isEmpty());
        QCOMPARE(f.form->Text2->text(), QString("COM PORT DOES NOT HAVE"));
        QCOMPARE(f.form->Command4->text(), QString("CONNECTING"));
        QVERIFY(!f.form->Command2->isEnabled());
        QVERIFY(f.form->Text1->isShown() && f.form->Text2->isShown() && f.form->Text7->isShown());
        QCOMPARE(f.form->progressActive, std::int16_t(0));
    }

    void connect_failureAfterOpen_keepsConnectedWithoutGreeting_data()
    {
        QTest::addColumn<int>("member");
        QTest::newRow("settings") << int(FakeSerialControl::Member::Settings);
        QTest::newRow("threshold") << int(FakeSerialControl::Member::RThreshold);
        QTest::newRow("input length") << int(FakeSerialControl::Member::InputLen);
        QTest::newRow("greeting") << int(FakeSerialControl::Member::Output);
    }
    void connect_failureAfterOpen_keepsConnectedWithoutGreeting()
    {
        QFETCH(int, member);
        FormFixture f({3});
        f.serial->failAt(FakeSerialControl::Member(member));
        f.connect("COM3");
        QVERIFY(f.serial->portOpen());
        QVERIFY(f.serial->outputs.isEmpty());
        QCOMPARE(f.form->Command4->text(), QString("DISCONECT"));
        QVERIFY(f.form->Command2->isEnabled());
        QCOMPARE(f.form->Text2->text(), QString("\r"));
        QCOMPARE(f.form->progressActive, std::int16_t(0));
    }

    void disconnect_closesHidesAndDisablesEverything()
    {
        FormFixture f({3});
        f.connect("COM3");
        FormFixture::click(f.form->Command2); // a download makes RUN, DIV and STOP usable
        QVERIFY(f.form->Command1->isEnabled());
        f.serial->outputs.clear();
        FormFixture::click(f.form->Command4);
        QVERIFY(!f.serial->portOpen());
        QVERIFY(f.serial->outputs.isEmpty());
        QCOMPARE(f.form->Command4->text(), QString("CONNECTING"));
        QCOMPARE(f.form->Text2->text(), QString("COM PORT DISCONNECTED"));
        QVERIFY(!f.form->Text1->isShown() && !f.form->Text2->isShown() && !f.form->Text7->isShown());
        for (QPushButton* b : {f.form->Command1, f.form->Command2, f.form->Command3, f.form->Command5})
            QVERIFY(!b->isEnabled());
    }

    void disconnect_withPortAlreadyClosed_leavesMotionButtons()
    {
        FormFixture f({3});
        f.connect("COM3");
        FormFixture::click(f.form->Command2);
        f.serial->loseDeviceUnreported();
        FormFixture::click(f.form->Command4);
        QCOMPARE(f.form->Text2->text(), QString("COM PORT DISCONNECTED"));
        QVERIFY(!f.form->Command2->isEnabled());
        QVERIFY(f.form->Command1->isEnabled() && f.form->Command3->isEnabled() && f.form->Command5->isEnabled());
        QVERIFY(!f.form->Text2->isShown());
    }

    void deviceLost_leavesTheSearchStateAndOneClickReconnects_data()
    {
        QTest::addColumn<bool>("chartView");
        QTest::newRow("setup view") << false;
        QTest::newRow("chart view") << true;
    }
    void deviceLost_leavesTheSearchStateAndOneClickReconnects()
    {
        QFETCH(bool, chartView);
        FormFixture f({3, 5});
        Form1& w = *f.form;
        f.connect("COM3");
        FormFixture::click(w.Command2);
        if (chartView)
            FormFixture::click(w.Draw);
        f.serial->loseDevice();
        QCOMPARE(w.Text2->text(), QString("COM PORT DISCONNECTED"));
        QCOMPARE(w.Command4->text(), QString("CONNECTING"));
        for (QPushButton* b : {w.Command1, w.Command2, w.Command3, w.Command5})
            QVERIFY(!b->isEnabled());
        QVERIFY(w.Text2->isShown() && w.progressActive == 1 && w.Combo4->count() == 2);
        f.timer->fire(); // the progress run goes on; the chart view reports the closed port
        QCOMPARE(w.Text7->text(), QString(chartView ? "MSComm = False " : ">"));
        f.serial->outputs.clear();
        FormFixture::click(w.Command4);
        QCOMPARE(f.serial->outputs, QList<QByteArray>{"A"});
    }

    void reconnect_clearsOldStatusAndGreetsAgain()
    {
        FormFixture f({3});
        f.connect("COM3");
        FormFixture::click(f.form->Command4);
        QCOMPARE(f.form->Text2->text(), QString("COM PORT DISCONNECTED"));
        f.connect("COM3");
        QCOMPARE(f.form->Text2->text(), QString("\r"));
        QCOMPARE(f.serial->outputs, (QList<QByteArray>{"A", "A"}));
    }

    void click_clearsProgressLineButNotTheRun()
    {
        FormFixture f({3});
        f.startProgressRun();
        f.timer->fire();
        QCOMPARE(f.form->Text7->text(), QString(">"));
        f.connect("COM3");
        QCOMPARE(f.form->Text7->text(), QString());
        QCOMPARE(f.form->progressTicks, 1.0);
        QCOMPARE(f.form->progressActive, std::int16_t(1));
    }

    void click_withForeignCaption_doesNothingButClearTheLine()
    {
        FormFixture f({3});
        f.form->Text7->setText("x");
        f.form->Command4->setText("connecting");
        FormFixture::click(f.form->Command4);
        QCOMPARE(f.form->Text7->text(), QString());
        QVERIFY(!f.serial->portOpen());
        QVERIFY(!f.form->Text2->isShown());
    }
};

QTEST_MAIN(ConnectionTest)
#include "test_connection.moc"
