#pragma once

#include <QImage>
#include <QPoint>
#include <QRect>
#include <QRegion>

#include <span>
#include <vector>

namespace veltrano {

// Copies the pixels of part of a 32-bit source into a 32-bit target, with part's top left
// corner going to `to`; both rects lie inside their images.
void copyPixels(QImage& target, QPoint to, const QImage& source, const QRect& part);

// What the chart's frames leave in the window's backing store, which the chart paints into
// directly. Once a paint has covered all the chart can change, the store holds the chart's
// background there except where later frames drew traces and grid lines (kept as rects of
// the chart's device pixels) and in the areas always put back whole: the label row, a legend
// that lets the traces show through and the widgets standing over the chart. A catch-up frame
// then puts back only those: on a chart of thin traces, a small part of the plot.
class StoreDamage {
public:
    // Where the pixels are not known any more (a new layout or background).
    void forget() { known_ = false; }
    // Whether the store holds what the rule above says.
    bool known() const { return known_; }
    // What frames drew that is not put back yet.
    const std::vector<QRect>& drawn() const { return drawn_; }

    // Before a frame into store, with the chart's top left pixel at origin: puts the
    // background back in areas (device pixels of the chart, not overlapping). A catch-up of a
    // store whose pixels are known puts back only what was drawn and the whole rects; any
    // other paint its areas whole. dynamic is all the chart can change, in the store.
    void restore(QImage& store, QPoint origin, const QImage& background, std::span<const QRect> areas, bool catchUp,
                 std::span<const QRect> whole, const QRect& dynamic);
    // Whether the frame after restore() has to take down what it draws: not while putting
    // back whole areas has been found quicker, which is looked at again every kProbeEvery
    // catch-ups (wide 3D ribbons cover much of the plot).
    bool keepsDrawn() const { return !catchUp_ || framesUntilProbe_ == 0; }
    // After the frame: the rects that hold what it drew, as the raster took them down, when
    // it kept them.
    void frameDrawn(const std::vector<QRect>& recorded);

private:
    // Whether putting back only the drawn rects takes back fewer pixels than the whole areas
    // by enough to be quicker: rows of a rect are short copies.
    bool restoresLess() const;

    // Paints of a part of the chart without a frame between (a widget over the chart
    // changing) add their drawings; past this many rects the next frame goes whole.
    static constexpr std::size_t kMostDrawnRects = 4096;
    static constexpr int kProbeEvery = 32;

    bool known_ = false;
    const uchar* store_ = nullptr;
    QSize storeSize_;
    QPoint origin_;
    std::vector<QRect> drawn_;
    std::vector<QRect> left_; // drawn rects that the last restore did not wholly put back
    bool catchUp_ = false;
    qint64 areaPixels_ = 0; // of the last restore's areas
    int framesUntilProbe_ = 0;
};

} // namespace veltrano
