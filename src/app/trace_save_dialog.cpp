#include "app/trace_save_dialog.h"

#include <QBuffer>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QSaveFile>
#include <QStandardPaths>

#include <memory>
#include <utility>
#include <vector>

namespace veltrano {

namespace {

struct Output {
    QString path;
    QByteArray bytes;
};

// Writes every file whole, or none of them where it can be helped: each is written aside
// and put in place only once all were written. Returns the file and reason of a failure.
std::pair<QString, QString> writeAll(const std::vector<Output>& outputs)
{
    std::vector<std::unique_ptr<QSaveFile>> files;
    for (const Output& output : outputs) {
        auto file = std::make_unique<QSaveFile>(output.path);
        if (!file->open(QIODevice::WriteOnly) || file->write(output.bytes) != output.bytes.size())
            return {output.path, file->errorString()};
        files.push_back(std::move(file));
    }
    for (const auto& file : files) {
        if (!file->commit())
            return {file->fileName(), file->errorString()};
    }
    return {};
}

} // namespace

TraceSaveDialog::TraceSaveDialog(QWidget* parent, const QString& table, const QImage& picture)
    : QFileDialog(parent, QStringLiteral("Keep the traces"), defaultName(), QStringLiteral("Traces (*.csv)")),
      table_(table), picture_(picture)
{
    setAcceptMode(QFileDialog::AcceptSave);
    setDefaultSuffix(QStringLiteral("csv"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowModality(Qt::WindowModal);
}

QString TraceSaveDialog::defaultName()
{
    QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (folder.isEmpty() || !QDir(folder).exists())
        folder = QDir::homePath();
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    return QDir(folder).filePath(QStringLiteral("veltrano-%1.csv").arg(stamp));
}

void TraceSaveDialog::accept()
{
    const QStringList chosen = selectedFiles();
    if (chosen.isEmpty())
        return;
    const QFileInfo csv(chosen.first());
    if (csv.isDir()) { // a folder typed as the name: go into it
        setDirectory(csv.absoluteFilePath());
        return;
    }
    const QString base = csv.suffix().compare(QLatin1String("csv"), Qt::CaseInsensitive) == 0
                             ? csv.path() + QLatin1Char('/') + csv.completeBaseName()
                             : csv.filePath();
    const QString csvPath = base + QStringLiteral(".csv"), pngPath = base + QStringLiteral(".png");

    // Both files are put in place by this dialog, so it asks about either one; Qt's own
    // question covers only the name that was typed.
    for (const QString& path : {csvPath, pngPath}) {
        if (QFileInfo::exists(path)
            && QMessageBox::warning(
                   this, windowTitle(),
                   QStringLiteral("%1 already exists.\nDo you want to replace it?").arg(QDir::toNativeSeparators(path)),
                   QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
                   != QMessageBox::Yes)
            return;
    }

    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (!picture_.isNull())
        picture_.save(&buffer, "PNG");

    std::vector<Output> outputs{{csvPath, table_.toUtf8()}};
    if (!png.isEmpty())
        outputs.push_back({pngPath, png});
    const auto [failedPath, failure] = writeAll(outputs);
    if (failure.isEmpty()) {
        QDialog::accept(); // written: nothing left to check
        return;
    }
    auto* message = new QMessageBox(QMessageBox::Warning, windowTitle(),
                                    QStringLiteral("%1 could not be written: %2\nChoose another place.")
                                        .arg(QDir::toNativeSeparators(failedPath), failure),
                                    QMessageBox::Ok, this);
    message->setAttribute(Qt::WA_DeleteOnClose);
    message->open();
}

} // namespace veltrano
