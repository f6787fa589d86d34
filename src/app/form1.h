#pragma once

#include "chart/chart_control.h"
#include "controls/drop_down_combo.h"
#include "controls/progress_bar.h"
#include "controls/text_box.h"
#include "link/port_refusals.h"
#include "protocol/messages.h"
#include "record/run_recorder.h"
#include "serial/serial_control.h"
#include "timer/tick_timer.h"

#include <QAbstractButton>
#include <QElapsedTimer>
#include <QCheckBox>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QScrollBar>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

namespace veltrano {

// The platform controls the window is built on: real ones in the program, fakes in tests.
struct Form1Parts {
    std::unique_ptr<SerialControl> serial;
    std::unique_ptr<TickTimer> timer;
    std::unique_ptr<ChartControl> chart;
    std::unique_ptr<ProgressBarControl> progressBar;
};

// The program's one window. Its handlers are defined in app/ by concern: form1_lifecycle
// (load, view toggle, close), form1_link (port search, connect toggle, device loss),
// form1_protocol (download, progress, direct commands), form1_monitor (receive, tick,
// pause), form1_plot (the strip chart), form1_keep (the chart's snapshot) and form1_record
// (a recording of the whole run). What they compute lives in link/, protocol/
// and monitor/.
class Form1 : public QWidget, private ParameterSource {
    Q_OBJECT
    Form1Parts parts_; // first, so that the control references below bind to live objects

public:
    explicit Form1(Form1Parts parts, QWidget* parent = nullptr);
    ~Form1() override;

    // Runs the load event through the dispatcher; call once before the first show.
    void load();

    // The one way events enter the window: the controls' signals, the load event and tests
    // all run a handler through here. It runs it through the dispatcher, then lets the timer
    // rest if a tick would now change nothing, or wakes it if the handler gave it work.
    void handle(const char* name, const std::function<void()>& handler);

    // Window size in twips, as outer size (client area plus the nominal frame).
    void setWindowWidthTwips(int twips);
    void setWindowHeightTwips(int twips);
    int windowWidthTwips() const;
    int windowHeightTwips() const;

    // --- Handlers and the routines they share; events run a handler through handle() ---
    // form1_lifecycle.cpp
    void Form_Load();
    void Draw_Click();
    void End_Click();
    // form1_link.cpp
    void CAP_NHAT_Click();
    void Command4_Click();
    void MSComm1_DeviceLost();
    bool ProbePort(int portNumber);
    void FillPortList(DropDownCombo& list);
    // form1_protocol.cpp
    void Command2_Click();
    void Check3_Click();
    void ProgressStep();
    void Command1_Click();
    void Command3_Click();
    void Command5_Click();
    void TX_Click();
    void Text1_KeyPress(int& keyAscii);
    // form1_monitor.cpp
    void MSComm1_OnComm();
    void Timer1_Timer();
    // Ctrl+S in the chart view: the save dialog for the traces as they are now.
    void KeepTraces();
    void Check4_Click();
    // form1_record.cpp: Ctrl+R starts a recording of the run through a save dialog, or
    // stops the one that runs.
    void ToggleRecording();
    // Records every frame decoded from now on into the recorder's file, until Ctrl+R, the
    // line the run came over going away, or the window closing.
    void recordRun(std::unique_ptr<RunRecorder> recorder);
    bool isRecording() const { return recording_ != nullptr; }
    // form1_plot.cpp
    void PlotSample();
    void HScroll1_Change();
    void Check2_Click();

    // --- Platform controls ---
    SerialControl& MSComm1; // the one serial port: all traffic to and from the driver
    TickTimer& Timer1; // ticks 64 times a second: progress step, plot, poll
    ChartControl& TChart1; // the strip chart of the four sample values
    ProgressBarControl& ProgressBar1; // download progress, shown while a run lasts

    // --- Intrinsic controls, named as on the window ---
    QPushButton* CAP_NHAT = nullptr; // "FIND COM": lists the ports that open
    QPushButton* Command4 = nullptr; // connect toggle: "CONNECTING" / "DISCONECT"
    DropDownCombo* Combo4 = nullptr; // port name, "COM1".."COM16"
    DropDownCombo* Combo3 = nullptr; // baud rate
    DropDownCombo* Combo1 = nullptr; // control mode
    QLabel* Label1 = nullptr; // "SPEED FACTOR", caption of Text3
    TextBox* Text3 = nullptr; // speed factor
    QLabel* Label3 = nullptr; // " RESPONSES", caption of Text5
    TextBox* Text5 = nullptr; // responses
    QLabel* Label4 = nullptr; // "SPEED TEST", caption of Text6
    TextBox* Text6 = nullptr; // speed test
    QPushButton* Check1 = nullptr; // "Acc": acceleration switch (a check box in push-button style)
    QPushButton* Check3 = nullptr; // counter edge: "Falling" / "Rising" (push-button style)
    QPushButton* Command2 = nullptr; // "LOAD DATA": sends the parameter record
    QPushButton* TX = nullptr; // sends the free text of Text1
    TextBox* Text1 = nullptr; // free text
    TextBox* Text2 = nullptr; // status box; reply log in the setup view, frame box in the chart view
    TextBox* Text7 = nullptr; // progress line and last data character
    QPushButton* Draw = nullptr; // view toggle: "SIMULATION" (setup view) / "Stop" (chart view)
    QPushButton* Command1 = nullptr; // "RUN"
    QPushButton* Command3 = nullptr; // "DIV"
    QPushButton* Command5 = nullptr; // "STOP"
    QPushButton* End = nullptr; // closes the program
    QCheckBox* Check4 = nullptr; // "Stop": pauses the timer
    QCheckBox* Check2 = nullptr; // "3D" view of the chart
    QScrollBar* HScroll1 = nullptr; // chart window length, 1 to 500
    TextBox* Text4 = nullptr; // echo of the window length

    // --- Window-level variables ---
    std::int16_t progressActive = 0;
    double progressTicks = 0; // empty at start, which counts as 0
    std::optional<std::int16_t> data0; // empty until the first decoded frame
    std::optional<std::int16_t> data1;
    std::optional<std::int16_t> data2;
    std::uint8_t data3 = 0;
    int frameIndex = 0;

protected:
    void paintEvent(QPaintEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void buildLayout();
    void wireEvents();
    bool tickHasWork() const;
    void showChartOptions(bool shown);
    void connectSequence();
    void disconnectSequence();
    // ParameterSource: the record's fields as the window holds them right now.
    QString speedFactorText() const override;
    bool accelerationChecked() const override;
    QString responsesText() const override;
    QString speedTestText() const override;
    int controlModeIndex() const override;
    bool counterEdgeChecked() const override;
    // form1_record.cpp
    void recordFrame();
    void followRecordedLine();
    void stopRecording(bool windowStays);

    std::unique_ptr<RunRecorder> recording_;
    QElapsedTimer recordingClock_;
    bool recordedLineSeen_ = false; // the port was open while recording

    QPixmap background_;
    PortRefusals portRefusals_; // named in Combo4's tooltip
};

} // namespace veltrano
