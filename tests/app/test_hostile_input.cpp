// Hostile input from both sides: the operator's boxes and lists filled with huge texts,
// control characters and characters that have no 8-bit form, and a line that floods,
// closes under the handler or disappears in the middle of a download.
#include "app/event_dispatch.h"
#include "support/form_fixture.h"

#include <QLineEdit>
#include <QRandomGenerator>
#include <QtTest>

#include <functional>
#include <optional>
#include <string>
#include <string_view>

using namespace veltrano;
using veltrano::testing::FormFixture;
using veltrano::testing::isConnectedCaption;

namespace {

constexpr int kHuge = 100000;

// A text and the bytes it must go out as, built side by side from fragments whose line
// form is known: control characters as themselves, Latin-1 letters as their code, and
// one "?" for each character beyond 8 bits (an emoji is one character, two UTF-16 units).
struct Typed {
    QString text;
    QByteArray wire;
};

Typed hostileText(int minLength, int rotate)
{
    static const QList<std::pair<QString, QByteArray>> fragments = {
        {QStringLiteral("a"), QByteArray("a")},
        {QString(QChar(0)), QByteArray(1, '\0')},
        {QStringLiteral("\r"), QByteArray("\r")},
        {QStringLiteral("\n"), QByteArray("\n")},
        {QStringLiteral("\x1b"), QByteArray("\x1b")},
        {QStringLiteral("\u1ed1"), QByteArray("?")}, // Vietnamese o with circumflex and acute
        {QStringLiteral("\u0111"), QByteArray("?")}, // Vietnamese d with stroke
        {QStringLiteral("\U0001F600"), QByteArray("?")},
        {QStringLiteral("\u00e9"), QByteArray("\xe9")},
        {QStringLiteral("\u00ff"), QByteArray("\xff")},
        {QStringLiteral("E"), QByteArray("E")},
        {QStringLiteral("0"), QByteArray("0")},
        {QStringLiteral("\t"), QByteArray("\t")},
        {QStringLiteral("\x7f"), QByteArray("\x7f")},
    };
    Typed t;
    for (int i = rotate; t.text.size() < minLength; ++i) {
        const auto& [text, wire] = fragments[i % fragments.size()];
        t.text += text;
        t.wire += wire;
    }
    return t;
}

// The line form of any text, by code units: a surrogate pair is one character, a lone
// surrogate counts as one character of its own.
QByteArray lineForm(const QString& s)
{
    QByteArray out;
    for (qsizetype i = 0; i < s.size(); ++i) {
        const char16_t c = s[i].unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < s.size() && QChar::isLowSurrogate(s[i + 1].unicode())) {
            out += '?';
            ++i;
        } else {
            out += c < 0x100 ? char(c) : '?';
        }
    }
    return out;
}

// What the operator does with the keyboard or a paste: replaces the whole text of the
// line edit, which reports it as an edit.
void paste(QLineEdit* edit, const QString& text)
{
    edit->selectAll();
    edit->insert(text);
}

QLineEdit* lineEditOf(TextBox* box)
{
    auto* edit = qobject_cast<QLineEdit*>(box->widget());
    Q_ASSERT(edit);
    return edit;
}

QList<QByteArray> record(const QByteArray& speed, const QByteArray& acc, const QByteArray& responses,
                         const QByteArray& speedTest, const QByteArray& mode, const QByteArray& edge)
{
    return {"C", speed, "=", acc, "=", responses, "=", speedTest, "=", mode, "=", edge, "F"};
}

// What one communication event must do, computed apart from the window.
struct Model {
    std::u16string box = u"\r";
    bool chartView = false;
    std::optional<int> d0, d1, d2;
    int d3 = 0;

