#include "SimLink.h"

#include <QTimer>

#ifdef Q_OS_UNIX
#include <QSocketNotifier>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>
#endif

namespace {

// Bytes the tool has not read yet are kept up to this amount; beyond it the
// terminal's output is lost, as it would be on a real line nobody listens to.
constexpr int kMaxPendingOutput = 64 * 1024;

// After a hang-up on the master, reading is tried again this much later
// rather than in a busy loop.
constexpr int kHangupRetryMs = 200;

// A UART frame of 8N1 is 10 bits long.
constexpr int kBitsPerByte = 10;
// Margin for the last byte to leave the adapter before its rate is changed.
constexpr int kUartSlackMs = 5;

} // namespace

#ifdef Q_OS_UNIX

PtyLink::PtyLink(QObject *parent) : SimLink(parent) {}

PtyLink::~PtyLink()
{
    closeDescriptors();
}

bool PtyLink::open(QString *error)
{
    if (!ptyline::open(m_ends, error))
        return false;
    m_readNotifier = new QSocketNotifier(m_ends.masterFd, QSocketNotifier::Read, this);
    connect(m_readNotifier, &QSocketNotifier::activated, this, &PtyLink::onReadable);
    m_writeNotifier = new QSocketNotifier(m_ends.masterFd, QSocketNotifier::Write, this);
    m_writeNotifier->setEnabled(false);
    connect(m_writeNotifier, &QSocketNotifier::activated, this, &PtyLink::flushPending);
    return true;
}

LineSettings PtyLink::lineSettings() const
{
    return ptyline::lineSettings(m_ends.masterFd);
}

void PtyLink::onReadable()
{
    QByteArray bytes;
    char chunk[4096];
    for (;;) {
        const ssize_t n = ::read(m_ends.masterFd, chunk, sizeof chunk);
        if (n > 0) {
            bytes.append(chunk, static_cast<int>(n));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN)
            break;
        // 0 or EIO: no one has the slave open any more. The notifier would
        // fire again at once, forever; rest it and look again later.
        pauseReadingAfterHangup();
        break;
    }
    if (!bytes.isEmpty())
        emit received(bytes);
}

void PtyLink::pauseReadingAfterHangup()
{
    m_readNotifier->setEnabled(false);
    QTimer::singleShot(kHangupRetryMs, this, [this] {
        if (m_readNotifier)
            m_readNotifier->setEnabled(true);
    });
}

void PtyLink::write(const QByteArray &bytes)
{
    if (m_ends.masterFd < 0)
        return;
    m_pending.append(bytes.left(kMaxPendingOutput - m_pending.size()));
    flushPending();
}

void PtyLink::flushPending()
{
    while (!m_pending.isEmpty()) {
        const ssize_t n = ::write(m_ends.masterFd, m_pending.constData(), m_pending.size());
        if (n > 0) {
            m_pending.remove(0, static_cast<int>(n));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN) {
            // The slave's input queue is full: the tool is not reading.
            m_writeNotifier->setEnabled(true);
            return;
        }
        m_pending.clear();
        break;
    }
    m_writeNotifier->setEnabled(false);
}

void PtyLink::drop()
{
    closeDescriptors();
}

void PtyLink::discardUnread()
{
    m_pending.clear();
    if (m_ends.slaveFd >= 0)
        ::tcflush(m_ends.slaveFd, TCIFLUSH);
}

qint64 PtyLink::bytesUnread() const
{
    int count = 0;
    if (m_ends.masterFd < 0 || ::ioctl(m_ends.masterFd, FIONREAD, &count) != 0)
        return 0;
    return count;
}

void PtyLink::closeDescriptors()
{
    delete m_readNotifier;
    m_readNotifier = nullptr;
    delete m_writeNotifier;
    m_writeNotifier = nullptr;
    m_pending.clear();
    ptyline::close(m_ends);
}

#endif // Q_OS_UNIX

SerialLink::SerialLink(QObject *parent) : SimLink(parent)
{
    connect(&m_port, &QSerialPort::readyRead, this, [this] { emit received(m_port.readAll()); });
    connect(&m_port, &QSerialPort::bytesWritten, this, &SerialLink::onBytesWritten);
    connect(&m_port, &QSerialPort::errorOccurred, this, &SerialLink::onError);
}

bool SerialLink::open(const QString &portName, int baudRate, QString *error)
{
    m_port.setPortName(portName);
    m_port.setBaudRate(baudRate);
    m_port.setDataBits(QSerialPort::Data8);
    m_port.setParity(QSerialPort::NoParity);
    m_port.setStopBits(QSerialPort::OneStop);
    m_port.setFlowControl(QSerialPort::NoFlowControl);
    if (m_port.open(QIODevice::ReadWrite))
        return true;
    *error = m_port.errorString();
    return false;
}

LineSettings SerialLink::lineSettings() const
{
    // A real port carries the terminal's own settings; a tool at another rate
    // gets garbage back, and the terminal reads garbage, by itself.
    LineSettings settings;
    settings.baudRate = m_port.baudRate();
    settings.dataBits = m_port.dataBits();
    settings.parity = m_port.parity() == QSerialPort::NoParity    ? 'N'
                      : m_port.parity() == QSerialPort::OddParity ? 'O'
                                                                  : 'E';
    settings.stopBits = m_port.stopBits() == QSerialPort::TwoStop ? 2 : 1;
    return settings;
}

void SerialLink::write(const QByteArray &bytes)
{
    if (!m_port.isOpen())
        return;
    m_lastWriteSize = bytes.size();
    m_port.write(bytes);
}

void SerialLink::setOwnBaudRate(int baudRate)
{
    // The answer that confirmed the new rate still has to leave at the old
    // one: switch only once the port's queue has drained.
    m_pendingBaudRate = baudRate;
    if (m_port.bytesToWrite() == 0)
        onBytesWritten();
}

void SerialLink::onBytesWritten()
{
    if (m_pendingBaudRate == 0 || m_port.bytesToWrite() > 0)
        return;
    const int rate = m_pendingBaudRate;
    m_pendingBaudRate = 0;
    const int onTheWireMs = m_lastWriteSize * kBitsPerByte * 1000 / qMax(1, m_port.baudRate());
    QTimer::singleShot(onTheWireMs + kUartSlackMs, this, [this, rate] {
        if (m_port.isOpen())
            m_port.setBaudRate(rate);
    });
}

void SerialLink::onError(QSerialPort::SerialPortError error)
{
    if (error == QSerialPort::NoError || error == QSerialPort::TimeoutError)
        return;
    const QString reason = m_port.errorString();
    if (error == QSerialPort::ResourceError)
        m_port.close();
    emit failed(reason);
}

void SerialLink::drop()
{
    m_port.close();
}
