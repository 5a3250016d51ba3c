#include "SimFixture.h"

#include "TestSettings.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QProgressBar>
#include <QStyle>
#include <QStyleOptionButton>
#include <QThread>
#include <QtTest>

SimFixture::SimFixture()
{
    isolateSettings();
    sim.useSteppedClock();
    if (!sim.openPty())
        qFatal("cannot create the simulator's pseudo-terminal: %s", qPrintable(sim.errorString()));
    window = std::make_unique<ZorvikTestTool>();
    probe = std::make_unique<WindowProbe>(*window);
    // Where the provisioning record lives is said once after the first
    // verdict; the records test looks at that line, the others at the verdict.
    probe->recordPathShown() = true;
    boxes.logNow = [this] { return logMessages(); };
    boxes.whileOpen = [this] { whileBoxOpen(); };
    probe->tickTimer().stop();

    QSerialPort &port = probe->serialPort();
    QObject::connect(&port, &QSerialPort::bytesWritten, &sim, [this](qint64 bytes) {
        if (onSimLine())
            m_windowWritten += bytes;
    });
    // Each arrival is counted before the window's own slot takes it out of
    // the port. A window that never wired its slot stays that way.
    const bool wired = QObject::disconnect(&port, &QSerialPort::readyRead, window.get(), nullptr);
    QObject::connect(&port, &QSerialPort::readyRead, &sim, [this] {
        m_windowRead += probe->serialPort().bytesAvailable();
        lastArrival = ticks;
    });
    if (wired)
        probe->connectReadyRead();
}

// The window goes first: closing its port while the simulator still holds the
// line keeps the close quiet. A box it opens on the way out has no ticks behind it.
SimFixture::~SimFixture()
{
    boxes.whileOpen = nullptr;
    probe.reset();
    window.reset();
}

void SimFixture::choosePort()
{
    choosePort(sim.slavePath());
}

void SimFixture::choosePort(const QString &portName)
{
    QComboBox *combo = ui().SerialComNum;
    int index = combo->findText(portName);
    if (index < 0) {
        combo->addItem(portName);
        index = combo->count() - 1;
    }
    combo->setCurrentIndex(index);
}

// A test's window is never shown and its widgets keep their unlaid-out size:
// the middle of a check box may lie beyond its text, so it is clicked on its box.
void SimFixture::click(QAbstractButton *button)
{
    QStyleOptionButton option;
    option.initFrom(button);
    const QRect box =
        button->style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, button);
    QTest::mouseClick(button, Qt::LeftButton, {},
                      qobject_cast<QCheckBox *>(button) ? box.center() : QPoint());
}

void SimFixture::runTicks(int count)
{
    for (int i = 0; i < count; ++i)
        tick();
    settleLine();
}

bool SimFixture::runUntil(const std::function<bool()> &done, int timeoutMs)
{
    for (int tick = 0; tick < timeoutMs / kTickMs; ++tick) {
        settleLine();
        if (done())
            return true;
        this->tick();
    }
    settleLine();
    return done();
}

bool SimFixture::drainLine(int timeoutMs)
{
    return runUntil([this] { return !sim.lineBusy(); }, timeoutMs);
}

void SimFixture::carryLine()
{
    settleLine(); // what the window wrote has reached the simulator's end
    sim.advanceClock(kTickMs);
    settleLine(); // what the line carried has reached the window's port
}

void SimFixture::tick()
{
    carryLine();
    m_inTick = true;
    probe->tick();
    m_inTick = false;
    ++ticks;
}

// Qt never lets a timer's slot run inside itself: behind a box that the tick
// opened, no tick runs until it is answered, though the port keeps reading
// what arrives. Behind any other box the timer ticks on.
void SimFixture::whileBoxOpen()
{
    for (int i = 0; i < kTicksBehindABox; ++i)
        m_inTick ? carryLine() : tick();
    settleLine();
}

bool SimFixture::onSimLine() const
{
    const QSerialPort &port = probe->serialPort();
    return port.isOpen() && sim.isOpen() && sim.slavePath().endsWith('/' + port.portName());
}

