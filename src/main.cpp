#include "kestrine.h"
#include "output.h"
#include "picture.h"

#include <QDataStream>
#include <QFile>
#include <QImage>
#include <QString>

#include <iostream>
#include <memory>
#include <unistd.h>

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

int main(int argc, char **argv)
{
    setUpOutputTool();
    if (argc <= 4) {
        printUsage(argv[0]);
        return BadCommandLine;
    }

    TileMode mode = NoMode;
    bool rotate = false;
    for (int letter; (letter = getopt(argc, argv, "l4rph?:")) != -1;) {
        if (modeOfLetter(letter) != NoMode) {
            mode = modeOfLetter(letter);
        } else if (letter == 'r') {
            rotate = true;
        } else {
            printUsage(argv[0]);
            return BadCommandLine;
        }
    }
    // The parser has moved every option word (and a "--") in front of the names.
    if (mode == NoMode || argc - optind < 3) {
        printUsage(argv[0]);
        return BadCommandLine;
    }
    const char *inputWord = argv[optind];
    const char *pictureWord = argv[optind + 1];
    const char *paletteWord = argv[optind + 2];

    QImage image = loadPicture(QFile::decodeName(inputWord));

    const std::unique_ptr<QFileDevice> pictureFile = openOutput(QFile::decodeName(pictureWord));
    if (!pictureFile) {
        std::cerr << "Cant open outputFile (Picture) '" << pictureWord << "'!" << std::endl;
        return CantOpen;
    }
    const std::unique_ptr<QFileDevice> paletteFile = openOutput(QFile::decodeName(paletteWord));
    if (!paletteFile) {
        std::cerr << "Cant open outputFile (Palette) '" << paletteWord << "'!" << std::endl;
        return CantOpen;
    }

    QDataStream paletteStream(paletteFile.get());
    QDataStream pictureStream(pictureFile.get());
    paletteStream.setByteOrder(QDataStream::LittleEndian);
    pictureStream.setByteOrder(QDataStream::LittleEndian);

    Kestrine kestrine(&image, &paletteStream, &pictureStream, mode, rotate);
    // Palette first, tile data last: the window between the two replacements stays minimal.
    const bool done = kestrine.readImage()
            && written(kestrine.convertColors(), paletteStream, *paletteFile, "Palette", paletteWord)
            && written(kestrine.convertImage(), pictureStream, *pictureFile, "Picture", pictureWord)
            && putInPlace(*paletteFile, "Palette", paletteWord)
            && putInPlace(*pictureFile, "Picture", pictureWord);
    if (!done)
        return Failed;
    std::cout << "Done ..." << std::endl;
    return Success;
}
