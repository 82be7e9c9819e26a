#pragma once

#include <iosfwd>
#include <optional>
#include <string>

#include "app/Command.h"

namespace kesto {

// `kesto history`: the saved measurements, newest first, and their totals,
// as the history screen shows them; or all of it as JSON. With --simulated,
// the simulated sensor's history instead, said to be SIMULATED. --csv,
// --geojson and --kml export it for a spreadsheet or a map.
class HistoryCommand : public Command {
  public:
    void declareOptions(CLI::App& app) override;
    int run(std::ostream& out, std::ostream& err) override;
    static void printHelp(std::ostream& out);

  private:
    std::optional<std::string> dataDirectory_;
    bool json_ = false;
    bool csv_ = false;
    bool geoJson_ = false;
    bool kml_ = false;
    bool simulated_ = false;
};

}  // namespace kesto
