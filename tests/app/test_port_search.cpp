// The port search: the list holds the ports that open right now, in ascending order.
#include "support/form_fixture.h"

#include <QtTest>

using namespace veltrano;
using veltrano::testing::FormFixture;

namespace {
QStringList listed(const DropDownCombo* box)
{
    QStringList items;
    for (int i = 0; i < box->count(); ++i)
        items << box->itemText(i);
    return items;
}

QStringList warnings;
void collectWarning(QtMsgType type, const QMessageLogContext&, const QString& text)
{
    if (type == QtWarningMsg)
        warnings << text;
}
} // namespace

class PortSearchTest : public QObject {
    Q_OBJECT
private slots:
    void search_listsUsablePortsAscendingAndShowsTheHighest_data()
    {
        QTest::addColumn<QList<int>>("usable");
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QString>("shown");
        QTest::newRow("3 and 5") << QList<int>{5, 3} << QStringList{"COM3", "COM5"} << "COM5";
        QTest::newRow("only 16") << QList<int>{16} << QStringList{"COM16"} << "COM16";
        QTest::newRow("1, 2 and 16") << QList<int>{1, 2, 16} << QStringList{"COM1", "COM2", "COM16"} << "COM16";
        QTest::newRow("none") << QList<int>{} << QStringList{} << "COM ERROR";
    }
    void search_listsUsablePortsAscendingAndShowsTheHighest()
    {
        QFETCH(QList<int>, usable);
        QFETCH(QStringList, names);
        QFETCH(QString, shown);
        FormFixture f({}, false);
        for (int n : usable)
            f.serial->setPort(n, FakeSerialControl::Port::Available);
        FormFixture::click(f.form->CAP_NHAT);
        QCOMPARE(listed(f.form->Combo4), names);
        QCOMPARE(f.form->Combo4->text(), shown);
        QCOMPARE(f.serial->commPort(), 16);
        QVERIFY(!f.serial->portOpen());
        QVERIFY(f.serial->outputs.isEmpty());
        for (QPushButton* b : {f.form->Command1, f.form->Command2, f.form->Command3, f.form->Command5})
            QVERIFY(!b->isEnabled());
    }

    void search_leavesOutPortsInUseOrFailing()
    {
        FormFixture f({}, false);
        f.serial->setPort(2, FakeSerialControl::Port::InUse);
        f.serial->setPort(4, FakeSerialControl::Port::Available);
        f.serial->setPort(6, FakeSerialControl::Port::Available);
        QCOMPARE(f.form->ProbePort(2), false);
        QCOMPARE(f.form->ProbePort(9), false);
        QCOMPARE(f.form->ProbePort(6), true);
        f.serial->failAt(FakeSerialControl::Member::Close);
        QCOMPARE(f.form->ProbePort(4), false);
    }

    void probe_neverRaisesAndFailsWhileOpen()
    {
        FormFixture f({3, 7});
        f.connect("COM3");
        // The control's port is open, so its number cannot change and nothing else is probed.
        QCOMPARE(f.form->ProbePort(7), false);
        QCOMPARE(f.form->ProbePort(3), false);
        QVERIFY(f.serial->portOpen());
        f.serial->failAt(FakeSerialControl::Member::CommPort);
        QCOMPARE(f.form->ProbePort(3), false);
    }

    void search_whileConnected_closesAndListsThePortAgain()
    {
        FormFixture f({3, 5});
        f.connect("COM3");
        FormFixture::click(f.form->Command2);
        QVERIFY(f.form->Command1->isEnabled());
        f.serial->outputs.clear();
        FormFixture::click(f.form->CAP_NHAT);
        QVERIFY(!f.serial->portOpen());
        QCOMPARE(f.form->Text2->text(), QString("COM PORT DISCONNECTED"));
        QCOMPARE(f.form->Command4->text(), QString("CONNECTING"));
        QCOMPARE(listed(f.form->Combo4), (QStringList{"COM3", "COM5"}));
        QVERIFY(f.serial->outputs.isEmpty());
        // Unlike a disconnect click, the search leaves the three boxes showing.
        QVERIFY(f.form->Text1->isShown() && f.form->Text2->isShown() && f.form->Text7->isShown());
        for (QPushButton* b : {f.form->Command1, f.form->Command2, f.form->Command3, f.form->Command5})
            QVERIFY(!b->isEnabled());
    }

