#pragma once
// The network code a program gives a station that no table of the database
// assigns to a network.

#include <string>

class ProfileReader;

// `given` (the command line's --network) when not empty, else zrn.ini's
// [FDSN] NETWORK, else its older [STATIONXML] NETWORK, else "XX".
std::string DefaultNetworkCode(const std::string& given, const ProfileReader& profile);
