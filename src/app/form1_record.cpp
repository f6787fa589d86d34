// A recording of the whole run: every frame the window decodes, as one row of a CSV file
// written off the UI thread, from Ctrl+R (or --record) until Ctrl+R again, the run's line
// going away or the window closing.
#include "app/form1.h"
#include "platform/log.h"
#include "app/run_record_dialog.h"
#include "monitor/strip_window.h"
#include "monitor/trace_table.h"

#include <QFileInfo>
#include <QMessageBox>

#include <cstdio>

namespace veltrano {

namespace {
const QString kTitle = QStringLiteral("VELTRANO");
} // namespace

void Form1::ToggleRecording()
{
    if (recording_) {
        stopRecording(true);
        return;
    }
    if (!MSComm1.portOpen())
        return; // no line, no run to keep
    // Like the traces' dialog, it leaves the event loop running: ticks and polls go on.
    auto* dialog = new RunRecordDialog(this, [this](const QString& path, QString* error) {
        std::unique_ptr<RunRecorder> recorder = RunRecorder::start(path, QByteArray(kRunHeader), error);
        if (recorder)
            handle("recordRun", [&] { recordRun(std::move(recorder)); });
        return recording_ != nullptr;
    });
    dialog->open();
}

void Form1::recordRun(std::unique_ptr<RunRecorder> recorder)
{
    stopRecording(true);
    recorder->setOnFailure([this] {
        // From the writer thread: the window stops the recording on its own thread.
        QMetaObject::invokeMethod(
            this, [this] { handle("RecordingFailed", [this] { stopRecording(true); }); }, Qt::QueuedConnection);
    });
    recording_ = std::move(recorder);
    recordingClock_.start();
    recordedLineSeen_ = MSComm1.portOpen();
    setWindowTitle(QStringLiteral("%1 - recording %2").arg(kTitle, QFileInfo(recording_->path()).fileName()));
}

void Form1::recordFrame()
{
    if (!recording_)
        return;
    const Sample sample{data0, data1, data2, data3};
    recording_->append(runRow(recordingClock_.elapsed(), nextX(TChart1.lastX(0)), sample));
}

// A run ends with its line: a disconnect, a port search or the device going away.
void Form1::followRecordedLine()
{
    if (MSComm1.portOpen())
        recordedLineSeen_ = true;
    else if (recordedLineSeen_)
        stopRecording(true);
}

void Form1::stopRecording(bool windowStays)
{
    if (!recording_)
        return;
    const std::unique_ptr<RunRecorder> recorder = std::move(recording_);
    const RunRecorder::Result result = recorder->stop();
    setWindowTitle(kTitle);
    if (result.error.isEmpty())
        return;
    const QString text = QStringLiteral("The recording stopped: %1. %2 rows were kept in %3.")
                             .arg(result.error)
                             .arg(result.rowsKept)
                             .arg(recorder->path());
    qCWarning(lcRecord).noquote() << text;
    if (!windowStays)
        return;
    auto* message = new QMessageBox(QMessageBox::Warning, kTitle, text, QMessageBox::Ok, this);
    message->setAttribute(Qt::WA_DeleteOnClose);
    message->open();
}

} // namespace veltrano
