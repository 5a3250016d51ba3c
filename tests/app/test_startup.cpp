// The window on a technician's 150 % laptop screen: drawn 1.5 times larger,
// laid out exactly as at 100 %, and not rounded up to twice the size.

#include "TestSettings.h"
#include "app/ZorvikTestTool.h"
#include "app/startup.h"

#include <QApplication>
#include <QtTest>

class StartupTest : public QObject
{
    Q_OBJECT

private slots:
    void windowScalesWholeOn150PercentScreen();
};

void StartupTest::windowScalesWholeOn150PercentScreen()
{
    ZorvikTestTool window;
    window.show();
    QCOMPARE(window.devicePixelRatioF(), 1.5);
    // Fonts are measured as on a 96 dpi screen and the sizes stay in
    // device-independent pixels, so nothing is cut.
    QCOMPARE(window.logicalDpiX(), 96);
    QCOMPARE(window.size(), QSize(755, 858));
    QVERIFY(QCoreApplication::testAttribute(Qt::AA_UseHighDpiPixmaps));
}

int main(int argc, char **argv)
{
    isolateSettings();
    // A 144 dpi screen, which the offscreen platform reports as its DPI.
    qputenv("QT_FONT_DPI", "144");
    enableHighDpiScaling();
    QApplication app(argc, argv);
    StartupTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_startup.moc"
