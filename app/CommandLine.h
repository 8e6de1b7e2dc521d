// The viewer's command line: `quellkamp [LOG]`, `--help`, `--version`.
#pragma once

#include <optional>
#include <string>

namespace qk {

struct CommandLine {
    // The log to load without asking, as given (UTF-8); empty when the
    // open-file dialog asks for one.
    std::string log;
    // Set when the program ends right away with this exit code: --help and
    // --version (0, their text printed), bad arguments (2, one line and the
    // usage printed on standard error).
    std::optional<int> exitCode;
};

// Reads the arguments and prints what --help, --version and bad arguments
// ask for; needs no display.
CommandLine ReadCommandLine(int argc, const char* const* argv);

} // namespace qk
