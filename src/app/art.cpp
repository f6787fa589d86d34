#include "app/art.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QRandomGenerator>

#include <cmath>

namespace veltrano {

namespace {

const QColor kGold(222, 178, 72);
const QColor kGoldLight(250, 222, 140);
const QColor kGoldDark(150, 108, 34);

// A square tile for a brush that repeats a faint pattern over a whole picture.
template <typename Draw>
QPixmap tile(int side, Draw draw)
{
    QPixmap pattern(side, side);
    pattern.fill(Qt::transparent);
    QPainter painter(&pattern);
    draw(painter, side);
    return pattern;
}

void drawVia(QPainter& painter, QPointF centre, double radius, const QColor& ring)
{
    painter.setPen(Qt::NoPen);
    painter.setBrush(ring);
    painter.drawEllipse(centre, radius, radius);
    painter.setBrush(QColor(6, 18, 44));
    painter.drawEllipse(centre, radius * 0.45, radius * 0.45);
}

// Fan-out traces from one side of the package: straight out, a 45° bend away from the
// side's middle, then straight on to a via. Parallel bends keep neighbouring traces apart.
void drawFanOut(QPainter& painter, QRandomGenerator& rng, QPointF middle, QPointF outward, QPointF along, int pins,
                double pitch, double reach)
{
    const QPen trace(QColor(64, 138, 222), 3.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    for (int k = 0; k < pins; ++k) {
        const double offset = (k - (pins - 1) / 2.0) * pitch;
        const double side = offset < 0 ? -1.0 : 1.0;
        const QPointF start = middle + along * offset;
        const QPointF bendStart = start + outward * 18.0;
        const double spread = std::abs(offset) * 0.9;
        const QPointF bendEnd = bendStart + outward * spread + along * (side * spread);
        const double tail = reach * (0.35 + 0.65 * rng.bounded(1.0));
        const QPointF end = bendEnd + outward * tail;

        QPainterPath path(start);
        path.lineTo(bendStart);
        path.lineTo(bendEnd);
        path.lineTo(end);
        painter.setPen(trace);
        painter.setBrush(Qt::NoBrush);
        painter.drawPath(path);
        drawVia(painter, end, 5.5, kGold);
    }
}

// Stray traces and vias over the rest of the board, in 45° steps.
void drawBoardTraces(QPainter& painter, QRandomGenerator& rng, const QRectF& board, const QRectF& keepOut)
{
    const QPen trace(QColor(36, 96, 184), 2.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    static const QPointF directions[] = {{1, 0},  {0.7071, 0.7071},   {0, 1},  {-0.7071, 0.7071},
                                         {-1, 0}, {-0.7071, -0.7071}, {0, -1}, {0.7071, -0.7071}};
    for (int t = 0; t < 140; ++t) {
        QPointF at(board.left() + rng.bounded(board.width()), board.top() + rng.bounded(board.height()));
        if (keepOut.contains(at))
            continue;
        int heading = rng.bounded(4) * 2; // start along an axis
        QPainterPath path(at);
        const int legs = 2 + rng.bounded(3);
        for (int leg = 0; leg < legs; ++leg) {
            const QPointF next = at + directions[heading] * (25.0 + rng.bounded(90.0));
            if (keepOut.intersects(QRectF(at, next).normalized().adjusted(-6, -6, 6, 6)))
                break;
            path.lineTo(next);
            at = next;
            heading = (heading + (rng.bounded(2) ? 1 : 7)) % 8;
        }
        painter.setPen(trace);
        painter.setBrush(Qt::NoBrush);
        painter.drawPath(path);
        drawVia(painter, path.pointAtPercent(0), 4.0, QColor(160, 138, 86));
        drawVia(painter, at, 4.0, QColor(160, 138, 86));
    }
}

// Small two-terminal parts: a body with metal ends.
void drawSmallParts(QPainter& painter, QRandomGenerator& rng, const QRectF& board, const QRectF& keepOut)
{
    for (int i = 0; i < 26; ++i) {
        const QPointF centre(board.left() + rng.bounded(board.width()), board.top() + rng.bounded(board.height()));
        const bool vertical = rng.bounded(2);
        const QSizeF size = vertical ? QSizeF(12, 26) : QSizeF(26, 12);
        const QRectF body(centre - QPointF(size.width() / 2, size.height() / 2), size);
        if (keepOut.intersects(body.adjusted(-20, -20, 20, 20)))
            continue;
        const bool capacitor = rng.bounded(2);
        painter.setPen(Qt::NoPen);
        painter.setBrush(capacitor ? QColor(150, 120, 80) : QColor(30, 30, 34));
        painter.drawRect(body);
        painter.setBrush(QColor(205, 205, 210));
        if (vertical) {
            painter.drawRect(QRectF(body.left(), body.top(), body.width(), 6));
            painter.drawRect(QRectF(body.left(), body.bottom() - 6, body.width(), 6));
        } else {
            painter.drawRect(QRectF(body.left(), body.top(), 6, body.height()));
            painter.drawRect(QRectF(body.right() - 6, body.top(), 6, body.height()));
        }
    }
}

void drawPackage(QPainter& painter, const QRectF& package, int pinsPerSide, double pitch)
{
    // Gold pins on all four sides, under the package edge.
    const double pinLength = 16, pinWidth = pitch * 0.5;
    painter.setPen(Qt::NoPen);
    for (int side = 0; side < 4; ++side) {
        for (int k = 0; k < pinsPerSide; ++k) {
            const double offset = (k - (pinsPerSide - 1) / 2.0) * pitch;
            QRectF pin;
            switch (side) {
            case 0:
                pin = QRectF(package.center().x() + offset - pinWidth / 2, package.top() - pinLength, pinWidth,
                             pinLength + 4);
                break;
            case 1:
                pin = QRectF(package.right() - 4, package.center().y() + offset - pinWidth / 2, pinLength + 4,
                             pinWidth);
                break;
            case 2:
                pin = QRectF(package.center().x() + offset - pinWidth / 2, package.bottom() - 4, pinWidth,
                             pinLength + 4);
                break;
            default:
                pin = QRectF(package.left() - pinLength, package.center().y() + offset - pinWidth / 2, pinLength + 4,
                             pinWidth);
                break;
            }
            QLinearGradient shine(pin.topLeft(), pin.bottomRight());
            shine.setColorAt(0.0, kGoldLight);
            shine.setColorAt(0.5, kGold);
            shine.setColorAt(1.0, kGoldDark);
            painter.setBrush(shine);
            painter.drawRect(pin);
        }
    }

    // Drop shadow, then the package body with a bevelled edge.
    painter.setBrush(QColor(0, 0, 0, 110));
    painter.drawRoundedRect(package.translated(7, 9), 8, 8);
    QLinearGradient body(package.topLeft(), package.bottomRight());
    body.setColorAt(0.0, QColor(58, 60, 68));
    body.setColorAt(1.0, QColor(18, 19, 24));
    painter.setBrush(body);
    painter.setPen(QPen(QColor(95, 98, 110), 2));
    painter.drawRoundedRect(package, 8, 8);

    // Heat spreader and die outline.
    const QRectF spreader = package.adjusted(38, 38, -38, -38);
    QLinearGradient metal(spreader.topLeft(), spreader.bottomRight());
    metal.setColorAt(0.0, QColor(92, 96, 108));
    metal.setColorAt(0.55, QColor(50, 53, 62));
    metal.setColorAt(1.0, QColor(34, 36, 44));
    painter.setBrush(metal);
    painter.setPen(QPen(QColor(120, 124, 138), 1.5));
    painter.drawRoundedRect(spreader, 5, 5);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(QColor(140, 145, 160, 90), 1));
    painter.drawRect(spreader.adjusted(26, 26, -26, -26));

    // Pin-1 mark.
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(150, 150, 160));
    painter.drawEllipse(package.topLeft() + QPointF(18, 18), 5, 5);
}

} // namespace

QPixmap backgroundPicture()
{
    const QSize size(960, 634);
    QPixmap picture(size);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    QRandomGenerator rng(0x5EED0A17u);

    const QRectF board(QPointF(0, 0), size);
    QRadialGradient base(board.center(), size.width() * 0.62);
    base.setColorAt(0.0, QColor(24, 86, 170));
    base.setColorAt(0.55, QColor(14, 52, 120));
    base.setColorAt(1.0, QColor(6, 20, 60));
    painter.fillRect(board, base);

    // Fine copper-pour grid. Translucent fills are slow one line at a time, so the grid is
    // a tile laid in one fill.
    painter.fillRect(board, QBrush(tile(16, [](QPainter& p, int side) {
                         p.fillRect(0, 0, side, 1, QColor(120, 180, 255, 22));
                         p.fillRect(0, 1, 1, side - 1, QColor(120, 180, 255, 22));
                     })));

    const double packageSize = 250, pitch = 14;
    const int pins = 13;
    const QRectF package(board.center() - QPointF(packageSize / 2, packageSize / 2), QSizeF(packageSize, packageSize));
    const QRectF keepOut = package.adjusted(-300, -160, 300, 160);

    drawBoardTraces(painter, rng, board, keepOut);
    drawSmallParts(painter, rng, board, keepOut);
    const double pinReach = 16;
    drawFanOut(painter, rng, QPointF(package.center().x(), package.top() - pinReach), {0, -1}, {1, 0}, pins, pitch, 70);
    drawFanOut(painter, rng, QPointF(package.center().x(), package.bottom() + pinReach), {0, 1}, {1, 0}, pins, pitch,
               70);
    drawFanOut(painter, rng, QPointF(package.left() - pinReach, package.center().y()), {-1, 0}, {0, 1}, pins, pitch,
               150);
    drawFanOut(painter, rng, QPointF(package.right() + pinReach, package.center().y()), {1, 0}, {0, 1}, pins, pitch,
               150);
    drawPackage(painter, package, pins, pitch);

    // Darken towards the edges, on an ellipse that fits the picture.
    QRadialGradient vignette(QPointF(0, 0), 1.0);
    vignette.setColorAt(0.0, QColor(4, 14, 48, 0));
    vignette.setColorAt(0.55, QColor(4, 14, 48, 30));
    vignette.setColorAt(0.85, QColor(3, 11, 40, 170));
    vignette.setColorAt(1.0, QColor(2, 8, 32, 240));
    vignette.setSpread(QGradient::PadSpread);
    QBrush edges(vignette);
    edges.setTransform(QTransform::fromTranslate(board.center().x(), board.center().y())
                           .scale(size.width() * 0.62, size.height() * 0.62));
    painter.fillRect(board, edges);
    return picture;
}

QPixmap legendPicture()
{
    const QSize size(960, 640);
    QPixmap picture(size);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    QRandomGenerator rng(0x1E6E0D5u);

    QLinearGradient base(0, 0, size.width(), size.height());
    base.setColorAt(0.0, QColor(16, 26, 58));
    base.setColorAt(0.5, QColor(8, 14, 36));
    base.setColorAt(1.0, QColor(14, 34, 60));
    painter.fillRect(picture.rect(), base);

    // Faint diagonal hatching.
    painter.fillRect(picture.rect(), QBrush(tile(48, [](QPainter& p, int side) {
                         p.setRenderHint(QPainter::Antialiasing);
                         p.setPen(QPen(QColor(90, 130, 210, 18), 6));
                         for (int shift : {-side, 0, side})
                             p.drawLine(QPointF(shift, side), QPointF(shift + side, 0));
                     })));

    // Signal waves, opaque in shades a little lighter than the ground.
    for (int w = 0; w < 6; ++w) {
        const double amplitude = 30 + rng.bounded(70.0);
        const double period = 180 + rng.bounded(320.0);
        const double phase = rng.bounded(6.283);
        const double baseline = 60 + rng.bounded(double(size.height() - 120));
        QPainterPath wave;
        for (int x = 0; x <= size.width(); x += 8) {
            const QPointF p(x, baseline + amplitude * std::sin(x * 6.2832 / period + phase));
            if (x == 0)
                wave.moveTo(p);
            else
                wave.lineTo(p);
        }
        const QColor colour = QColor::fromHsv(205 + rng.bounded(40), 150, 62 + rng.bounded(22));
        painter.setPen(QPen(colour, 10 + rng.bounded(14), Qt::SolidLine, Qt::RoundCap));
        painter.drawPath(wave);
    }

    QRadialGradient glow(QPointF(size.width() * 0.25, size.height() * 0.2), size.width() * 0.6);
    glow.setColorAt(0.0, QColor(80, 120, 220, 45));
    glow.setColorAt(1.0, QColor(0, 0, 0, 0));
    painter.fillRect(picture.rect(), glow);
    return picture;
}

namespace {

QPixmap iconImage(int size)
{
    QPixmap image(size, size);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    const double s = size;

    // Rounded tile.
    QLinearGradient tile(0, 0, 0, s);
    tile.setColorAt(0.0, QColor(34, 100, 200));
    tile.setColorAt(1.0, QColor(10, 36, 96));
    painter.setPen(Qt::NoPen);
    painter.setBrush(tile);
    painter.drawRoundedRect(QRectF(0, 0, s, s).adjusted(s * 0.02, s * 0.02, -s * 0.02, -s * 0.02), s * 0.2, s * 0.2);

    // Motor housing: a steel disc in a gold ring, with its shaft.
    const QPointF centre(s / 2, s / 2);
    const double radius = s * 0.36;
    painter.setBrush(kGold);
    painter.drawEllipse(centre, radius, radius);
    QRadialGradient steel(centre - QPointF(radius * 0.35, radius * 0.35), radius * 1.4);
    steel.setColorAt(0.0, QColor(230, 234, 242));
    steel.setColorAt(1.0, QColor(110, 116, 130));
    painter.setBrush(steel);
    const double inner = radius * 0.82;
    painter.drawEllipse(centre, inner, inner);

    // Driver chip on the housing.
    const double chip = s * (size <= 16 ? 0.30 : 0.26);
    const QRectF die(centre - QPointF(chip / 2, chip / 2), QSizeF(chip, chip));
    if (size >= 24) {
        const int pins = size >= 64 ? 4 : 2;
        const double pinLength = chip * 0.22, pinWidth = chip / (pins * 2.0);
        painter.setBrush(kGoldDark);
        for (int k = 0; k < pins; ++k) {
            const double offset = (k + 0.5) * chip / pins - pinWidth / 2;
            painter.drawRect(QRectF(die.left() + offset, die.top() - pinLength, pinWidth, pinLength * 2 + chip));
            painter.drawRect(QRectF(die.left() - pinLength, die.top() + offset, pinLength * 2 + chip, pinWidth));
        }
    }
    painter.setBrush(QColor(24, 26, 32));
    painter.drawRect(die);
    if (size >= 48) {
        painter.setBrush(QColor(200, 200, 210));
        painter.drawEllipse(die.topLeft() + QPointF(chip * 0.2, chip * 0.2), chip * 0.07, chip * 0.07);
    }
    return image;
}

} // namespace

QIcon applicationIcon()
{
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128, 256})
        icon.addPixmap(iconImage(size));
    return icon;
}

} // namespace veltrano
