#include "chart/legend.h"

#include "chart/chart_style.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPainter>
#include <QPixmap>
#include <QRectF>

#include <algorithm>
#include <cstddef>

namespace veltrano {

namespace {
constexpr int kRowSpacing = 18;
constexpr int kPadding = 8, kSymbolWidth = 22, kSymbolGap = 7, kBevel = 2;
} // namespace

Legend buildLegend(std::span<const LegendEntry> entries, const QFont& titleFont, const QFont& entryFont,
                   const QPixmap& picture, const QRectF& area, double ratio)
{
    const QFontMetricsF titleMetrics(titleFont), entryMetrics(entryFont);
    const QString title = QStringLiteral("CHÚ THÍCH");

    double textWidth = 0;
    for (const LegendEntry& entry : entries)
        textWidth = std::max(textWidth, entryMetrics.horizontalAdvance(entry.title));
    const int titleHeight = qCeil(titleMetrics.height()) + 6;
    const int rowHeight = qCeil(entryMetrics.height()) + kRowSpacing;
    const int legendWidth = qCeil(std::max(kPadding * 2 + kSymbolWidth + kSymbolGap + textWidth,
                                           kPadding * 2 + titleMetrics.horizontalAdvance(title)));
    const int legendHeight = kBevel * 2 + 4 + titleHeight + rowHeight * int(entries.size());

    Legend legend;
    legend.image = QImage(QSize(legendWidth, legendHeight) * ratio, QImage::Format_ARGB32_Premultiplied);
    legend.image.setDevicePixelRatio(ratio);
    legend.image.fill(QColor(10, 20, 60));
    {
        QPainter painter(&legend.image);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        const QRect box(0, 0, legendWidth, legendHeight);
        if (!picture.isNull())
            painter.drawPixmap(box, picture);

        painter.setPen(chart_style::kText);
        painter.setFont(titleFont);
        painter.drawText(QRect(0, kBevel + 2, legendWidth, titleHeight), Qt::AlignCenter, title);

        painter.setFont(entryFont);
        const QPen divider(QColor(210, 220, 245, 150), 1);
        int y = kBevel + 2 + titleHeight;
        for (std::size_t i = 0; i < entries.size(); ++i) {
            painter.setPen(divider);
            if (i > 0)
                painter.drawLine(kBevel + 2, y, legendWidth - kBevel - 3, y);
            const QRect row(kPadding, y, legendWidth - 2 * kPadding, rowHeight);
            QPen symbol = entries[i].pen;
            symbol.setCapStyle(Qt::FlatCap);
            painter.setPen(symbol);
            painter.drawLine(row.left(), row.center().y() + 1, row.left() + kSymbolWidth, row.center().y() + 1);
            painter.setPen(entries[i].pen.color());
            painter.drawText(row.adjusted(kSymbolWidth + kSymbolGap, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter,
                             entries[i].title);
            y += rowHeight;
        }
        chart_style::drawRaisedBevel(painter, box);
    }

    legend.position = QPoint(qRound(area.right()) - legendWidth - 10, qRound(area.top()) + 10);
    return legend;
}

} // namespace veltrano
