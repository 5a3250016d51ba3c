#include "SimFixture.h"

#include "TestSettings.h"

#include <QAbstractButton>
#include <QRegularExpression>
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

void SimFixture::click(QAbstractButton *button)
{
    QTest::mouseClick(button, Qt::LeftButton);
}

bool SimFixture::connectManually(int timeoutMs)
{
    choosePort();
    click(ui().connectButton);
    return QTest::qWaitFor([this] { return session().connectState == Connected; }, timeoutMs);
}

bool SimFixture::connectAutomatically(int timeoutMs)
{
    choosePort();
    click(ui().autoConnectButton);
    return QTest::qWaitFor([this] { return session().connectState == Connected; }, timeoutMs);
}

bool SimFixture::waitIdle(int timeoutMs)
{
    return QTest::qWaitFor(
        [this] {
            const SessionState &s = session();
            const bool writing = s.writeStep >= kWriteStepStart && s.writeStep < kWriteStepDone;
            return probe->waitSelector() == 0 && s.readStep >= kReadStepIdle && !writing &&
                   !s.has(SessionState::verifying);
        },
        timeoutMs);
}

QStringList SimFixture::logMessages() const
{
    static const QRegularExpression stamp(
        QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\t"));
    QStringList messages;
    bool inEntry = false;
    const QStringList lines = probe->logText().split(QLatin1Char('\n'));
    for (const QString &line : lines) {
        const QRegularExpressionMatch match = stamp.match(line);
        if (match.hasMatch()) {
            messages << line.mid(match.capturedLength());
            inEntry = true;
        } else if (inEntry) {
            messages.last() += QStringLiteral("\r\n") + line;
        }
    }
    return messages;
}

bool SimFixture::waitForLog(const QString &message, int timeoutMs) const
{
    return QTest::qWaitFor([&] { return logContains(message); }, timeoutMs);
}

void SimFixture::recordSteps()
{
    sentSteps.clear();
    QObject::disconnect(stepRecording);
    stepRecording =
        QObject::connect(&sim, &TerminalSimulator::requestReceived, &sim,
                         [this](const TerminalSimulator::Request &request) {
                             sentSteps.append({probe->waitSelector(), request.text, request.raw});
                         });
}