    void event(const QByteArray& piece)
    {
        for (char b : piece)
            box.push_back(char16_t(static_cast<unsigned char>(b)));
        if (!chartView || box.find(u'E') == std::u16string::npos) {
            if (box.size() > 1000)
                box = u"0";
            return;
        }
        const size_t n = box.size();
        const auto code = [&](size_t back) { return box[n - back] < 0x100 ? int(box[n - back]) : int('?'); };
        if (n >= 2)
            d3 = code(2);
        if (n >= 3)
            d2 = code(3);
        if (n >= 4)
            d1 = code(4);
        if (n >= 5)
            d0 = code(5);
        box = u"0";
    }
};

std::u16string_view u16(const QString& s)
{
    return std::u16string_view(reinterpret_cast<const char16_t*>(s.utf16()), size_t(s.size()));
}

std::optional<int> widen(const std::optional<std::int16_t>& v) { return v ? std::optional<int>(*v) : std::nullopt; }

// A serial control whose device is pulled out just before a chosen write. The write finds
// the port closed at once; the loss is reported from the event loop, after the handler.
class PullableSerial : public FakeSerialControl {
public:
    int pullBeforeWrite = 0; // 1: the next write, 0: never

    void output(const QByteArray& bytes) override
    {
        if (pullBeforeWrite > 0 && --pullBeforeWrite == 0) {
            loseDeviceUnreported();
            QMetaObject::invokeMethod(
                this, [this] { emit deviceLost(); }, Qt::QueuedConnection);
        }
        FakeSerialControl::output(bytes);
    }
};

struct PullableWindow {
    PullableSerial* serial = nullptr;
    FakeTickTimer* timer = nullptr;
    std::unique_ptr<Form1> form;

    PullableWindow()
    {
        auto s = std::make_unique<PullableSerial>();
        s->setPort(3, FakeSerialControl::Port::Available);
        serial = s.get();
        auto t = std::make_unique<FakeTickTimer>();
        timer = t.get();
        Form1Parts parts;
        parts.serial = std::move(s);
        parts.timer = std::move(t);
        parts.chart = std::make_unique<FakeChartControl>();
        parts.progressBar = std::make_unique<FakeProgressBar>();
        form = std::make_unique<Form1>(std::move(parts));
        form->load();
        form->Combo4->setText(QStringLiteral("COM3"));
        form->Command4->click();
    }
};

} // namespace

class HostileInputTest : public QObject {
    Q_OBJECT
private slots:
    // ---- The operator's side ----

    void record_hugeFieldsGoOutAsTyped()
    {
        FormFixture f({3});
        f.connect("COM3");
        Form1& w = *f.form;
        const Typed speed = hostileText(kHuge, 0), responses = hostileText(kHuge, 5), test = hostileText(kHuge, 9);
        w.Text3->setText(speed.text);
        w.Text5->setText(responses.text);
        w.Text6->setText(test.text);
        paste(w.Combo1->lineEdit(), hostileText(kHuge, 3).text); // typed over the mode list
        f.serial->outputs.clear();
        FormFixture::click(w.Command2);
        QCOMPARE(f.serial->outputs, record(speed.wire, "1", responses.wire, test.wire, "0", "1"));
        QVERIFY(w.Command1->isEnabled());
        QCoreApplication::processEvents(); // the widgets take the huge texts too
    }

    void record_pastedThroughTheWidgetsGoesOutAsShown()
    {
        FormFixture f({3});
        f.connect("COM3");
        Form1& w = *f.form;
        QList<QByteArray> fields;
        int rotate = 0;
        for (TextBox* box : {w.Text3, w.Text5, w.Text6}) {
            const Typed pasted = hostileText(kHuge, rotate += 4);
            QLineEdit* edit = lineEditOf(box);
            paste(edit, pasted.text);
            // The box keeps the whole paste as the operator sees it, control characters and all.
            QCOMPARE(box->text(), edit->text());
            QCOMPARE(box->text(), pasted.text);
            QCOMPARE(lineForm(box->text()), pasted.wire);
            fields.append(pasted.wire);
        }
        f.serial->outputs.clear();
        FormFixture::click(w.Command2);
        QCOMPARE(f.serial->outputs, record(fields[0], "1", fields[1], fields[2], "0", "1"));
    }

