#include "kestrine.h"

#include <QDataStream>
#include <QImage>
#include <QtEndian>

#include <algorithm>
#include <iostream>
#include <string>

Kestrine::Kestrine(QImage *image, QDataStream *paletteStream, QDataStream *pictureStream,
                   TileMode mode, bool rotate, const ConvertOptions &options)
    : image(image), pictureStream(pictureStream), paletteStream(paletteStream), rotate(rotate),
      mode(mode), options(options)
{
    this->options.unique |= options.flips;
}

Kestrine::~Kestrine() = default;

static bool reject(const char *reason)
{
    std::cerr << "Kestrine::readImage(): " << reason << std::endl;
    return false;
}

bool Kestrine::readImage()
{
    if (options.palettes)
        return readColors() && planTiles();
    if (image->format() == QImage::Format_Invalid)
        return reject("Unsupported Pictureformat!");
    if (image->format() != QImage::Format_Indexed8)
        return reject("Unsupported Colorformat, only 4 or 16 Colors allowed!");
    numColors = image->colorCount();
    if (numColors != 16 && numColors != 4) {
        std::cerr << "Kestrine::readImage(): Unsupported count of Colors " << numColors
                  << ", only 4 or 16 allowed!" << std::endl;
        return false;
    }
    if (image->width() <= 7 || image->height() <= 7)
        return reject("Picture is to small, lowest size is 8x8 Pixel!");
    return planTiles();
}

namespace {

// Words in a palette: 16, or 4 in FourColor.
int slotsOf(TileMode mode) { return mode == FourColor ? 4 : 16; }

bool indexed(const QImage &image)
{
    return image.format() == QImage::Format_Indexed8 || image.format() == QImage::Format_Mono
            || image.format() == QImage::Format_MonoLSB;
}

bool refuse(const std::string &line)
{
    std::cerr << "Kestrine: " << line << "!" << std::endl;
    return false;
}

} // namespace

bool Kestrine::readColors()
{
    if (image->format() == QImage::Format_Invalid)
        return reject("Unsupported Pictureformat!");
    if (image->width() <= 7 || image->height() <= 7)
        return reject("Picture is to small, lowest size is 8x8 Pixel!");
    const int paletteSize = slotsOf(mode);
    // A table that fits one palette was arranged by its artist: kept, order and indexes alike.
    if (indexed(*image) && image->colorCount() <= paletteSize) {
        numColors = image->colorCount();
        return true;
    }
    tileColors = std::make_unique<TileColors>(*image);
    const bool transparency = tileColors->hasTransparency();
    int count = 0;
    if (const int tile = tileColors->tileOverLimit(paletteSize - transparency, count); tile >= 0) {
        const int across = image->width() / 8;
        return refuse("tile at cell (" + std::to_string(tile % across) + ", " + std::to_string(tile / across)
                      + ") has " + std::to_string(count) + " colors, a palette holds "
                      + std::to_string(paletteSize - transparency) + (transparency ? " besides the transparent slot" : ""));
    }
    const int palettes = tileColors->pack(paletteSize);
    if (palettes > options.palettes)
        return refuse("the tiles need " + std::to_string(palettes) + " palettes of " + std::to_string(paletteSize)
                      + " colors, more than --palettes " + std::to_string(options.palettes) + " allows");
    if (options.mapStream && options.paletteBase + palettes > TileMap::MaxPalettes)
        return refuse(std::to_string(palettes) + " palettes do not fit in a map from palette base "
                      + std::to_string(options.paletteBase) + ": a map names palettes 0 to "
                      + std::to_string(TileMap::MaxPalettes - 1));
    return true;
}

bool Kestrine::convertColors()
{
    if (options.palettes) {
        const int paletteSize = slotsOf(mode);
        std::vector<std::vector<quint16>> palettes = tileColors ? tileColors->palettes()
                                                                : std::vector<std::vector<quint16>>(1);
        if (!tileColors) {
            for (QRgb color : image->colorTable())
                palettes[0].push_back(Layout::paletteWord(color));
        }
        const int colors = tileColors ? tileColors->colorCount() : numColors;
        std::cout << "Convert Colors (" << colors << " color" << (colors == 1 ? "" : "s") << " in "
                  << palettes.size() << " palette" << (palettes.size() == 1 ? "" : "s") << ")..." << std::endl;
        for (std::vector<quint16> &words : palettes) {
            words.resize(size_t(paletteSize), 0); // unused slots, and the transparent one, are 0x000
            for (quint16 word : words)
                *paletteStream << qint16(word & 0xFFF);
        }
        return paletteStream->status() == QDataStream::Ok;
    }
    const int count = mode == FourColor ? 4 : numColors;
    std::cout << "Convert Colors (" << count << " of " << numColors << ")..." << std::endl;
    const QList<QRgb> colors = image->colorTable();
    for (int i = 0; i < count; ++i)
        *paletteStream << qint16(Layout::paletteWord(colors.at(i)));
    return paletteStream->status() == QDataStream::Ok;
}

