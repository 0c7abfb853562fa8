#pragma once
// The transfer control's error numbers and texts, as the stand-in reports
// them in host::Error (OpenURL, Execute) and in ResponseCode/ResponseInfo
// after state 11. Kept here, in one place.
#include <cstdint>
#include <string>

namespace host::sim::transfer_error {

inline constexpr std::int32_t kBadUrl = 35752;
inline constexpr std::int32_t kCannotConnect = 35754;
inline constexpr std::int32_t kHostNotFound = 35755;
inline constexpr std::int32_t kConnectionFailed = 35756;  // reset, aborted, unreadable reply
inline constexpr std::int32_t kTimedOut = 35761;
inline constexpr std::int32_t kStillExecuting = 35764;
inline constexpr std::int32_t kBadOperation = 35765;
inline constexpr std::int32_t kInvalidValue = 380;

// The control's text for a number above.
std::string Text(std::int32_t code);

}  // namespace host::sim::transfer_error
