#include "sim/sim_device.h"

#include <cctype>
#include <vector>

namespace veltrano::sim {

namespace {

std::string lower(std::string_view text)
{
    std::string out(text);
    for (char& c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

std::string describe(const DriverSettings& s)
{
    return "mode " + std::to_string(static_cast<int>(s.mode)) + " " + lower(modeName(s.mode)) + " sf "
           + std::to_string(s.speedFactor) + " acc " + (s.acceleration ? "on" : "off") + " resp "
           + std::to_string(s.responses) + " test " + std::to_string(s.speedTest) + " edge "
           + (s.countBothEdges ? "9" : "1");
}

} // namespace

SimDevice::SimDevice(DeviceOptions options, MotorParams motor)
    : options_(options), board_(motor), rng_(options.seed) { }

std::string SimDevice::frame(const std::array<std::uint8_t, 4>& data, bool emitE)
{
    std::string out;
    for (std::uint8_t b : data)
        out += static_cast<char>(!emitE && b == 'E' ? 'E' + 1 : b);
    out += 'E';
    return out;
}

void SimDevice::setReplay(std::vector<Frame> frames, bool loop)
{
    replay_ = std::move(frames);
    replayPosition_ = 0;
    loop_ = loop;
    replayEnded_ = false;
}

Frame SimDevice::nextTraces()
{
    if (replayPosition_ < replay_.size()) {
        const Frame f = replay_[replayPosition_++];
        if (loop_ && replayPosition_ == replay_.size())
            replayPosition_ = 0;
        return f;
    }
    if (!replay_.empty() && !replayEnded_) {
        replayEnded_ = true;
        if (warn_)
            warn_("replay: all " + std::to_string(replay_.size())
                  + " recorded frames sent; the polls get simulated frames from now on");
    }
    return board_.traces();
}

void SimDevice::log(const std::string& line) const
{
    if (log_)
        log_(line);
}

void SimDevice::advanceTo(double now)
{
    if (lastTime_ && now > *lastTime_)
        board_.advance(now - *lastTime_);
    if (!lastTime_ || now > *lastTime_)
        lastTime_ = now;
}

void SimDevice::receive(std::string_view bytes, double now, std::string& out)
{
    advanceTo(now);
    std::vector<ProtocolEvent> events;
    parser_.feed(bytes, now, events);
    for (const ProtocolEvent& e : events)
        handle(e, out);
}

void SimDevice::update(double now, std::string& out)
{
    advanceTo(now);
    std::vector<ProtocolEvent> events;
    parser_.poll(now, events);
    for (const ProtocolEvent& e : events)
        handle(e, out);
}

void SimDevice::lineClosed() { parser_.reset(); }

void SimDevice::handle(const ProtocolEvent& event, std::string& out)
{
    using Kind = ProtocolEvent::Kind;
    switch (event.kind) {
    case Kind::Poll: {
        ++polls_;
        bool answer = true;
        if (options_.answerRatio < 1.0)
            answer = rng_() < options_.answerRatio * 4294967296.0;
        if (answer) {
            ++answered_;
            out += frame(nextTraces(), options_.emitE);
        }
        return;
    }
    case Kind::Greeting:
        log("rx A (greeting)");
        out += "veltrano driver sim ready, " + describe(board_.settings()) + "\r\n";
        return;
    case Kind::Record:
        log("rx record " + event.text);
        board_.setSettings(event.settings);
        out += "ok " + describe(event.settings) + "\r\n";
        return;
    case Kind::RecordError:
        log("rx bad record: " + event.text);
        out += "bad record: " + event.text + "\r\n";
        return;
    case Kind::Run:
        log("rx J (run)");
        if (board_.running()) {
            out += "already running\r\n";
        } else {
            board_.run();
            out += "run " + lower(modeName(board_.settings().mode)) + "\r\n";
        }
        return;
    case Kind::Toggle:
        log("rx T (direction)");
        out += board_.toggleDirection() ? "dir reversed\r\n" : "dir forward\r\n";
        return;
    case Kind::Stop:
        log("rx I (stop)");
        board_.stop();
        out += "stop\r\n";
        return;
    case Kind::Text:
        log("rx text \"" + event.text + "\"");
        out += "echo: " + event.text + "\r\n";
        return;
    }
}

} // namespace veltrano::sim
