#pragma once

#include <QByteArray>
#include <QString>

#include <array>

namespace veltrano {

// Every message the program sends to the driver, byte for byte.
namespace message {
inline const QString greeting = QStringLiteral("A");
inline const QString run = QStringLiteral("J");
inline const QString div = QStringLiteral("T");
inline const QString stop = QStringLiteral("I");
inline const QString poll = QStringLiteral("Q");
} // namespace message

// Where the parameter record takes its fields from, read at the moment each is written.
class ParameterSource {
public:
    virtual ~ParameterSource() = default;
    virtual QString speedFactorText() const = 0;
    virtual bool accelerationChecked() const = 0;
    virtual QString responsesText() const = 0;
    virtual QString speedTestText() const = 0;
    virtual int controlModeIndex() const = 0; // list position, -1 for none
    virtual bool counterEdgeChecked() const = 0;
};

// The record goes out as this many separate writes:
// "C", speed factor, "=", acceleration, "=", responses, "=", speed test, "=", mode, "=", edge, "F".
inline constexpr int kRecordPieces = 13;

// Piece `index` (0 to 12) of the parameter record, reading only the field it needs.
QString recordPiece(int index, const ParameterSource& source);
// The whole record, piece by piece.
std::array<QString, kRecordPieces> parameterRecord(const ParameterSource& source);

// A typed number field: the default when empty, "1" for exactly "0", otherwise as typed.
QString numberField(const QString& typed, const QString& whenEmpty);
QString flagField(bool checked);
QString modeField(int listIndex);

// Text to line bytes: one byte per character; a character without an 8-bit form is "?".
QByteArray toWire(const QString& text);
// Line bytes to text: each byte is the character of the same code.
inline QString fromWire(const QByteArray& bytes) { return QString::fromLatin1(bytes); }

} // namespace veltrano
