#include "app/ShellLauncher.h"

#include "app/KestoAppDelegate.h"
#include "camera/CaptureBackend.h"
#include "history/RadiationHistoryMng.h"
#include "platform/ThreadCheck.h"
#include "screens/ScreenClasses.h"
#include "toolkit/Application.h"

namespace kesto {

bool ShellLauncher::launchHeadless(std::string& problem) {
    KESTO_CHECK_MAIN_THREAD();
    ScreenClasses::registerAll();
    KestoAppDelegate::registerClass();
    RadiationHistoryMng::setSimulated(CaptureBackend::current().isSimulated());
    // Claimed before the launch loads the list, so the list read is the
    // last one any writer saved.
    std::string holder;
    if (!RadiationHistoryMng::claimWriter(holder)) {
        problem = "Cannot start: " + holder;
        return false;
    }
    if (!Application::sharedApplication().launch("MainWindow")) {
        problem = "Cannot start: the application did not launch (see the console)";
        return false;
    }
    return true;
}

}  // namespace kesto
