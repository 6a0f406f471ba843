#include "kestrine.h"
#include "picture.h"

#include <QDataStream>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QSaveFile>
#include <QString>

#include <csignal>
#include <iostream>
#include <memory>
#include <unistd.h>

enum ExitStatus { Success = 0, BadCommandLine = -1, CantOpen = -2, Failed = -3 };

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

// An output that is replaced atomically when it is a regular file (or missing), and written in
// place when it is anything else (a FIFO, a terminal): a device node must never become a file.
static std::unique_ptr<QFileDevice> openOutput(const QString &name)
{
    // QFileInfo follows symbolic links, and QSaveFile keeps a link and replaces its target.
    const QFileInfo info(name);
    std::unique_ptr<QFileDevice> file;
    if (!info.exists() || info.isFile())
        file = std::make_unique<QSaveFile>(name);
    else
        file = std::make_unique<QFile>(name);
    if (!file->open(QIODevice::WriteOnly))
        return nullptr;
    return file;
}

static bool cantWrite(const char *what, const char *name)
{
    std::cerr << "Cant write outputFile (" << what << ") '" << name << "'!" << std::endl;
    return false;
}

// Qt keeps up to 16 KiB per file in its own buffer, and a failed flush is not remembered by
// commit(): check the stream and push the buffer out before anything is put in place.
static bool written(bool stepDone, QDataStream &stream, QFileDevice &file, const char *what,
                    const char *name)
{
    if (stream.status() != QDataStream::Ok || !file.flush() || file.error() != QFileDevice::NoError)
        return cantWrite(what, name);
    return stepDone;
}

static bool putInPlace(QFileDevice &file, const char *what, const char *name)
{
    auto *saveFile = qobject_cast<QSaveFile *>(&file);
    if (saveFile && !saveFile->commit())
        return cantWrite(what, name);
    return true;
}

// The image decoders chat on stderr (libpng warnings and the like); stderr carries only this
// tool's own lines, so that scripts can rely on them.
static void quietQt(QtMsgType, const QMessageLogContext &, const QString &) { }

int main(int argc, char **argv)
{
    qInstallMessageHandler(quietQt);
    // A FIFO output whose reader goes away is a write failure to report, not a reason to die.
    signal(SIGPIPE, SIG_IGN);
    if (argc <= 4) {
        printUsage(argv[0]);
        return BadCommandLine;
    }

    TileMode mode = NoMode;
    bool rotate = false;
    for (int letter; (letter = getopt(argc, argv, "l4rph?:")) != -1;) {
        switch (letter) {
        case 'l':
            mode = Linear;
            break;
        case 'p':
            mode = Planar;
            break;
        case '4':
            mode = FourColor;
            break;
        case 'r':
            rotate = true;
            break;
        default:
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
