#include "tilecolors.h"

#include "layout.h"
#include "palettes.h"

#include <QImage>
#include <QRgba64>

#include <algorithm>

namespace {

// A word that no slot of a palette holds.
constexpr uchar Unplaced = 0xFF;

quint16 wordOf(QRgb color)
{
    return color >= 0x80000000u ? Layout::paletteWord(color) : TileColors::Transparent; // alpha 128 up
}

} // namespace

TileColors::TileColors(const QImage &picture)
    : picture(picture), tilesAcross(picture.width() / 8), tilesDown(picture.height() / 8)
{
    if (picture.format() == QImage::Format_Indexed8) {
        // Indexes beyond the table read as Qt reads them: transparent.
        indexedWords.fill(Transparent);
        const QList<QRgb> table = picture.colorTable();
        for (qsizetype i = 0; i < std::min<qsizetype>(table.size(), 256); ++i)
            indexedWords[size_t(i)] = wordOf(table[i]);
    }
    setStart.push_back(0);
    setOfTile.reserve(size_t(tilesAcross) * size_t(tilesDown));
    colorsOfTile.reserve(setOfTile.capacity());

    std::vector<quint16> band;
    stampOf.assign(Transparent + 1, 0);
    for (int ty = 0; ty < tilesDown; ++ty) {
        readBand(ty, band);
        const size_t width = size_t(tilesAcross) * 8;
        for (int tx = 0; tx < tilesAcross; ++tx) {
            // The tile's distinct words, in order of first appearance, with no branch a pixel:
            // every word is written, and the count moves on only for a word whose stamp is not
            // yet this tile's. Stamps never need clearing.
            const int stamp = ++tiles;
            quint16 words[65];
            int count = 0;
            for (int y = 0; y < 8; ++y) {
                const quint16 *row = band.data() + size_t(y) * width + size_t(8 * tx);
                for (int x = 0; x < 8; ++x) {
                    const quint16 word = row[x];
                    words[count] = word;
                    count += stampOf[word] != stamp;
                    stampOf[word] = stamp;
                }
            }
            if (stampOf[Transparent] == stamp) {
                transparency = true;
                count = int(std::remove(words, words + count, Transparent) - words);
            }
            colorsOfTile.push_back(count);
            setOfTile.push_back(setOf(words, count));
        }
    }
}

void TileColors::readBand(int ty, std::vector<quint16> &words) const
{
    const int width = tilesAcross * 8;
    words.resize(size_t(width) * 8);
    const QImage::Format format = picture.format();
    const bool direct = format == QImage::Format_ARGB32 || format == QImage::Format_RGB32
            || format == QImage::Format_Indexed8;
    // 16 bits a channel are read as they are: rounding them to 8 first could carry into the top four.
    const bool wide = picture.depth() == 64 || format == QImage::Format_Grayscale16;
    QImage converted;
    if (!direct) // a band at a time: memory stays flat whatever the format
        converted = picture.copy(0, 8 * ty, width, 8)
                            .convertToFormat(wide ? QImage::Format_RGBA64 : QImage::Format_ARGB32);
    for (int y = 0; y < 8; ++y) {
        quint16 *out = words.data() + size_t(y) * size_t(width);
        if (format == QImage::Format_Indexed8) {
            const uchar *line = picture.constScanLine(8 * ty + y);
            for (int x = 0; x < width; ++x)
                out[x] = indexedWords[line[x]];
        } else if (wide) {
            const QRgba64 *line = reinterpret_cast<const QRgba64 *>(converted.constScanLine(y));
            for (int x = 0; x < width; ++x) {
                const QRgba64 c = line[x];
                out[x] = c.alpha() < 0x8000 ? Transparent
                                            : quint16((c.red() >> 12) << 8 | (c.green() >> 12) << 4 | c.blue() >> 12);
            }
        } else {
            const QRgb *line = reinterpret_cast<const QRgb *>(direct ? picture.constScanLine(8 * ty + y)
                                                                      : converted.constScanLine(y));
            for (int x = 0; x < width; ++x)
                out[x] = wordOf(line[x]);
        }
    }
}

