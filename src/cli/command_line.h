// The program run from its command line, without the dialogue:
//   isolines_trace_4 [options] INPUT OUTPUT
#ifndef CLI_COMMAND_LINE_H
#define CLI_COMMAND_LINE_H

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "output/image_format.h"

struct CommandLine {
    std::string input;
    std::string output;
    ImageFormat format = ImageFormat::bmp;  // from the output's extension
    std::string table;                      // the gray-tone table's path
    double int_hypso = 0;                   // -i: the interval, above 0 (0: a list of levels instead)
    std::vector<double> levels;             // --levels (-fl): a fixed list of altitudes
    std::optional<double> dmin_alt;         // --min
    std::optional<double> dmax_alt;         // --max
    int first_GT = 1;                       // --first-tone
    std::optional<int> table_unit;          // --table-unit: the gray-tone table's unit (none: whole or exact)
    int band = 1;                           // -b
    double sample_factor = 1;               // --scale: the altitude of one unit of the samples
    std::optional<std::string> unit;        // --unit: the altitudes' unit, for the report and legend
    std::optional<double> no_data;          // --snodata (-snodata): a no-data value for the band
    int index_every = 0;                    // --index-every: every Nth level drawn stronger (0: none)
    bool distinct = false;                  // --palette distinct
    bool quiet = false;                     // -q
    unsigned threads = 0;                   // --threads: the threads that read and trace (0: one per core)
};

// Usage errors exit with this status.
inline constexpr int kUsageStatus = 2;

// Reads the arguments. Returns the command line to run, or nothing with
// `status` set when the run ends here: 0 after --help or --version (printed on
// `out`), kUsageStatus after a usage error (its message on `err`).
std::optional<CommandLine> parse_command_line(int argc, const char* const* argv, std::ostream& out,
                                              std::ostream& err, int& status);

// Runs the command line; returns the exit status (1 for a failure, its
// message on standard error).
int run_command_line(const CommandLine& options);

#endif
