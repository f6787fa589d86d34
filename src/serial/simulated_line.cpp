#include "serial/simulated_line.h"

#include "platform/control_error.h"
#include "serial/serial_control.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace veltrano {

namespace {

// A poll's answer: four data characters and the end mark.
constexpr size_t kFrameLength = 5;

} // namespace

SimulatedLine::SimulatedLine(std::shared_ptr<SimulatedBoard> board, QObject* parent)
    : ByteLine(parent), board_(std::move(board))
{
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, &SimulatedLine::advance);
}

SimulatedLine::~SimulatedLine() { close(); }

void SimulatedLine::open(int baud)
{
    if (open_)
        throw ControlError("The simulated board's line is already open");
    if (board_->running()) // another line has it: one board, one cable
        throw PortInUse(QStringLiteral("The simulated board is connected already"),
                        QStringLiteral("in use by another connection of this program"));
    baud_ = baud;
    board_->resume();
    const double now = board_->now();
    toBoardFreeAt_ = now;
    fromBoardFreeAt_ = now;
    lastPollAnswerStartsAt_ = now;
    open_ = true;
    schedule(now);
}

void SimulatedLine::close()
{
    if (!open_)
        return;
    open_ = false;
    timer_.stop();
    toBoard_.clear();
    fromBoard_.clear();
    arrived_.clear();
    board_->device().lineClosed();
    board_->pause();
}

void SimulatedLine::write(const QByteArray& bytes)
{
    if (!open_)
        throw ControlError("The simulated board's line is closed");
    if (bytes.isEmpty())
        return;
    const double now = board_->now();
    toBoardFreeAt_ = std::max(toBoardFreeAt_, now) + double(bytes.size()) * characterTime();
    toBoard_.push_back({toBoardFreeAt_, bytes});
    schedule(now);
}

QByteArray SimulatedLine::readAll() { return std::exchange(arrived_, QByteArray()); }

void SimulatedLine::sendBack(std::string_view answer, double from, bool pollAnswer)
{
    if (pollAnswer && !answer.empty()) {
        if (lastPollAnswerStartsAt_ > from)
            return; // the last one still waits: no room for this one
        lastPollAnswerStartsAt_ = std::max(fromBoardFreeAt_, from);
    }
    for (const char byte : answer) {
        fromBoardFreeAt_ = std::max(fromBoardFreeAt_, from) + characterTime();
        fromBoard_.push_back({fromBoardFreeAt_, byte});
    }
}

void SimulatedLine::deliver(const QByteArray& bytes, double at)
{
    // Each poll on its own, so that its answer (the frame that ends the board's answer to
    // it, when it answers) is told from the text replies before it.
    sim::SimDevice& device = board_->device();
    std::string answer;
    qsizetype start = 0;
    while (start < bytes.size()) {
        const qsizetype poll = bytes.indexOf('Q', start);
        const qsizetype end = poll < 0 ? bytes.size() : poll + 1;
        const long answeredBefore = device.answeredPolls();
        answer.clear();
        device.receive(std::string_view(bytes.constData() + start, size_t(end - start)), at, answer);
        const size_t frame = device.answeredPolls() != answeredBefore ? kFrameLength : 0;
        const std::string_view all(answer);
        sendBack(all.substr(0, all.size() - frame), at, false);
        sendBack(all.substr(all.size() - frame), at, true);
        start = end;
    }
}

void SimulatedLine::advance()
{
    if (!open_)
        return;
    const double now = board_->now();
    while (!toBoard_.empty() && toBoard_.front().at <= now) {
        const Outgoing sent = std::move(toBoard_.front());
        toBoard_.pop_front();
        deliver(sent.bytes, sent.at);
    }
    std::string answer;
    board_->device().update(now, answer);
    sendBack(answer, now, false);

    const qsizetype before = arrived_.size();
    while (!fromBoard_.empty() && fromBoard_.front().at <= now) {
        arrived_.append(fromBoard_.front().byte);
        fromBoard_.pop_front();
    }
    schedule(now);
    if (arrived_.size() != before)
        emit readyRead();
}

void SimulatedLine::schedule(double now)
{
    double next = now + kKeepAwake;
    if (!toBoard_.empty())
        next = std::min(next, toBoard_.front().at);
    if (!fromBoard_.empty())
        next = std::min(next, fromBoard_.front().at);
    if (const std::optional<double> deadline = board_->device().nextDeadline())
        next = std::min(next, *deadline);
    const int ms = int(std::clamp(std::ceil((next - now) * 1000.0), 0.0, kKeepAwake * 1000.0));
    timer_.start(ms);
}

} // namespace veltrano
