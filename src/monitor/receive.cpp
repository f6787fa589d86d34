// The communication event: a log of replies in the setup view, sample frames in the
// chart view.
#include "app/form1.h"

namespace veltrano {

namespace {
constexpr qsizetype kLogLimit = 1000; // the box restarts once it passes this length
const QString kRestart = QStringLiteral("0");

int characterCode(QChar c) { return c.unicode() < 256 ? c.unicode() : '?'; }
} // namespace

void Form1::MSComm1_OnComm()
{
    if (MSComm1.commEvent() != SerialControl::comEvReceive)
        return;
    const QString received = fromWire(MSComm1.input());

    if (Draw->text() == QLatin1String("SIMULATION")) {
        Text2->append(received);
        Text2->setSelStart(int(Text2->text().size()));
        progressActive = 1;
        if (Text2->text().size() > kLogLimit)
            Text2->setText(kRestart);
        return;
    }

    Text2->append(received);
    if (Text2->text().contains(QLatin1Char('E'))) {
        decodeFrame();
    } else if (Text2->text().size() > kLogLimit) {
        // A line that never sends an end mark must not grow the box without bound.
        Text2->setText(kRestart);
    }
}

// The box's last character is taken as the end mark; the four before it are the frame,
// counted back from the end, so a short frame reaches into the box's leading character.
void Form1::decodeFrame()
{
    const QString box = Text2->text();
    const qsizetype length = box.size();
    for (frameIndex = 0; frameIndex <= length - 1; ++frameIndex) {
        const qsizetype at = length - frameIndex - 1; // 0-based index of position L - k
        switch (frameIndex) {
        case 1: data3 = std::uint8_t(characterCode(box[at])); break;
        case 2: data2 = std::int16_t(characterCode(box[at])); break;
        case 3: data1 = std::int16_t(characterCode(box[at])); break;
        case 4: data0 = std::int16_t(characterCode(box[at])); break;
        default: break;
        }
        if (frameIndex >= 4)
            break; // nothing beyond the fourth position is read
    }
    // A box holding only the end mark has no character before it to show.
    Text7->setText(length >= 2 ? QString(box[length - 2]) : QString());
    Text2->setText(kRestart);
}

} // namespace veltrano
