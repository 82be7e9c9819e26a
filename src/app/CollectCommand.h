#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "app/Command.h"
#include "collect/CollectServer.h"
#include "collect/DatabaseUrl.h"
#include "platform/Result.h"

namespace kesto {

// `kesto collect`: the collection server the uploads of every device land
// in (collect/CollectServer.h), on SQLite or PostgreSQL, with a map of them.
// Runs until Ctrl-C or SIGTERM, then stores what was queued and stops.
//
// Threads: the main thread.
class CollectCommand : public Command {
  public:
    void declareOptions(CLI::App& app) override;
    int run(std::ostream& out, std::ostream& err) override;
    static void printHelp(std::ostream& out);

  private:
    // The --database given, or SQLite in the data directory (made if need be).
    Result<DatabaseUrl> databaseUrl() const;
    Result<CollectServer::Settings> serverSettings(const ListenAddress& listen) const;
    void printAddresses(std::ostream& out, const MeasurementStore& store,
                        const CollectServer& server, const ListenAddress& listen, int port) const;

    std::string listen_ = "127.0.0.1:8090";
    std::optional<std::string> database_;
    std::optional<std::string> dataDirectory_;
    std::vector<std::string> allowedHosts_;
    std::optional<std::string> tokenFile_;
    std::string tileUrl_;
    std::string tileAttribution_;
    double uploadRate_ = 2.0;
    double uploadBurst_ = 120.0;
};

}  // namespace kesto
