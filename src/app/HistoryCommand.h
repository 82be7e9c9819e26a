#pragma once

#include <iosfwd>
#include <optional>
#include <string>

#include "app/Command.h"

namespace kesto {

// `kesto history`: the saved measurements, newest first, and their totals,
// as the history screen shows them; or all of it as JSON.
class HistoryCommand : public Command {
  public:
    void declareOptions(CLI::App& app) override;
    int run(std::ostream& out, std::ostream& err) override;
    static void printHelp(std::ostream& out);

  private:
    std::optional<std::string> dataDirectory_;
    bool json_ = false;
};

}  // namespace kesto
