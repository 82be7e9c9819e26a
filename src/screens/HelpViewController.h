#pragma once

#include "toolkit/ViewController.h"
#include "toolkit/WebView.h"

namespace kesto {

// The Help tab: the help page among the resources ("help/<name>.html", the
// name being the localized text of "Kesto_help_path", so each language has
// its own page) in a web view, with the page's own file as base so that its
// images resolve beside it. A page that is missing or not UTF-8 text leaves
// the view empty, with one console line.
//
// Threads: main thread only.
class HelpViewController : public ViewController {
  public:
    // The tab item ("Tab_Help", "Onglet_I_icon_2.png", tag 1), before any view.
    HelpViewController();

    void declareBindings(Bindings& bindings) override;
    void viewDidLoad() override;

    WebView* webView() const { return webView_; }

  private:
    void loadHelpPage();

    WebView* webView_ = nullptr;
};

}  // namespace kesto
