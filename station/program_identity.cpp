#include "station/program_identity.h"

#include <mutex>
#include <utility>

namespace {

std::mutex& IdentityMutex() {
    static std::mutex mutex;
    return mutex;
}

ProgramIdentity& Identity() {
    static ProgramIdentity identity{"unknown", ""};
    return identity;
}

}  // namespace

void SetProgramIdentity(std::string name, std::string version) {
    const std::lock_guard<std::mutex> lock(IdentityMutex());
    Identity() = ProgramIdentity{std::move(name), std::move(version)};
}

ProgramIdentity CurrentProgramIdentity() {
    const std::lock_guard<std::mutex> lock(IdentityMutex());
    return Identity();
}
