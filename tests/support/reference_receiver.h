#pragma once

// What one receive event must leave in the window, computed on its own terms and apart
// from the program's code: the box as UTF-16 code units, the frame read backwards from
// the box's last character. The receive tests and the fuzz target both check against it.
#include <QByteArray>

#include <cstddef>
#include <optional>
#include <string>

namespace veltrano::testing {

struct ReferenceReceiver {
    std::u16string box;
    bool chartView = false;
    bool open = true;
    std::optional<int> d0, d1, d2;
    int d3 = 0;
    std::u16string line7;
    bool restarted = false; // the last event restarted the box

    static int code(char16_t c) { return c < 0x100 ? int(c) : int('?'); }

    void event(const QByteArray& piece)
    {
        restarted = false;
        for (char b : piece)
            box.push_back(char16_t(static_cast<unsigned char>(b)));
        const bool hasMark = chartView && box.find(u'E') != std::u16string::npos;
        if (!hasMark) {
            if (box.size() > 1000) {
                box = u"0";
                restarted = true;
            }
            return;
        }
        const std::size_t n = box.size();
        if (n >= 2)
            d3 = code(box[n - 2]);
        if (n >= 3)
            d2 = code(box[n - 3]);
        if (n >= 4)
            d1 = code(box[n - 4]);
        if (n >= 5)
            d0 = code(box[n - 5]);
        line7 = n >= 2 ? std::u16string(1, box[n - 2]) : std::u16string();
        box = u"0";
        restarted = true;
    }
};

} // namespace veltrano::testing