    void search_twice_givesTheSameListNotADoubledOne()
    {
        FormFixture f({3, 5});
        FormFixture::click(f.form->CAP_NHAT);
        FormFixture::click(f.form->CAP_NHAT);
        QCOMPARE(listed(f.form->Combo4), (QStringList{"COM3", "COM5"}));
    }

    void search_leavesProgressAndCaptionAlone()
    {
        FormFixture f({3});
        f.form->progressActive = 1;
        f.form->Command4->setText("CONNECTING");
        FormFixture::click(f.form->CAP_NHAT);
        QCOMPARE(f.form->progressActive, std::int16_t(1));
        QCOMPARE(f.form->Text2->text(), QString()); // nothing was open, so nothing to report
    }

    // Steps: "hold N <holder>", "free N", "search", "connect COMn" (typed, then CONNECTING).
    void heldPort_isNamedInTheListTooltipAndOnceOnStderr_data()
    {
        const QString mini = "in use by minicom, pid 4242", other = "in use by another program";
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QString>("toolTip");
        QTest::addColumn<QStringList>("errors"); // each a warning of the program's log
        QTest::addColumn<QString>("shown"); // Combo4's text
        QTest::addColumn<QString>("status"); // Text2
        const QString held = "hold 3 " + mini;
        QTest::newRow("searched twice, connect refused") << QStringList{held, "search", "search", "connect COM3"}
                                                         << "COM3: " + mini << QStringList{"COM3: " + mini} << "COM3"
                                                         << "COM PORT DOES NOT HAVE";
        QTest::newRow("nothing free") << QStringList{"hold 12 " + other, "hold 5 " + other, held, "search"}
                                      << "COM3: " + mini + "\nCOM5: " + other + "\nCOM12: " + other
                                      << QStringList{"COM3: " + mini, "COM5: " + other, "COM12: " + other}
                                      << "COM ERROR"
                                      << "";
        QTest::newRow("changes hands") << QStringList{"hold 3 " + other, "search", held, "search"} << "COM3: " + mini
                                       << QStringList{"COM3: " + other, "COM3: " + mini} << "COM5"
                                       << "";
        QTest::newRow("let go, held again")
            << QStringList{held, "search", "free 3", "search", held, "search"} << "COM3: " + mini
            << QStringList{"COM3: " + mini, "COM3: " + mini} << "COM5"
            << "";
        QTest::newRow("let go, connected") << QStringList{held, "connect COM3", "free 3", "connect COM3"} << ""
                                           << QStringList{"COM3: " + mini} << "COM3"
                                           << "\r";
    }
    void heldPort_isNamedInTheListTooltipAndOnceOnStderr()
    {
        QFETCH(QStringList, steps);
        QFETCH(QStringList, errors);
        FormFixture f({5}, false);
        warnings.clear();
        const QtMessageHandler passOn = qInstallMessageHandler(collectWarning);
        const auto restore = qScopeGuard([passOn] { qInstallMessageHandler(passOn); });
        for (const QString& step : steps) {
            const QStringList words = step.split(' ');
            if (words[0] == "hold" || words[0] == "free")
                f.serial->setPort(words[1].toInt(),
                                  words[0] == "hold" ? FakeSerialControl::Port::InUse
                                                     : FakeSerialControl::Port::Available,
                                  words.mid(2).join(' '));
            else if (words[0] == "search")
                FormFixture::click(f.form->CAP_NHAT);
            else
                f.form->Combo4->setText(words[1]), FormFixture::click(f.form->Command4);
        }
        QTEST(f.form->Combo4->toolTip(), "toolTip");
        QCOMPARE(warnings, errors);
        QTEST(f.form->Combo4->text(), "shown");
        QTEST(f.form->Text2->text(), "status");
    }

    void listedItems_carryTheDeviceAsTooltipAndNoSelection()
    {
        FormFixture f({3});
        QCOMPARE(f.form->Combo4->itemData(0, Qt::ToolTipRole).toString(), QString("/dev/fake3"));
        QCOMPARE(f.form->Combo4->listIndex(), -1);
    }
};

QTEST_MAIN(PortSearchTest)
#include "test_port_search.moc"
