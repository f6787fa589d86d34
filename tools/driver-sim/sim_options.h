#pragma once

// Command line of veltrano-driver-sim.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace veltrano::sim {

struct SimOptions {
    std::string link = "/tmp/veltrano-sim/tty";
    std::string com = "COM3";
    double duration = 0; // s, 0 = until SIGINT/SIGTERM
    bool quiet = false;
    bool help = false;
    bool version = false;
    std::uint32_t seed = 1;
    double answerRatio = 1.0;
    double strayBytes = 0; // per second
    std::string strayText; // sent once a second when not empty (escapes decoded)
    bool emitE = false;
    double silentAfter = 0; // s, 0 = never
    double closeAfter = 0; // s, 0 = never
    double reappearAfter = 0; // s after closing, 0 = exit instead
    std::string replay; // CSV file whose frames answer the polls; empty = none
    bool loop = false; // start the replay again after its last frame
};

struct ParsedOptions {
    SimOptions options;
    std::string error; // empty when the command line was fine
};

ParsedOptions parseOptions(const std::vector<std::string>& args);
std::string helpText();

// Decodes \r \n \t \\ and \xNN in an option value.
std::string decodeEscapes(const std::string& text);

} // namespace veltrano::sim
