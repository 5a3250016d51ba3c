#include "app/ZorvikTestTool.h"
#include "app/startup.h"

#include <QApplication>

int main(int argc, char **argv)
{
    enableHighDpiScaling();
    QApplication app(argc, argv);
    nameApplication();
    ZorvikTestTool window;
    window.show();
    return app.exec();
}
