// Keeping a run: the chart's points and picture saved on the operator's request.
#include "app/captions.h"
#include "app/form1.h"
#include "app/trace_save_dialog.h"
#include "monitor/trace_table.h"

namespace veltrano {

void Form1::KeepTraces()
{
    if (Draw->text() != caption::chartView)
        return; // only the chart view shows traces
    // The snapshot is taken now; the dialog does not hold up the event loop, so ticks,
    // polls and replies go on while the operator picks a name.
    auto* dialog = new TraceSaveDialog(this, traceTable(TChart1), TChart1.picture());
    dialog->open();
}

} // namespace veltrano
