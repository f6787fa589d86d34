#pragma once

#include <QtGlobal>

#include <deque>

namespace veltrano::soak {

// A poll whose answer has not been decoded this long after it was written counts as lost.
// Answers come back within a few milliseconds; the margin covers a busy machine.
constexpr qint64 kAnswerWithinMs = 500;

// The chart view's polls against the frames it decoded. Answers come back in the order
// of the polls, so the polls not yet answered are always the newest ones written.
struct FrameBook {
    long polls = 0; // polls written
    long decoded = 0; // frames decoded in the chart view that answered one of them
    long excluded = 0; // unanswered when the port was closed or the view left: their
        // answers are dropped with the port's input or go to the setup log
    long lost = 0; // not answered within kAnswerWithinMs
    long unexpected = 0; // frames decoded with no poll waiting for one
    long pending = 0; // written, not yet answered
    std::deque<qint64> recent; // write times of the polls of the last kAnswerWithinMs

    void polled(qint64 nowMs);
    // False when no poll was waiting for the frame.
    bool answered();
    // Polls left unanswered for longer than kAnswerWithinMs are lost; returns how many
    // were found lost now.
    long settle(qint64 nowMs);
    // The port closes or the view leaves: what is still unanswered will not be decoded.
    // Returns how many polls that excludes.
    long abandon(qint64 nowMs);
};

} // namespace veltrano::soak
