// The receive path every serial line shares, on a line held in memory: when receive events
// are raised, what one read takes, and what a handler may do inside the event.
#include "fakes/memory_line.h"
#include "serial/receive_path.h"

#include <QCoreApplication>
#include <QPointer>
#include <QTest>

#include <functional>
#include <memory>

using namespace veltrano;
using veltrano::testing::MemoryLine;

namespace {

// A path on a memory line whose handler takes one read per event (and, before that, does
// whatever the test asks at the nth event).
struct Receiver {
    Receiver(int threshold, int inputLen) : path([this] { raise(); })
    {
        line->open(9600);
        path.setThreshold(threshold);
        path.setInputLen(inputLen);
        path.attach(line);
    }

    void raise()
    {
        ++events;
        ++depth;
        maxDepth = std::max(maxDepth, depth);
        const bool take = !atEvent || atEvent(events);
        if (take)
            takes.append(path.take());
        --depth;
    }

    QPointer<MemoryLine> line = new MemoryLine;
    ReceivePath path;
    std::function<bool(int)> atEvent; // false: take nothing at that event
    QByteArrayList takes;
    int events = 0;
    int depth = 0;
    int maxDepth = 0;
};

} // namespace

class TestReceivePath : public QObject {
    Q_OBJECT

private slots:
    void raisesWhileThresholdWaits_data();
    void raisesWhileThresholdWaits();
    void handlerInsideTheEvent_data();
    void handlerInsideTheEvent();
    void floodIsRaisedInPasses();
};

void TestReceivePath::raisesWhileThresholdWaits_data()
{
    QTest::addColumn<int>("threshold");
    QTest::addColumn<int>("inputLen");
    QTest::addColumn<QByteArrayList>("feeds");
    QTest::addColumn<QByteArrayList>("takes");
    QTest::addColumn<int>("left");
    QTest::newRow("burst, one at a time")
        << 1 << 1 << QByteArrayList{"ABCDE"} << QByteArrayList{"A", "B", "C", "D", "E"} << 0;
    QTest::newRow("threshold crossed in the middle of a read")
        << 3 << 1 << QByteArrayList{"AB", "CDE"} << QByteArrayList{"A", "B", "C"} << 2;
    QTest::newRow("input length 0 takes all") << 2 << 0 << QByteArrayList{"A", "BC"} << QByteArrayList{"ABC"} << 0;
    QTest::newRow("input length 2") << 1 << 2 << QByteArrayList{"ABCDE"} << QByteArrayList{"AB", "CD", "E"} << 0;
    QTest::newRow("threshold 0 raises nothing") << 0 << 1 << QByteArrayList{"ABC"} << QByteArrayList{} << 3;
    QTest::newRow("all byte values") << 1 << 0 << QByteArrayList{QByteArray("\x00\xff\x45\r", 4)}
                                     << QByteArrayList{QByteArray("\x00\xff\x45\r", 4)} << 0;
}

void TestReceivePath::raisesWhileThresholdWaits()
{
    QFETCH(int, threshold);
    QFETCH(int, inputLen);
    QFETCH(QByteArrayList, feeds);
    QFETCH(QByteArrayList, takes);
    QFETCH(int, left);
    Receiver r(threshold, inputLen);
    for (const QByteArray& bytes : feeds)
        r.line->feed(bytes);
    QCoreApplication::processEvents();
    QCOMPARE(r.takes, takes);
    QCOMPARE(r.path.waiting(), qsizetype(left));
    delete r.line;
}

void TestReceivePath::handlerInsideTheEvent_data()
{
    QTest::addColumn<QString>("action"); // what the handler does at the second event
    QTest::addColumn<QByteArray>("later"); // fed once the first bytes are through
    QTest::addColumn<QByteArrayList>("takes");
    QTest::addColumn<int>("events");
    const QByteArrayList all{"A", "B", "C", "X", "Y"};
    QTest::newRow("bytes come in meanwhile, unnotified") << "arrive" << QByteArray() << all << 5;
    QTest::newRow("bytes notified inside the event") << "feed" << QByteArray() << all << 5;
    QTest::newRow("spins the event loop") << "spin" << QByteArray() << all << 5;
    QTest::newRow("takes nothing: no event until new bytes") << "nothing" << QByteArray() << QByteArrayList{"A"} << 2;
    QTest::newRow("takes nothing, then new bytes")
        << "nothing" << QByteArray("Z") << QByteArrayList{"A", "B", "C", "Z"} << 5;
    QTest::newRow("closes the line: the rest is dropped")
        << "close" << QByteArray("Z") << QByteArrayList{"A", "Z"} << 3;
    QTest::newRow("the line goes away") << "delete" << QByteArray() << QByteArrayList{"A"} << 2;
}

void TestReceivePath::handlerInsideTheEvent()
{
    QFETCH(QString, action);
    QFETCH(QByteArray, later);
    QFETCH(QByteArrayList, takes);
    QFETCH(int, events);
    Receiver r(1, 1);
    r.atEvent = [&](int event) {
        if (event != 2)
            return true;
        if (action == "arrive") {
            r.line->arrive("XY");
        } else if (action == "feed") {
            r.line->feed("XY");
        } else if (action == "spin") {
            QMetaObject::invokeMethod(
                r.line, [&] { r.line->feed("XY"); }, Qt::QueuedConnection);
            QCoreApplication::processEvents();
        } else if (action == "close") {
            r.path.detach();
            r.line->close();
            return false;
        } else if (action == "delete") {
            r.line->deleteLater(); // as the control lets go of a closed line
            QCoreApplication::processEvents();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            return false;
        }
        return action != "nothing";
    };
    r.line->feed("ABC");
    QCoreApplication::processEvents();
    if (action == "close") {
        r.line->feed("Y"); // the closed line's bytes reach nobody
        delete r.line;
        r.line = new MemoryLine;
        r.line->open(9600);
        r.path.attach(r.line);
    }
    if (!later.isEmpty())
        r.line->feed(later);
    QCoreApplication::processEvents();
    QCOMPARE(r.takes, takes);
    QCOMPARE(r.events, events);
    QCOMPARE(r.maxDepth, 1); // never raised inside a running event
    delete r.line;
}

void TestReceivePath::floodIsRaisedInPasses()
{
    // A flood is raised a pass at a time, with other work let in between.
    Receiver r(1, 1);
    const int total = 3 * ReceivePath::kMaxEventsPerPass;
    int eventsWhenOtherWorkRan = -1;
    QMetaObject::invokeMethod(
        &r.path, [&] { eventsWhenOtherWorkRan = r.events; }, Qt::QueuedConnection);
    r.line->feed(QByteArray(total, 'x'));
    QCOMPARE(r.events, ReceivePath::kMaxEventsPerPass);
    QTRY_COMPARE(r.events, total);
    QCOMPARE(eventsWhenOtherWorkRan, ReceivePath::kMaxEventsPerPass);
    delete r.line;
}

QTEST_GUILESS_MAIN(TestReceivePath)
#include "test_receive_path.moc"
