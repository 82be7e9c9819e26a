#include "app/ServeCommand.h"

#include <CLI/App.hpp>

#include "app/HeadlessFrontEnd.h"
#include "app/KestoAppDelegate.h"
#include "app/SensorBanner.h"
#include "platform/RunLoop.h"
#include "screens/DetecterDelegate.h"
#include "web/ListenAddress.h"
#include "web/WebFrontEnd.h"

namespace kesto {

void ServeCommand::printHelp(std::ostream& out) {
    out << "Usage: kesto serve [--sensor SPEC] [--position P] [--listen ADDR:PORT]\n"
           "                   [--data-dir D] [--server URL] [--allow-host NAME]...\n"
           "                   [--token-file F] [--profile]\n"
           "\n"
           "Runs the application and shows it in a browser: the four tabs, every change\n"
           "as it happens, taps and typing applied as on the phone. Prints the address to\n"
           "open. Ctrl-C or SIGTERM closes every connection, stops the running detection\n"
           "and waits for an upload in flight; a second one quits at once.\n"
           "\n"
           "Only requests that name this server (its address, or a name given with\n"
           "--allow-host) are answered. On an address other than loopback (127.0.0.0/8,\n"
           "::1) the page needs an access token: a random one, printed once in the\n"
           "address, or the one in F (never printed; F must not be readable by others).\n"
           "\n"
           "Options:\n"
        << ApplicationOptions::helpText(true)
        << "  --listen ADDR:PORT  where to listen (default 127.0.0.1:8080; [::1]:8080 for IPv6)\n"
           "  --allow-host NAME   also answer to this host name (a proxy's, a LAN name)\n"
           "  --token-file F      require the token in F (one line, 16 characters or more)\n"
           "\n"
           "Exit status: 0 after a clean stop, 1 when the application or the server could\n"
           "not start, or an upload was left unfinished.\n";
}

void ServeCommand::declareOptions(CLI::App& app) {
    application_.declare(app, true);
    app.add_option("--listen", listen_)->type_name("ADDR:PORT");
    app.add_option("--allow-host", allowedHosts_)->type_name("NAME");
    app.add_option("--token-file", tokenFile_)->type_name("F");
}

int ServeCommand::run(std::ostream& out, std::ostream& err) {
    const auto listen = ListenAddress::parse(listen_);
    if (!listen) {
        throw UsageError("--listen: " + listen.error());
    }
    // First, so that no thread the application starts takes Ctrl-C unasked.
    HeadlessFrontEnd person(out, ProgressReport::styleFor(out, false));
    if (auto started = person.launch(application_); !started) {
        return failed("serve", started.error(), err);
    }
    SensorBanner::print(person.report());

    WebFrontEnd web;
    WebFrontEnd::Options options;
    options.listen = *listen;
    options.allowedHosts = allowedHosts_;
    if (tokenFile_) {
        options.tokenFile = *tokenFile_;
    }
    if (auto started = web.start(options); !started) {
        err << "kesto serve: " << started.error() << '\n';
        return 1;
    }
    printAddress(out, web, *listen);
    while (person.interruptions() == 0) {
        RunLoop::main().run();  // the signal handler stops it
    }
    return shutDown(person, web, out, err);
}

void ServeCommand::printAddress(std::ostream& out, const WebFrontEnd& web,
                                const ListenAddress& listen) const {
    // A token read from a file stays out of the output (and the journal).
    std::string url = web.url();
    if (!web.tokenMadeUp()) {
        url = url.substr(0, url.find('?'));
    }
    out << "Open " << url << " in a browser";
    if (tokenFile_) {
        out << ", adding ?token= and the token in " << *tokenFile_;
    }
    out << ". Ctrl-C stops.\n";
    if (listen.isWildcard()) {
        out << "(Listening on every interface: use this machine's address in place of "
            << listen.host() << ".)\n";
    }
    out << std::flush;
}

// In order: no client holds anything up (every connection closes at once),
// the detections stop as leaving their screens would, and an upload in
// flight gets its bounded wait, which a second signal cuts short.
int ServeCommand::shutDown(HeadlessFrontEnd& person, WebFrontEnd& web, std::ostream& out,
                           std::ostream& err) {
    web.stop();
    stopDetections();
    person.settle();
    if (!person.waitForUploads()) {
        err << "kesto serve: quit before the upload ended: the measurement is saved, but the "
               "server may not have it (send it with 'kesto upload')\n";
        return 1;
    }
    out << "Stopped.\n";
    return 0;
}

void ServeCommand::stopDetections() {
    auto* delegate = dynamic_cast<KestoAppDelegate*>(Application::sharedApplication().delegate());
    if (delegate == nullptr) {
        return;
    }
    for (DetecterDelegate* screen :
         {delegate->alertViewController(), delegate->measureViewController()}) {
        if (screen != nullptr && screen->isRunning()) {
            screen->stopDetection();
        }
    }
}

}  // namespace kesto
