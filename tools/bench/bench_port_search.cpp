// The port search over sixteen absent ports with the real serial control.
#include "app/application.h"
#include "app/form1.h"
#include "app/real_parts.h"

#include <QApplication>
#include <QElapsedTimer>

#include <cstdio>

using namespace veltrano;

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Sixteen names that all lead nowhere.
    QString table;
    for (int n = 1; n <= 16; ++n)
        table += QStringLiteral("COM%1=/nonexistent/veltrano-bench-tty%1;").arg(n);
    Application app(argc, argv); // as the program makes it
    Form1 form(realParts(std::make_shared<PortTable>(parsePortTable(table))));
    form.load();

    constexpr int kRounds = 50;
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < kRounds; ++i)
        form.CAP_NHAT_Click();
    const double ms = clock.nsecsElapsed() / 1e6 / kRounds;
    std::printf("port search over 16 absent ports: %.3f ms (target < 100 ms)\n", ms);
    const bool listedNothing = form.Combo4->count() == 0 && form.Combo4->text() == "COM ERROR";
    if (!listedNothing)
        std::fprintf(stderr, "port search benchmark: expected an empty list\n");
    return ms < 100 && listedNothing ? 0 : 1;
}
