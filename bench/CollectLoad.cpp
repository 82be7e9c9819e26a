// Load, crash and query figures for `kesto collect` (not a test: it reports).
//
//   kesto_collect_load uploads KESTO DATABASE [CLIENTS] [EACH]
//       starts KESTO collect on DATABASE, sends CLIENTS x EACH uploads from
//       CLIENTS threads on loopback (a new connection each, as Kesto does),
//       reports uploads per second and then counts the stored rows: every
//       2xx'd upload must be there once.
//   kesto_collect_load kill KESTO DATABASE [CLIENTS] [SECONDS]
//       the same uploads without end; kill -9 of the server after SECONDS,
//       a restart, and a check that every upload answered 2xx is stored.
//   kesto_collect_load query KESTO DATABASE [ROUNDS]
//       fills an empty PostgreSQL DATABASE with 1,000,000 measurements (200
//       devices over three years, 20,000 of them in central Paris) in SQL,
//       then times GET /api/points for the Paris box (10,000 points) and
//       GET /api/series for one device's year, ROUNDS times each: p50, p99.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <mutex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <curl/curl.h>

#include "collect/DatabaseUrl.h"
#include "collect/MeasurementStore.h"
#include "collect/PostgresConnection.h"
#include "history/HttpClient.h"
#include "history/UploadForm.h"

extern char** environ;

namespace {

using namespace kesto;
using Clock = std::chrono::steady_clock;

struct Server {
    pid_t pid = 0;
    std::string origin;
};

// Starts `kesto collect` on a free port with no upload limit and waits for its address.
Server startServer(const std::string& kesto, const std::string& database) {
    const std::string log = "/tmp/kesto-collect-load-" + std::to_string(getpid()) + ".log";
    std::remove(log.c_str());
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    std::vector<std::string> args = {kesto,        "collect", "--listen",      "127.0.0.1:0",
                                     "--database", database,  "--upload-rate", "0"};
    std::vector<char*> argv;
    for (auto& arg : args) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    Server server;
    if (posix_spawn(&server.pid, kesto.c_str(), &actions, nullptr, argv.data(), environ) != 0) {
        std::cerr << "cannot start " << kesto << "\n";
        std::exit(1);
    }
    posix_spawn_file_actions_destroy(&actions);
    for (int i = 0; i < 300 && server.origin.empty(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        std::ifstream in(log);
        std::string line;
        while (std::getline(in, line)) {
            const auto at = line.find("Open http://");
            if (at != std::string::npos) {
                const auto end = line.find('/', at + 12);
                server.origin = line.substr(at + 5, end - at - 5);
            }
        }
    }
    if (server.origin.empty()) {
        std::cerr << "kesto collect did not start; see " << log << "\n";
        std::exit(1);
    }
    return server;
}

void stopServer(Server& server, int signal) {
    kill(server.pid, signal);
    int status = 0;
    waitpid(server.pid, &status, 0);
    server.pid = 0;
}

RadiationHistoryRecord measurement(int client, int index) {
    RadiationHistoryRecord r;
    const double start = 1700000000.0 + index * 60.0;
    r.setStartDate(Date::fromUnixSeconds(start));
    r.setStopDate(Date::fromUnixSeconds(start + 600.0));
    r.setUdid("bench-" + std::to_string(client));
    r.setTag("load");
    r.setLatitude(48.85 + client * 0.01);
    r.setLongitude(2.35);
    std::vector<RadiationEvent> events;
    for (int e = 0; e < 5; ++e) {
        events.emplace_back(10.0 + e * 100.0, 1 + e);
    }
    r.setRadionEvents(events);
    return r;
}

struct Acknowledged {
    std::mutex mutex;
    std::set<std::pair<std::string, long long>> identities;
    std::atomic<long> answered{0};
    std::atomic<long> failed{0};
};

// One client: uploads until `each` are done or `stop` is set.
void client(const std::string& origin, int id, int each, const std::atomic<bool>& stop,
            Acknowledged& acknowledged) {
    for (int i = 0; i < each && !stop; ++i) {
        const auto record = measurement(id, i);
        const auto form = UploadForm::build(record);
        const auto answer =
            HttpClient::post(origin + UploadForm::kPath, {"Content-Type: " + form.contentType()},
                             form.bytes, std::chrono::milliseconds(30000));
        if (answer && answer->status / 100 == 2) {
            ++acknowledged.answered;
            const std::lock_guard lock(acknowledged.mutex);
            acknowledged.identities.emplace(*record.udid(),
                                            std::llround(record.startDate()->unixSeconds() * 1e6));
        } else {
            ++acknowledged.failed;
        }
    }
}

// Every acknowledged upload present once; the number of rows.
bool verify(const std::string& database, const Acknowledged& acknowledged, long long& rows) {
    auto store = MeasurementStore::open(*DatabaseUrl::parse(database));
    if (!store) {
        std::cerr << store.error() << "\n";
        return false;
    }
    std::set<std::pair<std::string, long long>> found;
    long long duplicates = 0;
    rows = 0;
    const auto read = (*store)->forEach({}, [&](const MeasurementRow& row) {
        ++rows;
        duplicates += found.emplace(row.udid, row.startMicros).second ? 0 : 1;
        return true;
    });
    long long missing = 0;
    for (const auto& identity : acknowledged.identities) {
        missing += found.contains(identity) ? 0 : 1;
    }
    std::cout << "  rows stored: " << rows << ", acknowledged: " << acknowledged.identities.size()
              << ", acknowledged but missing: " << missing << ", doubled: " << duplicates << "\n";
    return read && missing == 0 && duplicates == 0;
}

int uploads(const std::string& kesto, const std::string& database, int clients, int each) {
    Server server = startServer(kesto, database);
    Acknowledged acknowledged;
    std::atomic<bool> stop{false};
    const auto began = Clock::now();
    std::vector<std::thread> threads;
    for (int c = 0; c < clients; ++c) {
        threads.emplace_back(client, server.origin, c, each, std::cref(stop),
                             std::ref(acknowledged));
    }
    for (auto& t : threads) {
        t.join();
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - began).count();
    stopServer(server, SIGTERM);
    std::cout << database.substr(0, database.find(':')) << ": " << acknowledged.answered
              << " uploads from " << clients << " clients in " << seconds << " s: "
              << static_cast<long>(static_cast<double>(acknowledged.answered.load()) / seconds)
              << " uploads/s (" << acknowledged.failed << " not acknowledged)\n";
    long long rows = 0;
    return verify(database, acknowledged, rows) &&
                   rows == static_cast<long long>(acknowledged.identities.size())
               ? 0
               : 1;
}

int crash(const std::string& kesto, const std::string& database, int clients, double seconds) {
    Server server = startServer(kesto, database);
    Acknowledged acknowledged;
    std::atomic<bool> stop{false};
    std::vector<std::thread> threads;
    for (int c = 0; c < clients; ++c) {
        threads.emplace_back(client, server.origin, c, 1 << 30, std::cref(stop),
                             std::ref(acknowledged));
    }
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    stopServer(server, SIGKILL);
    stop = true;
    for (auto& t : threads) {
        t.join();
    }
    std::cout << "kill -9 after " << seconds << " s of " << clients
              << " clients' uploads: " << acknowledged.answered << " acknowledged, "
              << acknowledged.failed << " cut off\n";
    // A restart opens (and recovers) the database; then the rows are counted.
    Server again = startServer(kesto, database);
    stopServer(again, SIGTERM);
    long long rows = 0;
    return verify(database, acknowledged, rows) ? 0 : 1;
}

struct Got {
    long status = 0;
    std::string body;
};

// One GET on a connection of its own, as a browser's first request.
Got get(const std::string& url) {
    Got got;
    CURL* curl = curl_easy_init();
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, 30L);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &got.body);
    curl_easy_setopt(
        curl, CURLOPT_WRITEFUNCTION, +[](char* data, std::size_t size, std::size_t n, void* out) {
            static_cast<std::string*>(out)->append(data, size * n);
            return size * n;
        });
    if (curl_easy_perform(curl) == CURLE_OK) {
        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &got.status);
    }
    curl_easy_cleanup(curl);
    return got;
}

