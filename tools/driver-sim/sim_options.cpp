#include "sim_options.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace veltrano::sim {

namespace {

std::optional<double> toNumber(const std::string& s)
{
    if (s.empty())
        return std::nullopt;
    char* end = nullptr;
    errno = 0;
    const double v = std::strtod(s.c_str(), &end);
    if (errno != 0 || end != s.c_str() + s.size() || !std::isfinite(v))
        return std::nullopt;
    return v;
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

std::string decodeEscapes(const std::string& text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c != '\\' || i + 1 == text.size()) {
            out += c;
            continue;
        }
        const char n = text[++i];
        switch (n) {
        case 'r': out += '\r'; break;
        case 'n': out += '\n'; break;
        case 't': out += '\t'; break;
        case '\\': out += '\\'; break;
        case 'x':
            if (i + 2 < text.size() && hexDigit(text[i + 1]) >= 0 && hexDigit(text[i + 2]) >= 0) {
                out += static_cast<char>(hexDigit(text[i + 1]) * 16 + hexDigit(text[i + 2]));
                i += 2;
                break;
            }
            [[fallthrough]];
        default: out += '\\'; out += n;
        }
    }
    return out;
}

std::string helpText()
{
    return R"(Usage: veltrano-driver-sim [options]

Simulated DC-motor driver board on a pseudo-terminal. The slave side is published
as a symbolic link; point the program's VELTRANO_PORTS at it with the line printed
on start-up ("VELTRANO_PORTS entry: COM3=/tmp/veltrano-sim/tty").

  --link PATH            where to put the link to the pty (default /tmp/veltrano-sim/tty)
  --com NAME             port name for the printed VELTRANO_PORTS entry (default COM3)
  --duration S           exit after S seconds (default: run until SIGINT/SIGTERM)
  --quiet                no log on stderr (warnings and errors still go there)
  --seed N               seed for every random choice below (default 1)

Faults:
  --answer-ratio R       answer only this fraction (0..1) of the polls
  --stray-bytes N        send N random bytes per second between the answers
  --stray-text TEXT      send TEXT once a second (\r \n \t \\ \xNN are decoded)
  --emit-E               let a data byte be 69 ("E"); by default 69 is sent as 70
  --silent-after S       stop answering anything S seconds after start
  --close-after S        S seconds after start close the line and remove the link,
                         like a board pulled out; then exit, unless
  --reappear-after S2    ... a new pty is linked at the same path S2 seconds later

Replay:
  --replay FILE          answer each poll with the next row of FILE, a recording
                         (t_ms,x,Data_0..Data_3) or a chart snapshot (x,Data_0..Data_3)
                         saved by the program; a 69 is sent as 70 unless --emit-E.
                         After the last row the polls get simulated frames again.
                         Bad rows are named on stderr (also with --quiet) and skipped;
                         a file without a usable row is refused (exit status 2)
  --loop                 start the replay again after its last row

  -h, --help             this text
  --version              the version, the same as the program's
)";
}

ParsedOptions parseOptions(const std::vector<std::string>& args)
{
    ParsedOptions r;
    SimOptions& o = r.options;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i];
        std::optional<std::string> inlineValue;
        if (const auto eq = name.find('='); name.rfind("--", 0) == 0 && eq != std::string::npos) {
            inlineValue = name.substr(eq + 1);
            name = name.substr(0, eq);
        }
        auto value = [&]() -> std::optional<std::string> {
            if (inlineValue)
                return inlineValue;
            if (i + 1 < args.size())
                return args[++i];
            return std::nullopt;
        };
        auto number = [&](double& target, double min, double max) -> bool {
            const auto v = value();
            const auto n = v ? toNumber(*v) : std::nullopt;
            if (!n || *n < min || *n > max) {
                r.error = name + " needs a number from " + std::to_string(min) + " to " + std::to_string(max);
                return false;
            }
            target = *n;
            return true;
        };
        auto flag = [&](bool& target) -> bool {
            if (inlineValue) {
                r.error = name + " takes no value";
                return false;
            }
            target = true;
            return true;
        };

        bool ok = true;
        if (name == "-h" || name == "--help") {
            ok = flag(o.help);
        } else if (name == "--version") {
            ok = flag(o.version);
        } else if (name == "--quiet") {
            ok = flag(o.quiet);
        } else if (name == "--emit-E") {
            ok = flag(o.emitE);
        } else if (name == "--loop") {
            ok = flag(o.loop);
        } else if (name == "--link" || name == "--com" || name == "--replay" || name == "--stray-text") {
            const auto v = value();
            if (!v || (name != "--stray-text" && v->empty())) {
                r.error = name + " needs a value";
                return r;
            }
            if (name == "--link")
                o.link = *v;
            else if (name == "--com")
                o.com = *v;
            else if (name == "--replay")
                o.replay = *v;
            else
                o.strayText = decodeEscapes(*v);
        } else if (name == "--duration") {
            ok = number(o.duration, 0, 1e9);
        } else if (name == "--seed") {
            double seed = 0;
            ok = number(seed, 0, 4294967295.0);
            o.seed = static_cast<std::uint32_t>(seed);
        } else if (name == "--answer-ratio") {
            ok = number(o.answerRatio, 0, 1);
        } else if (name == "--stray-bytes") {
            ok = number(o.strayBytes, 0, 100000);
        } else if (name == "--silent-after") {
            ok = number(o.silentAfter, 0, 1e9);
        } else if (name == "--close-after") {
            ok = number(o.closeAfter, 0, 1e9);
        } else if (name == "--reappear-after") {
            ok = number(o.reappearAfter, 0, 1e9);
        } else {
            r.error = "unknown option " + args[i];
            return r;
        }
        if (!ok)
            return r;
    }
    if (o.reappearAfter > 0 && o.closeAfter <= 0)
        r.error = "--reappear-after needs --close-after";
    else if (o.loop && o.replay.empty())
        r.error = "--loop needs --replay";
    return r;
}

} // namespace veltrano::sim
