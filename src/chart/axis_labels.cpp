#include "chart/axis_labels.h"

#include "chart/chart_layout.h"
#include "chart/chart_style.h"

#include <QFontMetricsF>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace veltrano {

using namespace chart_style;

void BottomAxisLabels::setFont(const QFont& font, double height)
{
    height_ = height;
    pen_ = QPen(kText);
    for (Text& entry : texts_)
        entry.used = 0;
    if (font_ == font && digitAdvances_[0] > 0.0)
        return;
    font_ = font;
    measureDigits();
}

void BottomAxisLabels::measureDigits()
{
    // The width of a text is the sum of its characters' advances unless the font kerns or
    // joins them; checked here on every pair of the characters a whole number is made of.
    const QFontMetricsF metrics(font_);
    const char16_t characters[] = u"0123456789-";
    for (int i = 0; i < 11; ++i)
        digitAdvances_[i] = metrics.horizontalAdvance(QString(QChar(characters[i])));
    digitsAdd_ = true;
    for (int i = 0; i < 11 && digitsAdd_; ++i) {
        for (int j = 0; j < 11 && digitsAdd_; ++j) {
            const QChar pairChars[2] = {QChar(characters[i]), QChar(characters[j])};
            const QString pair(pairChars, 2);
            digitsAdd_ = metrics.horizontalAdvance(pair) == digitAdvances_[i] + digitAdvances_[j];
        }
    }
}

double BottomAxisLabels::width(double value) const
{
    if (digitsAdd_ && value == std::floor(value) && std::abs(value) < 1e15) {
        const long long whole = static_cast<long long>(value);
        double width = whole < 0 ? digitAdvances_[10] : 0.0;
        unsigned long long rest = static_cast<unsigned long long>(whole < 0 ? -whole : whole);
        do {
            width += digitAdvances_[rest % 10];
            rest /= 10;
        } while (rest != 0);
        return width;
    }
    return QFontMetricsF(font_).horizontalAdvance(labelText(value));
}

const std::vector<double>& BottomAxisLabels::values(double minX, double maxX, double plotWidth, double increment)
{
    const double widest = std::max(width(minX), width(maxX));
    const double least = std::isfinite(increment) && increment > 1.0 ? increment : 1.0;
    const double step = labelStep(maxX - minX, plotWidth, widest + 12, least);
    labelValues(minX, maxX, step, values_);
    return values_;
}

const BottomAxisLabels::Text& BottomAxisLabels::prepared(double value, const QFont& font)
{
    Text* oldest = &texts_[0];
    for (Text& entry : texts_) {
        if (entry.used != 0 && entry.value == value) {
            entry.used = draws_;
            return entry;
        }
        if (entry.used < oldest->used)
            oldest = &entry;
    }
    oldest->value = value;
    oldest->text.setText(labelText(value));
    oldest->text.setTextFormat(Qt::PlainText);
    oldest->text.prepare(QTransform(), font);
    oldest->width = oldest->text.size().width();
    oldest->used = draws_;
    return *oldest;
}

void BottomAxisLabels::draw(QPainter& painter, const ChartProjection& frame, double minX, double maxX,
                            const std::vector<double>& values)
{
    ++draws_;
    const QRectF& plot = frame.plot;
    const double scale = plot.width() / (maxX - minX);
    painter.setPen(pen_);
    painter.setFont(font_);
    // A text laid out once draws the same pixels as drawText() does into its box when the
    // painter only moves by whole pixels and the text fits the box; otherwise drawText().
    const QTransform& device = painter.deviceTransform();
    const bool reuse = device.type() <= QTransform::TxTranslate && device.dx() == std::floor(device.dx())
                       && device.dy() == std::floor(device.dy());
    for (double value : values) {
        const QPointF at = frame.project(plot.left() + (value - minX) * scale, plot.bottom(), 0);
        painter.drawLine(at, at + QPointF(0, kTickLength));
        const QRectF box(at.x() - 50, at.y() + kTickLength + 1, 100, height_);
        if (reuse) {
            const Text& text = prepared(value, painter.font());
            if (text.width <= box.width()) {
                painter.drawStaticText(QPointF(box.x() + (box.width() - text.width) / 2, box.y()), text.text);
                continue;
            }
        }
        painter.drawText(box, Qt::AlignHCenter | Qt::AlignTop, labelText(value));
    }
}

} // namespace veltrano