    void record_zeroEmptyAndNearMisses()
    {
        struct Case {
            QString typed;
            QByteArray speed, responses, speedTest;
        };
        const QList<Case> cases = {
            {QString(), "2600", "10", "2"},
            {QStringLiteral("0"), "1", "1", "1"},
            {QStringLiteral("00"), "00", "00", "00"},
            {QStringLiteral(" 0"), " 0", " 0", " 0"},
            {QStringLiteral("0\r"), "0\r", "0\r", "0\r"},
            {QString(QChar(0)), QByteArray(1, '\0'), QByteArray(1, '\0'), QByteArray(1, '\0')},
            {QStringLiteral("0") + QChar(0), QByteArray("0\0", 2), QByteArray("0\0", 2), QByteArray("0\0", 2)},
            {QStringLiteral("\uff10"), "?", "?", "?"}, // full-width zero is not "0"
            {QStringLiteral("\U0001F600"), "?", "?", "?"},
        };
        for (const Case& c : cases) {
            FormFixture f({3});
            f.connect("COM3");
            Form1& w = *f.form;
            for (TextBox* box : {w.Text3, w.Text5, w.Text6})
                paste(lineEditOf(box), c.typed);
            f.serial->outputs.clear();
            FormFixture::click(w.Command2);
            QCOMPARE(f.serial->outputs, record(c.speed, "1", c.responses, c.speedTest, "0", "1"));
        }
    }

    void modeList_chosenItemCountsTypedTextDoesNot()
    {
        FormFixture f({3});
        f.connect("COM3");
        Form1& w = *f.form;
        w.Combo1->setCurrentIndex(4);
        emit w.Combo1->activated(4);
        FormFixture::click(w.Command2);
        QCOMPARE(f.serial->outputs.value(1 + 9), QByteArray("4"));
        for (const QString& typed : {QStringLiteral("4"), hostileText(kHuge, 1).text, QStringLiteral("\x1b\r\n")}) {
            paste(w.Combo1->lineEdit(), typed);
            f.serial->outputs.clear();
            FormFixture::click(w.Command2);
            QCOMPARE(f.serial->outputs.size(), 13);
            QCOMPARE(f.serial->outputs[9], QByteArray("0"));
        }
    }

    void tx_sendsTheFreeTextAsTyped()
    {
        FormFixture f({3});
        f.connect("COM3");
        Form1& w = *f.form;
        const Typed free = hostileText(kHuge, 2);
        w.Text1->setText(free.text);
        f.serial->outputs.clear();
        FormFixture::click(w.TX);
        QCOMPARE(f.serial->outputs, QList<QByteArray>{free.wire});

        const Typed pasted = hostileText(kHuge, 7);
        paste(lineEditOf(w.Text1), pasted.text);
        QVERIFY(pasted.text.startsWith(w.Text1->text()));
        f.serial->outputs.clear();
        FormFixture::click(w.TX);
        QCOMPARE(f.serial->outputs, QList<QByteArray>{lineForm(w.Text1->text())});
    }

    void portList_hostileNamesOpenNothing()
    {
        const QString huge = QStringLiteral("COM3") + QString(kHuge - 4, QLatin1Char('3'));
        const QList<QString> names = {
            huge,
            QStringLiteral("COM3") + QChar(0),
            QStringLiteral("COM3\r"),
            QStringLiteral(" COM3"),
            QStringLiteral("com3"),
            QStringLiteral("COM\uff13"), // full-width digit three
            QStringLiteral("COM03"),
            hostileText(kHuge, 0).text,
        };
        for (bool typed : {false, true}) {
            for (const QString& name : names) {
                FormFixture f({3});
                Form1& w = *f.form;
                f.serial->openedPorts.clear(); // the port search at start-up opened and closed COM3
                if (typed)
                    paste(w.Combo4->lineEdit(), name);
                else
                    w.Combo4->setText(name);
                FormFixture::click(w.Command4);
                QVERIFY(f.serial->openedPorts.isEmpty());
                QVERIFY(!f.serial->portOpen());
                QVERIFY(f.serial->outputs.isEmpty());
                QCOMPARE(w.Command4->text(), QString("CONNECTING"));
                QCOMPARE(w.Text2->text(), QString("COM PORT DOES NOT HAVE"));
            }
        }
        // The same window still connects once the name is right.
        FormFixture f({3});
        paste(f.form->Combo4->lineEdit(), huge);
        FormFixture::click(f.form->Command4);
        f.serial->openedPorts.clear();
        f.connect("COM3");
        QCOMPARE(f.serial->openedPorts, QList<int>{3});
    }

