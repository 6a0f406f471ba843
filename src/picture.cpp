#include "picture.h"

#include <QImage>
#include <QImageReader>

QImage loadPicture(const QString &fileName)
{
    QImageReader reader(fileName);
    const QSize size = reader.size();
    if (size.width() > MaxPictureSide || size.height() > MaxPictureSide)
        return QImage();
    // Qt 6.4 budgets 4 bytes a pixel whatever the format, so its default limit of 128 MiB stops
    // indexed pictures at about 5800x5800. Only they get room: 1 byte a pixel is what they cost.
    if (size.isValid() && reader.imageFormat() == QImage::Format_Indexed8)
        QImageReader::setAllocationLimit(4 * MaxPictureSide / 1024 * MaxPictureSide / 1024);
    return reader.read();
}
