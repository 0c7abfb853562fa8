#pragma once
// Every failed platform call throws host::Error, carrying the platform's code
// (a Win32 error, an HRESULT or a transfer-control error number) and its text.
#include <cstdint>
#include <stdexcept>
#include <string>

namespace host {

class Error : public std::runtime_error {
 public:
  Error(std::int32_t code, const std::string& text) : std::runtime_error(text), code_(code) {}
  explicit Error(const std::string& text) : Error(-1, text) {}
  std::int32_t code() const noexcept { return code_; }

 private:
  std::int32_t code_;
};

}  // namespace host
