#include "Cli.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "Commands.h"
#include "Output.h"

namespace qvtool {

namespace {

bool Contains(std::initializer_list<const char*> names, const std::string& name) {
    for (const char* n : names) {
        if (name == n) {
            return true;
        }
    }
    return false;
}

}  // namespace

ArgList::ArgList(int argc, char** argv, std::initializer_list<const char*> valueOptions,
                 std::initializer_list<const char*> flags) {
    bool bOptionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (bOptionsEnded || arg.empty() || arg[0] != '-' || arg == "-") {
            m_operands.push_back(arg);
            continue;
        }
        if (arg == "--") {
            bOptionsEnded = true;
            continue;
        }
        if (arg == "-h" || arg == "--help") {
            m_bHelp = true;
            continue;
        }
        std::string name = arg;
        std::string value;
        bool bHasValue = false;
        const size_t eq = arg.find('=');
        if (arg.compare(0, 2, "--") == 0 && eq != std::string::npos) {
            name = arg.substr(0, eq);
            value = arg.substr(eq + 1);
            bHasValue = true;
        }
        if (Contains(valueOptions, name)) {
            if (!bHasValue) {
                if (i + 1 >= argc) {
                    throw UsageError("option " + name + " needs a value");
                }
                value = argv[++i];
            }
            m_options[name] = value;
        } else if (Contains(flags, name)) {
            if (bHasValue) {
                throw UsageError("option " + name + " takes no value");
            }
            m_options[name] = "";
        } else {
            throw UsageError("unknown option " + name);
        }
    }
}

std::string ArgList::Value(const std::string& name, const std::string& fallback) const {
    const auto it = m_options.find(name);
    return it != m_options.end() ? it->second : fallback;
}

long long ParseInteger(const std::string& text, const char* pszOption, long long min,
                       long long max) {
    const char* begin = text.c_str();
    char* end = nullptr;
    errno = 0;
    const long long value = std::strtoll(begin, &end, 10);
    if (text.empty() || *end != '\0' || errno == ERANGE || value < min || value > max ||
        std::strchr(" \t\n", text[0]) != nullptr) {
        throw UsageError(std::string(pszOption) + " wants a whole number from " +
                         std::to_string(min) + " to " + std::to_string(max) + ", not '" + text +
                         "'");
    }
    return value;
}

double ParseSeconds(const std::string& text, const char* pszOption, double min, double max) {
    const char* begin = text.c_str();
    char* end = nullptr;
    const double value = std::strtod(begin, &end);
    if (text.empty() || *end != '\0' || !std::isfinite(value) || value < min || value > max ||
        std::strchr(" \t\n", text[0]) != nullptr) {
        throw UsageError(std::string(pszOption) + " wants a number of seconds, not '" + text + "'");
    }
    return value;
}

void RequireChoice(const std::string& text, const char* pszOption,
                   std::initializer_list<const char*> choices) {
    if (Contains(choices, text)) {
        return;
    }
    std::string list;
    for (const char* c : choices) {
        list += list.empty() ? "" : ", ";
        list += c;
    }
    throw UsageError(std::string(pszOption) + " must be one of " + list + ", not '" + text + "'");
}

void ReportFileError(const std::string& path, const std::string& reason) {
    std::fprintf(stderr, "quorvel: %s: %s\n", DisplayText(path).c_str(), reason.c_str());
}

void ReportNote(const std::string& text) {
    std::fprintf(stderr, "quorvel: %s\n", text.c_str());
}

}  // namespace qvtool
