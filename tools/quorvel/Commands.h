// The subcommands. Each takes its own argv (argv[0] is the subcommand's name), writes its
// results to standard output and its complaints to standard error, and returns an ExitCode.
// A wrong command line raises UsageError; main reports it.
#ifndef QUORVEL_TOOLS_COMMANDS_H
#define QUORVEL_TOOLS_COMMANDS_H

#include <string>

namespace qvtool {

int RunInfo(int argc, char** argv);
int RunDump(int argc, char** argv);
int RunCheck(int argc, char** argv);
int RunSample(int argc, char** argv);
int RunStats(int argc, char** argv);

// "quorvel: PATH: reason" on standard error.
void ReportFileError(const std::string& path, const std::string& reason);
// "quorvel: text" on standard error.
void ReportNote(const std::string& text);

}  // namespace qvtool

#endif  // QUORVEL_TOOLS_COMMANDS_H
