#include "app/ZorvikTestTool.h"
#include "app/startup.h"

#include <QApplication>

int main(int argc, char **argv)
{
    enableHighDpiScaling();
    QApplication app(argc, argv);
    ZorvikTestTool window;
    window.show();
    return app.exec();
}
