#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace kesto {

// `kesto history`: the saved measurements, newest first, and their totals,
// as the history screen shows them; or all of it as JSON.
class HistoryCommand {
  public:
    static int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
    static void printHelp(std::ostream& out);
};

}  // namespace kesto
