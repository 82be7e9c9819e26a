#include "app/CollectCommand.h"

#include <CLI/App.hpp>

#include "collect/CollectServer.h"
#include "collect/DatabaseUrl.h"
#include "collect/MeasurementStore.h"
#include "history/file/DataDirectory.h"
#include "platform/ResourceLocator.h"
#include "platform/RunLoop.h"
#include "platform/SignalWatch.h"
#include "web/AccessToken.h"
#include "web/ListenAddress.h"

namespace kesto {

void CollectCommand::printHelp(std::ostream& out) {
    out << "Usage: kesto collect [--listen ADDR:PORT] [--database URL] [--data-dir D]\n"
           "                     [--allow-host NAME]... [--token-file F] [--tile-url URL]\n"
           "                     [--upload-rate N] [--upload-burst N]\n"
           "\n"
           "The collection server: receives the measurements Kesto uploads (point\n"
           "'kesto serve --server' or 'kesto measure --server' at it), keeps each one once\n"
           "in a database, and shows them on a map, with a table of devices and each\n"
           "device's dose rates over time. Exports as CSV and GeoJSON, and /metrics for\n"
           "Prometheus. An upload is answered 200 only once it is committed.\n"
           "\n"
           "Uploads are open to anyone who can reach the address, limited per client\n"
           "address. The page, the exports and /metrics answer only requests that name\n"
           "this server (its address, or a name given with --allow-host), and need the\n"
           "token in F when --token-file is given.\n"
           "\n"
           "Options:\n"
           "  --listen ADDR:PORT  where to listen (default 127.0.0.1:8090; 0.0.0.0:8090 for\n"
           "                      every interface)\n"
           "  --database URL      sqlite:PATH (default: collect.sqlite in the data directory)\n"
           "                      or postgresql://[user@]host[:port]/db\n"
           "  --data-dir D        the data directory (default as for the other commands)\n"
           "  --allow-host NAME   also answer to this host name (a proxy's, a LAN name)\n"
           "  --token-file F      require the token in F for the page, exports and metrics\n"
           "  --tile-url URL      the map's tile server, {z}/{x}/{y} in the URL (default:\n"
           "                      none, the points on a plain background)\n"
           "  --tile-attribution TEXT   the tiles' credit line, shown on the map\n"
           "  --upload-rate N     uploads a second one address may keep up (default 2;\n"
           "                      0: no limit)\n"
           "  --upload-burst N    uploads one address may send at once (default 120)\n"
           "\n"
           "Exit status: 0 after a clean stop, 1 when the database or the server could not\n"
           "start.\n";
}

void CollectCommand::declareOptions(CLI::App& app) {
    app.add_option("--listen", listen_)->type_name("ADDR:PORT");
    app.add_option("--database", database_)->type_name("URL");
    app.add_option("--data-dir", dataDirectory_)->type_name("D");
    app.add_option("--allow-host", allowedHosts_)->type_name("NAME");
    app.add_option("--token-file", tokenFile_)->type_name("F");
    app.add_option("--tile-url", tileUrl_)->type_name("URL");
    app.add_option("--tile-attribution", tileAttribution_)->type_name("TEXT");
    app.add_option("--upload-rate", uploadRate_)->type_name("N")->check(CLI::NonNegativeNumber);
    app.add_option("--upload-burst", uploadBurst_)->type_name("N")->check(CLI::PositiveNumber);
}

int CollectCommand::run(std::ostream& out, std::ostream& err) {
    const auto listen = ListenAddress::parse(listen_);
    if (!listen) {
        throw UsageError("--listen: " + listen.error());
    }
    if (!tileUrl_.empty() && !tileUrl_.starts_with("https://") &&
        !tileUrl_.starts_with("http://")) {
        throw UsageError("--tile-url: give an http(s):// address with {z}/{x}/{y}");
    }
    const auto url = databaseUrl();
    if (!url) {
        err << "kesto collect: no data directory for the database: " << url.error() << '\n';
        return 1;
    }
    auto settings = serverSettings(*listen);
    if (!settings) {
        err << "kesto collect: " << settings.error() << '\n';
        return 1;
    }

    // First, so that no thread started below takes Ctrl-C unasked.
    SignalWatch signals(RunLoop::main(), [](int) { RunLoop::main().stop(); });
    auto store = MeasurementStore::open(*url);
    if (!store) {
        err << "kesto collect: " << store.error() << '\n';
        return 1;
    }
    CollectServer server(*settings, **store);
    const Result<int> port = server.start();
    if (!port) {
        err << "kesto collect: " << port.error() << '\n';
        return 1;
    }
    printAddresses(out, **store, server, *listen, *port);
    RunLoop::main().run();
    server.stop();
    out << "Stopped.\n";
    return 0;
}

Result<DatabaseUrl> CollectCommand::databaseUrl() const {
    if (database_) {
        auto parsed = DatabaseUrl::parse(*database_);
        if (!parsed) {
            throw UsageError("--database: " + parsed.error());
        }
        return *parsed;
    }
    auto directory = DataDirectory::resolve(
        dataDirectory_ ? std::optional<std::filesystem::path>(*dataDirectory_) : std::nullopt);
    Result<void> ready = directory ? DataDirectory::ensure(*directory) : directory.failure();
    if (!ready) {
        return ready.failure();
    }
    return DatabaseUrl::sqlite(*directory / "collect.sqlite");
}

Result<CollectServer::Settings> CollectCommand::serverSettings(const ListenAddress& listen) const {
    CollectServer::Settings settings;
    settings.listen = listen;
    settings.allowedHosts = allowedHosts_;
    if (tokenFile_) {
        auto token = AccessToken::readFile(*tokenFile_);
        if (!token) {
            return token.failure();
        }
        settings.token = std::move(*token);
    }
    settings.resourceDirectory = ResourceLocator::resourceDirectory();
    settings.tileUrl = tileUrl_;
    settings.tileAttribution = tileAttribution_;
    settings.uploadsPerSecond = uploadRate_;
    settings.uploadBurst = uploadBurst_;
    return settings;
}

void CollectCommand::printAddresses(std::ostream& out, const MeasurementStore& store,
                                    const CollectServer& server, const ListenAddress& listen,
                                    int port) const {
    const std::string host = listen.host();
    out << "Storing uploads in " << store.description() << ".\n"
        << "Devices upload to http://" << host << ':' << port << CollectServer::kUploadPath
        << " ('kesto serve --server http://" << host << ':' << port << "').\n"
        << "Open " << server.url();
    if (tokenFile_) {
        out << ", adding ?token= and the token in " << *tokenFile_;
    }
    out << " in a browser. Ctrl-C stops.\n" << std::flush;
    if (listen.isWildcard()) {
        out << "(Listening on every interface: use this machine's address in place of " << host
            << ".)\n"
            << std::flush;
    }
}

}  // namespace kesto
