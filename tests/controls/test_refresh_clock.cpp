// The shared clock on which the text boxes and the chart catch up.
#include "controls/refresh_clock.h"

#include <QElapsedTimer>
#include <QtTest>

#include <functional>
#include <memory>
#include <vector>

using namespace veltrano;

namespace {
struct Client : RefreshClient {
    Client(Stage stage, std::function<void()> onCatchUp) : RefreshClient(stage), onCatchUp_(std::move(onCatchUp)) { }
    void ask() { requestRefresh(); }
    void catchUp() override { onCatchUp_(); }
    std::function<void()> onCatchUp_;
};
} // namespace

class TestRefreshClock : public QObject {
    Q_OBJECT
private slots:
    // One catch-up serves every waiting client once, text before paint, whatever the order
    // they asked in; a client that went in the meantime is not called.
    void oneCatchUpServesEachWaitingClientOnce()
    {
        std::vector<QString> calls;
        Client paint(RefreshClient::Stage::Paint, [&] { calls.push_back("paint"); });
        Client text(RefreshClient::Stage::Content, [&] { calls.push_back("text"); });
        auto gone = std::make_unique<Client>(RefreshClient::Stage::Content, [&] { calls.push_back("gone"); });
        paint.ask();
        paint.ask();
        gone->ask();
        text.ask();
        gone.reset();
        RefreshClock::instance().catchUpNow();
        QCOMPARE(calls, (std::vector<QString>{"text", "paint"}));
        RefreshClock::instance().catchUpNow();
        QCOMPARE(calls.size(), std::size_t(2));
    }

    // A change after a quiet spell is shown on the event loop's next pass; changes that
    // keep coming are shown at most once per minimum interval.
    void catchUpsKeepTheirDistance()
    {
        QElapsedTimer clock;
        std::vector<qint64> at;
        Client client(RefreshClient::Stage::Content, [&] { at.push_back(clock.elapsed()); });
        QTest::qWait(RefreshClock::kMinInterval + 5);
        clock.start();
        client.ask();
        QCoreApplication::processEvents();
        QCOMPARE(at.size(), std::size_t(1));
        while (at.size() < 5) {
            client.ask();
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        }
        for (std::size_t i = 1; i < at.size(); ++i)
            QVERIFY2(at[i] - at[i - 1] >= RefreshClock::kMinInterval - 1,
                     qPrintable(QString::number(at[i] - at[i - 1])));
    }
};

QTEST_MAIN(TestRefreshClock)
#include "test_refresh_clock.moc"
