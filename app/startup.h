#pragma once

// Settings that Qt reads only while the application object is being built:
// main calls this first, before the QApplication exists.
void enableHighDpiScaling();
