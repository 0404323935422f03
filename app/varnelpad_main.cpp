#include "startup.h"
#include "windowhost.h"

#include <QApplication>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    varnel::prepareApplication(app);
    varnel::WindowHost windows;
    if (const auto code = varnel::Main(windows))
        return *code;
    return app.exec();
}
