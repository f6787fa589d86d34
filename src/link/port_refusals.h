#pragma once

#include <QMap>
#include <QString>

namespace veltrano {

// The ports that the port search or a connect attempt found held by another program, and
// who holds them. Each holder is named on standard error when it is first found, and again
// only once its port was found free or in other hands in between, so that searching again
// and again repeats nothing.
class PortRefusals {
public:
    // Port `number` was refused; `holder` as "in use by minicom, pid 4242".
    void refused(int number, const QString& holder);
    // Port `number` opened, or failed for another reason: nobody is known to hold it.
    void cleared(int number);
    // One line per held port, in port order: "COM3: in use by minicom, pid 4242".
    QString toolTip() const;

private:
    QMap<int, QString> holders_;
};

} // namespace veltrano
