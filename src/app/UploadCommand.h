#pragma once

#include <cstddef>
#include <iosfwd>
#include <optional>
#include <string>

#include "app/Command.h"
#include "history/RadiationHistoryMng.h"

namespace kesto {

// `kesto upload`: sends one saved measurement to the collection server,
// waits for its answer and prints its HTTP status; only a 2xx answer counts
// as delivered. With --pending, resends every measurement the upload log
// shows no acknowledged upload for.
class UploadCommand : public Command {
  public:
    void declareOptions(CLI::App& app) override;
    int run(std::ostream& out, std::ostream& err) override;
    static void printHelp(std::ostream& out);

  private:
    // --pending: every measurement never acknowledged, oldest first.
    static int sendPending(const RadiationHistoryMng::RecordList& list, std::ostream& out,
                           std::ostream& err);

    bool pending_ = false;
    std::optional<std::string> dataDirectory_;
    std::optional<std::string> server_;
    std::size_t index_ = 0;
};

}  // namespace kesto
