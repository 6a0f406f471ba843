#ifndef BATCH_H
#define BATCH_H

#include <QByteArray>
#include <QList>

#include <functional>
#include <string>
#include <vector>

class QIODevice;

// Many command lines from one list, run one after another in one process.
namespace Batch {

// Splits a line into words as a POSIX shell does, without expanding anything: blanks between
// words; single quotes keep everything to the next one; double quotes too, but for a backslash
// before $ ` " or \; elsewhere a backslash keeps the character after it; an unquoted # that
// starts a word starts a comment. False, with why, for a quote left open or a backslash at the end.
bool splitWords(const QByteArray &line, QList<QByteArray> &words, std::string &why);

// A line of a list that holds words (or fails to split).
struct Line
{
    int number = 0; // from 1, counting every line of the list
    QList<QByteArray> words;
    std::string why; // not empty when the line does not split
};

// The lines of a list that hold words; blank lines and comments are left out. A carriage return
// before a line's end is dropped, as lists written on Windows have them.
std::vector<Line> readLines(QIODevice &list);

// Runs every line through run (which returns the line's exit status) after the one before, and
// reports: a line that fails gets a line on stderr with its number, "tool: line 17 of 'list'
// failed with status -3"; the summary is "Done 200 of 200 ..." on stdout (unless quiet) when
// every line succeeded, else "tool: 3 of 200 conversions failed (first at line 17)" on stderr.
// Returns 0 when every line succeeded, else the status of the first line that failed.
int runLines(const std::vector<Line> &lines, const char *tool, const char *listWord, bool quiet,
             const std::function<int(const Line &)> &run);

} // namespace Batch

#endif
