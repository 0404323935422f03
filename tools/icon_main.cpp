// varnel-icon <file.png> <size>: writes the program icon at the given size,
// for the desktop menu entry.

#include "desktopart.h"

#include <QGuiApplication>
#include <cstdio>

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: varnel-icon <file.png> <size>\n");
        return 2;
    }
    const int size = QByteArray(argv[2]).toInt();
    return size > 0 && varnel::programIcon(size).save(QString::fromLocal8Bit(argv[1]), "PNG") ? 0
                                                                                              : 1;
}
