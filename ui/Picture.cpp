#include "Picture.h"

#include <QImageReader>
#include <QPixmap>

QPixmap ownPicture(const QString& path, const char* format)
{
    QImageReader reader(path, format);
    reader.setAutoDetectImageFormat(false);
    return QPixmap::fromImage(reader.read());
}
