#ifndef COMMANDLINE_H
#define COMMANDLINE_H

#include <getopt.h>

#include <initializer_list>
#include <iosfwd>
#include <string>
#include <utility>
#include <vector>

// What both tools share on their command lines beyond the option letters: the long options, the
// version, the lines that say why a command line is refused, and quiet runs.
namespace CommandLine {

// What getopt_long returns for each long option: past every option letter.
enum LongOption : int {
    Help = 0x100,
    Version,
    Quiet,
    Map,
    Unique,
    Flips,
    TileBase,
    PaletteBase,
    PaletteCount,
    Each,
};

// The table getopt_long takes for these long options (and their help), ended by its zero entry.
std::vector<option> longOptions(std::initializer_list<std::pair<LongOption, const char *>> options);

// The lines that --help prints after the usage text: each long option with what it does.
void printLongOptions(std::initializer_list<std::pair<LongOption, const char *>> options);

// "tool 1.1.0" on stdout: the version the project was built as.
void printVersion(const char *tool);

// The end of a parse at an option every tool answers alike, with the status to end with: --help
// (the usage text, then the long options; 0), --version (0), and -h, -?, or a word the parser
// refused with its own diagnostic (the usage text; -1).
int answer(int code, const char *tool, const char *programName, void (*printUsage)(const char *),
           std::initializer_list<std::pair<LongOption, const char *>> options);

// "tool: why" on stderr: the one line that says why a command line is refused.
void reason(const char *tool, const std::string &why);

// The value of a long option that takes a number, or, after its reason line, false: plain
// decimal digits within the option's own range (no sign, no blank).
bool numberOption(const char *tool, LongOption code, const char *word, int &value);

// Plain decimal digits within min..max: false for signs, blanks, an empty word or out of range.
bool number(const char *word, int min, int max, int &value);

// True when a word before the end of the options ("--") is a long option: the parser must see
// such a line even when it is too short for the usage's form.
bool hasLongOption(int argc, char **argv);

// True when an option word before "--" holds the letter h or ?: a request for the usage text,
// which is answered without a reason line.
bool asksForUsage(int argc, char **argv);

// Keeps std::cout silent while it lives, when quiet: progress lines go nowhere, usage still shows
// once it is gone.
class QuietConsole
{
public:
    explicit QuietConsole(bool quiet);
    ~QuietConsole();
    QuietConsole(const QuietConsole &) = delete;
    QuietConsole &operator=(const QuietConsole &) = delete;

private:
    std::streambuf *kept;
};

} // namespace CommandLine

#endif
