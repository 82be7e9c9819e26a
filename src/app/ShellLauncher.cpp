#include "app/ShellLauncher.h"

#include "app/KestoAppDelegate.h"
#include "camera/CaptureBackend.h"
#include "history/RadiationHistoryMng.h"
#include "platform/ThreadCheck.h"
#include "screens/ScreenClasses.h"
#include "toolkit/Application.h"

namespace kesto {

Result<void> ShellLauncher::launchHeadless() {
    KESTO_CHECK_MAIN_THREAD();
    ScreenClasses::registerAll();
    KestoAppDelegate::registerClass();
    RadiationHistoryMng::setSimulated(CaptureBackend::current().isSimulated());
    // Claimed before the launch loads the list, so the list read is the
    // last one any writer saved.
    if (auto writer = RadiationHistoryMng::claimWriter(); !writer) {
        return fail("Cannot start: " + writer.error());
    }
    if (!Application::sharedApplication().launch("MainWindow")) {
        return fail("Cannot start: the application did not launch (see the console)");
    }
    return {};
}

}  // namespace kesto
