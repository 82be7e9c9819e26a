#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json_fwd.hpp>

#include "platform/Result.h"

namespace kesto {

// The actions a person can do on the phone, the one table every front end
// and Driver::perform work from. An action is one JSON object: "action"
// names its kind, and exactly that kind's arguments follow.
//
//   kind             arguments
//   tap              name     (an outlet, or a button's action name)
//   tapTab           index    (an integer)
//   answerAlert      index
//   beginEditing     outlet
//   deleteBackward   outlet
//   return           outlet
//   type             outlet, text
//   scroll           outlet, offset (points, a finite number)
//
// Names and outlets are 1 to kMaxNameBytes bytes; a typed text at most
// kMaxTypedBytes. The web page learns the table from the server (table()).
//
// Threads: constant data; any thread.
class ActionVocabulary {
  public:
    static constexpr std::size_t kMaxNameBytes = 256;
    static constexpr std::size_t kMaxTypedBytes = 4096;

    enum class Kind {
        Tap,
        TapTab,
        AnswerAlert,
        BeginEditing,
        DeleteBackward,
        Return,
        Type,
        Scroll
    };

    struct Action {
        Kind kind = Kind::Tap;
        std::string target;  // the name or the outlet
        int index = 0;
        std::string text;
        double offset = 0.0;
    };

    // The action `object` describes, its keys and values checked; why not otherwise.
    static Result<Action> read(const nlohmann::json& object);
    // {"tap": ["name"], "tapTab": ["index"], ...}: each kind and its arguments.
    static nlohmann::json table();
};

}  // namespace kesto
