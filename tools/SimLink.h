#pragma once

// The line between the simulated terminal and the tool: either a
// pseudo-terminal the simulator creates itself (the tool opens its slave), or
// a real serial port (two adapters, or a virtual COM pair).

#include <QByteArray>
#include <QObject>
#include <QSerialPort>
#include <QString>

#include "ptyline.h"

class QSocketNotifier;

class SimLink : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    virtual bool isOpen() const = 0;
    virtual LineSettings lineSettings() const = 0;
    virtual void write(const QByteArray &bytes) = 0;
    // The terminal answers at this rate from now on. Only a real port has a
    // rate of its own; on a pseudo-terminal the tool's settings are the line's.
    virtual void setOwnBaudRate(int baudRate) { Q_UNUSED(baudRate) }
    // Takes the line away, as if the adapter were unplugged.
    virtual void drop() = 0;
    // Forgets what was written that the tool's side has not read yet. A
    // pseudo-terminal keeps it for whoever opens the tool's end next; a real
    // line would have lost it.
    virtual void discardUnread() {}
    // Bytes the tool has written that this end has not read yet, where the
    // line can tell.
    virtual qint64 bytesUnread() const { return 0; }

signals:
    void received(const QByteArray &bytes);
    void failed(const QString &reason);
};

#ifdef Q_OS_UNIX

class PtyLink : public SimLink
{
    Q_OBJECT
public:
    explicit PtyLink(QObject *parent = nullptr);
    ~PtyLink() override;

    bool open(QString *error);
    QString slavePath() const { return m_ends.slavePath; }

    bool isOpen() const override { return m_ends.masterFd >= 0; }
    LineSettings lineSettings() const override;
    void write(const QByteArray &bytes) override;
    void drop() override;
    void discardUnread() override;
    qint64 bytesUnread() const override;

private:
    void onReadable();
    void flushPending();
    void pauseReadingAfterHangup();
    void closeDescriptors();

    ptyline::Ends m_ends;
    QSocketNotifier *m_readNotifier = nullptr;
    QSocketNotifier *m_writeNotifier = nullptr;
    QByteArray m_pending;
};

#endif // Q_OS_UNIX

class SerialLink : public SimLink
{
    Q_OBJECT
public:
    explicit SerialLink(QObject *parent = nullptr);

    bool open(const QString &portName, int baudRate, QString *error);

    bool isOpen() const override { return m_port.isOpen(); }
    LineSettings lineSettings() const override;
    void write(const QByteArray &bytes) override;
    void setOwnBaudRate(int baudRate) override;
    void drop() override;

private:
    void onBytesWritten();
    void onError(QSerialPort::SerialPortError error);

    QSerialPort m_port;
    int m_pendingBaudRate = 0;
    int m_lastWriteSize = 0;
};