// CPU seconds (user + system) a process has used, from /proc.
double cpuSeconds(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    double ticks = 0.0;
    for (int i = 3; fields >> field && i <= 15; ++i) {
        if (i == 14 || i == 15) {
            ticks += std::stod(field);
        }
    }
    return ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
}

double percentile(std::vector<double> values, double p) {
    std::sort(values.begin(), values.end());
    return values[static_cast<std::size_t>(p * static_cast<double>(values.size() - 1))];
}

int query(const std::string& kesto, const std::string& database, int rounds) {
    {
        // Migrates the empty database to the current schema.
        auto store = MeasurementStore::open(*DatabaseUrl::parse(database));
        if (!store) {
            std::cerr << store.error() << "\n";
            return 1;
        }
    }
    auto sql = PostgresConnection::open(DatabaseUrl::parse(database)->target());
    if (!sql) {
        std::cerr << sql.error() << "\n";
        return 1;
    }
    std::cout << "filling 1,000,000 measurements..." << std::flush;
    const auto filling = Clock::now();
    // 200 devices, one measurement every 5.3 h each over three years from
    // 2023; 2% in central Paris, the rest over France. Each: 10 minutes, a
    // few events.
    const char* fill =
        "INSERT INTO measurements (udid, tag, start_us, stop_us, latitude, longitude, events,"
        " hits, dose, mean_rate, rate_lower, rate_upper, digest, received_us)"
        " SELECT 'device-' || (n % 200), 'bench', 1672531200000000 + (n / 200) * 18921000000,"
        " 1672531200000000 + (n / 200) * 18921000000 + 600000000,"
        " CASE WHEN n % 50 = 0 THEN 48.80 + (n * 7919 % 1000) * 0.00012"
        "  ELSE 42.0 + (n * 104729 % 9000) * 0.001 END,"
        " CASE WHEN n % 50 = 0 THEN 2.25 + (n * 6007 % 1000) * 0.00017"
        "  ELSE -5.0 + (n * 15485863 % 13000) * 0.001 END,"
        " 1 + n % 5, 1 + n % 5, 0.055 * (1 + n % 5), 0.33 * (1 + n % 5), 0.01, 2.0, n,"
        " 1700000000000000 FROM generate_series(0::bigint, 999999) AS n";
    const char* events =
        "INSERT INTO events (measurement_id, seq, time_s, particles)"
        " SELECT id, s, 60.0 * s, 1 FROM measurements, generate_series(0, 2) AS s";
    const char* devices =
        "INSERT INTO devices (udid, measurements, last_received_us, latest_start_us, latest_id)"
        " SELECT udid, count(*), max(received_us), max(start_us), max(id) FROM measurements"
        " GROUP BY udid";
    // As autovacuum does after inserts: statistics and the visibility map.
    for (const char* statement : {fill, events, devices, "VACUUM ANALYZE"}) {
        if (auto done = (*sql)->execute(statement); !done) {
            std::cerr << "\n" << done.error() << "\n";
            return 1;
        }
    }
    std::cout << " " << std::chrono::duration<double>(Clock::now() - filling).count() << " s\n";
    Server server = startServer(kesto, database);
    // The server and its database connections: on a machine shared with
    // other work, their CPU time per request says more than the wall clock.
    std::vector<pid_t> workers{server.pid};
    const auto backends = [&] {
        std::vector<pid_t> pids;
        (void)(*sql)->query(
            "SELECT pid FROM pg_stat_activity WHERE datname = current_database()"
            " AND pid <> pg_backend_pid()",
            {}, [&](const SqlRow& row) {
                pids.push_back(static_cast<pid_t>(row.integer(0)));
                return true;
            });
        return pids;
    };
    const auto cpu = [&] {
        double total = 0.0;
        for (const pid_t pid : workers) {
            total += cpuSeconds(pid);
        }
        return total;
    };
    (void)get(server.origin + "/api/devices");  // opens the server's connections
    for (const pid_t pid : backends()) {
        workers.push_back(pid);
    }
    double cpuBefore = 0.0;
    const auto time = [&](const std::string& path, std::size_t& size) {
        cpuBefore = cpu();
        std::vector<double> ms;
        for (int i = 0; i < rounds; ++i) {
            const auto began = Clock::now();
            const Got answer = get(server.origin + path);
            ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - began).count());
            size = answer.body.size();
            if (answer.status != 200) {
                std::cerr << path << ": " << answer.status << " " << answer.body << "\n";
                return std::vector<double>{};
            }
        }
        return ms;
    };
    std::size_t size = 0;
    const std::string box = "/api/points?bbox=2.25,48.80,2.42,48.92&limit=10000";
    const auto map = time(box, size);
    if (map.empty()) {
        return 1;
    }
    std::cout << "map, central Paris (" << size << " bytes, 10,000 points): p50 "
              << percentile(map, 0.5) << " ms, p99 " << percentile(map, 0.99) << " ms; CPU "
              << (cpu() - cpuBefore) * 1000.0 / rounds << " ms a request\n";
    const auto year = time("/api/series?device=device-17&from=2024-01-01&to=2025-01-01", size);
    if (year.empty()) {
        return 1;
    }
    std::cout << "one device's year (" << size << " bytes): p50 " << percentile(year, 0.5)
              << " ms, p99 " << percentile(year, 0.99) << " ms; CPU "
              << (cpu() - cpuBefore) * 1000.0 / rounds << " ms a request\n";
    stopServer(server, SIGTERM);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::cerr << "usage: kesto_collect_load uploads|kill|query KESTO DATABASE [N] [M]\n";
        return 2;
    }
    const std::string mode = argv[1];
    const std::string kesto = argv[2];
    const std::string database = argv[3];
    if (mode == "uploads") {
        return uploads(kesto, database, argc > 4 ? std::stoi(argv[4]) : 8,
                       argc > 5 ? std::stoi(argv[5]) : 1000);
    }
    if (mode == "kill") {
        return crash(kesto, database, argc > 4 ? std::stoi(argv[4]) : 8,
                     argc > 5 ? std::stod(argv[5]) : 5.0);
    }
    if (mode == "query") {
        return query(kesto, database, argc > 4 ? std::stoi(argv[4]) : 200);
    }
    std::cerr << "unknown mode " << mode << "\n";
    return 2;
}
