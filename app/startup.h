#pragma once

// Settings that Qt reads only while the application object is being built:
// main calls this first, before the QApplication exists.
void enableHighDpiScaling();

// Names the application, which names its folders: the settings file on
// Windows and the data folder everywhere. main calls this once.
void nameApplication();