void Kestrine::mapPixel(int x, int y, int &sx, int &sy) const
{
    Layout::sourcePixel(rotate, x, y, sx, sy);
}

namespace {

// Encodes one tile given as its eight rows of indexes, packed as for Layout::packedRecord.
template <TileMode mode, bool rotate>
void encodeTile(quint64 rows[Layout::TileSize], uchar *out)
{
    if (rotate)
        Layout::turnTile(rows);
    for (int y = 0; y < Layout::TileSize; ++y) {
        const quint32 record = Layout::packedRecord(mode, rows[y]);
        if (Layout::rowBytes(mode) == 4)
            qToLittleEndian<quint32>(record, out);
        else
            qToLittleEndian<quint16>(quint16(record), out);
        out += Layout::rowBytes(mode);
    }
}

// Encodes one tile row of an indexed picture: lines are its eight scanlines, out takes
// tilesAcross tiles of records.
template <TileMode mode, bool rotate>
void encodeScanlines(const uchar *const lines[Layout::TileSize], int tilesAcross, uchar *out)
{
    for (int tx = 0; tx < tilesAcross; ++tx) {
        quint64 rows[Layout::TileSize];
        for (int y = 0; y < Layout::TileSize; ++y)
            rows[y] = qFromLittleEndian<quint64>(lines[y] + Layout::TileSize * tx);
        encodeTile<mode, rotate>(rows, out);
        out += Layout::tileBytes(mode);
    }
}

using TileEncoder = void (*)(quint64 *, uchar *);
using ScanlineEncoder = void (*)(const uchar *const *, int, uchar *);

template <TileMode mode, bool rotate>
constexpr std::pair<TileEncoder, ScanlineEncoder> encodersOf()
{
    return { encodeTile<mode, rotate>, encodeScanlines<mode, rotate> };
}

// The encoders of a layout, or nulls for an unknown mode.
std::pair<TileEncoder, ScanlineEncoder> encoders(TileMode mode, bool rotate)
{
    switch (mode) {
    case Linear:
        return rotate ? encodersOf<Linear, true>() : encodersOf<Linear, false>();
    case Planar:
        return rotate ? encodersOf<Planar, true>() : encodersOf<Planar, false>();
    case FourColor:
        return rotate ? encodersOf<FourColor, true>() : encodersOf<FourColor, false>();
    default:
        return { nullptr, nullptr };
    }
}

// Hands bytes to the stream in one piece; false when the stream has failed.
bool writeOut(QDataStream &stream, const uchar *bytes, size_t size)
{
    stream.writeRawData(reinterpret_cast<const char *>(bytes), int(size));
    return stream.status() == QDataStream::Ok;
}

} // namespace

void Kestrine::encodeTileRow(int ty, uchar *out) const
{
    const int tilesAcross = image->width() / 8;
    const auto [encodeOne, encodeLines] = encoders(mode, rotate);
    if (tileColors) {
        std::vector<quint64> rows;
        tileColors->tileRowIndexes(ty, rows);
        for (int tx = 0; tx < tilesAcross; ++tx)
            encodeOne(rows.data() + 8 * tx, out + size_t(tx) * size_t(Layout::tileBytes(mode)));
        return;
    }
    const QImage &picture = *image; // const: reading scanlines must never detach a shared picture
    if (picture.format() == QImage::Format_Indexed8) {
        const uchar *lines[Layout::TileSize];
        for (int y = 0; y < Layout::TileSize; ++y)
            lines[y] = picture.constScanLine(Layout::TileSize * ty + y);
        encodeLines(lines, tilesAcross, out);
        return;
    }
    // Other formats one pixelIndex call at a time, each pixel read where mapPixel finds it: the
    // rows come out turned already.
    const TileEncoder encodeTurned = encoders(mode, false).first;
    for (int tx = 0; tx < tilesAcross; ++tx) {
        quint64 rows[Layout::TileSize] = {};
        for (int y = 0; y < Layout::TileSize; ++y) {
            for (int x = 0; x < Layout::TileSize; ++x) {
                int sx, sy;
                mapPixel(x, y, sx, sy);
                const uint p = uint(picture.pixelIndex(8 * tx + sx, 8 * ty + sy));
                rows[y] |= quint64(p & 0xFF) << (8 * x);
            }
        }
        encodeTurned(rows, out + size_t(tx) * size_t(Layout::tileBytes(mode)));
    }
}

