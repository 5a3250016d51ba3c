#pragma once

#include <QByteArray>
#include <QString>

#include "ptyline.h"

// A pseudo-terminal pair for tests: the code under test opens slavePath() like
// a serial adapter, the test plays the terminal on the master side. The pair
// keeps a descriptor of its own on the slave, so the master does not hang up
// each time the code under test closes and reopens its port.
class PtyPair
{
public:
    PtyPair() { ptyline::open(m_ends, nullptr); }
    ~PtyPair() { ptyline::close(m_ends); }
    PtyPair(const PtyPair &) = delete;
    PtyPair &operator=(const PtyPair &) = delete;

    QString slavePath() const { return m_ends.slavePath; }
    // The slave's line settings as the code under test last set them.
    LineSettings lineSettings() const { return ptyline::lineSettings(m_ends.masterFd); }
    // Writes on the master side: the bytes arrive at the slave.
    void write(const QByteArray &bytes);
    // Everything the slave side has written so far, without waiting.
    QByteArray readAvailable();

private:
    ptyline::Ends m_ends;
};
