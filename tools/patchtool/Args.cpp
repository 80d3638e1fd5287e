#include "Args.h"

#include <algorithm>

bool CArgs::Parse(int argc, char** argv, const std::vector<std::string>& known, std::string* error,
                  const std::vector<std::string>& flags)
{
    for (int i = 0; i < argc; ++i) {
        std::string a = argv[i];
        if (std::find(flags.begin(), flags.end(), a) != flags.end()) {
            m_options[a] = "1";
        } else if (a.size() > 1 && a[0] == '-') {
            if (std::find(known.begin(), known.end(), a) == known.end()) {
                *error = "unknown option " + a;
                return false;
            }
            if (i + 1 >= argc) {
                *error = "option " + a + " needs a value";
                return false;
            }
            m_options[a] = argv[++i];
        } else {
            m_positional.push_back(a);
        }
    }
    return true;
}

std::string CArgs::Get(const std::string& name) const
{
    auto it = m_options.find(name);
    return it == m_options.end() ? std::string() : it->second;
}
