#include "controls/fixed_label.h"

#include <QPainter>

namespace veltrano {

QStringList wrapAtWordBreaks(const QString& text, int maxWidth, const std::function<int(const QString&)>& widthOf)
{
    QStringList lines;
    const QStringList words = text.split(QLatin1Char(' '));
    QString line = words.first();
    for (qsizetype i = 1; i < words.size(); ++i) {
        const QString longer = line + QLatin1Char(' ') + words[i];
        if (widthOf(longer) <= maxWidth) {
            line = longer;
            continue;
        }
        lines << line;
        line = words[i];
    }
    lines << line;
    return lines;
}

void FixedLabel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setFont(font());
    painter.setPen(palette().color(foregroundRole()));
    const QFontMetrics metrics(font());
    const QStringList lines = wrapAtWordBreaks(text(), width(),
                                               [&metrics](const QString& s) { return metrics.horizontalAdvance(s); });
    const Qt::Alignment horizontal = alignment() & Qt::AlignHorizontal_Mask;
    int y = 0;
    for (const QString& line : lines) {
        if (y >= height())
            break;
        painter.drawText(QRect(0, y, width(), metrics.height()), int(horizontal | Qt::AlignTop), line);
        y += metrics.lineSpacing();
    }
}

} // namespace veltrano
