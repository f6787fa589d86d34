// Start-up into the setup view, the switch between the two views, and closing.
#include "support/form_fixture.h"

#include <QtTest>

using namespace veltrano;
using veltrano::testing::FormFixture;

class ViewsTest : public QObject {
    Q_OBJECT
private slots:
    void load_hidesSizesFillsAndSeedsTheChart()
    {
        FormFixture f({3, 5});
        Form1& w = *f.form;
        for (TextBox* t : {w.Text1, w.Text2, w.Text7, w.Text4})
            QVERIFY(!t->isShown());
        for (QWidget* c : std::initializer_list<QWidget*>{w.Check4, w.Check2, w.HScroll1})
            QVERIFY(c->isHidden());
        QVERIFY(!f.chart->isVisible());
        QCOMPARE(f.chart->topMm(), 0.0);
        QCOMPARE(f.chart->leftMm(), 42.0);
        QCOMPARE(w.windowWidthTwips(), 11280);
        QCOMPARE(w.windowHeightTwips(), 9105); // 9100 twips to the nearest pixel
        QCOMPARE(w.Text2->widget()->width(), 385); // 101.865 mm
        QCOMPARE(w.Text1->widget()->width(), 353); // 93.5 mm
        QCOMPARE(w.Combo4->count(), 2);
        QCOMPARE(w.Combo4->text(), QString("COM5"));
        for (int s = 0; s < 4; ++s) {
            QCOMPARE(f.chart->pointCount(s), 1);
        }
        QCOMPARE(f.chart->bottomAxisIncrement(), 1.0);
        QCOMPARE(f.chart->coveredBottom(), 41); // the option strip over the chart's lower edge
        QVERIFY(f.serial->outputs.isEmpty());
        QCOMPARE(w.Text2->text(), QString());
        QCOMPARE(w.Text7->text(), QString());
        QCOMPARE(w.Draw->text(), QString("SIMULATION"));
    }

    void load_addsToTheListWithoutClearing()
    {
        FormFixture f({4}, false);
        f.form->Combo4->addListItem("COM9");
        f.form->load();
        QCOMPARE(f.form->Combo4->count(), 2);
        QCOMPARE(f.form->Combo4->itemText(1), QString("COM4"));
    }

    void load_withNoUsablePort_showsComError()
    {
        FormFixture f;
        QCOMPARE(f.form->Combo4->count(), 0);
        QCOMPARE(f.form->Combo4->text(), QString("COM ERROR"));
    }

    void chartView_withPortOpen_pollsOnceAndEmptiesTheBox()
    {
        FormFixture f({3});
        f.connect("COM3");
        f.serial->outputs.clear();
        FormFixture::click(f.form->Draw);
        Form1& w = *f.form;
        QCOMPARE(w.Draw->text(), QString("Stop"));
        QCOMPARE(f.serial->outputs, QList<QByteArray>{"Q"});
        QCOMPARE(w.Text2->text(), QString("\r"));
        QCOMPARE(w.Command4->text(), QString("DISCONECT"));
        QVERIFY(w.Command2->isEnabled());
        QVERIFY(f.chart->isVisible());
        QVERIFY(!w.Check4->isHidden() && !w.Check2->isHidden() && !w.HScroll1->isHidden() && w.Text4->isShown());
        QVERIFY(w.Check3->isHidden());
        QCOMPARE(w.windowWidthTwips(), 14430);
        QCOMPARE(w.windowHeightTwips(), 9915);
        QCOMPARE(w.Text2->widget()->width(), 145); // 38.365 mm
        QCOMPARE(w.Text1->widget()->width(), 113); // 29.898 mm
    }

