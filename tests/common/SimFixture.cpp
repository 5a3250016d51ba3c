#include "SimFixture.h"

#include "TestSettings.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QStyle>
#include <QStyleOptionButton>
#include <QThread>
#include <QtTest>

SimFixture::SimFixture()
{
    isolateSettings();
    if (!sim.openPty())
        qFatal("cannot create the simulator's pseudo-terminal: %s", qPrintable(sim.errorString()));
    window = std::make_unique<ZorvikTestTool>();
    probe = std::make_unique<WindowProbe>(*window);
    // Where the provisioning record lives is said once after the first
    // verdict; the records test looks at that line, the others at the verdict.
    probe->recordPathShown() = true;
    boxes.logNow = [this] { return logMessages(); };
    probe->tickTimer().stop();
    QObject::connect(&probe->serialPort(), &QSerialPort::bytesWritten, &sim,
                     [this](qint64 bytes) { m_windowWritten += bytes; });
}

// The window goes first: closing its port while the simulator still holds the
// line keeps the close quiet.
SimFixture::~SimFixture()
{
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
    for (int i = 0; i < count; ++i) {
        settleLine();
        probe->tick();
        ++ticks;
    }
    settleLine();
}

bool SimFixture::runUntil(const std::function<bool()> &done, int timeoutMs)
{
    for (int tick = 0; tick < timeoutMs / 10; ++tick) {
        settleLine();
        if (done())
            return true;
        probe->tick();
        ++ticks;
    }
    settleLine();
    return done();
}

// The pseudo-terminal hands bytes over in the kernel, a little after they
// were written: waits while bytes are under way in either direction. The
// port tells what it has written only in the event round after the write,
// so the line counts as quiet after two quiet rounds in a row. Bytes that
// never arrive (the port closed, the line dropped) are written off after a
// short while.
void SimFixture::settleLine()
{
    constexpr qint64 kGiveUpNs = 50 * 1000 * 1000;
    QElapsedTimer waited;
    waited.start();
    for (int quietRounds = 0;;) {
        const int before = probe->rxBuffer().size();
        QCoreApplication::processEvents();
        m_windowRead += qMax(0, probe->rxBuffer().size() - before);
        const bool toTerminal =
            probe->serialPort().bytesToWrite() > 0 || sim.bytesReceived() < m_windowWritten;
        const bool toWindow = m_windowRead < sim.bytesSent();
        if (!toTerminal && !toWindow) {
            if (++quietRounds == 2)
                return;
            continue;
        }
        quietRounds = 0;
        if (waited.nsecsElapsed() > kGiveUpNs) {
            m_windowWritten = sim.bytesReceived();
            m_windowRead = sim.bytesSent();
            return;
        }
        QThread::usleep(20);
    }
}

bool SimFixture::connectManually(int timeoutMs)
{
    choosePort();
    click(ui().connectButton);
    return runUntil([this] { return session().connectState == Connected; }, timeoutMs);
}

bool SimFixture::connectAutomatically(int timeoutMs)
{
    choosePort();
    click(ui().autoConnectButton);
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
