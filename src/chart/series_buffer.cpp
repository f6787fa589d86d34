#include "chart/series_buffer.h"

#include "platform/control_error.h"

#include <cmath>
#include <stdexcept>
#include <string>
#include <utility>

namespace veltrano {

namespace {
constexpr std::size_t kInitialCapacity = 16;
}

const ChartPoint& SeriesBuffer::at(int index) const
{
    if (index < 0 || index >= size())
        throw std::out_of_range("series point index " + std::to_string(index) + " out of range");
    return (*this)[index];
}

void SeriesBuffer::append(ChartPoint point)
{
    if (count_ == slots_.size())
        grow();
    slot(count_) = point;
    ++count_;
}

int SeriesBuffer::insertOrdered(ChartPoint point)
{
    append(point);
    std::size_t index = count_ - 1;
    while (index > 0 && slot(index - 1).x > point.x) {
        slot(index) = slot(index - 1);
        --index;
    }
    slot(index) = point;
    return static_cast<int>(index);
}

void SeriesBuffer::removeFirst()
{
    if (count_ == 0)
        throw std::out_of_range("no point to remove");
    head_ = (head_ + 1) & (slots_.size() - 1);
    --count_;
}

void SeriesBuffer::clear()
{
    head_ = 0;
    count_ = 0;
}

void SeriesBuffer::grow()
{
    std::vector<ChartPoint> larger(slots_.empty() ? kInitialCapacity : slots_.size() * 2);
    for (std::size_t i = 0; i < count_; ++i)
        larger[i] = slot(i);
    slots_ = std::move(larger);
    head_ = 0;
}

const SeriesBuffer& SeriesSet::series(int index) const { return checked(index); }

SeriesBuffer& SeriesSet::checked(int series) { return const_cast<SeriesBuffer&>(std::as_const(*this).checked(series)); }

const SeriesBuffer& SeriesSet::checked(int series) const
{
    if (series < 0 || series >= kSeriesCount)
        throw ControlError("chart series index " + std::to_string(series) + " out of range");
    return series_[static_cast<std::size_t>(series)];
}

int SeriesSet::pointCount(int series) const { return checked(series).size(); }

void SeriesSet::deleteFirst(int series)
{
    SeriesBuffer& buffer = checked(series);
    if (buffer.empty())
        throw ControlError("chart series " + std::to_string(series) + " has no point to delete");
    buffer.removeFirst();
}

double SeriesSet::lastX(int series) const
{
    const SeriesBuffer& buffer = checked(series);
    if (buffer.empty())
        throw ControlError("chart series " + std::to_string(series) + " has no points");
    return buffer.last().x;
}

int SeriesSet::addY(int series, double y)
{
    const SeriesBuffer& buffer = checked(series);
    return addXY(series, buffer.empty() ? 0.0 : buffer.last().x + 1.0, y);
}

int SeriesSet::addXY(int series, double x, double y)
{
    SeriesBuffer& buffer = checked(series);
    // A non-finite value would break the X order and the axis range for every later point.
    if (!std::isfinite(x) || !std::isfinite(y))
        throw ControlError("chart point value is not a finite number");
    return buffer.insertOrdered({x, y});
}

bool SeriesSet::xRange(double& minX, double& maxX) const
{
    bool any = false;
    for (const SeriesBuffer& buffer : series_) {
        if (buffer.empty())
            continue;
        const double first = buffer.first().x;
        const double last = buffer.last().x;
        if (!any || first < minX)
            minX = first;
        if (!any || last > maxX)
            maxX = last;
        any = true;
    }
    return any;
}

} // namespace veltrano
