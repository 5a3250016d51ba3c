// On a technician's 150 % laptop screen the window is drawn 1.5 times larger,
// laid out as at 100 % (fonts as at 96 dpi), not rounded up to twice the size.

#include "TestSettings.h"
#include "app/ZorvikTestTool.h"
#include "app/startup.h"

#include <QApplication>
#include <QtTest>

class StartupTest : public QObject
{
    Q_OBJECT

private slots:
    void windowScalesWholeOn150PercentScreen()
    {
        ZorvikTestTool window;
        window.show();
        QCOMPARE(window.devicePixelRatioF(), 1.5);
        QCOMPARE(window.logicalDpiX(), 96);
        QCOMPARE(window.size(), QSize(755, 858));
        const QPixmap picture(48, 48); // an icon's 16 pixels drawn from 24, not blown up from 16
        QCOMPARE(QIcon(picture).pixmap(16, 16).size(), QSize(24, 24));
    }
};

int main(int argc, char **argv)
{
    isolateSettings();
    qputenv("QT_FONT_DPI", "144"); // the screen's DPI on the offscreen platform
    enableHighDpiScaling();
    QApplication app(argc, argv);
    StartupTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_startup.moc"
