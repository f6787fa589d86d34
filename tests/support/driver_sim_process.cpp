#include "support/driver_sim_process.h"

namespace veltrano::testing {

DriverSimProcess::DriverSimProcess(const QString& executable, const QString& linkPath, const QString& comName,
                                   const QStringList& extraArgs)
    : child_(executable, linkPath, comName, extraArgs, [this](double seconds, const QString& line) {
          logTimes_.append(seconds);
          logLines_.append(line);
      })
{
}

QStringList DriverSimProcess::log()
{
    child_.readOutput();
    return logLines_;
}

QStringList DriverSimProcess::received()
{
    QStringList lines;
    for (const QString& line : log()) {
        if (line.startsWith(QLatin1String("rx ")))
            lines.append(line);
    }
    return lines;
}

bool DriverSimProcess::logged(const QString& line) { return log().contains(line); }

double DriverSimProcess::loggedAt(const QString& line)
{
    const qsizetype index = log().indexOf(line);
    return index < 0 ? -1.0 : logTimes_[index];
}

} // namespace veltrano::testing
