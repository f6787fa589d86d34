#pragma once

#include "serial/byte_line.h"
#include "serial/simulated_board.h"

#include <QTimer>

#include <deque>
#include <memory>
#include <string_view>

namespace veltrano {

// A line to the simulated board, paced as a cable paces it: every character takes ten
// bit times at the line's rate, one after another in each direction. What is written
// reaches the board once its last character is through; the board's answer comes back
// character by character after that, delivered from the event loop as its characters
// arrive, never inside the write. So at 2400 baud a poll's five-character answer takes
// about 21 ms, longer than a tick, as over a cable.
//
// A board cannot send faster than its line: at 2400 baud, 64 polls a second ask for more
// than the line carries. Like a board that holds one answer for sending while it sends
// another, it drops a poll's answer while the answer to the poll before is still waiting
// to go out, so the delay stays bounded (under 50 ms at 2400 baud) and a missed poll
// repeats the previous sample. Its text replies always go out, after whatever waits.
class SimulatedLine : public ByteLine {
    Q_OBJECT
public:
    SimulatedLine(std::shared_ptr<SimulatedBoard> board, QObject* parent = nullptr);
    ~SimulatedLine() override;

    void open(int baud) override;
    void close() override;
    bool isOpen() const override { return open_; }
    void setBaud(int baud) override { baud_ = baud; }
    void write(const QByteArray& bytes) override;
    QByteArray readAll() override;

    // The board is woken at least this often while the line is open, so that it never
    // has a long stretch of motion to catch up on at once.
    static constexpr double kKeepAwake = 1.0; // s

private:
    struct Outgoing {
        double at; // when the last character is through, board time
        QByteArray bytes;
    };
    struct Incoming {
        double at; // when the character is through, board time
        char byte;
    };

    double characterTime() const { return 10.0 / baud_; }
    void advance();
    void deliver(const QByteArray& bytes, double at);
    // Puts the answer on the line back; a poll's answer is dropped when it finds no room.
    void sendBack(std::string_view answer, double from, bool pollAnswer);
    void schedule(double now);

    std::shared_ptr<SimulatedBoard> board_;
    QTimer timer_;
    bool open_ = false;
    int baud_ = 9600;
    double toBoardFreeAt_ = 0; // when the line to the board is free again
    double fromBoardFreeAt_ = 0; // ... and the line back
    double lastPollAnswerStartsAt_ = 0; // when the last poll's answer starts going out
    std::deque<Outgoing> toBoard_;
    std::deque<Incoming> fromBoard_;
    QByteArray arrived_;
};

} // namespace veltrano
