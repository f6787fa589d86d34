#pragma once

#include <QFileDialog>
#include <QImage>
#include <QString>

namespace veltrano {

// The save dialog for the chart's traces: a snapshot taken when it opens (the table and
// the picture) is written, when the operator accepts a name, as NAME.csv and NAME.png. A
// file that cannot be written is reported in the dialog, which stays open with the
// snapshot, so that another place can be chosen; nothing is half written.
class TraceSaveDialog : public QFileDialog {
    Q_OBJECT
public:
    TraceSaveDialog(QWidget* parent, const QString& table, const QImage& picture);

    // veltrano-YYYYMMDD-HHMMSS in the user's documents folder.
    static QString defaultName();

    void accept() override;

private:
    QString table_;
    QImage picture_;
};

} // namespace veltrano
