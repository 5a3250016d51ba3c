#include "app/ZorvikTestTool.h"

#include <QApplication>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    ZorvikTestTool window;
    window.show();
    return app.exec();
}
