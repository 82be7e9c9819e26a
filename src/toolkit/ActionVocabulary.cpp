#include "toolkit/ActionVocabulary.h"

#include <array>
#include <cmath>

#include <nlohmann/json.hpp>

namespace kesto {
namespace {

using nlohmann::json;
using Kind = ActionVocabulary::Kind;

struct Entry {
    Kind kind;
    std::string_view name;
    std::vector<std::string_view> arguments;
};

const std::array<Entry, 8>& entries() {
    static const std::array<Entry, 8> table = {{
        {Kind::Tap, "tap", {"name"}},
        {Kind::TapTab, "tapTab", {"index"}},
        {Kind::AnswerAlert, "answerAlert", {"index"}},
        {Kind::BeginEditing, "beginEditing", {"outlet"}},
        {Kind::DeleteBackward, "deleteBackward", {"outlet"}},
        {Kind::Return, "return", {"outlet"}},
        {Kind::Type, "type", {"outlet", "text"}},
        {Kind::Scroll, "scroll", {"outlet", "offset"}},
    }};
    return table;
}

bool isName(const json& value) {
    return value.is_string() && !value.get_ref<const std::string&>().empty() &&
           value.get_ref<const std::string&>().size() <= ActionVocabulary::kMaxNameBytes;
}

// Checks one argument's value and stores it in `action`.
bool readArgument(std::string_view argument, const json& value, ActionVocabulary::Action& action) {
    if (argument == "name" || argument == "outlet") {
        if (!isName(value)) {
            return false;
        }
        action.target = value.get<std::string>();
    } else if (argument == "index") {
        if (!value.is_number_integer() || value.get<long long>() < -1000000 ||
            value.get<long long>() > 1000000) {
            return false;
        }
        action.index = value.get<int>();
    } else if (argument == "text") {
        if (!value.is_string() ||
            value.get_ref<const std::string&>().size() > ActionVocabulary::kMaxTypedBytes) {
            return false;
        }
        action.text = value.get<std::string>();
    } else if (argument == "offset") {
        if (!value.is_number() || !std::isfinite(value.get<double>())) {
            return false;
        }
        action.offset = value.get<double>();
    }
    return true;
}

}  // namespace

Result<ActionVocabulary::Action> ActionVocabulary::read(const json& object) {
    if (!object.is_object() || !object.contains("action") || !object["action"].is_string()) {
        return fail("no \"action\" text");
    }
    const auto& kind = object["action"].get_ref<const std::string&>();
    for (const Entry& entry : entries()) {
        if (kind != entry.name) {
            continue;
        }
        Action action;
        action.kind = entry.kind;
        bool good = object.size() == entry.arguments.size() + 1;
        for (const auto argument : entry.arguments) {
            const auto found = object.find(std::string(argument));
            good = good && found != object.end() && readArgument(argument, *found, action);
        }
        if (!good) {
            std::string needs;
            for (const auto argument : entry.arguments) {
                needs += (needs.empty() ? "\"" : ", \"") + std::string(argument) + "\"";
            }
            return fail(kind + " takes exactly " + needs);
        }
        return action;
    }
    return fail("not an action a person can do: '" + kind.substr(0, kMaxNameBytes) + "'");
}

json ActionVocabulary::table() {
    json out = json::object();
    for (const Entry& entry : entries()) {
        json arguments = json::array();
        for (const auto argument : entry.arguments) {
            arguments.push_back(argument);
        }
        out[std::string(entry.name)] = std::move(arguments);
    }
    return out;
}

}  // namespace kesto
