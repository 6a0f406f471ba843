#ifndef KESTRINE_H
#define KESTRINE_H

#include "layout.h"

class QDataStream;
class QImage;

// Converts an indexed picture into 8x8 tile data and a 12-bit RGB palette.
// Borrows the picture and both streams; the caller keeps them alive and owns them.
class Kestrine
{
public:
    Kestrine(QImage *image, QDataStream *paletteStream, QDataStream *pictureStream, TileMode mode,
             bool rotate);
    ~Kestrine();

    // True when the picture is 8-bit indexed with 4 or 16 colours and at least 8x8;
    // otherwise prints the reason on stderr and returns false.
    bool readImage();

    // Writes the palette (4 words in FourColor, else one per colour); false when the stream failed.
    bool convertColors();

    // Writes every whole tile, row by row; false for an unknown mode or a failed stream.
    bool convertImage();

private:
    // Source pixel (sx, sy) inside a tile for output pixel (x, y); a clockwise turn when rotate is set.
    void mapPixel(int x, int y, int &sx, int &sy) const;

    // convertImage one pixelIndex call at a time, for pictures that are not 8-bit indexed.
    bool convertByPixel(int tilesAcross, int tilesDown);

    QImage *image;
    QDataStream *pictureStream;
    QDataStream *paletteStream;
    int numColors = 0;
    bool rotate;
    TileMode mode;
};

#endif
