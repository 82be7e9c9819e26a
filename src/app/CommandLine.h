#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace kesto {

// The `kesto` program's command line: picks the subcommand and runs it.
// Returns the process exit status.
class CommandLine {
  public:
    static int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
    static void printUsage(std::ostream& out);
};

}  // namespace kesto
