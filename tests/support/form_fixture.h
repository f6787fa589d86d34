#pragma once

#include "app/captions.h"
#include "app/form1.h"
#include "chart/strip_chart_widget.h"
#include "fakes/fake_chart_control.h"
#include "fakes/fake_progress_bar.h"
#include "fakes/fake_serial_control.h"
#include "fakes/fake_tick_timer.h"

#include <memory>

namespace veltrano::testing {

// A window on fake platform controls. The fakes stay owned by the window; the pointers
// here are for the test to drive and inspect them.
struct FormFixture {
    FakeSerialControl* serial = nullptr;
    FakeTickTimer* timer = nullptr;
    FakeChartControl* chart = nullptr; // null with the real chart
    StripChartWidget* realChart = nullptr; // set with the real chart
    FakeProgressBar* bar = nullptr;
    std::unique_ptr<Form1> form;

    // Ports listed in `available` exist and can be opened; the window is loaded unless told not to.
    enum class Chart { Fake, Real };
    explicit FormFixture(std::initializer_list<int> available = {}, bool runLoad = true, Chart kind = Chart::Fake);

    // Picks a port by name in the list box and clicks the connect toggle.
    void connect(const QString& portName = QStringLiteral("COM3"));
    // Clicks a button the way the operator does (nothing happens when it is disabled).
    static void click(QAbstractButton* button);
    // Starts a progress run through the window's event entry, as a reply or a download
    // does, so that the timer wakes for it.
    void startProgressRun();
};

// The window's state as its captions say it, read afresh on every call, as the window's
// own handlers read it.
inline bool inChartView(const Form1& window) { return window.Draw->text() == caption::chartView; }
inline bool isConnectedCaption(const Form1& window) { return window.Command4->text() == caption::disconnect; }

} // namespace veltrano::testing
