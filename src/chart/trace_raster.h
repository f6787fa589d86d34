#pragma once

#include <QImage>
#include <QPoint>
#include <QPointF>
#include <QRect>
#include <QRectF>

#include <algorithm>
#include <array>
#include <limits>
#include <span>
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
//
// One raster is kept for the chart's lifetime and aimed at a target before each frame, so
// that its buffers are reused and a frame allocates nothing once warmed up.
class TraceRaster {
public:
    // Draws into image, where the chart's device pixel (0, 0) lies at origin, only at pixels
    // whose centres lie in clip (logical) and that lie in one of the areas (device pixels of
    // the chart, not overlapping, inside the image once moved by origin).
    void aim(QImage& image, QPoint origin, const QRectF& clip, std::span<const QRect> areas);

    // A line of the given width drawn with a square brush (the curve swept by a width ×
    // width square); with flat ends it stops at the curve's first and last X.
    void line(const QPointF* points, int count, double width, QRgb colour, bool flatEnds);

    // The curve swept along the depth vector (depthX > 0): the face of a 3D ribbon.
    void ribbon(const QPointF* points, int count, QPointF depth, QRgb colour);

    // Puts into rects rectangles (device pixels of the chart) that hold every pixel drawn
    // since aim(), and starts the record afresh. A shape's columns go in bands of
    // kBand, each band's rows from the least to the greatest it covers there, so that putting
    // back what was under them is a few contiguous copies per row.
    static constexpr int kBand = 32;
    // Whether the shapes drawn from the next aim() on are kept for takeDrawn().
    void keepDrawn(bool keep) { keepDrawn_ = keep; }
    // Two rects of one band are merged where their union is no larger than the two, so that
    // pixels where shapes overlap (a 3D ribbon and its edges) are put back once, and a grid
    // line crossing a trace stays a line.
    void takeDrawn(std::vector<QRect>& rects);

private:
    // Two points whose keys (see columns()) differ by at least this have their values in the
    // same order in every column: it is far beyond the rounding of either, as device
    // coordinates stay within some thousands of pixels.
    static constexpr double kTie = 1e-6;
    // Points per window, on average, up to which windows are looked at whole.
    static constexpr double kScanPoints = 4.0;
    // Far beyond the difference between a crossing worked out with a segment's reciprocal
    // and with a division (some units in the last place of device coordinates).
    static constexpr double kNear = 1e-6;

    bool load(const QPointF* points, int count);

    // For each column whose centre xc lies in [from, to): the rows between the least and
    // greatest of y + (xc - x) × slope over the curve's points (x, y) with x in
    // [xc - before, xc + after], widened by grow. The value is linear along each segment,
    // so the curve's vertices in the window and its two crossings of the window's edges
    // are all that need looking at.
    //
    // The window slides right column by column, and two points' values differ by the same
    // amount in every column: the difference of their keys y - x × slope. So a point that
    // a later one beats can never give the least (greatest) value while both are in the
    // window, and queues in window order keep only the points that may. Computed values
    // carry rounding, though: a point beaten by less than kTie is kept as a candidate when
    // it is still in the queue, and when it was dropped the shape's remaining columns look
    // at every point in the window instead. With slope 0 the values are the ys themselves.
    // A window of a few points, as a line's is, is looked at whole from the start: keeping
    // its queues costs more than it saves.
    void columns(double from, double to, double before, double after, double slope, double grow, QRgb colour);

    // Whether value, whose ceiling is ceiling, lies within kNear of an integer.
    static bool nearEdge(double value, int ceiling)
    {
        const double below = ceiling - value; // in [0, 1)
        return below < kNear || below > 1.0 - kNear;
    }

    // The spans of columns left..right (spans indexed from column first), cut to rows
    // top..bottom. The rows that four neighbouring spans share take one store of four
    // pixels, along the image's rows, instead of four stores a row apart.
    void fillOpaque(int left, int right, int first, int top, int bottom, QRgb colour);
    void fillColumn(int column, int rowFirst, int rowLast, QRgb colour);
    void blendColumn(int column, int rowFirst, int rowLast, QRgb colour);

    // colour is not premultiplied; the image's pixels are opaque.
    static QRgb blend(QRgb under, QRgb colour);

    QRgb* bits_ = nullptr;
    qsizetype stride_ = 0;
    qsizetype origin_ = 0;
    double scale_ = 1.0;
    int left_ = 0, right_ = -1;
    std::vector<QRect> areas_;
    std::vector<QRect> drawn_;
    bool keepDrawn_ = false;
    std::vector<QPointF> device_;
    std::vector<double> keys_;
    std::vector<double> reciprocals_; // of the segments' widths
    std::vector<int> lowQueue_, highQueue_;
    std::vector<int> spanFirst_, spanLast_; // rows covered per column of the shape being drawn
    struct Crossing {
        double x;
        int segment;
        double y;
    };
    static constexpr int kCrossings = 8;
    std::array<Crossing, kCrossings> crossings_{};
};

} // namespace veltrano
