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
    return "mode " + std::to_string(static_cast<int>(s.mode)) + " " + lower(modeName(s.mode))
           + " sf " + std::to_string(s.speedFactor) + " acc " + (s.acceleration ? "on" : "off")
           + " resp " + std::to_string(s.responses) + " test " + std::to_string(s.speedTest)
           + " edge " + (s.countBothEdges ? "9" : "1");
}

}  // namespace

SimDevice::SimDevice(DeviceOptions options, MotorParams motor)
    : m_options(options), m_board(motor), m_rng(options.seed)
{
}

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
    m_replay = std::move(frames);
    m_replayPosition = 0;
    m_loop = loop;
    m_replayEnded = false;
}

Frame SimDevice::nextTraces()
{
    if (m_replayPosition < m_replay.size()) {
        const Frame f = m_replay[m_replayPosition++];
        if (m_loop && m_replayPosition == m_replay.size())
            m_replayPosition = 0;
        return f;
    }
    if (!m_replay.empty() && !m_replayEnded) {
        m_replayEnded = true;
        if (m_warn)
            m_warn("replay: all " + std::to_string(m_replay.size())
                   + " recorded frames sent; the polls get simulated frames from now on");
    }
    return m_board.traces();
}

void SimDevice::log(const std::string& line) const
{
    if (m_log)
        m_log(line);
}

void SimDevice::advanceTo(double now)
{
    if (m_lastTime && now > *m_lastTime)
        m_board.advance(now - *m_lastTime);
    if (!m_lastTime || now > *m_lastTime)
        m_lastTime = now;
}

void SimDevice::receive(std::string_view bytes, double now, std::string& out)
{
    advanceTo(now);
    std::vector<ProtocolEvent> events;
    m_parser.feed(bytes, now, events);
    for (const ProtocolEvent& e : events)
        handle(e, out);
}

void SimDevice::update(double now, std::string& out)
{
    advanceTo(now);
    std::vector<ProtocolEvent> events;
    m_parser.poll(now, events);
    for (const ProtocolEvent& e : events)
        handle(e, out);
}

void SimDevice::lineClosed()
{
    m_parser.reset();
}

void SimDevice::handle(const ProtocolEvent& event, std::string& out)
{
    using Kind = ProtocolEvent::Kind;
    switch (event.kind) {
    case Kind::Poll: {
        ++m_polls;
        bool answer = true;
        if (m_options.answerRatio < 1.0)
            answer = m_rng() < m_options.answerRatio * 4294967296.0;
        if (answer) {
            ++m_answered;
            out += frame(nextTraces(), m_options.emitE);
        }
        return;
    }
    case Kind::Greeting:
        log("rx A (greeting)");
        out += "veltrano driver sim ready, " + describe(m_board.settings()) + "\r\n";
        return;
    case Kind::Record:
        log("rx record " + event.text);
        m_board.setSettings(event.settings);
        out += "ok " + describe(event.settings) + "\r\n";
        return;
    case Kind::RecordError:
        log("rx bad record: " + event.text);
        out += "bad record: " + event.text + "\r\n";
        return;
    case Kind::Run:
        log("rx J (run)");
        if (m_board.running()) {
            out += "already running\r\n";
        } else {
            m_board.run();
            out += "run " + lower(modeName(m_board.settings().mode)) + "\r\n";
        }
        return;
    case Kind::Toggle:
        log("rx T (direction)");
        out += m_board.toggleDirection() ? "dir reversed\r\n" : "dir forward\r\n";
        return;
    case Kind::Stop:
        log("rx I (stop)");
        m_board.stop();
        out += "stop\r\n";
        return;
    case Kind::Text:
        log("rx text \"" + event.text + "\"");
        out += "echo: " + event.text + "\r\n";
        return;
    }
}

}  // namespace veltrano::sim
