#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "toolkit/AlertViewDelegate.h"

namespace kesto {

// A modal message with buttons: the cancel button is index 0 (when it has a
// title), the other buttons follow from index 1. show() hands the alert to
// the application, which keeps it until a button is tapped; the delegate
// (if any) then hears the index on the main thread. An alert without
// delegate just closes.
//
//     auto alert = std::make_unique<AlertView>("", message, this, yes, std::vector{no});
//     alert->setTag(1);
//     AlertView::show(std::move(alert));
//
// Threads: main thread; show() from another thread hops to the main thread.
class AlertView {
  public:
    AlertView(std::string title, std::string message, AlertViewDelegate* delegate,
              std::string cancelButtonTitle, std::vector<std::string> otherButtonTitles);

    static void show(std::unique_ptr<AlertView> alert);

    const std::string& title() const { return title_; }
    const std::string& message() const { return message_; }
    AlertViewDelegate* delegate() const { return delegate_; }
    int tag() const { return tag_; }
    void setTag(int tag) { tag_ = tag; }
    // Which alert this is among those the application showed (1, 2, ...;
    // 0 before it is shown): an answer can say which question it answers.
    std::uint64_t number() const { return number_; }
    void setNumber(std::uint64_t number) { number_ = number; }
    // Every button title by index.
    const std::vector<std::string>& buttonTitles() const { return buttons_; }
    int numberOfButtons() const { return static_cast<int>(buttons_.size()); }

  private:
    std::string title_;
    std::string message_;
    AlertViewDelegate* delegate_;
    std::vector<std::string> buttons_;
    int tag_ = 0;
    std::uint64_t number_ = 0;
};

}  // namespace kesto
