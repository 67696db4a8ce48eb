// Runs the built qvdpack with arguments and collects its exit code and its
// output (stdout and stderr together), in both builds.
#pragma once

#include <string>
#include <vector>

namespace packertest {

struct ToolRun {
    int exitCode = -1;
    std::string output;
};

ToolRun RunQvdpack(const std::vector<std::u16string>& args);

}  // namespace packertest