    void chartView_withPortClosed_reportsAndResetsTheConnection()
    {
        FormFixture f({3});
        f.connect("COM3");
        f.serial->loseDeviceUnreported();
        FormFixture::click(f.form->Draw);
        QCOMPARE(f.form->Draw->text(), QString("Stop"));
        QVERIFY(f.serial->outputs == QList<QByteArray>{"A"});
        QCOMPARE(f.form->Text2->text(), QString("COM PORT DOES NOT HAVE"));
        QCOMPARE(f.form->Command4->text(), QString("CONNECTING"));
        QVERIFY(!f.form->Command2->isEnabled());
    }

    void setupView_writesNothingAndKeepsTheTexts()
    {
        FormFixture f({3});
        f.connect("COM3");
        FormFixture::click(f.form->Draw);
        f.form->Text2->setText("0AB");
        f.form->Text7->setText("D");
        f.serial->outputs.clear();
        FormFixture::click(f.form->Draw);
        Form1& w = *f.form;
        QCOMPARE(w.Draw->text(), QString("SIMULATION"));
        QVERIFY(f.serial->outputs.isEmpty());
        QCOMPARE(w.Text2->text(), QString("0AB"));
        QCOMPARE(w.Text7->text(), QString("D"));
        QVERIFY(!f.chart->isVisible());
        QVERIFY(w.Check4->isHidden() && w.Check2->isHidden() && w.HScroll1->isHidden() && !w.Text4->isShown());
        QVERIFY(!w.Check3->isHidden());
        QCOMPARE(w.windowWidthTwips(), 11280);
        QCOMPARE(w.Text2->widget()->width(), 385);
    }

    void switching_keepsEverythingItDoesNotList()
    {
        FormFixture f({3});
        Form1& w = *f.form;
        f.connect("COM3");
        w.Text3->setText("123");
        w.Check1->click();
        w.Check3->click();
        w.Combo1->setCurrentIndex(2);
        f.timer->fire(); // the greeting's progress run takes a step
        FormFixture::click(w.Draw);
        w.HScroll1->setValue(125);
        w.Check2->click();
        f.timer->fire();
        w.Check4->click();
        FormFixture::click(w.Draw);
        FormFixture::click(w.Draw);
        QCOMPARE(w.Text3->text(), QString("123"));
        QVERIFY(w.Check1->isChecked() && w.Check3->isChecked());
        QCOMPARE(w.Combo1->listIndex(), 2);
        QCOMPARE(w.HScroll1->value(), 125);
        QCOMPARE(w.Text4->text(), QString("125"));
        QVERIFY(w.Check2->isChecked() && f.chart->view3D());
        QVERIFY(w.Check4->isChecked() && !f.timer->isEnabled());
        QCOMPARE(f.chart->pointCount(0), 2);
        QVERIFY(f.serial->portOpen());
        QCOMPARE(w.progressActive, std::int16_t(1));
        QCOMPARE(w.progressTicks, 2.0);
    }

    void resizedWindow_getsTheViewSizeBackOnTheNextSwitch()
    {
        FormFixture f;
        f.form->resize(300, 200);
        FormFixture::click(f.form->Draw);
        QCOMPARE(f.form->windowWidthTwips(), 14430);
        QCOMPARE(f.form->windowHeightTwips(), 9915);
    }

    void foreignCaption_switchesNothing()
    {
        FormFixture f;
        f.form->Draw->setText("stop");
        FormFixture::click(f.form->Draw);
        QCOMPARE(f.form->Draw->text(), QString("stop"));
        QVERIFY(!f.chart->isVisible());
    }

    void end_closesTheWindowFromEitherViewSendingNothing()
    {
        for (bool chartView : {false, true}) {
            FormFixture f({3});
            f.connect("COM3");
            if (chartView)
                FormFixture::click(f.form->Draw);
            f.form->show();
            f.serial->outputs.clear();
            FormFixture::click(f.form->End);
            QVERIFY(!f.form->isVisible());
            QVERIFY(f.serial->outputs.isEmpty());
        }
    }
};

QTEST_MAIN(ViewsTest)
#include "test_views.moc"
