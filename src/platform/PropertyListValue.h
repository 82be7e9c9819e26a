#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "platform/Date.h"

namespace kesto {

// One value of the property-list model: dictionary (text keys, kept in the
// order they were added), array, text, date, real, integer, boolean, data.
// The dictionary forms of events and records and the history file all use it,
// and so do notification payloads.
//
// A plain value: copies are deep; no thread affinity.
class PropertyListValue {
  public:
    using Array = std::vector<PropertyListValue>;
    using Entry = std::pair<std::string, PropertyListValue>;
    using Dictionary = std::vector<Entry>;
    using Data = std::vector<std::uint8_t>;

    enum class Type { Integer, Real, Boolean, String, Date, Data, Array, Dictionary };

    PropertyListValue() : value_(Dictionary{}) {}

    static PropertyListValue integer(std::int64_t value) { return PropertyListValue(value); }
    static PropertyListValue real(double value) { return PropertyListValue(value); }
    static PropertyListValue boolean(bool value) { return PropertyListValue(value); }
    static PropertyListValue string(std::string value) {
        return PropertyListValue(std::move(value));
    }
    static PropertyListValue date(kesto::Date value) { return PropertyListValue(value); }
    static PropertyListValue data(Data value) { return PropertyListValue(std::move(value)); }
    static PropertyListValue array(Array value = {}) { return PropertyListValue(std::move(value)); }
    static PropertyListValue dictionary(Dictionary value = {}) {
        return PropertyListValue(std::move(value));
    }

    Type type() const { return static_cast<Type>(value_.index()); }
    bool isInteger() const { return type() == Type::Integer; }
    bool isReal() const { return type() == Type::Real; }
    bool isDate() const { return type() == Type::Date; }
    bool isDictionary() const { return type() == Type::Dictionary; }

    // Typed access; each returns nothing when the value is of another type.
    std::optional<std::int64_t> integerValue() const;
    std::optional<double> realValue() const;
    std::optional<bool> booleanValue() const;
    const std::string* stringValue() const;
    std::optional<kesto::Date> dateValue() const;
    const Data* dataValue() const;
    const Array* arrayValue() const;
    Array* arrayValue();
    const Dictionary* dictionaryValue() const;

    // The numeric value of an integer, real or boolean, as a double.
    std::optional<double> numberAsDouble() const;
    // The numeric value truncated toward zero into 32 bits: fractions are
    // dropped, values beyond the range clamp, not-a-number gives 0.
    std::optional<std::int32_t> numberAsInt32() const;

    // Dictionary access. `find` gives nothing for a missing key or a value
    // that is not a dictionary; `set` replaces an existing key in place or
    // appends a new one.
    const PropertyListValue* find(std::string_view key) const;
    void set(std::string key, PropertyListValue value);

    // Array access.
    void append(PropertyListValue value);
    size_t size() const;  // entries of an array or dictionary, 0 otherwise

    bool operator==(const PropertyListValue& other) const { return value_ == other.value_; }

  private:
    using Storage =
        std::variant<std::int64_t, double, bool, std::string, kesto::Date, Data, Array, Dictionary>;
    template <typename T>
    explicit PropertyListValue(T value) : value_(std::move(value)) {}

    Storage value_;
};

}  // namespace kesto
