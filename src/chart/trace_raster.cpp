#include "chart/trace_raster.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <utility>

namespace veltrano {

// The per-pixel helpers first, so that the span loops below take them inline.
inline QRgb TraceRaster::blend(QRgb under, QRgb colour)
{
    const int a = qAlpha(colour), keep = 255 - a;
    return qRgb((qRed(colour) * a + qRed(under) * keep) / 255, (qGreen(colour) * a + qGreen(under) * keep) / 255,
                (qBlue(colour) * a + qBlue(under) * keep) / 255);
}

inline void TraceRaster::fillColumn(int column, int rowFirst, int rowLast, QRgb colour)
{
    if (rowFirst > rowLast)
        return;
    QRgb* pixel = bits_ + origin_ + qsizetype(rowFirst) * stride_ + column;
    for (int row = rowFirst; row <= rowLast; ++row, pixel += stride_)
        *pixel = colour;
}

inline void TraceRaster::blendColumn(int column, int rowFirst, int rowLast, QRgb colour)
{
    if (rowFirst > rowLast)
        return;
    QRgb* pixel = bits_ + origin_ + qsizetype(rowFirst) * stride_ + column;
    // Down a column the background changes only every few rows.
    QRgb under = *pixel, blended = blend(under, colour);
    for (int row = rowFirst; row <= rowLast; ++row, pixel += stride_) {
        if (*pixel != under) {
            under = *pixel;
            blended = blend(under, colour);
        }
        *pixel = blended;
    }
}

void TraceRaster::aim(QImage& image, QPoint origin, const QRectF& clip, std::span<const QRect> areas)
{
    bits_ = reinterpret_cast<QRgb*>(image.bits());
    stride_ = image.bytesPerLine() / qsizetype(sizeof(QRgb));
    origin_ = qsizetype(origin.y()) * stride_ + origin.x();
    scale_ = image.devicePixelRatio();
    const QRect bounds(
        QPoint(std::max(0, ceilToInt(clip.left() * scale_ - 0.5)), std::max(0, ceilToInt(clip.top() * scale_ - 0.5))),
        QPoint(ceilToInt(clip.right() * scale_ - 0.5) - 1, ceilToInt(clip.bottom() * scale_ - 0.5) - 1));
    areas_.clear();
    drawn_.clear();
    left_ = std::numeric_limits<int>::max();
    right_ = std::numeric_limits<int>::min();
    for (const QRect& area : areas) {
        const QRect part = area & bounds;
        if (part.isEmpty())
            continue;
        areas_.push_back(part);
        left_ = std::min(left_, part.left());
        right_ = std::max(right_, part.right());
    }
}

void TraceRaster::line(const QPointF* points, int count, double width, QRgb colour, bool flatEnds)
{
    if (!load(points, count))
        return;
    const double half = width * scale_ / 2;
    const double from = device_.front().x() - (flatEnds ? 0.0 : half);
    const double to = device_.back().x() + (flatEnds ? 0.0 : half);
    columns(from, to, half, half, 0.0, half, colour);
}

void TraceRaster::ribbon(const QPointF* points, int count, QPointF depth, QRgb colour)
{
    if (!load(points, count) || !(depth.x() > 0.0))
        return;
    const double dx = depth.x() * scale_, dy = depth.y() * scale_;
    columns(device_.front().x(), device_.back().x() + dx, dx, 0.0, dy / dx, 0.0, colour);
}

void TraceRaster::takeDrawn(std::vector<QRect>& rects)
{
    std::sort(drawn_.begin(), drawn_.end(), [](const QRect& a, const QRect& b) {
        return std::pair(a.left() / kBand, a.top()) < std::pair(b.left() / kBand, b.top());
    });
    auto area = [](const QRect& r) { return qint64(r.width()) * r.height(); };
    rects.clear();
    for (const QRect& rect : drawn_) {
        if (!rects.empty() && rects.back().left() / kBand == rect.left() / kBand) {
            const QRect both = rects.back() | rect;
            if (area(both) <= area(rects.back()) + area(rect)) {
                rects.back() = both;
                continue;
            }
        }
        rects.push_back(rect);
    }
    drawn_.clear();
}

bool TraceRaster::load(const QPointF* points, int count)
{
    if (count <= 0 || areas_.empty())
        return false;
    device_.resize(count);
    // QPainter's aliased drawing fills pixel (x, y) for a point at (x, y); sampling at
    // pixel centres matches it once shifted by half a pixel.
    for (int i = 0; i < count; ++i)
        device_[i] = points[i] * scale_ + QPointF(0.5, 0.5);
    return true;
}

void TraceRaster::columns(double from, double to, double before, double after, double slope, double grow, QRgb colour)
{
    const QPointF* p = device_.data();
    const int n = int(device_.size());
    const bool opaque = qAlpha(colour) == 255;
    const int first = std::max(left_, ceilToInt(from - 0.5));
    const int last = std::min(right_, ceilToInt(to - 0.5) - 1);
    const double tie = slope == 0.0 ? 0.0 : kTie;
    if (first > last)
        return;
    spanFirst_.resize(last - first + 1);
    spanLast_.resize(last - first + 1);
    keys_.resize(n);
    lowQueue_.resize(n);
    highQueue_.resize(n);
    double* key = keys_.data();
    int* low = lowQueue_.data(); // keys rising from the front: the least first
    int* high = highQueue_.data(); // keys falling from the front: the greatest first
    int lowHead = 0, lowTail = 0, highHead = 0, highTail = 0;
    const double spread = std::max(p[n - 1].x() - p[0].x(), 1.0);
    bool scan = (before + after) * n <= kScanPoints * spread;
    int lo = 0, hi = 0; // the window's points: [lo, hi)
    // The right edge's crossings of the last columns, for the left edges of later ones.
    const int reach = int(before + after);
    const bool reuse = reach == before + after && reach < kCrossings;
    for (Crossing& crossing : crossings_)
        crossing.segment = -1;
    reciprocals_.resize(n);
    double* reciprocal = reciprocals_.data();
    for (int i = 1; i < n; ++i)
        reciprocal[i] = 1.0 / (p[i].x() - p[i - 1].x());
    for (int column = first; column <= last; ++column) {
        const double xc = column + 0.5, windowLeft = xc - before, windowRight = xc + after;
        while (lo < n && p[lo].x() < windowLeft)
            ++lo;
        hi = std::max(hi, lo);
        for (; hi < n && p[hi].x() <= windowRight; ++hi) {
            if (scan)
                continue;
            const double k = p[hi].y() - p[hi].x() * slope;
            key[hi] = k;
            while (lowTail > lowHead && key[low[lowTail - 1]] >= k) {
                scan = scan || key[low[lowTail - 1]] < k + tie;
                --lowTail;
            }
            low[lowTail++] = hi;
            while (highTail > highHead && key[high[highTail - 1]] <= k) {
                scan = scan || key[high[highTail - 1]] > k - tie;
                --highTail;
            }
            high[highTail++] = hi;
        }
        while (lowHead < lowTail && low[lowHead] < lo)
            ++lowHead;
        while (highHead < highTail && high[highHead] < lo)
            ++highHead;

        double yMin = std::numeric_limits<double>::infinity(), yMax = -yMin;
        auto take = [&](double x, double y) {
            const double value = y + (xc - x) * slope;
            yMin = std::min(yMin, value);
            yMax = std::max(yMax, value);
        };
        if (scan) {
            for (int i = lo; i < hi; ++i)
                take(p[i].x(), p[i].y());
        } else {
            if (lowHead < lowTail) {
                const double bound = key[low[lowHead]] + tie;
                for (int q = lowHead; q < lowTail && (q == lowHead || key[low[q]] < bound); ++q)
                    yMin = std::min(yMin, p[low[q]].y() + (xc - p[low[q]].x()) * slope);
            }
            if (highHead < highTail) {
                const double bound = key[high[highHead]] - tie;
                for (int q = highHead; q < highTail && (q == highHead || key[high[q]] > bound); ++q)
                    yMax = std::max(yMax, p[high[q]].y() + (xc - p[high[q]].x()) * slope);
            }
        }
        const double pointsMin = yMin, pointsMax = yMax;
        // The crossings, first with the segment's reciprocal instead of a division.
        auto crossingY = [&](int i, double x) { // on segment i-1 → i, which spans x
            const QPointF& a = p[i - 1];
            const QPointF& b = p[i];
            return a.y() + (x - a.x()) * (b.y() - a.y()) * reciprocal[i];
        };
        const bool left = lo > 0 && lo<n, right = hi> 0 && hi < n;
        if (left) {
            // A line's window is a whole number of columns wide: its left edge is where
            // the right edge was that many columns before, often on the same segment.
            const Crossing& earlier = crossings_[(column - reach) & (kCrossings - 1)];
            take(windowLeft, earlier.x == windowLeft && earlier.segment == lo ? earlier.y : crossingY(lo, windowLeft));
        }
        if (right) {
            const double y = crossingY(hi, windowRight);
            take(windowRight, y);
            if (reuse)
                crossings_[column & (kCrossings - 1)] = {windowRight, hi, y};
        }
        int& rowFirst = spanFirst_[column - first];
        int& rowLast = spanLast_[column - first];
        if (!(yMin <= yMax)) {
            rowFirst = std::numeric_limits<int>::max();
            rowLast = std::numeric_limits<int>::min();
            continue;
        }
        rowFirst = ceilToInt(yMin - grow - 0.5);
        rowLast = ceilToInt(yMax + grow - 0.5) - 1;
        // The product differs from the quotient by far less than kNear, so the rows are
        // those of the quotient unless a bound lies that close to a row's edge: then
        // they are worked out again with the division.
        if ((left || right) && (nearEdge(yMin - grow - 0.5, rowFirst) || nearEdge(yMax + grow - 0.5, rowLast + 1))) {
            auto exactY = [&](int i, double x) {
                const QPointF& a = p[i - 1];
                const QPointF& b = p[i];
                return a.y() + (x - a.x()) * (b.y() - a.y()) / (b.x() - a.x());
            };
            yMin = pointsMin;
            yMax = pointsMax;
            if (left)
                take(windowLeft, exactY(lo, windowLeft));
            if (right)
                take(windowRight, exactY(hi, windowRight));
            rowFirst = ceilToInt(yMin - grow - 0.5);
            rowLast = ceilToInt(yMax + grow - 0.5) - 1;
        }
    }
    for (const QRect& area : areas_) {
        const int left = std::max(first, area.left()), right = std::min(last, area.right());
        for (int bandLeft = left; keepDrawn_ && bandLeft <= right;) {
            const int bandRight = std::min(right, (bandLeft / kBand + 1) * kBand - 1);
            int rowFirst = std::numeric_limits<int>::max(), rowLast = std::numeric_limits<int>::min();
            int columnFirst = bandRight + 1, columnLast = bandLeft - 1;
            for (int column = bandLeft; column <= bandRight; ++column) {
                const int top = std::max(spanFirst_[column - first], area.top());
                const int bottom = std::min(spanLast_[column - first], area.bottom());
                if (top <= bottom) {
                    rowFirst = std::min(rowFirst, top);
                    rowLast = std::max(rowLast, bottom);
                    columnFirst = std::min(columnFirst, column);
                    columnLast = column;
                }
            }
            if (rowFirst <= rowLast)
                drawn_.emplace_back(QPoint(columnFirst, rowFirst), QPoint(columnLast, rowLast));
            bandLeft = bandRight + 1;
        }
        if (opaque) {
            fillOpaque(left, right, first, area.top(), area.bottom(), colour);
            continue;
        }
        for (int column = left; column <= right; ++column) {
            blendColumn(column, std::max(spanFirst_[column - first], area.top()),
                        std::min(spanLast_[column - first], area.bottom()), colour);
        }
    }
}

void TraceRaster::fillOpaque(int left, int right, int first, int top, int bottom, QRgb colour)
{
    const QRgb quad[4] = {colour, colour, colour, colour};
    int column = left;
    for (; column + 3 <= right; column += 4) {
        int rowFirst[4], rowLast[4];
        int shareFirst = top, shareLast = bottom;
        for (int k = 0; k < 4; ++k) {
            rowFirst[k] = std::max(spanFirst_[column + k - first], top);
            rowLast[k] = std::min(spanLast_[column + k - first], bottom);
            shareFirst = std::max(shareFirst, rowFirst[k]);
            shareLast = std::min(shareLast, rowLast[k]);
        }
        if (shareFirst > shareLast) {
            for (int k = 0; k < 4; ++k)
                fillColumn(column + k, rowFirst[k], rowLast[k], colour);
            continue;
        }
        for (int k = 0; k < 4; ++k) {
            fillColumn(column + k, rowFirst[k], shareFirst - 1, colour);
            fillColumn(column + k, shareLast + 1, rowLast[k], colour);
        }
        QRgb* pixel = bits_ + origin_ + qsizetype(shareFirst) * stride_ + column;
        for (int row = shareFirst; row <= shareLast; ++row, pixel += stride_)
            std::memcpy(pixel, quad, sizeof quad);
    }
    for (; column <= right; ++column)
        fillColumn(column, std::max(spanFirst_[column - first], top), std::min(spanLast_[column - first], bottom),
                   colour);
}

} // namespace veltrano
