#include "ReadOnlyInputs.hpp"

namespace {

// What the file is instead of a regular file, for the user.
const char* Instead(FileKind kind) {
    switch (kind) {
        case FileKind::Directory:
            return "it is a folder, not a file";
        case FileKind::Pipe:
            return "it is a FIFO (a named pipe), not a file";
        case FileKind::Device:
            return "it is a device, not a file";
        case FileKind::Other:
            return "it is not a regular file";
        case FileKind::Missing:
        case FileKind::Unknown:
        case FileKind::Regular:
            break;
    }
    return nullptr;
}

}  // namespace

void ReadOnlyInputs::Add(const std::string& name, const char* role) {
    if (!name.empty()) {
        inputs_.push_back({name, role, IdentifyFile(name)});
    }
}

const char* ReadOnlyInputs::RoleOf(const std::string& name) const {
    const FileIdentity output = IdentifyFile(name);
    for (const Input& input : inputs_) {
        if (SameRegularFile(input.identity, output)) {
            return input.role;
        }
    }
    return nullptr;
}

std::vector<std::string> ReadOnlyInputs::Refusals() const {
    std::vector<std::string> refusals;
    for (const Input& input : inputs_) {
        if (const char* instead = Instead(input.identity.kind)) {
            refusals.push_back("cannot read " + input.name + ": " + instead);
        }
    }
    return refusals;
}
