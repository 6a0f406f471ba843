#ifndef OUTPUT_H
#define OUTPUT_H

#include <QString>

#include <memory>
#include <vector>

class QDataStream;
class QFileDevice;

// Exit statuses of both tools.
enum ExitStatus { Success = 0, BadCommandLine = -1, CantOpen = -2, Failed = -3 };

// Opens an output for writing: replaced atomically when it is a regular file (or missing), written
// in place when it is anything else (a FIFO, a terminal). Null when it cannot be opened.
std::unique_ptr<QFileDevice> openOutput(const QString &name);

// Prints "Cant write outputFile (what) 'name'!" on stderr and returns false.
bool cantWrite(const char *what, const char *name);

// stepDone when everything handed to the file has reached it; otherwise cantWrite's false.
bool written(bool stepDone, QFileDevice &file, const char *what, const char *name);

// As above, for a step that wrote through stream.
bool written(bool stepDone, QDataStream &stream, QFileDevice &file, const char *what,
             const char *name);

// Puts a fully written output in place; false (after cantWrite's line) when that failed.
bool putInPlace(QFileDevice &file, const char *what, const char *name);

// A file that a run reads or writes, as its messages name it: kind is "inputFile (Picture)",
// "outputFile (Palette)" and so on, word the command-line word, name the file system's name.
struct RunFile
{
    const char *kind;
    const char *word;
    QString name;
    bool output;
};

// False, after one line on stderr, when an output is the same regular file as an input or as
// another output (symbolic and hard links followed; for outputs that do not exist yet, the same
// absolute path). Special files (FIFOs, devices, terminals) may be named more than once. The
// inputs come first in files.
bool distinctFiles(const std::vector<RunFile> &files);

// Process set-up for a tool that writes outputs: the image library's chatter (libpng warnings and
// the like) stays off stderr, and a FIFO output whose reader goes away is a write failure to
// report, not a reason to die.
void setUpOutputTool();

#endif
