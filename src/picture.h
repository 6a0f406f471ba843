#ifndef PICTURE_H
#define PICTURE_H

class QImage;
class QString;

// Largest width and height the tool decodes; a header that claims more is refused unread.
constexpr int MaxPictureSide = 32768;

// Loads and decodes a picture, detecting its format. A picture that is missing, undecodable or
// larger than MaxPictureSide either way gives a null QImage; indexed pictures up to that size
// may exceed Qt's default allocation limit.
QImage loadPicture(const QString &fileName);

#endif
