#pragma once

#include <string>
#include <string_view>

#include <nlohmann/json_fwd.hpp>

#include "platform/Result.h"
#include "toolkit/ActionVocabulary.h"
#include "toolkit/Application.h"

namespace kesto {

class View;
class ViewController;

// Acts as a person in front of the phone, for tests and front ends: reads
// what is on screen and taps, types and answers like a finger would. A
// front end needs nothing else: snapshot() and perform().
//
// Snapshot (JSON):
//   {"screen": name of the tab's (or window's) top screen,
//    "top": name of the screen that takes the taps (a modal, if one is up),
//    "navigationBarHidden": bool,
//    "controls": [CONTROL, ...],           // that screen's views, drawing order
//    "modal": null | {"screen": name, "controls": [CONTROL, ...]},
//    "alert": null | {"title", "message", "buttons": [text, ...], "tag"},
//    "tabBar": null | {"frame", "selectedIndex", "items": [{"title", "image", "tag"}]},
//    "idleTimerDisabled": bool}
//   CONTROL: {"kind", "outlet"?, "class"?, "frame": [x, y, w, h] (window points),
//             "hidden", "backgroundColor"?: [r, g, b, a], "tag"?,
//             label: "text", "numberOfLines", "textColor";
//             button: "title", "image", "titleColor", "enabled", "action";
//             imageView: "image"; textField: "text", "placeholder", "editing", "maxLength"?;
//             webView: "html", "baseURL";
//             tableView: "contentOffset", "contentHeight",
//                        "rows": [{"section", "row", "frame", "reuseIdentifier",
//                                  "controls": [CONTROL, ...]}];
//             custom views: "displayList": [{"op", "values"}]}
//
// Actions (perform): one of ActionVocabulary's (toolkit/ActionVocabulary.h),
// or {"action": "snapshot"}, which answers the snapshot.
// Answer: {"ok": true} (with "snapshot" for that action) or {"ok": false, "error": why}.
//
// The typed actions answer why the person could not, as a failed Result.
// Actions do not run the run loop: what they queue runs at its next pass.
//
// Threads: main thread only (a web front end hops there with RunLoop::dispatch);
// builds with thread checks abort on a call from another thread.
class Driver {
  public:
    explicit Driver(Application& application = Application::sharedApplication());

    nlohmann::json snapshot();
    nlohmann::json perform(const nlohmann::json& action);

    Result<void> tap(std::string_view name);
    Result<void> tapTab(int index);
    Result<void> answerAlert(int index);
    Result<void> beginEditing(std::string_view outlet);
    Result<void> typeText(std::string_view outlet, const std::string& text);
    Result<void> deleteBackward(std::string_view outlet);
    Result<void> pressReturn(std::string_view outlet);
    Result<void> scrollTable(std::string_view outlet, double offset);

    // The screen under any modal: the selected tab's top screen.
    ViewController* tabScreen() const;
    // The screen that takes the taps: the top modal, else tabScreen().
    ViewController* topScreen() const;
    // A view of the top screen by outlet name (nullptr when absent).
    View* findControl(std::string_view outlet) const;

  private:
    Result<void> refuseWhenCovered() const;
    template <typename Act>
    Result<void> withTextField(std::string_view outlet, Act act);
    Result<void> apply(const ActionVocabulary::Action& action);

    Application& application_;
};

}  // namespace kesto
