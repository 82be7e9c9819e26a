#include "history/PlistNodes.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <string>

#include "platform/Utf8Text.h"

namespace kesto {
namespace {

std::int32_t clampToInt32(double seconds) {
    constexpr double lo = std::numeric_limits<std::int32_t>::min();
    constexpr double hi = std::numeric_limits<std::int32_t>::max();
    if (std::isnan(seconds)) {
        return 0;
    }
    const double whole = std::floor(seconds);
    if (whole <= lo) {
        return std::numeric_limits<std::int32_t>::min();
    }
    if (whole >= hi) {
        return std::numeric_limits<std::int32_t>::max();
    }
    return static_cast<std::int32_t>(whole);
}

}  // namespace

PlistNodes::Owned PlistNodes::fromValue(const PropertyListValue& value) {
    using Type = PropertyListValue::Type;
    switch (value.type()) {
        case Type::Integer:
            return Owned(plist_new_uint(static_cast<std::uint64_t>(*value.integerValue())));
        case Type::Real:
            return Owned(plist_new_real(*value.realValue()));
        case Type::Boolean:
            return Owned(plist_new_bool(*value.booleanValue() ? 1 : 0));
        case Type::String:
            return Owned(plist_new_string(Utf8Text::xmlSafe(*value.stringValue()).c_str()));
        case Type::Date:
            return Owned(plist_new_date(clampToInt32(value.dateValue()->referenceSeconds()), 0));
        case Type::Data: {
            const auto* data = value.dataValue();
            return Owned(plist_new_data(reinterpret_cast<const char*>(data->data()), data->size()));
        }
        case Type::Array: {
            Owned array(plist_new_array());
            for (const PropertyListValue& item : *value.arrayValue()) {
                plist_array_append_item(array.get(), fromValue(item).release());
            }
            return array;
        }
        case Type::Dictionary: {
            Owned dictionary(plist_new_dict());
            for (const auto& [key, item] : *value.dictionaryValue()) {
                plist_dict_set_item(dictionary.get(), Utf8Text::xmlSafe(key).c_str(),
                                    fromValue(item).release());
            }
            return dictionary;
        }
    }
    return Owned(plist_new_dict());
}

std::optional<PropertyListValue> PlistNodes::scalar(plist_t node) {
    if (node == nullptr) {
        return std::nullopt;
    }
    switch (plist_get_node_type(node)) {
        case PLIST_BOOLEAN: {
            std::uint8_t b = 0;
            plist_get_bool_val(node, &b);
            return PropertyListValue::boolean(b != 0);
        }
        case PLIST_UINT: {
            // libplist keeps every integer as 64 bits; negative ones wrap.
            std::uint64_t u = 0;
            plist_get_uint_val(node, &u);
            return PropertyListValue::integer(static_cast<std::int64_t>(u));
        }
        case PLIST_REAL: {
            double d = 0.0;
            plist_get_real_val(node, &d);
            return PropertyListValue::real(d);
        }
        case PLIST_STRING: {
            std::uint64_t length = 0;
            const char* text = plist_get_string_ptr(node, &length);
            return PropertyListValue::string(text ? std::string(text, length) : std::string());
        }
        case PLIST_DATE: {
            std::int32_t sec = 0;
            std::int32_t usec = 0;
            plist_get_date_val(node, &sec, &usec);
            return PropertyListValue::date(Date::fromReferenceSeconds(
                static_cast<double>(sec) + static_cast<double>(usec) / 1e6));
        }
        default:
            return std::nullopt;
    }
}

std::optional<PropertyListValue> PlistNodes::toValue(plist_t node, int maxDepth) {
    if (node == nullptr) {
        return std::nullopt;
    }
    switch (plist_get_node_type(node)) {
        case PLIST_ARRAY: {
            if (maxDepth <= 0) {
                return std::nullopt;
            }
            PropertyListValue::Array items;
            const std::uint32_t n = plist_array_get_size(node);
            items.reserve(n);
            for (std::uint32_t i = 0; i < n; ++i) {
                if (auto item = toValue(plist_array_get_item(node, i), maxDepth - 1)) {
                    items.push_back(std::move(*item));
                }
            }
            return PropertyListValue::array(std::move(items));
        }
        case PLIST_DICT: {
            if (maxDepth <= 0) {
                return std::nullopt;
            }
            PropertyListValue dictionary = PropertyListValue::dictionary();
            plist_dict_iter it = nullptr;
            plist_dict_new_iter(node, &it);
            for (;;) {
                char* key = nullptr;
                plist_t item = nullptr;
                plist_dict_next_item(node, it, &key, &item);
                if (item == nullptr) {
                    std::free(key);
                    break;
                }
                if (auto converted = toValue(item, maxDepth - 1)) {
                    dictionary.set(key ? key : "", std::move(*converted));
                }
                std::free(key);
            }
            std::free(it);
            return dictionary;
        }
        case PLIST_DATA: {
            std::uint64_t length = 0;
            const char* bytes = plist_get_data_ptr(node, &length);
            const auto* begin = reinterpret_cast<const std::uint8_t*>(bytes);
            return PropertyListValue::data(bytes ? PropertyListValue::Data(begin, begin + length)
                                                 : PropertyListValue::Data());
        }
        default:
            return scalar(node);
    }
}

}  // namespace kesto
