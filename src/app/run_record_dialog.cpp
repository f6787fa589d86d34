#include "app/run_record_dialog.h"

#include "app/trace_save_dialog.h"

#include <QDir>
#include <QFileInfo>
#include <QMessageBox>

#include <utility>

namespace veltrano {

namespace {

// The traces' default name, veltrano-YYYYMMDD-HHMMSS.csv, as a run's.
QString defaultRunName()
{
    QString name = TraceSaveDialog::defaultName();
    name.chop(int(sizeof(".csv") - 1));
    return name + QStringLiteral("-run.csv");
}

} // namespace

RunRecordDialog::RunRecordDialog(QWidget* parent, Start start)
    : QFileDialog(parent, QStringLiteral("Record the run"), defaultRunName(), QStringLiteral("Recordings (*.csv)")),
      start_(std::move(start))
{
    setAcceptMode(QFileDialog::AcceptSave);
    setDefaultSuffix(QStringLiteral("csv"));
    // An existing file is refused below rather than offered for replacing.
    setOption(QFileDialog::DontConfirmOverwrite);
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowModality(Qt::WindowModal);
}

void RunRecordDialog::accept()
{
    const QStringList chosen = selectedFiles();
    if (chosen.isEmpty())
        return;
    const QFileInfo file(chosen.first());
    if (file.isDir()) { // a folder typed as the name: go into it
        setDirectory(file.absoluteFilePath());
        return;
    }
    QString error;
    if (start_(file.absoluteFilePath(), &error)) {
        QDialog::accept();
        return;
    }
    auto* message = new QMessageBox(QMessageBox::Warning, windowTitle(),
                                    QStringLiteral("%1\nChoose another name.").arg(QDir::toNativeSeparators(error)),
                                    QMessageBox::Ok, this);
    message->setAttribute(Qt::WA_DeleteOnClose);
    message->open();
}

} // namespace veltrano
