#pragma once

#include <string>
#include <vector>

namespace veltrano::testing {

// The pieces the setup program writes for one record.
std::vector<std::string> recordPieces(const std::string& sf, char acc, const std::string& responses,
                                      const std::string& speedTest, char mode, char edge)
{
    return {"C", sf,        "=", std::string(1, acc),  "=", responses,
            "=", speedTest, "=", std::string(1, mode), "=", std::string(1, edge),
            "F"};
}

} // namespace veltrano::testing
