#pragma once

// Looks and measures shared by the strip chart's layers: background, axes, traces and legend.

#include <QColor>
#include <QFont>
#include <QFontDatabase>
#include <QPainter>
#include <QRect>
#include <QString>

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <vector>

namespace veltrano::chart_style {

inline constexpr int kMargin = 6;
inline constexpr int kTickLength = 4;
inline constexpr double kDepthAxisFrom = -1.82;
inline constexpr double kDepthAxisTo = -0.82;

// The 2.5D view: depth as a share of the plot width, perspective, zoom, vertical offset
// and the zoom of the axis texts.
inline constexpr double kDepthShare = 0.10;
inline constexpr double kPerspective = 30.0;
inline constexpr double kZoom = 1.03;
inline constexpr double kVerticalOffset = -28.0;
inline constexpr double kTextZoom = 0.85;

inline const QColor kText(255, 255, 255);
inline const QColor kGrid(150, 170, 220, 60);
inline const QColor kGradientBottom(3, 8, 34);
inline const QColor kGradientTop(20, 48, 112);

inline QFont pixelFont(const QString& family, int pixels, bool bold = false, bool italic = false)
{
    QFont font(family);
    font.setPixelSize(pixels);
    font.setBold(bold);
    font.setItalic(italic);
    return font;
}

// The installed family among the candidates that offers the heaviest weight, at that weight;
// the earlier candidate wins a tie. Choosing here rather than leaving a missing family to
// the font matcher keeps heavy text heavy on machines without the first choice. With none
// of them installed, asks for the first candidate at black weight.
inline QFont heaviestFont(std::initializer_list<const char*> candidates, int pixels, bool italic)
{
    QString family;
    int weight = -1;
    const QStringList installed = QFontDatabase::families();
    for (const char* candidate : candidates) {
        const QString name = QString::fromLatin1(candidate);
        if (!installed.contains(name, Qt::CaseInsensitive))
            continue;
        for (const QString& style : QFontDatabase::styles(name)) {
            const int w = QFontDatabase::weight(name, style);
            if (w > weight) {
                weight = w;
                family = name;
            }
        }
    }
    QFont font = pixelFont(family.isEmpty() ? QString::fromLatin1(*candidates.begin()) : family, pixels, false, italic);
    font.setWeight(family.isEmpty() ? QFont::Black : QFont::Weight(weight));
    return font;
}

// Smallest step of the form increment × {1, 2, 5} × 10^k that leaves at least minPixels
// between labels.
inline double labelStep(double span, double pixels, double minPixels, double increment)
{
    const double base = increment > 0.0 ? increment : 1.0;
    if (!(span > 0.0) || !(pixels > 0.0))
        return base;
    double step = base;
    for (int guard = 0; guard < 60; ++guard) {
        for (double factor : {1.0, 2.0, 5.0}) {
            if (step * factor * pixels / span >= minPixels)
                return step * factor;
        }
        step *= 10.0;
    }
    return step;
}

// Label values of a linear axis; bounded so that a range far from zero cannot loop.
// Into values, replacing what it held.
inline void labelValues(double min, double max, double step, std::vector<double>& values)
{
    values.clear();
    const double first = std::ceil(min / step - 1e-9);
    for (int i = 0; i < 400; ++i) {
        const double value = (first + i) * step;
        if (value > max + step * 1e-9)
            break;
        values.push_back(value);
    }
}

inline std::vector<double> labelValues(double min, double max, double step)
{
    std::vector<double> values;
    labelValues(min, max, step, values);
    return values;
}

inline QString labelText(double value) { return QString::number(std::abs(value) < 5e-10 ? 0.0 : value, 'f', 0); }

inline void drawRaisedBevel(QPainter& painter, const QRect& rect)
{
    const QColor light(255, 255, 255, 210), midLight(200, 210, 235, 150);
    const QColor dark(0, 0, 0, 200), midDark(20, 25, 45, 160);
    const int l = rect.left(), t = rect.top(), r = rect.right(), b = rect.bottom();
    painter.setPen(light);
    painter.drawLine(l, t, r - 1, t);
    painter.drawLine(l, t, l, b - 1);
    painter.setPen(midLight);
    painter.drawLine(l + 1, t + 1, r - 2, t + 1);
    painter.drawLine(l + 1, t + 1, l + 1, b - 2);
    painter.setPen(dark);
    painter.drawLine(l, b, r, b);
    painter.drawLine(r, t, r, b);
    painter.setPen(midDark);
    painter.drawLine(l + 1, b - 1, r - 1, b - 1);
    painter.drawLine(r - 1, t + 1, r - 1, b - 1);
}

} // namespace veltrano::chart_style
