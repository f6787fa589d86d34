#include "app/form1.h"
#include "app/process_memory.h"
#include "app/real_parts.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    veltrano::keepLargeBuffersMapped();
    QApplication app(argc, argv);
    QApplication::setStyle(QStringLiteral("Fusion"));
    veltrano::Form1 form(veltrano::realParts());
    form.load();
    form.show();
    return app.exec();
}
