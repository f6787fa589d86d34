// The window as it stands before its load event runs: every control, its place, look,
// initial state, tab order and stacking order.
#include "app/art.h"
#include "app/captions.h"
#include "app/event_dispatch.h"
#include "app/form1.h"
#include "controls/command_button.h"
#include "controls/fixed_label.h"
#include "link/port_names.h"
#include "platform/units.h"

#include <QPainter>
#include <QShortcut>

#include <vector>

namespace veltrano {

namespace {

// Top of the strip of chart options (Check2, HScroll1, Text4), which lies over the chart's
// bottom edge once start-up has moved the chart to the window's top.
constexpr int kOptionStripTopTwips = 9000;
constexpr int kChartHeightTwips = 9615;

QFont arial(double points, bool bold = true)
{
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}

QFont timesBold(double points)
{
    QFont font(QStringLiteral("Times New Roman"));
    font.setPointSizeF(points);
    font.setBold(true);
    return font;
}

void setBackground(QWidget* widget, QPalette::ColorRole role, const QColor& colour)
{
    QPalette palette = widget->palette();
    palette.setColor(role, colour);
    widget->setPalette(palette);
}

void place(QWidget* widget, const QString& name, int left, int top, int width, int height, const QFont& font,
           int tabIndex)
{
    widget->setObjectName(name);
    widget->setGeometry(twipsRect(left, top, width, height));
    widget->setFont(font);
    widget->setProperty("tabIndex", tabIndex);
}

QPushButton* button(QWidget* parent, const QString& name, const QString& caption, int left, int top, int width,
                    int height, const QFont& font, const QColor& colour, int tabIndex)
{
    auto* b = new CommandButton(caption, parent);
    place(b, name, left, top, width, height, font, tabIndex);
    setBackground(b, QPalette::Button, colour);
    return b;
}

QLabel* label(QWidget* parent, const QString& name, const QString& caption, int left, int top, int width, int height,
              Qt::Alignment alignment, int tabIndex)
{
    auto* l = new FixedLabel(caption, parent);
    place(l, name, left, top, width, height, arial(18), tabIndex);
    l->setAlignment(alignment | Qt::AlignTop);
    l->setAttribute(Qt::WA_TranslucentBackground);
    setBackground(l, QPalette::WindowText, QColor(255, 255, 0));
    return l;
}

TextBox* textBox(QWidget* parent, const QString& name, TextBox::Lines lines, int left, int top, int width, int height,
                 const QFont& font, int tabIndex)
{
    auto* t = new TextBox(name, lines, parent);
    place(t->widget(), name, left, top, width, height, font, tabIndex);
    return t;
}

DropDownCombo* combo(QWidget* parent, const QString& name, const QString& prompt, const QStringList& items, int top,
                     int tabIndex)
{
    auto* c = new DropDownCombo(parent);
    place(c, name, 6240, top, 4575, 405, arial(12), tabIndex);
    for (const QString& item : items)
        c->addListItem(item);
    c->setText(prompt);
    return c;
}

} // namespace

Form1::Form1(Form1Parts parts, QWidget* parent)
    : QWidget(parent), parts_(std::move(parts)), MSComm1(*parts_.serial), Timer1(*parts_.timer), TChart1(*parts_.chart),
      ProgressBar1(*parts_.progressBar)
{
    buildLayout();
    wireEvents();
    Timer1.setEnabled(true);
}

// The recording stops first, so that what it holds is written before the window goes.
Form1::~Form1() { recording_.reset(); }

void Form1::buildLayout()
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("VELTRANO"));
    setWindowIcon(applicationIcon());
    setFont(arial(12, false));
    background_ = backgroundPicture();
    resize(twipsToPixels(17415), twipsToPixels(9465));

    // Connection
    CAP_NHAT = button(this, "CAP_NHAT", "FIND COM", 6240, 360, 2175, 900, timesBold(15.75),
                      palette().color(QPalette::Highlight), 14);
    Command4 = button(this, "Command4", caption::connect, 8640, 360, 2171, 900, timesBold(15.75), QColor(255, 128, 0),
                      11);
    Combo4 = combo(this, "Combo4", "COM PORT", {}, 1920, 12);
    Combo3 = combo(this, "Combo3", baudListPrompt(), baudListItems(), 2640, 8);

    // Parameter entry
    Combo1 = combo(this, "Combo1", "MODES CONTROL",
                   {"H-BRIDGE", "PID SPEED", "PID POSITION", "RC SERVO MODE", "ANALOG PID MODE", "ANALOG MODE"}, 3360,
                   2);
    Label1 = label(this, "Label1", "SPEED FACTOR", 2160, 4080, 3855, 375, Qt::AlignRight, 3);
    Text3 = textBox(this, "Text3", TextBox::Lines::Single, 6240, 4080, 3495, 375, arial(13.5, false), 1);
    Label3 = label(this, "Label3", " RESPONSES", 4200, 4320, 1815, 855, Qt::AlignLeft, 4);
    Text5 = textBox(this, "Text5", TextBox::Lines::Single, 6240, 4800, 3495, 375, arial(13.5, false), 6);
    Label4 = label(this, "Label4", "SPEED TEST", 3840, 5520, 2295, 1575, Qt::AlignLeft, 5);
    Text6 = textBox(this, "Text6", TextBox::Lines::Single, 6240, 5520, 3495, 375, arial(13.5, false), 7);
    for (TextBox* t : {Text3, Text5, Text6})
        t->setAlignment(Qt::AlignCenter);
    Check1 = button(this, "Check1", "Acc", 6240, 6120, 1695, 615, arial(12), QColor(128, 128, 0), 19);
    Check3 = button(this, "Check3", "CounterMode", 9120, 6120, 1695, 615, arial(12), QColor(128, 128, 0), 26);
    Check1->setCheckable(true);
    Check3->setCheckable(true);
    Command2 = button(this, "Command2", "LOAD DATA", 7200, 6960, 2655, 735, timesBold(15.75), QColor(255, 128, 0), 9);
    Command2->setEnabled(false);
    if (QWidget* bar = ProgressBar1.widget()) {
        bar->setParent(this);
        place(bar, "ProgressBar1", 0, 8400, 11175, 255, font(), 28);
    }
    ProgressBar1.setValue(0);
    ProgressBar1.setVisible(false);

    // Left column
    TX = button(this, "TX", "TX", 120, 360, 495, 375, arial(12), QColor(0, 0, 192), 15);
    Text1 = textBox(this, "Text1", TextBox::Lines::Single, 600, 360, 1695, 375, arial(13.5, false), 0);
    Text2 = textBox(this, "Text2", TextBox::Lines::Multi, 120, 720, 2175, 2775, arial(9.75), 10);
    setBackground(Text2->widget(), QPalette::Base, QColor(128, 128, 255));
    Text7 = textBox(this, "Text7", TextBox::Lines::Single, 120, 3480, 2175, 330, arial(9.75), 13);
    setBackground(Text7->widget(), QPalette::Base, QColor(0, 0, 255));
    setBackground(Text7->widget(), QPalette::Text, QColor(255, 255, 0));
    Draw = button(this, "Draw", caption::setupView, 120, 3960, 2175, 855, arial(15.75), QColor(0, 0, 255), 20);
    Command1 = button(this, "Command1", "RUN", 480, 5040, 1455, 615, arial(12), QColor(192, 192, 0), 16);
    Command3 = button(this, "Command3", "DIV", 480, 5760, 1455, 615, arial(12), QColor(192, 192, 0), 17);
    Command5 = button(this, "Command5", "STOP", 480, 6480, 1455, 615, arial(12), QColor(192, 192, 0), 18);
    for (QPushButton* b : {Command1, Command3, Command5})
        b->setEnabled(false);
    End = button(this, "End", "End", 120, 7320, 2175, 855, arial(24), QColor(255, 0, 0), 21);

    // Chart view
    if (QWidget* chart = TChart1.widget()) {
        chart->setParent(this);
        place(chart, "TChart1", 13680, 1440, 12015, kChartHeightTwips, chart->font(), 22);
    }
    TChart1.setCoveredBottom(twipsToPixels(kChartHeightTwips) - twipsToPixels(kOptionStripTopTwips));
    Check4 = new QCheckBox(QStringLiteral("Stop"), this); // the pause box, not the view caption
    place(Check4, "Check4", 2520, 480, 855, 270, arial(12, false), 27);
    // A check box fills from its background role, Button unless told otherwise.
    Check4->setBackgroundRole(QPalette::Window);
    Check4->setAutoFillBackground(true);
    // The desktop's active title-bar text as face, and its frame shade for inactive
    // windows as text, the nearest the palette has to an inactive border colour.
    setBackground(Check4, QPalette::Window, palette().color(QPalette::Active, QPalette::HighlightedText));
    setBackground(Check4, QPalette::WindowText, palette().color(QPalette::Inactive, QPalette::Mid));
    Check2 = new QCheckBox(QStringLiteral("3D"), this);
    place(Check2, "Check2", 4920, kOptionStripTopTwips, 1134, 480, arial(12, false), 23);
    Check2->setBackgroundRole(QPalette::Window);
    Check2->setAutoFillBackground(true);
    setBackground(Check2, QPalette::Window, QColor(0, 0, 255));
    HScroll1 = new QScrollBar(Qt::Horizontal, this);
    place(HScroll1, "HScroll1", 6120, kOptionStripTopTwips, 4095, 495, font(), 24);
    HScroll1->setRange(1, 500);
    HScroll1->setValue(50);
    HScroll1->setSingleStep(1);
    HScroll1->setPageStep(1);
    HScroll1->setFocusPolicy(Qt::StrongFocus); // reachable by Tab, arrows move it
    Text4 = textBox(this, "Text4", TextBox::Lines::Single, 10200, kOptionStripTopTwips, 1215, 495, arial(18), 25);
    Text4->setAlignment(Qt::AlignCenter);
    Text4->setText(QStringLiteral("50"));

    // Tab order, by tab index; labels, the chart and the progress bar take no focus.
    const std::vector<QWidget*> tabOrder = {Text1->widget(),
                                            Text3->widget(),
                                            Combo1,
                                            Text5->widget(),
                                            Text6->widget(),
                                            Combo3,
                                            Command2,
                                            Text2->widget(),
                                            Command4,
                                            Combo4,
                                            Text7->widget(),
                                            CAP_NHAT,
                                            TX,
                                            Command1,
                                            Command3,
                                            Command5,
                                            Check1,
                                            Draw,
                                            End,
                                            Check2,
                                            HScroll1,
                                            Text4->widget(),
                                            Check3,
                                            Check4};
    for (size_t i = 1; i < tabOrder.size(); ++i)
        setTabOrder(tabOrder[i - 1], tabOrder[i]);

    // Stacking order, front to back.
    std::vector<QWidget*> frontToBack = {ProgressBar1.widget(),
                                         Check4,
                                         Check3,
                                         Text4->widget(),
                                         HScroll1,
                                         Draw,
                                         Check2,
                                         TChart1.widget(),
                                         End,
                                         Check1,
                                         Command5,
                                         Command3,
                                         Command1,
                                         TX,
                                         CAP_NHAT,
                                         Text7->widget(),
                                         Combo4,
                                         Command4,
                                         Text2->widget(),
                                         Command2,
                                         Combo3,
                                         Text6->widget(),
                                         Text5->widget(),
                                         Combo1,
                                         Text3->widget(),
                                         Text1->widget(),
                                         Label4,
                                         Label3,
                                         Label1};
    for (auto it = frontToBack.rbegin(); it != frontToBack.rend(); ++it) {
        if (*it)
            (*it)->raise();
    }
}

