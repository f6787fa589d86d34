// Switching views resizes the window, so its backing store and the chart's images are
// replaced each time; over hours of switching the heap must not keep what they leave.
#include "app/form1.h"
#include "app/application.h"
#include "chart/strip_chart_widget.h"
#include "controls/qt_progress_bar.h"
#include "fakes/fake_serial_control.h"
#include "fakes/fake_tick_timer.h"

#include <QApplication>
#include <QtTest>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#if defined(__SANITIZE_ADDRESS__)
#define VELTRANO_OWN_ALLOCATOR 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VELTRANO_OWN_ALLOCATOR 1
#endif
#endif

using namespace veltrano;

class ViewSwitchMemoryTest : public QObject {
    Q_OBJECT
private slots:
    void repeatedViewSwitchesLeaveTheHeapFlat();
};

void ViewSwitchMemoryTest::repeatedViewSwitchesLeaveTheHeapFlat()
{
#if !defined(__GLIBC__) || defined(VELTRANO_OWN_ALLOCATOR)
    QSKIP("the heap figure is glibc malloc's");
#else
    Form1Parts parts;
    auto serial = std::make_unique<FakeSerialControl>();
    serial->setPort(3, FakeSerialControl::Port::Available);
    FakeSerialControl* line = serial.get();
    parts.serial = std::move(serial);
    auto timer = std::make_unique<FakeTickTimer>();
    FakeTickTimer* clock = timer.get();
    parts.timer = std::move(timer);
    parts.chart = std::make_unique<StripChartWidget>();
    parts.progressBar = std::make_unique<QtProgressBar>();
    Form1 form(std::move(parts));
    form.load();
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    form.Combo4->setText(QStringLiteral("COM3"));
    form.Command4->click();
    QVERIFY(line->portOpen());

    const auto heapKb = [] { return long(mallinfo2().arena / 1024); };
    const long before = heapKb();
    for (int round = 0; round < 60; ++round) {
        form.Draw->click();
        for (int tick = 0; tick < 3; ++tick) {
            line->receive(QByteArray("\x01\x02\x03\x04"
                                     "E"));
            clock->fire();
        }
        if (round % 3 == 0)
            form.Check2->click(); // 3D on and off rebuilds the chart's static layer
        QTest::qWait(1);
        form.Draw->click();
        QTest::qWait(1);
        line->outputs.clear();
    }
    QCOMPARE(form.Draw->text(), QStringLiteral("SIMULATION"));
    const long grownKb = heapKb() - before;
    // Each buffer is about 2 MB; what little the first switches allocate for good stays well below.
    QVERIFY2(grownKb < 1024, qPrintable(QStringLiteral("heap grew by %1 kB").arg(grownKb)));
#endif
}

int main(int argc, char* argv[])
{
    Application app(argc, argv); // as the program makes it
    ViewSwitchMemoryTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_view_switch_memory.moc"
