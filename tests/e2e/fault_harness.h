// What the fault scenarios need beyond the driver: folders made read-only or
// put on a full drive for real, and Wine drive letters. fault_test.sh runs the
// scenarios in a mount namespace and makes the mounts on request; without it
// (or where mounts are refused) every request fails with the reason, and the
// scenarios that need one skip saying so.
#pragma once

#include <string>

namespace faults {

// Empty when fault_test.sh answers requests; otherwise why it cannot.
std::string mountsUnavailable();

// The Unix name Wine gives a Windows path; empty when it has none.
std::string unixPath(const std::string& windowsPath);

// One request to fault_test.sh: true on success, else `error` says why.
bool ask(const std::string& verb, const std::string& argument, std::string& error);

enum class FolderState { readOnly, full };

// A folder (Windows path, made when missing) read-only or on a full drive
// while the object lives; its files stay as they were.
class FaultyFolder {
public:
    FaultyFolder(const std::string& folder, FolderState state);
    ~FaultyFolder();
    FaultyFolder(const FaultyFolder&) = delete;
    FaultyFolder& operator=(const FaultyFolder&) = delete;
    bool ready() const { return error_.empty(); }
    const std::string& error() const { return error_; }
    // Back to the plain folder before the object goes.
    void restore();

private:
    std::string unix_;
    std::string error_;
    bool restored_ = false;
};

// Maps drive `letter` (lower case) to a new empty Unix folder of the control
// folder named `name`; the drive's root ("Q:\") or empty on failure.
std::string mapDrive(char letter, const std::string& name, std::string& error);

} // namespace faults