    void baudList_typedTextMeans115200()
    {
        const QList<QString> typedTexts = {
            QStringLiteral("2400"), QStringLiteral("9600"),    hostileText(kHuge, 6).text,
            QString(QChar(0)),      QStringLiteral("\x1b[2J"),
        };
        for (const QString& typed : typedTexts) {
            FormFixture f({3});
            Form1& w = *f.form;
            w.Combo3->setCurrentIndex(0);
            emit w.Combo3->activated(0); // chosen first, then typed over
            paste(w.Combo3->lineEdit(), typed);
            f.connect("COM3");
            QVERIFY(f.serial->portOpen());
            QCOMPARE(f.serial->settings(), QString("115200,N,8,1"));
        }
        FormFixture f({3});
        f.form->Combo3->setCurrentIndex(0);
        emit f.form->Combo3->activated(0);
        f.connect("COM3");
        QCOMPARE(f.serial->settings(), QString("2400,N,8,1"));
    }

    // ---- The line's side ----

    void burst_oneMegabyteInEachViewStaysBoundedAndDecodes_data()
    {
        QTest::addColumn<bool>("chartView");
        QTest::addColumn<int>("inputLen");
        QTest::addColumn<bool>("withEndMarks");
        QTest::newRow("setup, byte by byte") << false << 1 << true;
        QTest::newRow("setup, all at once") << false << 0 << true;
        QTest::newRow("chart, byte by byte") << true << 1 << true;
        QTest::newRow("chart, byte by byte, no end mark") << true << 1 << false;
        QTest::newRow("chart, three per read") << true << 3 << true;
        QTest::newRow("chart, all at once") << true << 0 << true;
    }
    void burst_oneMegabyteInEachViewStaysBoundedAndDecodes()
    {
        QFETCH(bool, chartView);
        QFETCH(int, inputLen);
        QFETCH(bool, withEndMarks);

        FormFixture f({3});
        f.connect("COM3");
        Form1& w = *f.form;
        if (chartView)
            FormFixture::click(w.Draw);
        f.serial->setInputLen(inputLen);
        f.serial->outputs.clear();

        QRandomGenerator random(0x5eed0000u + (chartView ? 1 : 0) * 16 + inputLen * 2 + withEndMarks);
        QByteArray burst(1 << 20, Qt::Uninitialized);
        for (char& b : burst) {
            b = char(random.bounded(256));
            if (!withEndMarks && b == 'E')
                b = 'e';
        }

        Model model;
        model.chartView = chartView;
        qsizetype taken = 0;
        long events = 0, restarts = 0;
        QString failure;
        QObject::connect(f.serial, &SerialControl::onComm, w.Text2, [&] {
            ++events;
            const qsizetype left = burst.size() - taken;
            const qsizetype n = inputLen == 0 ? left : qMin<qsizetype>(inputLen, left);
            model.event(burst.mid(taken, n));
            taken += n;
            if (model.box == u"0")
                ++restarts; // passed the bound, or a frame was decoded
            if (!failure.isEmpty())
                return;
            if (w.Text2->text().size() > 1000)
                failure = QStringLiteral("box of %1 characters after event %2").arg(w.Text2->text().size()).arg(events);
            else if (u16(w.Text2->text()) != model.box)
                failure = QStringLiteral("box differs after event %1").arg(events);
            else if (widen(w.data0) != model.d0 || widen(w.data1) != model.d1 || widen(w.data2) != model.d2
                     || int(w.data3) != model.d3)
                failure = QStringLiteral("decoded values differ after event %1").arg(events);
        });
        const long failuresBefore = dispatchFailureCount();
        f.serial->receive(burst);

        QVERIFY2(failure.isEmpty(), qPrintable(failure));
        QCOMPARE(taken, burst.size());
        QCOMPARE(f.serial->waiting(), 0);
        QCOMPARE(events, inputLen == 0 ? 1L : long((burst.size() + inputLen - 1) / inputLen));
        QCOMPARE(dispatchFailureCount(), failuresBefore);
        QVERIFY(f.serial->outputs.isEmpty());
        QVERIFY(restarts > 0);
        if (chartView && withEndMarks)
            QVERIFY(model.d0.has_value()); // frames were decoded along the way
        QCoreApplication::processEvents();
        // The window still works: a clean frame after the flood decodes as sent.
        f.serial->setInputLen(1);
        if (chartView) {
            f.serial->receive("E\x11\x22\x33\x44"
                              "E");
            QCOMPARE(w.data0, std::optional<std::int16_t>(0x11));
            QCOMPARE(w.data3, std::uint8_t(0x44));
        }
    }

