#pragma once

#include <optional>
#include <string>
#include <vector>

namespace lingchao {

// Starts the machine's system-information tool.
class SysInfoLauncher {
public:
    virtual ~SysInfoLauncher() = default;
    // Starts the tool detached (the caller does not wait); false when no tool is installed or it cannot start.
    virtual bool Start() = 0;
};

// Linux: the first of a few well-known system-information programs found on the PATH.
// (On Windows this is where the two MSINFO registry values would be read.)
class PathSysInfoLauncher final : public SysInfoLauncher {
public:
    static std::vector<std::string> WellKnownTools();

    explicit PathSysInfoLauncher(std::vector<std::string> candidates = WellKnownTools());
    // Full path of the tool that Start would run.
    std::optional<std::string> Find() const;
    bool Start() override;

private:
    std::vector<std::string> candidates_;
};

}  // namespace lingchao
