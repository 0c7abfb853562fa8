#pragma once
// The conversions the settings store applies to a variant before storing it:
// its text form, its truth value, and the 32-bit number at the start of a text.
#include <cstdint>
#include <optional>
#include <string>

#include "settings/mod_registry.h"

namespace corvanta::modRegistry {

// Empty for no value, decimal for numbers, "True" or "False" for truth values.
std::string ValueToText(const Value& value);

// A truth value from a variant; nothing when a text is neither "True",
// "False" nor a number.
std::optional<bool> ValueToBool(const Value& value);

// The number at the start of a text, read as Val reads it, rounded to the nearest 32-bit integer with halves to
// the even neighbour; nothing when it lies outside the 32-bit range.
std::optional<std::int32_t> TextToLong(const std::string& text);

}  // namespace corvanta::modRegistry
