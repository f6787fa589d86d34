#pragma once

#include <array>
#include <cstddef>
#include <vector>

namespace veltrano {

struct ChartPoint {
    double x = 0.0;
    double y = 0.0;
};

// Points of one series, oldest first, kept in a ring so that dropping the oldest point
// while appending a new one (the strip chart's steady state) never moves memory.
// Capacity is a power of two and doubles when full.
class SeriesBuffer {
public:
    int size() const { return static_cast<int>(count_); }
    bool empty() const { return count_ == 0; }
    int capacity() const { return static_cast<int>(slots_.size()); }

    // Unchecked; index 0 is the oldest point.
    const ChartPoint& operator[](int index) const
    {
        return slots_[(head_ + static_cast<std::size_t>(index)) & (slots_.size() - 1)];
    }
    // Throws std::out_of_range.
    const ChartPoint& at(int index) const;
    const ChartPoint& first() const { return (*this)[0]; }
    const ChartPoint& last() const { return (*this)[size() - 1]; }

    void append(ChartPoint point);
    // Keeps the points ordered by X: a point whose X is below the last one is moved back
    // to its place (after any points of equal X). Returns the point's index.
    int insertOrdered(ChartPoint point);
    // Throws std::out_of_range on an empty buffer.
    void removeFirst();
    void clear();

private:
    ChartPoint& slot(std::size_t index) { return slots_[(head_ + index) & (slots_.size() - 1)]; }
    void grow();

    std::vector<ChartPoint> slots_;
    std::size_t head_ = 0;
    std::size_t count_ = 0;
};

// The four series' points with the chart's point rules, shared by the real chart and the
// test fake. Every failing call throws ControlError and leaves the points as they were.
class SeriesSet {
public:
    static constexpr int kSeriesCount = 4;

    int seriesCount() const { return kSeriesCount; }
    const SeriesBuffer& series(int index) const;

    int pointCount(int series) const;
    void deleteFirst(int series);
    double lastX(int series) const;
    // Next X after the series' last point, or 0 on an empty series. Returns the point's index.
    int addY(int series, double y);
    int addXY(int series, double x, double y);

    // Smallest and largest X over all series; false when every series is empty.
    bool xRange(double& minX, double& maxX) const;

private:
    SeriesBuffer& checked(int series);
    const SeriesBuffer& checked(int series) const;

    std::array<SeriesBuffer, kSeriesCount> series_;
};

} // namespace veltrano
