#include "platform/PropertyListValue.h"

#include <cmath>
#include <limits>

namespace kesto {

std::optional<std::int64_t> PropertyListValue::integerValue() const {
    if (auto* v = std::get_if<std::int64_t>(&value_)) {
        return *v;
    }
    return std::nullopt;
}

std::optional<double> PropertyListValue::realValue() const {
    if (auto* v = std::get_if<double>(&value_)) {
        return *v;
    }
    return std::nullopt;
}

std::optional<bool> PropertyListValue::booleanValue() const {
    if (auto* v = std::get_if<bool>(&value_)) {
        return *v;
    }
    return std::nullopt;
}

const std::string* PropertyListValue::stringValue() const {
    return std::get_if<std::string>(&value_);
}

std::optional<kesto::Date> PropertyListValue::dateValue() const {
    if (auto* v = std::get_if<kesto::Date>(&value_)) {
        return *v;
    }
    return std::nullopt;
}

const PropertyListValue::Data* PropertyListValue::dataValue() const {
    return std::get_if<Data>(&value_);
}

const PropertyListValue::Array* PropertyListValue::arrayValue() const {
    return std::get_if<Array>(&value_);
}

PropertyListValue::Array* PropertyListValue::arrayValue() {
    return std::get_if<Array>(&value_);
}

const PropertyListValue::Dictionary* PropertyListValue::dictionaryValue() const {
    return std::get_if<Dictionary>(&value_);
}

std::optional<double> PropertyListValue::numberAsDouble() const {
    if (auto* i = std::get_if<std::int64_t>(&value_)) {
        return static_cast<double>(*i);
    }
    if (auto* r = std::get_if<double>(&value_)) {
        return *r;
    }
    if (auto* b = std::get_if<bool>(&value_)) {
        return *b ? 1.0 : 0.0;
    }
    return std::nullopt;
}

std::optional<std::int32_t> PropertyListValue::numberAsInt32() const {
    constexpr auto lo = std::numeric_limits<std::int32_t>::min();
    constexpr auto hi = std::numeric_limits<std::int32_t>::max();
    if (auto* i = std::get_if<std::int64_t>(&value_)) {
        return static_cast<std::int32_t>(*i < lo ? lo : (*i > hi ? hi : *i));
    }
    const auto d = numberAsDouble();
    if (!d) {
        return std::nullopt;
    }
    if (std::isnan(*d)) {
        return 0;
    }
    const double t = std::trunc(*d);
    if (t <= lo) {
        return lo;
    }
    if (t >= hi) {
        return hi;
    }
    return static_cast<std::int32_t>(t);
}

const PropertyListValue* PropertyListValue::find(std::string_view key) const {
    const auto* dict = dictionaryValue();
    if (!dict) {
        return nullptr;
    }
    for (const auto& [k, v] : *dict) {
        if (k == key) {
            return &v;
        }
    }
    return nullptr;
}

void PropertyListValue::set(std::string key, PropertyListValue value) {
    auto* dict = std::get_if<Dictionary>(&value_);
    if (!dict) {
        value_ = Dictionary{};
        dict = std::get_if<Dictionary>(&value_);
    }
    for (auto& [k, v] : *dict) {
        if (k == key) {
            v = std::move(value);
            return;
        }
    }
    dict->emplace_back(std::move(key), std::move(value));
}

void PropertyListValue::append(PropertyListValue value) {
    auto* array = std::get_if<Array>(&value_);
    if (!array) {
        value_ = Array{};
        array = std::get_if<Array>(&value_);
    }
    array->push_back(std::move(value));
}

size_t PropertyListValue::size() const {
    if (auto* a = std::get_if<Array>(&value_)) {
        return a->size();
    }
    if (auto* d = std::get_if<Dictionary>(&value_)) {
        return d->size();
    }
    return 0;
}

}  // namespace kesto
