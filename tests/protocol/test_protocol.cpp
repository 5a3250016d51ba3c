// The device protocol's test program: the byte and text rules first, then the
// window's protocol members on a pseudo-terminal.

#include "TestSettings.h"

#include <QApplication>

int runBytesAndTextsTest(int argc, char **argv);
int runWindowProtocolTest(int argc, char **argv);

int main(int argc, char **argv)
{
    // Before the application exists: the window reads and writes its settings
    // file, which must not be the user's own.
    isolateSettings();
    QApplication app(argc, argv);
    int failures = runBytesAndTextsTest(argc, argv);
    failures += runWindowProtocolTest(argc, argv);
    return failures;
}
