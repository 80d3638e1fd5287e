// Options of the form --name VALUE after a sub-command.
#pragma once

#include <map>
#include <string>
#include <vector>

class CArgs {
public:
    // Positional arguments and options; false (with error) on an option
    // without value or one not in `known`.
    // `flags` are options without a value.
    bool Parse(int argc, char** argv, const std::vector<std::string>& known, std::string* error,
               const std::vector<std::string>& flags = {});
    std::string Get(const std::string& name) const;
    bool Has(const std::string& name) const { return m_options.count(name) != 0; }
    const std::vector<std::string>& Positional() const { return m_positional; }

private:
    std::map<std::string, std::string> m_options;
    std::vector<std::string> m_positional;
};
