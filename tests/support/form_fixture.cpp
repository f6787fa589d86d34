#include "support/form_fixture.h"

#include <QApplication>

namespace veltrano::testing {

FormFixture::FormFixture(std::initializer_list<int> available, bool runLoad, Chart kind)
{
    if (QApplication::style()->name().compare(QLatin1String("fusion"), Qt::CaseInsensitive) != 0)
        QApplication::setStyle(QStringLiteral("Fusion"));
    auto fakeSerial = std::make_unique<FakeSerialControl>();
    for (int number : available)
        fakeSerial->setPort(number, FakeSerialControl::Port::Available);
    serial = fakeSerial.get();
    auto fakeTimer = std::make_unique<FakeTickTimer>();
    timer = fakeTimer.get();
    std::unique_ptr<ChartControl> chartControl;
    if (kind == Chart::Real) {
        auto strip = std::make_unique<StripChartWidget>();
        realChart = strip.get();
        chartControl = std::move(strip);
    } else {
        auto fake = std::make_unique<FakeChartControl>();
        chart = fake.get();
        chartControl = std::move(fake);
    }
    auto fakeBar = std::make_unique<FakeProgressBar>();
    bar = fakeBar.get();
    Form1Parts parts;
    parts.serial = std::move(fakeSerial);
    parts.timer = std::move(fakeTimer);
    parts.chart = std::move(chartControl);
    parts.progressBar = std::move(fakeBar);
    form = std::make_unique<Form1>(std::move(parts));
    if (runLoad)
        form->load();
}

void FormFixture::connect(const QString& portName)
{
    form->Combo4->setText(portName);
    click(form->Command4);
}

void FormFixture::click(QAbstractButton* button) { button->click(); }

void FormFixture::startProgressRun()
{
    form->handle("progress run", [this] { form->progressActive = 1; });
}

} // namespace veltrano::testing
