#pragma once

#include "serial/port_table.h"

#include <QString>
#include <QStringList>

namespace veltrano {

// The number of a port name, compared exactly with "COM1" to "COM16" in that order;
// 0 when none matches (lower case, a space or a leading zero match nothing).
int portNumberOf(const QString& name);

// The baud list's items, and its shown text before anything is chosen.
QStringList baudListItems();
QString baudListPrompt();
// Line settings for a position in the baud list; no choice, or any position past the
// list, gives the default rate.
QString lineSettingsFor(int baudListIndex);

} // namespace veltrano
