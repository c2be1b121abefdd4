// Command-line plumbing shared by the subcommands: exit codes, usage errors, a small option
// parser and the checked number parsers.
//
// Options are GNU style: "--name value" or "--name=value"; "-h"/"--help" anywhere asks for help;
// "--" ends the options. Anything else that does not start with "-" is an operand.
#ifndef QUORVEL_TOOLS_CLI_H
#define QUORVEL_TOOLS_CLI_H

#include <initializer_list>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace qvtool {

enum ExitCode : int {
    kExitOk = 0,
    kExitFailure = 1,  // a file could not be read, or problems were found
    kExitUsage = 2,    // the command line itself is wrong
};

// A wrong command line. main prints it with a pointer to the subcommand's help and exits 2.
class UsageError : public std::runtime_error {
  public:
    explicit UsageError(const std::string& what) : std::runtime_error(what) {}
};

class ArgList {
  public:
    // argv[0] is the subcommand's name. valueOptions take a value, flags do not; any other
    // option raises UsageError.
    ArgList(int argc, char** argv, std::initializer_list<const char*> valueOptions,
            std::initializer_list<const char*> flags);

    bool WantsHelp() const { return m_bHelp; }
    bool Has(const std::string& name) const { return m_options.count(name) != 0; }
    // The option's value (the last one given), or fallback when absent.
    std::string Value(const std::string& name, const std::string& fallback = "") const;
    const std::vector<std::string>& Operands() const { return m_operands; }

  private:
    std::map<std::string, std::string> m_options;
    std::vector<std::string> m_operands;
    bool m_bHelp = false;
};

// The whole text as a decimal integer within [min, max]; UsageError naming the option otherwise.
long long ParseInteger(const std::string& text, const char* pszOption, long long min,
                       long long max);
// The whole text as a number of seconds within [min, max] (fractions allowed).
double ParseSeconds(const std::string& text, const char* pszOption, double min, double max);
// The text must be one of choices; UsageError listing them otherwise.
void RequireChoice(const std::string& text, const char* pszOption,
                   std::initializer_list<const char*> choices);

}  // namespace qvtool

#endif  // QUORVEL_TOOLS_CLI_H
