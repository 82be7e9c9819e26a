#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace kesto {

// `kesto upload`: sends one saved measurement to the collection server and
// waits for its answer.
class UploadCommand {
  public:
    static int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
    static void printHelp(std::ostream& out);
};

}  // namespace kesto
