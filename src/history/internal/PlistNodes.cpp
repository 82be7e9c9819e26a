#include "history/internal/PlistNodes.h"

#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

#include "platform/Utf8Text.h"

namespace kesto {
namespace {

// A one-object binary property list: the "bplist00" header, the object at
// offset 8, a one-entry offset table, then the 32-byte trailer.
constexpr std::size_t kObject = 8;
constexpr std::size_t kSingleObjectSize = kObject + 9 + 1 + 32;

std::uint64_t bigEndian(const unsigned char* bytes) {
    std::uint64_t value = 0;
    for (int i = 0; i < 8; ++i) {
        value = (value << 8) | bytes[i];
    }
    return value;
}

// libplist's binary form of a single node, for the bits its accessors lose.
std::string binaryOf(plist_t node) {
    char* bytes = nullptr;
    std::uint32_t length = 0;
    plist_to_bin(node, &bytes, &length);
    const UniqueHandle<char, plist_to_bin_free> owned(bytes);
    return std::string(bytes ? bytes : "", bytes ? length : 0);
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
            return newDate(std::floor(value.dateValue()->referenceSeconds()));
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

std::optional<double> PlistNodes::dateSeconds(plist_t node) {
    if (node == nullptr || plist_get_node_type(node) != PLIST_DATE) {
        return std::nullopt;
    }
    std::int32_t sec = 0;
    std::int32_t usec = 0;
    plist_get_date_val(node, &sec, &usec);
    // Whole seconds strictly inside the 32-bit range came through unchanged;
    // an out-of-range value shows as one of the bounds.
    if (usec == 0 && sec != std::numeric_limits<std::int32_t>::min() &&
        sec != std::numeric_limits<std::int32_t>::max()) {
        return static_cast<double>(sec);
    }
    const std::string binary = binaryOf(node);
    if (binary.size() < kObject + 9 || static_cast<unsigned char>(binary[kObject]) != 0x33) {
        return std::nullopt;
    }
    const std::uint64_t bits =
        bigEndian(reinterpret_cast<const unsigned char*>(binary.data()) + kObject + 1);
    double seconds = 0.0;
    std::memcpy(&seconds, &bits, sizeof seconds);
    return seconds;
}

PlistNodes::Owned PlistNodes::newDate(double referenceSeconds) {
    if (referenceSeconds == std::floor(referenceSeconds) &&
        referenceSeconds > std::numeric_limits<std::int32_t>::min() &&
        referenceSeconds < std::numeric_limits<std::int32_t>::max()) {
        return Owned(plist_new_date(static_cast<std::int32_t>(referenceSeconds), 0));
    }
    std::array<unsigned char, kSingleObjectSize> binary{};
    std::memcpy(binary.data(), "bplist00", 8);
    binary[kObject] = 0x33;  // a date: an 8-byte big-endian double follows
    std::uint64_t bits = 0;
    std::memcpy(&bits, &referenceSeconds, sizeof bits);
    for (int i = 0; i < 8; ++i) {
        binary[kObject + 1 + i] = static_cast<unsigned char>(bits >> (56 - 8 * i));
    }
    binary[kObject + 9] = kObject;  // the offset table: object 0 at offset 8
    unsigned char* trailer = binary.data() + kObject + 10;
    trailer[6] = 1;             // offset size
    trailer[7] = 1;             // object reference size
    trailer[15] = 1;            // one object, the root (object 0)
    trailer[31] = kObject + 9;  // where the offset table starts
    plist_t node = nullptr;
    plist_from_bin(reinterpret_cast<const char*>(binary.data()), binary.size(), &node);
    return Owned(node);
}

std::optional<std::int64_t> PlistNodes::integer(plist_t node) {
    if (node == nullptr || plist_get_node_type(node) != PLIST_UINT) {
        return std::nullopt;
    }
    std::uint64_t value = 0;
    plist_get_uint_val(node, &value);
    const auto signedValue = static_cast<std::int64_t>(value);
    if (signedValue >= 0) {
        return signedValue;
    }
    // Negative as signed: a negative integer, or one above the signed range,
    // which libplist's binary form writes in 16 bytes (marker 0x14).
    const std::string binary = binaryOf(node);
    if (binary.size() <= kObject || static_cast<unsigned char>(binary[kObject]) != 0x13) {
        return std::nullopt;
    }
    return signedValue;
}

}  // namespace kesto
