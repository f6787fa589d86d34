#pragma once

#include <QFont>
#include <QPen>
#include <QStaticText>

#include <array>
#include <vector>

class QPainter;

namespace veltrano {

struct ChartProjection;

// The bottom axis' labels: which X values get one, and their texts, laid out once and kept
// while they scroll across the strip. Whole numbers' widths come from the digits' advances
// where the font's widths add up, so choosing the step shapes no text.
class BottomAxisLabels {
public:
    // The labels' font; texts laid out for another go.
    void setFont(const QFont& font, double height);

    // The values that get a label on [minX, maxX] shown over plotWidth pixels, in steps of
    // increment × {1, 2, 5} × 10^k; valid until the next call.
    const std::vector<double>& values(double minX, double maxX, double plotWidth, double increment);
    // The ticks and texts of values under the front bottom edge of frame's plot.
    void draw(QPainter& painter, const ChartProjection& frame, double minX, double maxX,
              const std::vector<double>& values);

    double width(double value) const;

private:
    struct Text {
        double value = 0.0;
        QStaticText text;
        double width = 0.0;
        quint64 used = 0; // the draw that last used it; 0: free
    };
    // The value's text laid out for font; the least recently drawn goes.
    const Text& prepared(double value, const QFont& font);
    void measureDigits();

    QFont font_;
    double height_ = 0.0;
    QPen pen_; // made once: setPen() with a colour makes a pen every frame
    std::vector<double> values_;
    std::array<Text, 24> texts_;
    quint64 draws_ = 0;
    // Advances of "0".."9" and "-", and whether whole numbers' widths are their sums.
    std::array<double, 11> digitAdvances_{};
    bool digitsAdd_ = false;
};

} // namespace veltrano
