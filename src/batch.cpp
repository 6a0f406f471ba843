#include "batch.h"

#include <QIODevice>

#include <iostream>

namespace Batch {

bool splitWords(const QByteArray &line, QList<QByteArray> &words, std::string &why)
{
    words.clear();
    QByteArray word;
    bool inWord = false; // a word has begun, though it may still be empty ('')
    for (qsizetype i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c == ' ' || c == '\t') {
            if (inWord)
                words << word;
            word.clear();
            inWord = false;
        } else if (c == '#' && !inWord) {
            break;
        } else if (c == '\\') {
            if (++i == line.size()) {
                why = "a backslash ends the line";
                return false;
            }
            word += line[i];
            inWord = true;
        } else if (c == '\'') {
            const qsizetype end = line.indexOf('\'', i + 1);
            if (end < 0) {
                why = "a single quote is not closed";
                return false;
            }
            word += line.mid(i + 1, end - i - 1);
            i = end;
            inWord = true;
        } else if (c == '"') {
            for (++i;; ++i) {
                if (i == line.size()) {
                    why = "a double quote is not closed";
                    return false;
                }
                if (line[i] == '"')
                    break;
                if (line[i] == '\\' && i + 1 < line.size() && QByteArray("$`\"\\").contains(line[i + 1]))
                    ++i;
                word += line[i];
            }
            inWord = true;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord)
        words << word;
    return true;
}

std::vector<Line> readLines(QIODevice &list)
{
    std::vector<Line> lines;
    const QList<QByteArray> texts = list.readAll().split('\n');
    for (qsizetype i = 0; i < texts.size(); ++i) {
        QByteArray text = texts[i];
        if (text.endsWith('\r'))
            text.chop(1);
        Line line;
        line.number = int(i) + 1;
        if (!splitWords(text, line.words, line.why) || !line.words.isEmpty())
            lines.push_back(line);
    }
    return lines;
}

int runLines(const std::vector<Line> &lines, const char *tool, const char *listWord, bool quiet,
             const std::function<int(const Line &)> &run)
{
    int status = 0, failed = 0, firstFailed = 0;
    for (const Line &line : lines) {
        const int lineStatus = run(line);
        if (lineStatus == 0)
            continue;
        std::cerr << tool << ": line " << line.number << " of '" << listWord << "' failed with status "
                  << lineStatus << std::endl;
        if (failed++ == 0) {
            status = lineStatus;
            firstFailed = line.number;
        }
    }
    if (failed)
        std::cerr << tool << ": " << failed << " of " << lines.size() << " conversions failed (first at line "
                  << firstFailed << ")" << std::endl;
    else if (!quiet)
        std::cout << "Done " << lines.size() << " of " << lines.size() << " ..." << std::endl;
    return status;
}

} // namespace Batch
