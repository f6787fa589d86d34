#pragma once

// The port-number file on disk: read without blocking or following a link where it must
// not, written whole or not at all, and never written over when it is not ours.

#include <QByteArray>
#include <QString>

namespace veltrano {

// What stands at the file's path.
struct RegistryEntry {
    enum class Kind {
        Absent, // nothing: a fresh file may be created
        File, // a regular file (or a link to one), read into text
        NotAFile, // something that cannot be a number file: moved aside when a link
        Unreadable, // left exactly as it is
    };
    Kind kind = Kind::Absent;
    bool isLink = false;
    QString target; // the file a link leads to (canonical), where it leads to one
    QByteArray text; // Kind::File: the whole content
    QString why; // NotAFile, Unreadable: for the message
};

// Larger than any number file (sixteen lines): such a file is not read further.
inline constexpr qint64 kRegistryMaxBytes = 64 * 1024;

RegistryEntry readRegistryEntry(const QString& file);

// Renames the entry itself (a link stays a link; its target is not touched) to
// "<file>.damaged", or "<file>.damaged.N" with the lowest N free, never replacing anything.
// Returns the new name, or an empty string with the reason in *error.
QString moveRegistryAside(const QString& file, QString* error);

// Writes the content whole or not at all. An existing file (through its link, where it is
// one) is replaced and keeps its permissions; otherwise the directory is made and the file
// created as a new entry, mode 0644 less the umask, never through a link that appeared
// meanwhile.
bool writeRegistryEntry(const QString& file, const RegistryEntry& entry, const QByteArray& content, QString* error);

} // namespace veltrano