// Bytes under way between the window and the simulator. What the terminal
// sends where the window does not listen is lost, as on a real line.
qint64 SimFixture::bytesInFlight()
{
    QSerialPort &port = probe->serialPort();
    // The last command before the port closes goes with the port's signals
    // blocked: the kernel's queue tells of it until the simulator has it.
    if (!sim.isOpen() || sim.bytesFromLink() > m_windowWritten)
        m_windowWritten = sim.bytesFromLink();
    const qint64 toTerminal = m_windowWritten - sim.bytesFromLink() + sim.bytesWaitingOnLink();
    if (!onSimLine()) {
        sim.discardUnheard();
        m_windowRead = sim.bytesSent();
        return toTerminal;
    }
    return port.bytesToWrite() + toTerminal + (sim.bytesSent() - m_windowRead);
}

// The port tells what it has written only in the event round after the
// write, so the line counts as quiet after two quiet rounds in a row. Bytes
// that do not arrive within seconds are lost: that fails the test.
void SimFixture::settleLine()
{
    constexpr qint64 kLostAfterMs = 5000;
    QElapsedTimer waited;
    waited.start();
    for (int quietRounds = 0;;) {
        QCoreApplication::processEvents();
        const qint64 inFlight = bytesInFlight();
        if (inFlight == 0) {
            if (++quietRounds == 2)
                return;
            continue;
        }
        quietRounds = 0;
        if (waited.elapsed() > kLostAfterMs) {
            QTest::qFail((QByteArray::number(inFlight) + " bytes lost on the line").constData(),
                         __FILE__, __LINE__);
            m_windowWritten = sim.bytesFromLink();
            m_windowRead = sim.bytesSent();
            return;
        }
        QThread::usleep(20);
    }
}

bool SimFixture::connectBy(QAbstractButton *button, int timeoutMs)
{
    choosePort();
    click(button);
    return runUntil([this] { return session().connectState == Connected; }, timeoutMs);
}

bool SimFixture::waitIdle(int timeoutMs)
{
    return runUntil(
        [this] {
            const SessionState &s = session();
            const bool writing = s.writeStep >= kWriteStepStart && s.writeStep < kWriteStepDone;
            return probe->waitSelector() == 0 && s.readStep >= kReadStepIdle && !writing &&
                   !s.has(SessionState::verifying);
        },
        timeoutMs);
}

bool SimFixture::waitForLog(const QString &message, int timeoutMs)
{
    return runUntil([&] { return logContains(message); }, timeoutMs);
}

QString SimFixture::progress() const
{
    const auto *bar = window->findChild<QProgressBar *>(QStringLiteral("progressBar"));
    return bar->isHidden() ? QString()
                           : QStringLiteral("%1/%2").arg(bar->value()).arg(bar->maximum());
}

QStringList SimFixture::recordLines() const
{
    const QByteArray bytes = readFile(probe->recordPath());
    if (!bytes.startsWith("\xEF\xBB\xBF"))
        return {};
    return QString::fromUtf8(bytes.mid(3)).split(QStringLiteral("\r\n"));
}

void SimFixture::pullAdapterOn(const QString &request)
{
    QObject::connect(&sim, &TerminalSimulator::requestReceived, &sim,
                     [this, request](const TerminalSimulator::Request &received) {
                         if (received.text == request)
                             sim.dropLine();
                     });
}

void SimFixture::recordSteps()
{
    sentSteps.clear();
    QObject::disconnect(stepRecording);
    stepRecording = QObject::connect(&sim, &TerminalSimulator::requestReceived, &sim,
                                     [this](const TerminalSimulator::Request &request) {
                                         sentSteps.append({probe->waitSelector(), request.text});
                                     });
}

QStringList SimFixture::steps() const
{
    QStringList list;
    for (const SentStep &step : sentSteps)
        list << QString::number(step.selector) + QLatin1Char(' ') + step.text;
    return list;
}
