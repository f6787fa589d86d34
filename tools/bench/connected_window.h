#pragma once

// The window on its real widgets (chart, progress bar) with a fake line, connected on COM3,
// for benchmarks that feed bytes and ticks by hand.
#include "app/form1.h"
#include "chart/strip_chart_widget.h"
#include "controls/qt_progress_bar.h"
#include "fakes/fake_serial_control.h"
#include "fakes/fake_tick_timer.h"

#include <memory>

struct ConnectedWindow {
    veltrano::FakeSerialControl* serial = nullptr;
    veltrano::StripChartWidget* chart = nullptr;
    std::unique_ptr<veltrano::Form1> form;

    ConnectedWindow()
    {
        using namespace veltrano;
        Form1Parts parts;
        auto fake = std::make_unique<FakeSerialControl>();
        fake->setPort(3, FakeSerialControl::Port::Available);
        serial = fake.get();
        parts.serial = std::move(fake);
        parts.timer = std::make_unique<FakeTickTimer>();
        auto realChart = std::make_unique<StripChartWidget>();
        chart = realChart.get();
        parts.chart = std::move(realChart);
        parts.progressBar = std::make_unique<QtProgressBar>();
        form = std::make_unique<Form1>(std::move(parts));
        form->load();
        form->show();
        form->Combo4->setText("COM3");
        form->Command4_Click();
    }
};