void Form1::wireEvents()
{
    const auto onClick = [this](QAbstractButton* source, const char* name, void (Form1::*handler)()) {
        connect(source, &QAbstractButton::clicked, this,
                [this, name, handler] { handle(name, [this, handler] { (this->*handler)(); }); });
    };
    onClick(Draw, "Draw_Click", &Form1::Draw_Click);
    onClick(End, "End_Click", &Form1::End_Click);
    onClick(CAP_NHAT, "CAP_NHAT_Click", &Form1::CAP_NHAT_Click);
    onClick(Command4, "Command4_Click", &Form1::Command4_Click);
    onClick(Command2, "Command2_Click", &Form1::Command2_Click);
    onClick(Check3, "Check3_Click", &Form1::Check3_Click);
    onClick(Command1, "Command1_Click", &Form1::Command1_Click);
    onClick(Command3, "Command3_Click", &Form1::Command3_Click);
    onClick(Command5, "Command5_Click", &Form1::Command5_Click);
    onClick(TX, "TX_Click", &Form1::TX_Click);
    onClick(Check4, "Check4_Click", &Form1::Check4_Click);
    onClick(Check2, "Check2_Click", &Form1::Check2_Click);
    connect(HScroll1, &QScrollBar::valueChanged, this,
            [this] { handle("HScroll1_Change", [this] { HScroll1_Change(); }); });
    connect(&MSComm1, &SerialControl::onComm, this, [this] { handle("MSComm1_OnComm", [this] { MSComm1_OnComm(); }); });
    connect(&MSComm1, &SerialControl::deviceLost, this,
            [this] { handle("MSComm1_DeviceLost", [this] { MSComm1_DeviceLost(); }); });
    connect(&Timer1, &TickTimer::tick, this, [this] { handle("Timer1_Timer", [this] { Timer1_Timer(); }); });
    auto* keep = new QShortcut(QKeySequence::Save, this);
    connect(keep, &QShortcut::activated, this, [this] { handle("KeepTraces", [this] { KeepTraces(); }); });
    auto* record = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_R), this);
    connect(record, &QShortcut::activated, this, [this] { handle("ToggleRecording", [this] { ToggleRecording(); }); });
}

void Form1::handle(const char* name, const std::function<void()>& handler)
{
    dispatch(name, handler);
    if (recording_)
        followRecordedLine();
    Timer1.setResting(!tickHasWork());
}

void Form1::load()
{
    handle("Form_Load", [this] { Form_Load(); });
}

void Form1::setWindowWidthTwips(int twips) { resize(qMax(1, twipsToPixels(twips) - kNominalFrame.width()), height()); }

void Form1::setWindowHeightTwips(int twips) { resize(width(), qMax(1, twipsToPixels(twips) - kNominalFrame.height())); }

int Form1::windowWidthTwips() const { return qRound((width() + kNominalFrame.width()) * kTwipsPerPixel); }

int Form1::windowHeightTwips() const { return qRound((height() + kNominalFrame.height()) * kTwipsPerPixel); }

void Form1::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), QColor(8, 16, 48));
    painter.drawPixmap(0, 0, background_);
}

} // namespace veltrano
