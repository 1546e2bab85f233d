#pragma once
// One queued script command: its name and the parameter list its text was split into.
#include <string>
#include <vector>

class CPCommand {
public:
    CPCommand() = default;
    CPCommand(std::string commandName, std::vector<std::string> parameters)
        : name(std::move(commandName)), params(std::move(parameters)) {}

    std::string name;
    std::vector<std::string> params;
};
