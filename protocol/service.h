#pragma once
// The addresses of the tracking service on its one web host (host[:port]).
#include <string>

namespace corvanta::protocol {

// Used when "ServiceHost" is not set.
inline constexpr const char* kBuiltInServiceHost = "www.mailwarden.com";
inline constexpr const char* kSupportAddress = "support@mailwarden.com";

inline constexpr const char* kStampPath = "/p/b01/dunla.php";
inline constexpr const char* kUploadPath = "/p/b01/forsel.php";
inline constexpr const char* kCreditPath = "/p/b01/marlo.php";
inline constexpr const char* kTrackPath = "/p/b01/wrenna.php";
inline constexpr const char* kCertifiedPath = "/p/b01/tovik.php";
inline constexpr const char* kTermsPath = "/cvx/toua.txt";
inline constexpr const char* kPagesPath = "/cvx/";
inline constexpr const char* kDonationPath = "/cvx/donation/";

// "http://" + host + path.
std::string ServiceUrl(const std::string& host, const char* path);

}  // namespace corvanta::protocol
