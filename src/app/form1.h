#pragma once

#include "platform/chart_control.h"
#include "platform/drop_down_combo.h"
#include "platform/progress_bar.h"
#include "platform/serial_control.h"
#include "platform/text_box.h"
#include "platform/tick_timer.h"
#include "protocol/messages.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QScrollBar>
#include <QWidget>

#include <cstdint>
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

// The program's one window. Its handlers are defined in the files of the subsystem that
// owns them: app/ (load, view toggle, close), link/ (port search, connect toggle),
// protocol/ (download, progress, direct commands), monitor/ (receive, tick, strip chart).
class Form1 : public QWidget, private ParameterSource {
    Q_OBJECT
    Form1Parts parts_; // first, so that the control references below bind to live objects

public:
    explicit Form1(Form1Parts parts, QWidget* parent = nullptr);
    ~Form1() override;

    // Runs the load event through the dispatcher; call once before the first show.
    void load();

    // Window size in twips, as outer size (client area plus the nominal frame).
    void setWindowWidthTwips(int twips);
    void setWindowHeightTwips(int twips);
    int windowWidthTwips() const;
    int windowHeightTwips() const;

    // --- Handlers (public so that tests can drive them as the platform does) ---
    // app/
    void Form_Load();
    void Draw_Click();
    void End_Click();
    // link/
    void CAP_NHAT_Click();
    void Command4_Click();
    void MSComm1_DeviceLost();
    bool ProbePort(int portNumber);
    void FillPortList(DropDownCombo& list);
    // protocol/
    void Command2_Click();
    void Check3_Click();
    void ProgressStep();
    void Command1_Click();
    void Command3_Click();
    void Command5_Click();
    void TX_Click();
    void Text1_KeyPress(int& keyAscii);
    // monitor/
    void MSComm1_OnComm();
    void Timer1_Timer();
    void Check4_Click();
    void PlotSample();
    void HScroll1_Change();
    void Check2_Click();

    // --- Platform controls ---
    SerialControl& MSComm1;
    TickTimer& Timer1;
    ChartControl& TChart1;
    ProgressBarControl& ProgressBar1;

    // --- Intrinsic controls, named as on the window ---
    QPushButton* CAP_NHAT = nullptr;
    QPushButton* Command4 = nullptr;
    DropDownCombo* Combo4 = nullptr;
    DropDownCombo* Combo3 = nullptr;
    DropDownCombo* Combo1 = nullptr;
    QLabel* Label1 = nullptr;
    TextBox* Text3 = nullptr;
    QLabel* Label3 = nullptr;
    TextBox* Text5 = nullptr;
    QLabel* Label4 = nullptr;
    TextBox* Text6 = nullptr;
    QPushButton* Check1 = nullptr; // check boxes in push-button style
    QPushButton* Check3 = nullptr;
    QPushButton* Command2 = nullptr;
    QPushButton* TX = nullptr;
    TextBox* Text1 = nullptr;
    TextBox* Text2 = nullptr;
    TextBox* Text7 = nullptr;
    QPushButton* Draw = nullptr;
    QPushButton* Command1 = nullptr;
    QPushButton* Command3 = nullptr;
    QPushButton* Command5 = nullptr;
    QPushButton* End = nullptr;
    QCheckBox* Check4 = nullptr;
    QCheckBox* Check2 = nullptr;
    QScrollBar* HScroll1 = nullptr;
    TextBox* Text4 = nullptr;

    // --- Window-level variables ---
    std::int16_t progressActive = 0;
    double progressTicks = 0;        // empty at start, which counts as 0
    std::optional<std::int16_t> data0; // empty until the first decoded frame
    std::optional<std::int16_t> data1;
    std::optional<std::int16_t> data2;
    std::uint8_t data3 = 0;
    int frameIndex = 0;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void buildLayout();
    void wireEvents();
    void showChartOptions(bool shown);
    void connectSequence();
    void disconnectSequence();
    void decodeFrame();
    // ParameterSource: the record's fields as the window holds them right now.
    QString speedFactorText() const override;
    bool accelerationChecked() const override;
    QString responsesText() const override;
    QString speedTestText() const override;
    int controlModeIndex() const override;
    bool counterEdgeChecked() const override;

    QPixmap background_;
};

} // namespace veltrano
