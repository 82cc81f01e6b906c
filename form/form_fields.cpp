#include "form/form_fields.h"

namespace {

// Channel names of the groups 1 to 4, in the order Z, N, E; groups 5 to 7
// start empty.
constexpr const char* kDefaultChannelNames[] = {
    "BLZ", "BLN", "BLE", "BHZ", "BHN", "BHE", "ELZ", "ELN", "ELE", "EHZ", "EHN", "EHE",
};
constexpr const char* kDefaultSampleRates[] = {"20", "20", "200", "200"};

}  // namespace

FormFields FormFields::Defaults(const std::string& startStationCode) {
    FormFields f;
    f.StationCode = startStationCode;
    f.Latitude = 45.0f;
    f.Longitude = 45.0f;
    f.Elevation = 0.0f;
    f.GroupCount = 4;
    f.DbNumber = 0;
    std::size_t k = 0;
    for (const char* name : kDefaultChannelNames) f.ChanName[k++] = name;
    std::size_t g = 0;
    for (const char* rate : kDefaultSampleRates) f.SampleRate[g++] = rate;
    return f;
}
