#include "soak_run.h"

#include "app/event_dispatch.h"
#include "app/real_parts.h"
#include "counting_serial.h"
#include "driver_sim_child.h"

#include <QCoreApplication>
#include <QTimer>

#include <cstdio>

namespace veltrano::soak {

SoakRun::SoakRun(int minutes, unsigned seed, const StderrTap& tap) : minutes_(minutes), seed_(seed), tap_(tap) { }

SoakRun::~SoakRun() = default;

bool SoakRun::setUp(const QString& simulator, const QString& linkPath)
{
    sim_ = std::make_unique<simchild::DriverSimChild>(simulator, linkPath, QStringLiteral("COM3"), QStringList{},
                                                      [this](double, const QString& line) {
                                                          if (simchild::isOrdinaryTraffic(line))
                                                              return;
                                                          ++simUnusual_;
                                                          std::printf("  simulator: %s\n", qPrintable(line.trimmed()));
                                                      });
    if (!sim_->ok()) {
        std::printf("soak: %s\n", qPrintable(sim_->error()));
        return false;
    }
    Form1Parts parts = realParts(std::make_shared<PortTable>(parsePortTable(sim_->portsEntry())));
    auto counting = std::make_unique<harness::CountingSerial>(std::move(parts.serial));
    serial_ = counting.get();
    parts.serial = std::move(counting);
    form_ = std::make_unique<Form1>(std::move(parts));
    Form1& w = *form_;
    serial_->onPoll = [this] { book_.polled(clock_.elapsed()); };
    // After the window's own receive handler, which was connected first: a decoded
    // frame ends with the end mark just taken and leaves the box holding "0".
    QObject::connect(&w.MSComm1, &SerialControl::onComm, &w, [this] {
        if (inChartView(*form_) && serial_->lastTaken == 'E' && form_->Text2->text() == QLatin1String("0")
            && !book_.answered()) {
            note(clock_.elapsed(),
                 "frame decoded with no poll waiting for it (%lld ms after connecting, %lld ms after "
                 "entering the chart view)",
                 static_cast<long long>(clock_.elapsed() - connectedAtMs_),
                 static_cast<long long>(clock_.elapsed() - chartEnteredAtMs_));
        }
    });
    QObject::connect(&w.Timer1, &TickTimer::tick, &w, [this] { sampler_.countTick(); });
    randomOperator_ = std::make_unique<RandomOperator>(
        w, seed_,
        OperatorHooks{[this](const char* why) { abandon(why); }, [this] { chartEnteredAtMs_ = clock_.elapsed(); },
                      [this] {
                          connectedAtMs_ = clock_.elapsed();
                          if (!form_->MSComm1.portOpen())
                              note(clock_.elapsed(), "connecting failed (%s)", qPrintable(form_->Text2->text()));
                      }});
    failuresAtStart_ = dispatchFailureCount();
    return true;
}

int SoakRun::run(const QString& simulator, const QString& linkPath)
{
    if (!setUp(simulator, linkPath))
        return 2;
    Form1& w = *form_;
    clock_.start();
    w.load();
    w.show();
    if (w.Combo4->text() != QLatin1String("COM3")) {
        std::printf("soak: the start-up search did not list COM3\n");
        return 2;
    }
    w.Combo3->setCurrentIndex(w.Combo3->findText(QStringLiteral("115200")));
    w.Command4->click();
    connectedAtMs_ = clock_.elapsed();
    if (!w.MSComm1.portOpen()) {
        std::printf("soak: could not connect\n");
        return 2;
    }

    sampler_.start();
    std::printf("soak: %d minutes, seed %u, 115200 baud; answers due within %lld ms\n", minutes_, seed_,
                static_cast<long long>(kAnswerWithinMs));
    std::fflush(stdout);

    QTimer settleTimer;
    QObject::connect(&settleTimer, &QTimer::timeout, [this] { settle(); });
    settleTimer.start(100);
    QTimer minuteTimer;
    QObject::connect(&minuteTimer, &QTimer::timeout, [this] { reportMinute(); });
    minuteTimer.start(60'000);
    QTimer actionTimer;
    actionTimer.setSingleShot(true);
    QObject::connect(&actionTimer, &QTimer::timeout, [this, &actionTimer] {
        randomOperator_->act();
        actionTimer.start(randomOperator_->nextDelayMs());
    });
    actionTimer.start(randomOperator_->nextDelayMs());
    QTimer::singleShot(qint64(minutes_) * 60'000 + 50, [] { QCoreApplication::quit(); });
    QCoreApplication::exec();
    actionTimer.stop();
    minuteTimer.stop();

    // Wind down: pause the chart and give the last answers time to come in.
    if (inChartView(w) && !w.Check4->isChecked())
        w.Check4->click();
    QTimer::singleShot(int(kAnswerWithinMs) + 1000, [] { QCoreApplication::quit(); });
    QCoreApplication::exec();
    settleTimer.stop();
    settle();
    return reportEnd();
}

void SoakRun::settle()
{
    if (const long late = book_.settle(clock_.elapsed()))
        note(clock_.elapsed(), "%ld poll(s) not answered within %lld ms: lost", late,
             static_cast<long long>(kAnswerWithinMs));
}

void SoakRun::abandon(const char* why)
{
    if (const long left = book_.abandon(clock_.elapsed()))
        note(clock_.elapsed(), "%ld poll(s) unanswered %s: excluded", left, why);
}

long SoakRun::failures() const { return dispatchFailureCount() - failuresAtStart_; }

Tally SoakRun::tally() const { return Tally{book_, randomOperator_->actions(), failures(), tap_.lines(), simUnusual_}; }

void SoakRun::reportMinute()
{
    const ResourceSampler::Minute minute = sampler_.sampleMinute();
    soak::reportMinute(minute, tally(),
                       WindowState{inChartView(*form_), isConnected(*form_), form_->Check4->isChecked()});
}

int SoakRun::reportEnd()
{
    const double elapsed = clock_.elapsed() / 1000.0;
    const ResourceSampler::End resources = sampler_.sampleEnd(elapsed);
    const long simPolls = sim_->polls();
    const Ending ending{elapsed, seed_, resources, simPolls, serial_->polls, tap_.firstLines()};
    return soak::reportEnd(ending, tally());
}

} // namespace veltrano::soak
