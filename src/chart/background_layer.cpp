#include "chart/background_layer.h"

#include "chart/chart_layout.h"
#include "chart/chart_style.h"

#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPainter>

namespace veltrano {

using namespace chart_style;

namespace {

void drawTitles(QPainter& painter, const ChartFonts& fonts, QSize size)
{
    const int width = size.width();
    QLinearGradient gradient(0, size.height(), 0, 0);
    gradient.setColorAt(0.0, kGradientBottom);
    gradient.setColorAt(1.0, kGradientTop);
    painter.fillRect(QRect(QPoint(), size), gradient);

    painter.setPen(kText);
    painter.setFont(fonts.title);
    const QFontMetricsF titleMetrics(fonts.title);
    const QRectF titleRect(kMargin + 2, kMargin, width - 2 * kMargin, titleMetrics.height());
    painter.drawText(titleRect, Qt::AlignLeft | Qt::AlignVCenter,
                     QStringLiteral("CODE : (DATA1)(DATA2)(DATA3)(DATA4)\"E\""));
    painter.setFont(fonts.subtitle);
    const QRectF subtitleRect(kMargin, titleRect.bottom(), width - 2 * kMargin, QFontMetricsF(fonts.subtitle).height());
    painter.drawText(subtitleRect, Qt::AlignHCenter | Qt::AlignVCenter, QStringLiteral("DO LON CUA TIN HIEU"));
    // The sub-footer line below the plot is empty; the layout keeps its height free.
}

void drawAxes(QPainter& painter, const ChartLayout& layout)
{
    const ChartProjection& f = layout.frame;
    const QRectF& plot = f.plot;
    const QFont& labelFont = layout.labelFont;
    const QFontMetricsF labelMetrics(labelFont);
    constexpr double kLeftAxisMin = ChartLayout::kLeftAxisMin, kLeftAxisMax = ChartLayout::kLeftAxisMax;
    const double yStep = labelStep(kLeftAxisMax - kLeftAxisMin, plot.height(), labelMetrics.height() * 1.7, 0.0);
    const std::vector<double> yLabels = labelValues(kLeftAxisMin, kLeftAxisMax, yStep);
    const QPen axisPen(kText, 1);
    const QPen gridPen(kGrid, 1);

    painter.setRenderHint(QPainter::Antialiasing, f.depth);
    if (!f.depth) {
        painter.fillRect(plot, QColor(0, 0, 20, 70));
        painter.setPen(gridPen);
        for (double value : yLabels) {
            const double y = std::round(layout.mapY(value)) + 0.5;
            painter.drawLine(QPointF(plot.left(), y), QPointF(plot.right(), y));
        }
    } else {
        auto face = [&](std::initializer_list<QPointF> corners, const QColor& fill) {
            painter.setPen(QPen(QColor(190, 205, 240, 110), 1));
            painter.setBrush(fill);
            painter.drawPolygon(QPolygonF(corners));
        };
        const double l = plot.left(), r = plot.right(), t = plot.top(), b = plot.bottom();
        face({f.project(l, t, 1), f.project(r, t, 1), f.project(r, b, 1), f.project(l, b, 1)}, QColor(0, 0, 25, 90));
        face({f.project(l, t, 0), f.project(l, t, 1), f.project(l, b, 1), f.project(l, b, 0)},
             QColor(70, 100, 170, 80));
        face({f.project(l, b, 0), f.project(r, b, 0), f.project(r, b, 1), f.project(l, b, 1)},
             QColor(90, 120, 190, 110));
        painter.setBrush(Qt::NoBrush);
        painter.setPen(gridPen);
        for (double value : yLabels) {
            const double y = layout.mapY(value);
            painter.drawPolyline(QPolygonF({f.project(l, y, 0), f.project(l, y, 1), f.project(r, y, 1)}));
        }

        // Depth axis along the bottom right edge.
        painter.setPen(axisPen);
        painter.drawLine(f.project(r, b, 0), f.project(r, b, 1));
        painter.setFont(labelFont);
        const int depthLabels = 5;
        for (int i = 0; i < depthLabels; ++i) {
            const double z = double(i) / (depthLabels - 1);
            const QPointF at = f.project(r, b, z);
            painter.drawLine(at, at + QPointF(kTickLength, 0));
            const QString text = QString::number(kDepthAxisFrom + (kDepthAxisTo - kDepthAxisFrom) * z, 'f', 2);
            painter.drawText(
                QRectF(at.x() + kTickLength + 2, at.y() - labelMetrics.height() / 2, 60, labelMetrics.height()),
                Qt::AlignLeft | Qt::AlignVCenter, text);
        }
    }

    // Left axis at the front face.
    painter.setPen(axisPen);
    painter.setFont(labelFont);
    const QPointF axisTop = f.project(plot.left(), plot.top(), 0);
    const QPointF axisBottom = f.project(plot.left(), plot.bottom(), 0);
    painter.drawLine(axisTop, axisBottom);
    for (double value : yLabels) {
        const QPointF at = f.project(plot.left(), layout.mapY(value), 0);
        painter.drawLine(at, at - QPointF(kTickLength, 0));
        painter.drawText(QRectF(0, at.y() - labelMetrics.height() / 2, at.x() - kTickLength - 2, labelMetrics.height()),
                         Qt::AlignRight | Qt::AlignVCenter, labelText(value));
    }
    painter.drawLine(axisBottom, f.project(plot.right(), plot.bottom(), 0));
    painter.setRenderHint(QPainter::Antialiasing, false);
}

} // namespace

QImage drawChartBackground(const ChartLayout& layout, const ChartFonts& fonts, QSize size, double ratio)
{
    QImage background(size * ratio, QImage::Format_RGB32); // opaque: blits without blending
    background.setDevicePixelRatio(ratio);
    QPainter painter(&background);
    drawTitles(painter, fonts, size);
    drawAxes(painter, layout);
    return background;
}

} // namespace veltrano
