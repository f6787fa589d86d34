#include "protocol/messages.h"

#include <QList>

namespace veltrano {

QString numberField(const QString& typed, const QString& whenEmpty)
{
    if (typed.isEmpty())
        return whenEmpty;
    if (typed == QLatin1String("0"))
        return QStringLiteral("1");
    return typed;
}

QString flagField(bool checked) { return checked ? QStringLiteral("9") : QStringLiteral("1"); }

QString modeField(int listIndex)
{
    return listIndex >= 0 && listIndex <= 5 ? QString::number(listIndex) : QStringLiteral("0");
}

QString recordPiece(int index, const ParameterSource& source)
{
    switch (index) {
    case 0: return QStringLiteral("C");
    case 1: return numberField(source.speedFactorText(), QStringLiteral("2600"));
    case 3: return flagField(source.accelerationChecked());
    case 5: return numberField(source.responsesText(), QStringLiteral("10"));
    case 7: return numberField(source.speedTestText(), QStringLiteral("2"));
    case 9: return modeField(source.controlModeIndex());
    case 11: return flagField(source.counterEdgeChecked());
    case 12: return QStringLiteral("F");
    case 2:
    case 4:
    case 6:
    case 8:
    case 10: return QStringLiteral("=");
    default: return {};
    }
}

std::array<QString, kRecordPieces> parameterRecord(const ParameterSource& source)
{
    std::array<QString, kRecordPieces> pieces;
    for (int i = 0; i < kRecordPieces; ++i)
        pieces[i] = recordPiece(i, source);
    return pieces;
}

QByteArray toWire(const QString& text)
{
    QByteArray bytes;
    bytes.reserve(text.size());
    for (const char32_t c : text.toUcs4())
        bytes.append(c < 256 ? char(c) : '?');
    return bytes;
}

} // namespace veltrano
