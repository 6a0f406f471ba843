#include "picture.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QtEndian>

#include <cstdlib>

namespace {

enum BmpCompression { Rgb = 0, Rle8 = 1, Rle4 = 2, BitFields = 3, AlphaBitFields = 6 };

// Walks a run-length stream the way a decoder would fill the picture, bottom row first, and tells
// whether every pixel of every row was written before the stream ended. A run that reaches past
// its row is refused too: Qt does not skip the rest of such a literal run and reads its bytes as
// codes, so where it goes from there is its own.
bool rleCoversAll(QIODevice *device, bool rle4, qint64 width, qint64 height)
{
    qint64 x = 0, y = 0;
    auto next = [device](uchar &byte) { return device->getChar(reinterpret_cast<char *>(&byte)); };
    uchar count, value;
    while (next(count) && next(value)) {
        if (count > 0) {
            x += count;
            if (x > width)
                return false;
            continue;
        }
        switch (value) {
        case 0: // end of line
            if (x != width)
                return false;
            x = 0;
            if (++y == height)
                return true; // the decoder stops here, mark or not
            break;
        case 1: // end of bitmap
            return y == height - 1 && x == width;
        case 2: // a delta skips pixels, leaving them unwritten
            return false;
        default: { // a literal run, padded to an even number of bytes
            const qint64 bytes = rle4 ? (value + 1) / 2 : value;
            if (device->skip(bytes + bytes % 2) != bytes + bytes % 2)
                return false;
            x += value;
            if (x > width)
                return false;
        }
        }
    }
    return false;
}

} // namespace

bool holdsAllPixels(QIODevice *device)
{
    // File header (14 bytes), then the info header; an OS/2 core header has 16-bit sides.
    const QByteArray head = device->read(14 + 40);
    if (!head.startsWith("BM"))
        return true;
    const auto *h = reinterpret_cast<const uchar *>(head.constData());
    const qint64 fileSize = device->size();
    const qint64 dataOffset = qFromLittleEndian<quint32>(h + 10);
    const qint64 infoSize = qFromLittleEndian<quint32>(h + 14);
    // Qt also decodes some headers of other sizes, reading their fields in ways of its own; what
    // their pixel data should be cannot be told from here, so they are not taken on trust.
    const bool core = infoSize == 12;
    if (!core && infoSize != 40 && infoSize != 64 && infoSize != 108 && infoSize != 124)
        return false;
    if (head.size() < 14 + (core ? 12 : 40))
        return false;
    const qint64 width = core ? qFromLittleEndian<quint16>(h + 18) : qFromLittleEndian<qint32>(h + 18);
    const qint64 height = std::llabs(core ? qFromLittleEndian<qint16>(h + 20) : qFromLittleEndian<qint32>(h + 22));
    const int bitsPerPixel = qFromLittleEndian<quint16>(h + (core ? 24 : 28));
    const quint32 compression = core ? quint32(Rgb) : qFromLittleEndian<quint32>(h + 30);
    qint64 colors = 0;
    if (bitsPerPixel <= 8) {
        colors = core ? 0 : qFromLittleEndian<quint32>(h + 46);
        if (colors == 0)
            colors = qint64(1) << bitsPerPixel;
    }
    qint64 masks = 0;
    if (infoSize == 40 && compression == BitFields)
        masks = 12;
    else if (infoSize == 40 && compression == AlphaBitFields)
        masks = 16;
    // Pixel data starts at the header's offset unless the colour table reaches beyond it.
    const qint64 dataStart = qMax(dataOffset, 14 + infoSize + masks + colors * (core ? 3 : 4));
    if (width <= 0 || height <= 0 || dataStart > fileSize)
        return false;

    if (compression == Rle8 || compression == Rle4)
        return device->seek(dataStart) && rleCoversAll(device, compression == Rle4, width, height);

    // Rows are padded to 4 bytes, the last one too: Qt reads whole rows or gives up on the rest.
    const qint64 stride = (width * bitsPerPixel + 31) / 32 * 4;
    return stride == 0 || height <= (fileSize - dataStart) / stride;
}

// The checks every picture passes before Qt decodes it, on a random-access device.
static bool admit(QIODevice *device)
{
    static const int defaultLimit = QImageReader::allocationLimit();
    QImageReader reader(device);
    const QSize size = reader.size();
    if (qint64(size.width()) * size.height() > qint64(MaxPictureSide) * MaxPictureSide)
        return false;
    // Qt 6.4 budgets 4 bytes a pixel whatever the format, so its default limit of 128 MiB stops
    // indexed pictures at about 5800x5800. Only they get room: 1 byte a pixel is what they cost.
    // The limit is process-wide: set it for every picture, not just raise it once.
    const bool indexed = size.isValid() && reader.imageFormat() == QImage::Format_Indexed8;
    QImageReader::setAllocationLimit(indexed ? 4 * MaxPictureSide / 1024 * MaxPictureSide / 1024
                                             : defaultLimit);
    return device->seek(0) && holdsAllPixels(device) && device->seek(0);
}

QString pictureFileName(const QString &fileName)
{
    if (QFile::exists(fileName))
        return fileName;
    for (const QByteArray &suffix : QImageReader::supportedImageFormats()) {
        const QString candidate = fileName + u'.' + QString::fromLatin1(suffix);
        if (QFile::exists(candidate))
            return candidate;
    }
    return fileName;
}

QImage loadPicture(const QString &fileName)
{
    QFile file(pictureFileName(fileName));
    if (!file.open(QIODevice::ReadOnly))
        return QImage();
    // A pipe cannot be read twice: take it in whole and look at it in memory.
    if (file.isSequential())
        return loadPicture(file.readAll());
    if (!admit(&file))
        return QImage();
    QImageReader reader(&file);
    return reader.read();
}

QImage loadPicture(const QByteArray &bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    if (!buffer.open(QIODevice::ReadOnly) || !admit(&buffer))
        return QImage();
    return QImage::fromData(bytes);
}