    void burst_portClosedUnderTheHandlerDropsTheRest_data()
    {
        QTest::addColumn<bool>("chartView");
        QTest::addColumn<QString>("closer");
        for (bool chart : {false, true}) {
            const char* view = chart ? "chart" : "setup";
            QTest::addRow("%s, connect toggle", view) << chart << QStringLiteral("Command4");
            QTest::addRow("%s, port search", view) << chart << QStringLiteral("CAP_NHAT");
            QTest::addRow("%s, closed by the control", view) << chart << QStringLiteral("control");
        }
    }
    void burst_portClosedUnderTheHandlerDropsTheRest()
    {
        QFETCH(bool, chartView);
        QFETCH(QString, closer);

        FormFixture f({3});
        f.connect("COM3");
        Form1& w = *f.form;
        if (chartView)
            FormFixture::click(w.Draw);
        QRandomGenerator random(77);
        QByteArray burst(5000, Qt::Uninitialized);
        for (char& b : burst)
            b = char(random.bounded(256));

        constexpr int kCloseAt = 1234;
        int events = 0;
        QObject::connect(f.serial, &SerialControl::onComm, w.Text2, [&] {
            if (++events != kCloseAt)
                return;
            if (closer == QLatin1String("Command4"))
                FormFixture::click(w.Command4);
            else if (closer == QLatin1String("CAP_NHAT"))
                FormFixture::click(w.CAP_NHAT);
            else
                f.serial->setPortOpen(false);
        });
        const long failuresBefore = dispatchFailureCount();
        f.serial->receive(burst);

        QCOMPARE(events, kCloseAt);
        QVERIFY(!f.serial->portOpen());
        QCOMPARE(f.serial->waiting(), 0);
        QCOMPARE(dispatchFailureCount(), failuresBefore);
        QVERIFY(w.Text2->text().size() <= 1000);
        if (closer != QLatin1String("control"))
            QCOMPARE(w.Text2->text(), QString("COM PORT DISCONNECTED"));

        // Bytes on a closed port reach nothing.
        const QString box = w.Text2->text();
        f.serial->receive(burst);
        QCOMPARE(events, kCloseAt);
        QCOMPARE(w.Text2->text(), box);

        // Connect again: a frame goes through as usual.
        if (closer == QLatin1String("control"))
            FormFixture::click(w.Command4); // the caption still says DISCONECT
        f.connect("COM3");
        QVERIFY(f.serial->portOpen());
        f.serial->receive("\x01\x02\x03\x04"
                          "E");
        if (chartView) {
            QCOMPARE(w.data0, std::optional<std::int16_t>(1));
            QCOMPARE(w.data3, std::uint8_t(4));
        } else {
            QCOMPARE(w.Text2->text(), QString("\r\x01\x02\x03\x04"
                                              "E"));
        }
        QCOMPARE(dispatchFailureCount(), failuresBefore);
    }

