#ifndef DRAWING_H
#define DRAWING_H

#include "layout.h"

#include <QByteArray>
#include <QImage>
#include <QList>

#include <string>

// Tile data drawn back into an 8-bit indexed picture, in slots or as a map places it, so that a
// wrong layout, turn, colour or map shows before the data reaches its display.

// What is wrong with an input: which one ("tileData", "palette", "map") and why, for one line.
struct Flaw
{
    const char *input = "";
    std::string what;
};

// The palettes of a palette file, widened to 8 bits a channel.
struct PaletteColors
{
    QList<QRgb> colors; // palette k from entry 16 * k; entries between palettes are black
    int count = 0;      // palettes in the file
    int size = 0;       // words a palette: 4 or 16
};

// Each step prints its progress line on stdout once its input has passed the first checks.

// Reads a palette file of 12-bit words. Without a map it is one palette of 4 or 16 words (4 in
// FourColor); with one, palettes of 16 words (4 in FourColor) one after another, at most
// TileMap::MaxPalettes, or a single palette of 4. False, with the flaw, for anything else.
bool readPalettes(const QByteArray &bytes, TileMode mode, bool map, PaletteColors &palettes, Flaw &flaw);

// Draws every tile into slots, cellsAcross to a row (fewer when there are fewer tiles), left to
// right and top to bottom, empty slots index 0; the turn is undone. False, with the flaw, for
// tile data that is not whole tiles or a pixel index beyond the palette.
bool drawTiles(const QByteArray &tiles, TileMode mode, bool rotate, int cellsAcross,
               const PaletteColors &palettes, QImage &picture, Flaw &flaw);

// How a map names tiles and palettes.
struct MapNumbers
{
    int cellsAcross = 16;
    int tileBase = 0;
    int paletteBase = 0;
};

// Draws the picture a map describes: every cell the tile it names, mirrored as it says, in its
// palette. With rotate the map and its tiles are turned back, so that the picture reads as its
// source did. False, with the flaw, for a map that is not whole rows of cellsAcross entries, or
// names a tile or palette the files lack, or tile data as drawTiles refuses it.
bool drawMap(const QByteArray &tiles, const QByteArray &map, TileMode mode, bool rotate,
             const MapNumbers &numbers, const PaletteColors &palettes, QImage &picture, Flaw &flaw);

#endif
