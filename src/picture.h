#ifndef PICTURE_H
#define PICTURE_H

class QByteArray;
class QImage;
class QIODevice;
class QString;

// Largest picture the tool decodes, as the area of a square of this side: a header that claims
// more pixels is refused unread. A long strip of tiles (8x100000) is within it.
constexpr int MaxPictureSide = 32768;

// The file that loadPicture reads for a name, as Qt's own reader resolves it: a missing "name" is
// found as "name.png" and so on, trying the suffix of every format it reads.
QString pictureFileName(const QString &fileName);

// Loads and decodes a picture, detecting its format from its contents. A picture that is missing,
// undecodable, larger than MaxPictureSide squared or cut short (see holdsAllPixels) gives a
// null QImage; indexed pictures up to that size may exceed Qt's default allocation limit.
QImage loadPicture(const QString &fileName);

// The same for a picture held in memory.
QImage loadPicture(const QByteArray &bytes);

// False when the device holds a BMP whose pixel data is not all there: uncompressed rows that run
// past the end of the file, or a run-length stream that stops (or skips ahead) before it has
// described every pixel. Qt 6.4 decodes such a file without complaint and leaves the missing
// pixels as whatever memory held. An info header of a size other than the core (12 bytes),
// Windows (40, 108, 124) and OS/2 2.x (64) ones is refused as well. True for every other format, which either refuses a cut file
// itself or never decodes to an indexed picture. Reads from the start of a random-access device
// and leaves its position anywhere.
bool holdsAllPixels(QIODevice *device);

#endif
