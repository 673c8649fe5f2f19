#pragma once

class QPixmap;
class QString;

// One of the program's own pictures, of the known `format`: read as that
// format alone, without loading every image plugin installed to ask whether
// it reads the picture, as Qt does when a format is only suggested.
QPixmap ownPicture(const QString& path, const char* format);