int TileColors::setOf(const quint16 *words, int count)
{
    // The hash of a set ignores the order of its words, and a stored set is the same when every
    // word of it bears the tile's stamp: nothing is sorted.
    quint64 sum = quint64(count);
    for (int i = 0; i < count; ++i)
        sum += (words[i] + 0x9E3779B97F4A7C15ull) * 0xBF58476D1CE4E5B9ull;
    const quint32 hash = quint32((sum ^ (sum >> 31)) * 0x94D049BB133111EBull >> 32);
    const int found = sets.find(hash, [&](int set) {
        const quint32 start = setStart[size_t(set)], end = setStart[size_t(set) + 1];
        bool same = end - start == quint32(count);
        for (quint32 w = start; w < end && same; ++w)
            same = stampOf[setWords[w]] == tiles;
        return same;
    });
    if (found >= 0)
        return found;
    const int set = int(setStart.size()) - 1;
    setWords.insert(setWords.end(), words, words + count);
    setStart.push_back(quint32(setWords.size()));
    sets.insert(hash, set);
    return set;
}

int TileColors::colorCount() const
{
    std::vector<bool> seen(Transparent, false);
    int colors = 0;
    for (quint16 word : setWords) {
        colors += !seen[word];
        seen[word] = true;
    }
    return colors;
}

int TileColors::tileOverLimit(int limit, int &count) const
{
    for (size_t tile = 0; tile < colorsOfTile.size(); ++tile) {
        if (colorsOfTile[tile] > limit) {
            count = colorsOfTile[tile];
            return int(tile);
        }
    }
    return -1;
}

int TileColors::pack(int paletteSize)
{
    const size_t sets = setStart.size() - 1;
    std::vector<std::vector<int>> colorSets(sets);
    for (size_t s = 0; s < sets; ++s)
        colorSets[s].assign(setWords.begin() + setStart[s], setWords.begin() + setStart[s + 1]);
    paletteOfSet = Palettes::pack(colorSets, paletteSize - int(transparency));
    const int count = sets ? *std::max_element(paletteOfSet.begin(), paletteOfSet.end()) + 1 : 0;

    // Sets come in order of their first tile, and each holds its words in order of first
    // appearance: a later tile of the same set brings no colour its palette lacks.
    paletteWords.assign(size_t(count), {});
    slotOf.assign(size_t(count), {});
    for (size_t p = 0; p < size_t(count); ++p) {
        slotOf[p].fill(Unplaced);
        if (transparency) {
            slotOf[p][Transparent] = 0;
            paletteWords[p].push_back(Transparent);
        }
    }
    for (size_t s = 0; s < sets; ++s) {
        const size_t p = size_t(paletteOfSet[s]);
        for (quint32 i = setStart[s]; i < setStart[s + 1]; ++i) {
            const quint16 word = setWords[i];
            if (slotOf[p][word] == Unplaced) {
                slotOf[p][word] = uchar(paletteWords[p].size());
                paletteWords[p].push_back(word);
            }
        }
    }
    return count;
}

void TileColors::tileRowIndexes(int ty, std::vector<quint64> &rows) const
{
    std::vector<quint16> band;
    readBand(ty, band);
    const size_t width = size_t(tilesAcross) * 8;
    rows.assign(width, 0);
    for (int tx = 0; tx < tilesAcross; ++tx) {
        const auto &slot = slotOf[size_t(paletteOf(ty * tilesAcross + tx))];
        for (int y = 0; y < 8; ++y) {
            const quint16 *row = band.data() + size_t(y) * width + size_t(8 * tx);
            quint64 indexes = 0;
            for (int x = 0; x < 8; ++x)
                indexes |= quint64(slot[row[x]]) << (8 * x);
            rows[size_t(8 * tx + y)] = indexes;
        }
    }
}
