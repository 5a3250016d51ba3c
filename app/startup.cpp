#include "app/startup.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QtGlobal>

// Most technicians' laptops run Windows at 125 % or 150 %. Qt 5 draws at
// 100 % unless told otherwise: the fonts grow with the screen but the window's
// fixed width and pixel sizes do not, and labels and fields get cut. With
// scaling on, the whole window grows by the screen's factor; pass-through
// keeps 150 % at 1.5 instead of rounding it up to 2. At 100 % nothing changes.
void enableHighDpiScaling()
{
    Q_ASSERT(!QCoreApplication::instance());
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    // Qt 6 always scales, and always draws pixmaps at the screen's resolution:
    // it has dropped both attributes and warns of them.
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    // Icons and pixmaps drawn at the screen's resolution, not blown up.
    QCoreApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);
#endif
    QGuiApplication::setHighDpiScaleFactorRoundingPolicy(
        Qt::HighDpiScaleFactorRoundingPolicy::PassThrough);
}

// Left unset, Qt names the application after its program file, and a copy
// saved as "ZorvikTestTool (1).exe" would read other settings and keep its
// record in another folder. No organisation name: it would add a folder level
// to every path the technicians know.
void nameApplication()
{
    QCoreApplication::setApplicationName(QStringLiteral("ZorvikTestTool"));
}
