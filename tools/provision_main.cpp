// varnel-provision <program folder>: creates what the notebook needs in
// <program folder>/data, leaving whatever is already there untouched.

#include "provisioning.h"

#include <QGuiApplication>
#include <cstdio>

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: varnel-provision <program folder>\n");
        return 2;
    }
    return provisionProgramFolder(QString::fromLocal8Bit(argv[1])) ? 0 : 1;
}
