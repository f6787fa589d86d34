// Coverage-guided fuzzing of the receive path: one window on fake controls, driven by a
// script decoded from each input, checked after every communication event against a
// reference model of what the event must do.
//
// Script: the first byte sets the start (bit 0: chart view, bits 1-2: bytes per read,
// bit 3: let the widgets catch up at the end);
// then each op byte is `kind | arg << 3`:
//   0-2  receive the next arg+1 bytes in one arrival
//   3    receive (arg+1)*64 copies of the next byte in one arrival
//   4    the view button (setup <-> chart)
//   5    bytes per read = arg % 4 (0: all that wait)
//   6    arg % 4 + 1 timer ticks
//   7    arg % 8: 0-3 the box holds one of the texts the program writes itself,
//        4 the connect toggle, 5-7 a lone end mark arrives
#include "app/event_dispatch.h"
#include "support/form_fixture.h"
#include "support/reference_receiver.h"

#include <QApplication>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

using namespace veltrano;
using veltrano::testing::inChartView;
using veltrano::testing::ReferenceReceiver;

namespace {

[[noreturn]] void violated(const char* what)
{
    std::fprintf(stderr, "fuzz_receive: invariant violated: %s\n", what);
    std::fflush(stderr);
    __builtin_trap();
}

#define CHECK(cond)                                                                                                    \
    do {                                                                                                               \
        if (!(cond))                                                                                                   \
            violated(#cond);                                                                                           \
    } while (0)

std::u16string_view u16(const QString& s)
{
    return std::u16string_view(reinterpret_cast<const char16_t*>(s.utf16()), std::size_t(s.size()));
}

std::optional<int> widen(const std::optional<std::int16_t>& v) { return v ? std::optional<int>(*v) : std::nullopt; }

struct Harness {
    testing::FormFixture fixture;
    ReferenceReceiver model;
    // The arrival being delivered, and how much of it the events so far have taken.
    QByteArray pending;
    qsizetype taken = 0;
    int inputLen = 1;
    long events = 0;

    Harness() : fixture({3})
    {
        fixture.connect(QStringLiteral("COM3"));
        if (!fixture.serial->portOpen())
            violated("the fixture port did not open");
        // Connected after the window's own handler, so this runs right after each event.
        QObject::connect(fixture.serial, &SerialControl::onComm, fixture.form.get(), [this] { afterEvent(); });
    }

    Form1& w() { return *fixture.form; }

    void reset(bool chart, int len)
    {
        Form1& f = w();
        if (!fixture.serial->portOpen())
            testing::FormFixture::click(f.Command4);
        CHECK(fixture.serial->portOpen());
        if (inChartView(f) != chart)
            testing::FormFixture::click(f.Draw);
        f.Text2->setText(QStringLiteral("\r"));
        f.Text7->setText(QString());
        f.data0.reset();
        f.data1.reset();
        f.data2.reset();
        f.data3 = 0;
        f.progressActive = 0;
        setInputLen(len);
        fixture.serial->outputs.clear();
        fixture.serial->openedPorts.clear();

        model = ReferenceReceiver();
        model.chartView = chart;
        model.box = u"\r";
    }

    void setInputLen(int len)
    {
        inputLen = len;
        fixture.serial->setInputLen(len);
    }

    void afterEvent()
    {
        Form1& f = w();
        ++events;
        const qsizetype left = pending.size() - taken;
        CHECK(left > 0); // an event with nothing to read must not be raised
        const qsizetype n = inputLen == 0 ? left : qMin<qsizetype>(inputLen, left);
        model.event(pending.mid(taken, n));
        taken += n;
        CHECK(fixture.serial->waiting() == pending.size() - taken);

        const QString& box = f.Text2->text();
        CHECK(std::size_t(box.size()) <= 1000);
        CHECK(u16(box) == model.box);
        CHECK(widen(f.data0) == model.d0);
        CHECK(widen(f.data1) == model.d1);
        CHECK(widen(f.data2) == model.d2);
        CHECK(int(f.data3) == model.d3);
        CHECK(u16(f.Text7->text()) == model.line7);
        if (!model.chartView) {
            CHECK(f.progressActive == 1);
            CHECK(f.Text2->selStart() == (model.restarted ? 0 : int(box.size())));
        }
    }

    void arrive(const QByteArray& bytes)
    {
        if (bytes.isEmpty())
            return;
        const long failuresBefore = dispatchFailureCount();
        const long eventsBefore = events;
        const qsizetype writesBefore = fixture.serial->outputs.size();
        pending = bytes;
        taken = 0;
        fixture.serial->receive(bytes);
        if (model.open) {
            CHECK(taken == bytes.size()); // every byte reached the handler
        } else {
            CHECK(events == eventsBefore); // a closed port delivers nothing
        }
        CHECK(fixture.serial->waiting() == 0);
        CHECK(dispatchFailureCount() == failuresBefore);
        CHECK(fixture.serial->outputs.size() == writesBefore); // receiving never writes
        pending.clear();
    }

    void viewButton()
    {
        testing::FormFixture::click(w().Draw);
        model.chartView = !model.chartView;
        CHECK(inChartView(w()) == model.chartView);
        if (model.chartView)
            model.box = model.open ? u"\r" : u"COM PORT DOES NOT HAVE";
        CHECK(u16(w().Text2->text()) == model.box);
    }

    void connectToggle()
    {
        testing::FormFixture::click(w().Command4);
        model.open = !model.open;
        CHECK(fixture.serial->portOpen() == model.open);
        model.box = model.open ? u"\r" : u"COM PORT DISCONNECTED";
        model.line7.clear();
        if (model.open) {
            inputLen = 1; // connecting sets the port up to read one byte per event
            CHECK(fixture.serial->inputLength() == 1);
        }
        CHECK(u16(w().Text2->text()) == model.box);
        CHECK(u16(w().Text7->text()) == model.line7);
    }

    void ticks(int n)
    {
        const long failuresBefore = dispatchFailureCount();
        fixture.timer->fire(n);
        CHECK(dispatchFailureCount() == failuresBefore);
        // The tick runs the progress ticker and the chart, which own the status line.
        model.line7 = std::u16string(u16(w().Text7->text()));
        CHECK(u16(w().Text2->text()) == model.box);
    }

    void boxText(int which)
    {
        static const QString texts[] = {
            QString(), QStringLiteral("COM PORT DOES NOT HAVE"), QStringLiteral("CÔNG COM KHONG TON TAI"),
            QStringLiteral("t\u1ed1c \u0111\u1ed9 E \U0001F600"), // outside 8 bits, with an end mark
        };
        w().Text2->setText(texts[which]);
        model.box = std::u16string(u16(texts[which]));
    }

    void run(const std::uint8_t* data, std::size_t size)
    {
        if (size == 0)
            return;
        reset(data[0] & 1, (data[0] >> 1) & 3);
        std::size_t at = 1;
        while (at < size) {
            const int op = data[at++];
            const int kind = op & 7, arg = op >> 3;
            switch (kind) {
            case 0:
            case 1:
            case 2: {
                const std::size_t n = qMin<std::size_t>(std::size_t(arg) + 1, size - at);
                arrive(QByteArray(reinterpret_cast<const char*>(data + at), qsizetype(n)));
                at += n;
                break;
            }
            case 3: {
                const char byte = at < size ? char(data[at++]) : 'x';
                arrive(QByteArray((arg + 1) * 64, byte));
                break;
            }
            case 4: viewButton(); break;
            case 5: setInputLen(arg % 4); break;
            case 6: ticks(arg % 4 + 1); break;
            default: {
                const int sub = arg % 8;
                if (sub < 4)
                    boxText(sub);
                else if (sub == 4)
                    connectToggle();
                else
                    arrive(QByteArrayLiteral("E"));
                break;
            }
            }
        }
        if (data[0] & 8) {
            // Let the widgets catch up with what the boxes now hold (the costly part of a
            // run, so only when the script asks for it).
            QCoreApplication::processEvents();
            CHECK(u16(w().Text2->text()) == model.box);
        }
    }
};

Harness* harness = nullptr;

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Both live for the whole run: the window is built once and reused for every input.
    static QApplication app(*argc, *argv);
    harness = new Harness;
    // One pass through both views before fuzzing starts, so that what Qt sets up lazily on
    // first use (fonts, layouts, and keeps for the whole run) is in place before the
    // fuzzer starts counting allocations per input.
    static const std::uint8_t warmUp[] = {0x02, 0x18, 'O', 'K', '\r', '\n', 0x7B, 'x',  0x04, 0x20,
                                          'A',  'B',  'C', 'D', 'E',  0x06, 0x27, 0x27, 0x1F, 0x04};
    harness->run(warmUp, sizeof warmUp);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    harness->run(data, size);
    return 0;
}
