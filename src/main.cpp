#include "commandline.h"
#include "kestrine.h"
#include "output.h"
#include "picture.h"

#include <QDataStream>
#include <QFile>
#include <QImage>
#include <QString>

#include <iostream>
#include <memory>
#include <string>

namespace {

const char *const Tool = "kestrine";

using namespace CommandLine;
const std::initializer_list<LongOption> longOptionCodes = { Quiet, Help, Version };

// A command line taken apart: the options and the three names.
struct Request
{
    TileMode mode = NoMode;
    bool rotate = false;
    bool quiet = false;
    const char *inputWord = nullptr;
    const char *pictureWord = nullptr;
    const char *paletteWord = nullptr;
};

// How a parsed command line goes on: a status to end with at once, or Convert.
constexpr int Convert = 1;

} // namespace

void printUsage(const char *programName)
{
    std::cout << "Usage: " << programName << " -[l4rph?] inputPicture outputPicture outputPalette"
              << std::endl;
    std::cout << std::endl;
    std::cout << "       -l  = linear" << std::endl;
    std::cout << "       -p  = planar" << std::endl;
    std::cout << "       -pr = planar (rotated)" << std::endl;
    std::cout << "       -4  = 4 color mode (use only the first 4 colors of a 16 color picture)"
              << std::endl;
    std::cout << "       -4r = 4 color mode (rotated)" << std::endl;
    std::cout << "       -h or -? = this" << std::endl;
}

namespace {

// The reason line, then the usage text: the answer to a command line that cannot run.
int refuse(const char *programName, const std::string &why)
{
    reason(Tool, why);
    printUsage(programName);
    return BadCommandLine;
}

// What is missing from a line with a mode and names words short of the usage's form.
int refuseShortLine(const char *programName, bool hasMode, int names)
{
    if (!hasMode)
        return refuse(programName, "no mode letter, one of -l, -p or -4 is needed");
    return refuse(programName, "3 names are needed (inputPicture outputPicture outputPalette), "
                          + std::to_string(names) + " given");
}

int parse(int argc, char **argv, Request &request)
{
    // A line shorter than the usage's form is answered without the parser, so that a bad letter
    // draws no diagnostic; unless it holds a long option, which only the parser can tell.
    if (argc <= 4 && !hasLongOption(argc, argv)) {
        if (asksForUsage(argc, argv)) {
            printUsage(argv[0]);
            return BadCommandLine;
        }
        bool hasMode = false;
        int names = 0;
        for (int i = 1; i < argc; ++i) {
            if (argv[i][0] == '-' && argv[i][1] != '\0' && names == 0)
                hasMode |= std::string(argv[i]).find_first_of("lp4") != std::string::npos;
            else
                ++names;
        }
        return refuseShortLine(argv[0], hasMode, names);
    }

    const std::vector<option> options = longOptions(longOptionCodes);
    optind = 0; // a fresh parse: the parser keeps state between calls
    opterr = 1;
    for (int code; (code = getopt_long(argc, argv, "l4rph?:", options.data(), nullptr)) != -1;) {
        if (modeOfLetter(code) != NoMode) {
            request.mode = modeOfLetter(code);
        } else if (code == 'r') {
            request.rotate = true;
        } else if (code == Quiet) {
            request.quiet = true;
        } else if (code == Help) {
            printUsage(argv[0]);
            printLongOptions(longOptionCodes);
            return Success;
        } else if (code == Version) {
            printVersion(Tool);
            return Success;
        } else {
            // -h, -? or a word the parser refused, with its own diagnostic.
            printUsage(argv[0]);
            return BadCommandLine;
        }
    }
    // The parser has moved every option word (and a "--") in front of the names.
    if (request.mode == NoMode || argc - optind < 3)
        return refuseShortLine(argv[0], request.mode != NoMode, argc - optind);
    request.inputWord = argv[optind];
    request.pictureWord = argv[optind + 1];
    request.paletteWord = argv[optind + 2];
    return Convert;
}

int convert(const Request &request)
{
    const QString inputName = QFile::decodeName(request.inputWord);
    const QString pictureName = QFile::decodeName(request.pictureWord);
    const QString paletteName = QFile::decodeName(request.paletteWord);
    if (!distinctFiles({ { "inputFile (Picture)", request.inputWord, pictureFileName(inputName), false },
                         { "outputFile (Picture)", request.pictureWord, pictureName, true },
                         { "outputFile (Palette)", request.paletteWord, paletteName, true } }))
        return CantOpen;

    QImage image = loadPicture(inputName);

    const std::unique_ptr<QFileDevice> pictureFile = openOutput(pictureName);
    if (!pictureFile) {
        std::cerr << "Cant open outputFile (Picture) '" << request.pictureWord << "'!" << std::endl;
        return CantOpen;
    }
    const std::unique_ptr<QFileDevice> paletteFile = openOutput(paletteName);
    if (!paletteFile) {
        std::cerr << "Cant open outputFile (Palette) '" << request.paletteWord << "'!" << std::endl;
        return CantOpen;
    }

    QDataStream paletteStream(paletteFile.get());
    QDataStream pictureStream(pictureFile.get());
    paletteStream.setByteOrder(QDataStream::LittleEndian);
    pictureStream.setByteOrder(QDataStream::LittleEndian);

    Kestrine kestrine(&image, &paletteStream, &pictureStream, request.mode, request.rotate);
    // Palette first, tile data last: the window between the two replacements stays minimal.
    const bool done = kestrine.readImage()
            && written(kestrine.convertColors(), paletteStream, *paletteFile, "Palette",
                       request.paletteWord)
            && written(kestrine.convertImage(), pictureStream, *pictureFile, "Picture",
                       request.pictureWord)
            && putInPlace(*paletteFile, "Palette", request.paletteWord)
            && putInPlace(*pictureFile, "Picture", request.pictureWord);
    if (!done)
        return Failed;
    std::cout << "Done ..." << std::endl;
    return Success;
}

} // namespace

int main(int argc, char **argv)
{
    setUpOutputTool();
    Request request;
    const int status = parse(argc, argv, request);
    if (status != Convert)
        return status;
    const QuietConsole quiet(request.quiet);
    return convert(request);
}
