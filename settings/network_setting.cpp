#include "settings/network_setting.h"

#include "platform/profile_reader.h"

namespace {

// Longest network code read from zrn.ini (characters).
constexpr size_t kNetworkCapacity = 16;

}  // namespace

std::string DefaultNetworkCode(const std::string& given, const ProfileReader& profile) {
    if (!given.empty()) return given;
    std::string code = profile.Get("FDSN", "NETWORK", "", kNetworkCapacity);
    if (code.empty()) code = profile.Get("STATIONXML", "NETWORK", "", kNetworkCapacity);
    return code.empty() ? "XX" : code;
}
