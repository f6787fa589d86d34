#include "chart/store_damage.h"

#include <algorithm>
#include <cstring>

namespace veltrano {

namespace {

qint64 pixelCount(const QRect& rect) { return qint64(rect.width()) * rect.height(); }

// Whether the areas (not overlapping) hold all of rect.
bool holds(std::span<const QRect> areas, const QRect& rect)
{
    qint64 held = 0;
    for (const QRect& area : areas)
        held += pixelCount(area & rect);
    return held == pixelCount(rect);
}

} // namespace

void copyPixels(QImage& target, QPoint to, const QImage& source, const QRect& part)
{
    const qsizetype pixel = sizeof(QRgb);
    const qsizetype intoStride = target.bytesPerLine(), fromStride = source.bytesPerLine();
    uchar* into = target.bits() + to.y() * intoStride + to.x() * pixel;
    const uchar* from = source.constBits() + part.top() * fromStride + part.left() * pixel;
    const size_t bytes = size_t(part.width() * pixel);
    for (int row = 0; row < part.height(); ++row, into += intoStride, from += fromStride)
        std::memcpy(into, from, bytes);
}

bool StoreDamage::restoresLess() const
{
    qint64 drawn = 0;
    for (const QRect& rect : drawn_)
        drawn += pixelCount(rect);
    return 2 * drawn <= areaPixels_;
}

void StoreDamage::restore(QImage& store, QPoint origin, const QImage& background, std::span<const QRect> areas,
                          bool catchUp, std::span<const QRect> whole, const QRect& dynamic)
{
    auto put = [&](const QRect& rect) {
        for (const QRect& area : areas) {
            const QRect part = area & rect;
            if (!part.isEmpty())
                copyPixels(store, origin + part.topLeft(), background, part);
        }
    };
    catchUp_ = catchUp;
    areaPixels_ = 0;
    for (const QRect& area : areas)
        areaPixels_ += pixelCount(area);
    const bool same = known_ && store.constBits() == store_ && store.size() == storeSize_ && origin == origin_;
    left_.clear();
    if (same && catchUp && restoresLess()) {
        for (const QRect& rect : drawn_)
            put(rect);
        for (const QRect& rect : whole)
            put(rect);
    } else {
        for (const QRect& area : areas)
            copyPixels(store, origin + area.topLeft(), background, area);
    }
    if (same) {
        for (const QRect& rect : drawn_) {
            if (!holds(areas, rect))
                left_.push_back(rect);
        }
        return;
    }
    // Another store, or pixels not known: known from here on once this paint covers all the
    // chart can change, but for what widgets over the chart hide (Qt leaves out of a paint
    // what opaque ones cover).
    QRegion covered;
    for (const QRect& area : areas)
        covered += area;
    for (const QRect& rect : whole)
        covered += rect;
    known_ = QRegion(dynamic).subtracted(covered).isEmpty();
    store_ = store.constBits();
    storeSize_ = store.size();
    origin_ = origin;
}

void StoreDamage::frameDrawn(const std::vector<QRect>& recorded)
{
    if (!keepsDrawn()) {
        --framesUntilProbe_;
        known_ = false;
        return;
    }
    drawn_.swap(left_);
    drawn_.insert(drawn_.end(), recorded.begin(), recorded.end());
    if (drawn_.size() > kMostDrawnRects)
        known_ = false;
    if (catchUp_) {
        // Found quicker to put back whole: the next frames do, until the next look.
        const bool less = restoresLess();
        known_ = known_ && less;
        framesUntilProbe_ = less ? 0 : kProbeEvery;
    }
}

} // namespace veltrano
