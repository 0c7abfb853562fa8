#pragma once
// The properties a fuzz target checks: a failed one is reported by name and
// stops the run the way a crash does, so libFuzzer keeps the input.
#include <string>
#include <string_view>
#include <vector>

namespace fuzz {

[[noreturn]] void Fail(const char* property, const std::string& detail = {});

inline void Require(bool holds, const char* property) {
  if (!holds) Fail(property);
}

// The input cut at each separator into at most count pieces; the last piece
// keeps the rest, separators included. Missing pieces are empty.
std::vector<std::string> Pieces(std::string_view input, char separator, std::size_t count);

// A short, printable rendering of bytes for a failure message.
std::string Shown(std::string_view bytes);

}  // namespace fuzz
