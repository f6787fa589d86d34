#include "random_operator.h"

#include <cstdio>
#include <vector>

namespace veltrano::soak {

bool inChartView(const Form1& form) { return form.Draw->text() == QLatin1String("Stop"); }

bool isConnected(const Form1& form) { return form.Command4->text() == QLatin1String("DISCONECT"); }

long Actions::total() const
{
    return view + pause + resume + load + run + div + stop + view3D + window + disconnect + connect + search;
}

std::string Actions::text() const
{
    char buffer[400];
    std::snprintf(buffer, sizeof buffer,
                  "view %ld, pause %ld, resume %ld, load %ld, run %ld, div %ld, stop %ld, 3D %ld, "
                  "window %ld, disconnect %ld, connect %ld, search %ld",
                  view, pause, resume, load, run, div, stop, view3D, window, disconnect, connect, search);
    return buffer;
}

RandomOperator::RandomOperator(Form1& form, unsigned seed, OperatorHooks hooks)
    : form_(form), rng_(seed), hooks_(std::move(hooks))
{
}

int RandomOperator::nextDelayMs()
{
    return script_.empty() ? std::uniform_int_distribution<int>(300, 6000)(rng_) : 1000;
}

void RandomOperator::act()
{
    if (!script_.empty()) {
        const auto step = script_.front();
        script_.pop_front();
        (this->*step)();
        return;
    }
    Form1& w = form_;
    const bool chart = inChartView(w);
    const bool paused = w.Check4->isChecked();
    const bool link = isConnected(w);
    struct Choice {
        int weight;
        void (RandomOperator::*action)();
    };
    std::vector<Choice> choices{{3, &RandomOperator::switchView}, {link ? 2 : 6, &RandomOperator::toggleConnection}};
    if (chart) {
        choices.push_back({paused ? 5 : 3, &RandomOperator::togglePause});
        choices.push_back({1, &RandomOperator::toggle3D});
        choices.push_back({1, &RandomOperator::changeWindow});
    }
    if (w.Command2->isEnabled())
        choices.push_back({2, &RandomOperator::loadData});
    if (w.Command1->isEnabled()) {
        choices.push_back({2, &RandomOperator::runMotor});
        choices.push_back({1, &RandomOperator::reverse});
        choices.push_back({2, &RandomOperator::stopMotor});
    }
    int sum = 0;
    for (const Choice& c : choices)
        sum += c.weight;
    int pick = std::uniform_int_distribution<int>(0, sum - 1)(rng_);
    for (const Choice& c : choices) {
        if (pick < c.weight) {
            (this->*c.action)();
            return;
        }
        pick -= c.weight;
    }
}

void RandomOperator::switchView()
{
    if (inChartView(form_))
        hooks_.leavingChartView("on leaving the chart view");
    form_.Draw->click();
    if (inChartView(form_))
        hooks_.enteredChartView();
    ++actions_.view;
}

void RandomOperator::toggleConnection()
{
    Form1& w = form_;
    if (isConnected(w)) {
        if (inChartView(w))
            hooks_.leavingChartView("on disconnecting");
        w.Command4->click();
        ++actions_.disconnect;
        return;
    }
    if (std::uniform_int_distribution<int>(0, 1)(rng_) == 1 || forceSearch_) {
        w.CAP_NHAT->click();
        ++actions_.search;
    }
    w.Command4->click();
    ++actions_.connect;
    hooks_.connectClicked();
}

void RandomOperator::togglePause()
{
    const bool pausing = !form_.Check4->isChecked();
    // No bookkeeping: answers to the polls already written still come in and are decoded.
    form_.Check4->click();
    ++(pausing ? actions_.pause : actions_.resume);
}

void RandomOperator::toggle3D()
{
    form_.Check2->click();
    ++actions_.view3D;
}

void RandomOperator::changeWindow()
{
    form_.HScroll1->setValue(std::uniform_int_distribution<int>(1, 500)(rng_));
    ++actions_.window;
}

void RandomOperator::longestWindow()
{
    form_.HScroll1->setValue(form_.HScroll1->maximum());
    ++actions_.window;
}

void RandomOperator::reconnectWithSearch()
{
    forceSearch_ = true;
    toggleConnection();
    forceSearch_ = false;
}

void RandomOperator::loadData()
{
    form_.Command2->click();
    ++actions_.load;
}

void RandomOperator::runMotor()
{
    form_.Command1->click();
    ++actions_.run;
}

void RandomOperator::reverse()
{
    form_.Command3->click();
    ++actions_.div;
}

void RandomOperator::stopMotor()
{
    form_.Command5->click();
    ++actions_.stop;
}

} // namespace veltrano::soak
