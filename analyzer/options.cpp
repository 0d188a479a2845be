#include "options.h"

#include <cmath>
#include <cstdlib>

Options::Options(const std::vector<std::string>& args, const std::set<std::string>& valued)
{
    for (size_t i = 0; i < args.size() && m_error.empty(); ++i) {
        const std::string& arg = args[i];
        if (arg.size() < 2 || arg[0] != '-') {
            m_arguments.push_back(arg);
            continue;
        }
        std::string name = arg;
        std::string value;
        bool hasValue = false;
        if (const auto equals = arg.find('='); equals != std::string::npos) {
            name = arg.substr(0, equals);
            value = arg.substr(equals + 1);
            hasValue = true;
        }
        if (!valued.count(name)) {
            m_error = "unknown option " + name;
        } else if (!hasValue && i + 1 >= args.size()) {
            m_error = "option " + name + " needs a value";
        } else {
            m_values[name] = hasValue ? value : args[++i];
        }
    }
}

std::optional<std::string> Options::value(const std::string& name) const
{
    const auto it = m_values.find(name);
    if (it == m_values.end())
        return std::nullopt;
    return it->second;
}

bool Options::number(const std::string& name, double fallback, double& result)
{
    const auto text = value(name);
    if (!text) {
        result = fallback;
        return true;
    }
    char* end = nullptr;
    result = std::strtod(text->c_str(), &end);
    if (text->empty() || *end != '\0' || !std::isfinite(result)) {
        m_error = "option " + name + " needs a number, not \"" + *text + "\"";
        return false;
    }
    return true;
}