    void download_devicePulledBetweenPieces_data()
    {
        QTest::addColumn<int>("piecesWritten");
        QTest::newRow("before the first piece") << 0;
        QTest::newRow("after the first piece") << 1;
        QTest::newRow("mid-record") << 6;
        QTest::newRow("before the closing F") << 12;
    }
    void download_devicePulledBetweenPieces()
    {
        QFETCH(int, piecesWritten);
        PullableWindow p;
        Form1& w = *p.form;
        QVERIFY(p.serial->portOpen());
        w.Text3->setText(QStringLiteral("123"));
        FormFixture::click(w.Command2); // an earlier download left RUN, DIV and STOP usable
        p.serial->outputs.clear();
        p.serial->pullBeforeWrite = piecesWritten + 1;

        const long failuresBefore = dispatchFailureCount();
        FormFixture::click(w.Command2);
        const QList<QByteArray> full = record("123", "1", "10", "2", "0", "1");
        QCOMPARE(p.serial->outputs, full.mid(0, piecesWritten));
        QCOMPARE(dispatchFailureCount(), failuresBefore + 1);
        QVERIFY(!p.serial->portOpen());
        QCoreApplication::processEvents(); // the loss is reported: the window shows the line gone
        QVERIFY(!isConnectedCaption(w) && !w.Command1->isEnabled() && !w.Command2->isEnabled());

        // The program goes on: bytes from nowhere reach nothing, the chart view says the
        // port is gone on every tick and writes nothing, and nothing more is reported.
        p.serial->receive("ABCDE");
        FormFixture::click(w.Draw);
        QCOMPARE(w.Draw->text(), QString("Stop"));
        QCOMPARE(w.Text2->text(), QString("COM PORT DOES NOT HAVE"));
        QCOMPARE(p.timer->fire(5), 5);
        QCOMPARE(w.Text7->text(), QString("MSComm = False "));
        QCOMPARE(p.serial->outputs.size(), piecesWritten);
        QCOMPARE(dispatchFailureCount(), failuresBefore + 1);

        // The board is plugged in again and connected: the record goes out whole.
        FormFixture::click(w.Command4);
        QVERIFY(p.serial->portOpen());
        p.serial->outputs.clear();
        FormFixture::click(w.Draw); // back to setup
        FormFixture::click(w.Command2);
        QCOMPARE(p.serial->outputs, full);
        QCOMPARE(dispatchFailureCount(), failuresBefore + 1);
    }

    void download_writeFailsThenDeviceGone()
    {
        FormFixture f({3});
        f.connect("COM3");
        Form1& w = *f.form;
        f.serial->outputs.clear();
        f.serial->failAt(FakeSerialControl::Member::Output, 4); // the fourth write fails
        const long failuresBefore = dispatchFailureCount();
        FormFixture::click(w.Command2);
        QCOMPARE(f.serial->outputs, (QList<QByteArray>{"C", "2600", "="}));
        QCOMPARE(dispatchFailureCount(), failuresBefore + 1);
        QVERIFY(!w.Command1->isEnabled()); // motion stays locked after a failed record

        f.serial->loseDevice();
        f.serial->clearFailures();
        FormFixture::click(w.Draw);
        f.timer->fire(3);
        QCOMPARE(w.Text7->text(), QString("MSComm = False "));
        QCOMPARE(f.serial->outputs.size(), 3);
        QCOMPARE(dispatchFailureCount(), failuresBefore + 1);
    }
};

QTEST_MAIN(HostileInputTest)
#include "test_hostile_input.moc"
