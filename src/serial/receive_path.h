#pragma once

#include "serial/input_queue.h"

#include <QObject>
#include <QPointer>

#include <functional>

namespace veltrano {

class ByteLine;

// The receive side every serial line shares. The bytes of the attached line wait in a
// queue; while at least the threshold of them wait, a receive event is raised, once per
// read that takes something; one read takes at most the input length.
//
// What the event's handler may do: read or not (a handler that takes nothing gets no
// further event until new bytes come), close the line (what waits is dropped), change the
// settings, throw (the event ends; bytes that still wait are raised again later), or spin
// the event loop (the running pass is not entered again: it picks up what came meanwhile).
// A flood raises at most kMaxEventsPerPass events in one pass before the rest continues in
// a queued call, so that the window stays responsive.
class ReceivePath : public QObject {
    Q_OBJECT
public:
    static constexpr int kMaxEventsPerPass = 4096;

    // raise is called for each receive event.
    explicit ReceivePath(std::function<void()> raise, QObject* parent = nullptr);

    // The line whose bytes come in from now on; null detaches. Bytes still waiting from a
    // line before are dropped.
    void attach(ByteLine* line);
    void detach() { attach(nullptr); }

    // Waiting characters that raise a receive event; 0 raises none.
    void setThreshold(int threshold) { threshold_ = threshold; }
    // Characters one take() returns at most; 0 takes all that wait.
    void setInputLen(int length) { inputLen_ = length; }
    QByteArray take();
    qsizetype waiting() const { return queue_.size(); }

private:
    void bytesArrived();
    void pull();
    void scheduleDrain();
    void drain();

    std::function<void()> raise_;
    QPointer<ByteLine> line_;
    QMetaObject::Connection readyConnection_;
    InputQueue queue_;
    int threshold_ = 0;
    int inputLen_ = 0;
    bool draining_ = false;
    bool drainQueued_ = false;
    // Running counts of bytes received and taken, to tell whether a handler took anything
    // and whether bytes arrived while it ran.
    quint64 received_ = 0;
    quint64 taken_ = 0;
};

} // namespace veltrano