bool Kestrine::planTiles()
{
    if (!options.unique && !options.mapStream)
        return true;
    const int tilesAcross = image->width() / 8, tilesDown = image->height() / 8;
    const qint64 cells = qint64(tilesAcross) * tilesDown;
    if (options.unique && encoders(mode, rotate).first) {
        tileSet = std::make_unique<TileSet>(mode, options.flips);
        std::vector<uchar> row(size_t(tilesAcross) * size_t(Layout::tileBytes(mode)));
        cellRefs.resize(size_t(cells));
        for (int ty = 0; ty < tilesDown; ++ty) {
            encodeTileRow(ty, row.data());
            tileSet->add(row.data(), tilesAcross, cellRefs.data() + size_t(ty) * size_t(tilesAcross));
        }
    }
    const qint64 tiles = tileSet ? tileSet->size() : cells;
    if (options.mapStream && options.tileBase + tiles > TileMap::MaxTiles)
        return refuse(std::to_string(tiles) + (tileSet ? " distinct" : "") + " tiles do not fit in a map from tile base "
                      + std::to_string(options.tileBase) + ": a map names tiles 0 to "
                      + std::to_string(TileMap::MaxTiles - 1) + (tileSet ? "" : " (--unique keeps each distinct tile once)"));
    return true;
}

bool Kestrine::convertImage()
{
    const int tilesDown = image->height() / 8;
    const int tilesAcross = image->width() / 8;
    std::cout << "Convert Image (" << tilesAcross << "x" << tilesDown << " Tiles with"
              << (rotate ? "" : "out") << " rotation) ..." << std::endl;
    if (tilesDown == 0 || tilesAcross == 0)
        return true;
    if (!encoders(mode, rotate).first)
        return false;

    if (tileSet) {
        const std::vector<uchar> &records = tileSet->records();
        std::cout << "Unique Tiles (" << tileSet->size() << " of " << cellRefs.size();
        if (options.flips)
            std::cout << ", " << tileSet->mirroredCells() << " found mirrored";
        std::cout << ") ..." << std::endl;
        return writeOut(*pictureStream, records.data(), records.size());
    }

    // A few tile rows at a time: memory stays flat however tall the picture is, and blocks of
    // 64 KiB or more go past the file's own 16 KiB buffer, saving a copy and most system calls.
    const int tileRowBytes = tilesAcross * Layout::tileBytes(mode);
    const int blockRows = std::max(1, std::min(tilesDown, (64 * 1024 + tileRowBytes - 1) / tileRowBytes));
    std::vector<uchar> records(size_t(blockRows) * size_t(tileRowBytes));
    for (int ty = 0; ty < tilesDown;) {
        uchar *out = records.data();
        for (const int end = std::min(tilesDown, ty + blockRows); ty < end; ++ty) {
            encodeTileRow(ty, out);
            out += tileRowBytes;
        }
        if (!writeOut(*pictureStream, records.data(), size_t(out - records.data())))
            return false;
    }
    return true;
}

bool Kestrine::convertMap()
{
    if (!options.mapStream)
        return true;
    const int tilesAcross = image->width() / 8, tilesDown = image->height() / 8;
    const int cells = tilesAcross * tilesDown;
    std::vector<uchar> entries(2 * size_t(cells));
    for (int i = 0; i < cells; ++i) {
        const int source = TileMap::sourceCell(i, tilesAcross, tilesDown, rotate);
        const TileSet::Ref ref = tileSet ? cellRefs[size_t(source)] : TileSet::Ref{ source };
        qToLittleEndian(TileMap::entry(options.tileBase + ref.tile, options.paletteBase + paletteOf(source),
                                       ref.mirrorX, ref.mirrorY),
                        entries.data() + 2 * i);
    }
    return writeOut(*options.mapStream, entries.data(), entries.size());
}
