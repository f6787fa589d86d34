#pragma once

#include <QImage>
#include <QPointF>
#include <QRectF>

#include <algorithm>
#include <limits>
#include <vector>

namespace veltrano {

// std::ceil is a library call on the baseline x86-64 target; this is on the per-row path.
// Only for values well inside the int range, which mapY() and the clip guarantee.
inline int ceilToInt(double value)
{
    const int truncated = int(value);
    return truncated + (value > truncated);
}

// Non-antialiased drawing of the traces straight into a 32-bit image of opaque pixels, one
// vertical span per pixel column. Every trace is a curve whose X never decreases (the
// series keep their points in X order), so what it covers in a column is a single run of
// rows: the chart paints each column once per shape instead of stroking segment by segment.
// A pixel is covered when its centre lies in the shape. Coordinates are logical; the
// image's device pixel ratio scales them.
class TraceRaster {
public:
    TraceRaster(QImage& image, const QRectF& clip)
        : bits_(reinterpret_cast<QRgb*>(image.bits())),
          stride_(image.bytesPerLine() / qsizetype(sizeof(QRgb))),
          scale_(image.devicePixelRatio())
    {
        left_ = std::max(0, ceilToInt(clip.left() * scale_ - 0.5));
        right_ = std::min(image.width() - 1, ceilToInt(clip.right() * scale_ - 0.5) - 1);
        top_ = std::max(0, ceilToInt(clip.top() * scale_ - 0.5));
        bottom_ = std::min(image.height() - 1, ceilToInt(clip.bottom() * scale_ - 0.5) - 1);
    }

    // A line of the given width drawn with a square brush (the curve swept by a width ×
    // width square); with flat ends it stops at the curve's first and last X.
    void line(const QPointF* points, int count, double width, QRgb colour, bool flatEnds)
    {
        if (!load(points, count))
            return;
        const double half = width * scale_ / 2;
        const double from = device_.front().x() - (flatEnds ? 0.0 : half);
        const double to = device_.back().x() + (flatEnds ? 0.0 : half);
        columns(from, to, half, half, 0.0, half, colour);
    }

    // The curve swept along the depth vector (depthX > 0): the face of a 3D ribbon.
    void ribbon(const QPointF* points, int count, QPointF depth, QRgb colour)
    {
        if (!load(points, count) || !(depth.x() > 0.0))
            return;
        const double dx = depth.x() * scale_, dy = depth.y() * scale_;
        columns(device_.front().x(), device_.back().x() + dx, dx, 0.0, dy / dx, 0.0, colour);
    }

private:
    bool load(const QPointF* points, int count)
    {
        if (count <= 0)
            return false;
        device_.resize(count);
        // QPainter's aliased drawing fills pixel (x, y) for a point at (x, y); sampling at
        // pixel centres matches it once shifted by half a pixel.
        for (int i = 0; i < count; ++i)
            device_[i] = points[i] * scale_ + QPointF(0.5, 0.5);
        return true;
    }

    // For each column whose centre xc lies in [from, to): the rows between the least and
    // greatest of y + (xc - x) × slope over the curve's points (x, y) with x in
    // [xc - before, xc + after], widened by grow. The value is linear along each segment,
    // so the curve's vertices in the window and its two crossings of the window's edges
    // are all that need looking at.
    void columns(double from, double to, double before, double after, double slope, double grow, QRgb colour)
    {
        const QPointF* p = device_.data();
        const int n = int(device_.size());
        const bool opaque = qAlpha(colour) == 255;
        const int first = std::max(left_, ceilToInt(from - 0.5));
        const int last = std::min(right_, ceilToInt(to - 0.5) - 1);
        int lo = 0;
        for (int column = first; column <= last; ++column) {
            const double xc = column + 0.5, windowLeft = xc - before, windowRight = xc + after;
            while (lo < n && p[lo].x() < windowLeft)
                ++lo;
            double yMin = std::numeric_limits<double>::infinity(), yMax = -yMin;
            auto take = [&](double x, double y) {
                const double value = y + (xc - x) * slope;
                yMin = std::min(yMin, value);
                yMax = std::max(yMax, value);
            };
            auto crossing = [&](int i, double x) { // on segment i-1 → i, which spans x
                const QPointF& a = p[i - 1];
                const QPointF& b = p[i];
                take(x, a.y() + (x - a.x()) * (b.y() - a.y()) / (b.x() - a.x()));
            };
            if (lo > 0 && lo < n)
                crossing(lo, windowLeft);
            int i = lo;
            for (; i < n && p[i].x() <= windowRight; ++i)
                take(p[i].x(), p[i].y());
            if (i > 0 && i < n)
                crossing(i, windowRight);
            if (!(yMin <= yMax))
                continue;
            const int rowFirst = std::max(top_, ceilToInt(yMin - grow - 0.5));
            const int rowLast = std::min(bottom_, ceilToInt(yMax + grow - 0.5) - 1);
            QRgb* pixel = bits_ + qsizetype(rowFirst) * stride_ + column;
            if (opaque) {
                for (int row = rowFirst; row <= rowLast; ++row, pixel += stride_)
                    *pixel = colour;
            } else {
                for (int row = rowFirst; row <= rowLast; ++row, pixel += stride_)
                    *pixel = blend(*pixel, colour);
            }
        }
    }

    // colour is not premultiplied; the image's pixels are opaque.
    static QRgb blend(QRgb under, QRgb colour)
    {
        const int a = qAlpha(colour), keep = 255 - a;
        return qRgb((qRed(colour) * a + qRed(under) * keep) / 255, (qGreen(colour) * a + qGreen(under) * keep) / 255,
                    (qBlue(colour) * a + qBlue(under) * keep) / 255);
    }

    QRgb* bits_;
    qsizetype stride_;
    double scale_;
    int left_, right_, top_, bottom_;
    std::vector<QPointF> device_;
};


} // namespace veltrano
