#ifndef INMEMORY_H
#define INMEMORY_H

// The converter run in the test's own process, on streams over byte arrays, with its console
// lines caught in strings.

#include "kestrine.h"

#include <QByteArray>
#include <QDataStream>
#include <QIODevice>
#include <QImage>

#include <iostream>
#include <sstream>

// Swaps std::cout and std::cerr for strings while it lives.
class Console
{
public:
    Console() : oldOut(std::cout.rdbuf(out.rdbuf())), oldErr(std::cerr.rdbuf(err.rdbuf())) { }
    ~Console()
    {
        std::cout.rdbuf(oldOut);
        std::cerr.rdbuf(oldErr);
    }
    std::ostringstream out, err;

private:
    std::streambuf *oldOut, *oldErr;
};

// A converter on in-memory streams: palette, tile and map bytes land in the arrays. With
// withMap, options get a map stream.
struct Run
{
    Run(QImage image, TileMode mode, bool rotate, ConvertOptions options = {}, bool withMap = false)
        : picture(std::move(image)),
          kestrine(&picture, &paletteStream, &pictureStream, mode, rotate,
                   withMap ? mapped(options) : options)
    {
        paletteStream.setByteOrder(QDataStream::LittleEndian);
        pictureStream.setByteOrder(QDataStream::LittleEndian);
        mapStream.setByteOrder(QDataStream::LittleEndian);
    }

    // Every step in order, as the tool runs them; false at the first that fails.
    bool all() { return kestrine.readImage() && kestrine.convertColors() && kestrine.convertImage() && kestrine.convertMap(); }

    QImage picture;
    QByteArray palette, tiles, map;
    QDataStream paletteStream{ &palette, QIODevice::WriteOnly };
    QDataStream pictureStream{ &tiles, QIODevice::WriteOnly };
    QDataStream mapStream{ &map, QIODevice::WriteOnly };
    Kestrine kestrine;

private:
    ConvertOptions mapped(ConvertOptions options)
    {
        options.mapStream = &mapStream;
        return options;
    }
};

#endif
