#pragma once

#include <QFileDialog>
#include <QString>

#include <functional>

namespace veltrano {

// The save dialog that starts a recording: veltrano-YYYYMMDD-HHMMSS-run.csv in the
// documents folder by default. The accepted name is handed to `start`; when it cannot be
// had (the file exists: a recording never replaces one; a folder that is not writable) the
// dialog says why and stays open, so that another name can be chosen.
class RunRecordDialog : public QFileDialog {
    Q_OBJECT
public:
    using Start = std::function<bool(const QString& path, QString* error)>;
    RunRecordDialog(QWidget* parent, Start start);

    void accept() override;

private:
    Start start_;
};

} // namespace veltrano
