#include "app/ZorvikTestTool.h"

#include "app/settingsfile.h"
#include "binding/filetext.h"
#include "binding/snlookup.h"

#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QtGlobal>
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
#include <QTextCodec>
#else
#include <QStringDecoder>
#endif

namespace {
// A binding file of a hundred thousand records is a few megabytes; anything
// far beyond that is not a binding file and would only stall the window.
constexpr qint64 kMaxBindingFileBytes = 64 * 1024 * 1024;

// The system's code page: GBK on a Chinese Windows, where a spreadsheet saves
// its plain "CSV" in it.
QString fromSystemCodePage(const QByteArray &bytes)
{
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    return QTextCodec::codecForLocale()->toUnicode(bytes);
#else
    // Qt 6 has no QTextCodec; this decoder reads the system's code page.
    return QStringDecoder(QStringDecoder::System)(bytes);
#endif
}
} // namespace

void ZorvikTestTool::onpushButton_5Clicked()
{
    snBindingFile = QFileDialog::getOpenFileName(nullptr, QStringLiteral("Open CSV File"),
                                                 snFileDir, QStringLiteral("CSV Files (*.*)"));
    SettingsFile settings(settingsPath);
    // Only a plain file is read. A device such as /dev/zero never ends (read
    // whole, it eats all memory) and a pipe does not even open until someone
    // writes to it: either would take the window down.
    const QFileInfo info(snBindingFile);
    QFile file(snBindingFile);
    if (!info.isFile() || info.size() > kMaxBindingFileBytes || !file.open(QIODevice::ReadOnly)) {
        // As the line says, binding is unavailable now: the lines of a file
        // opened before are dropped too, so no lookup answers from a file the
        // technician meant to replace.
        snBindingLines.clear();
        appendLog(snBindingFile + QStringLiteral("CSV文件打开失败 功能不可用"));
        return;
    }
    // The dialog opens in this folder next time, in this run and the next.
    snFileDir = snBindingFile.left(qMax(snBindingFile.lastIndexOf(QLatin1Char('/')), 0));
    settings.setValue(QStringLiteral("snFilePath"), snFileDir);
    settings.sync();

    // Opened without text-mode translation: line ends reach the lookup as they are.
    snBindingLines =
        snbinding::splitLines(snbinding::decodeFileText(file.readAll(), fromSystemCodePage));
}

void ZorvikTestTool::bindSNfileCheckClicked()
{
    if (!ui.checkBox_6->isChecked()) {
        session.setFlag(SessionState::snBinding, false);
        return;
    }
    // The boxes are set from code, so their own slots do not run: the bits
    // are set here.
    session.setFlag(SessionState::snBinding, true);
    session.setMask(WriteBit::mqttName | WriteBit::mqttCode | WriteBit::serialNumber, true);
    ui.checkBox_8->setChecked(true);
    ui.checkBox_14->setChecked(true);
    ui.checkBox_15->setChecked(true);
}

void ZorvikTestTool::snLineChanged()
{
    session.wSN = ui.SNlineEdit->text();
    if (!session.has(SessionState::snBinding))
        return;
    // A file of one line without a final line break counts as not loaded.
    if (snBindingLines.size() < 2) {
        appendLog(QStringLiteral("请打开mqtt三要素文件"));
        return;
    }
    const auto found = snbinding::lookup(snBindingLines, session.wSN);
    if (!found)
        return;
    appendLog(QStringLiteral("找到SN:") + session.wSN);
    appendLog(QStringLiteral("mqtt name:") + found->name);
    appendLog(QStringLiteral("mqtt code:") + found->key);
    // Plain text: a key such as "<b>x" must be written exactly as the file has it.
    ui.textEdit_4->setPlainText(found->key);
    ui.textEdit_5->setPlainText(found->name);
    session.wMqttName = found->name;
    session.wMqttCode = found->key;
}

// With SN binding on, the MQTT name and key written must be the current serial
// number's own. A serial number that is not in the file refuses the write, so
// that the credentials still shown from an earlier match never go into another
// terminal; fields that do not show the current match yet are filled from it,
// as typing the serial number would have done.
bool ZorvikTestTool::bindingCredentialsAcceptable()
{
    if (!session.has(SessionState::snBinding) ||
        !session.masked(WriteBit::mqttName | WriteBit::mqttCode))
        return true;
    const auto found =
        snBindingLines.size() < 2 ? std::nullopt : snbinding::lookup(snBindingLines, session.wSN);
    if (!found) {
        appendLog(QStringLiteral("SN:") + session.wSN +
                  QStringLiteral(" 在SN绑定文件中没有对应的MQTT登录名和密钥,不能写入"));
        return false;
    }
    if (ui.textEdit_5->toPlainText() != found->name || ui.textEdit_4->toPlainText() != found->key)
        snLineChanged();
    return true;
}
