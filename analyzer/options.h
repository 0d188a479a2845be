// The command line of one sondrel command: "--name value" options, flags and
// plain arguments, checked against what the command accepts.
#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

class Options {
public:
    // Parses `args`; `valued` are the options that take a value. On a mistake
    // error() says what is wrong.
    Options(const std::vector<std::string>& args, const std::set<std::string>& valued);

    const std::string& error() const { return m_error; }
    const std::vector<std::string>& arguments() const { return m_arguments; }
    std::optional<std::string> value(const std::string& name) const;
    // The option as a number; false with error() set when it is not one.
    bool number(const std::string& name, double fallback, double& result);

private:
    std::map<std::string, std::string> m_values;
    std::vector<std::string> m_arguments;
    std::string m_error;
};
