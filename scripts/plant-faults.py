#!/usr/bin/env python3
"""Plants faults in the product code one at a time and runs the test suite
against each, to see which faults the suite catches.

Not part of CI. Run from the repository root on a configured build folder:

    python3 scripts/plant-faults.py [--build build] [--only NAME ...] [--out report.txt]
                                    [--target TARGET ...] [--tests REGEX] [--check]

--target builds only those targets (default: everything); --tests runs only
the CTest tests whose names match (default: every test). --check only looks
whether each fault's file holds its text exactly once, builds and runs
nothing, and fails if one does not (run it after moving or editing product
code). --texts plants,
instead of the list below, one typo in each of the product's Chinese texts
(an "X" after its first Chinese character), one text at a time.

Each fault is one exact text replacement in one source file (or a few, given
as lists, for a line moved). The file is put
back after every run, also when the run is interrupted. A fault counts as
caught when the build fails or any test fails.
"""

import argparse
import os
import re
import subprocess
import sys
import time

# (name, file, text as it stands, text with the fault)
FAULTS = [
    # Bytes on the line.
    ("crc-polynomial", "protocol/modbus.cpp", "0xA001", "0xA002"),
    ("crc-byte-order", "protocol/modbus.cpp", "frame[6] = quint8(crc);\n    frame[7] = quint8(crc >> 8);",
     "frame[6] = quint8(crc >> 8);\n    frame[7] = quint8(crc);"),
    ("station-read-own-address", "protocol/catalogue.cpp", "return readRegister(0, modbus::kRegStationAddress);",
     "return readRegister(session.devAddress, modbus::kRegStationAddress);"),
    ("relay2-register", "protocol/modbus.h", "kRegRelay2 = 0x010C", "kRegRelay2 = 0x0107"),
    ("baud-code-fallback", "protocol/modbus.cpp", "kFallbackCode = 4;", "kFallbackCode = 3;"),
    ("baud-codes-swapped", "protocol/modbus.cpp", "{1, 4800}, {2, 9600}", "{1, 9600}, {2, 4800}"),
    ("enable-at-flag", "protocol/catalogue.cpp", 'numbered("ENATCMD=", session.devAddress, ",1")',
     'numbered("ENATCMD=", session.devAddress, ",0")'),
    ("beat-key-alone-no-comma", "protocol/catalogue.cpp",
     "return QStringLiteral(\"BEAT=\") + write.value(WriteBit::mqttCode) + QLatin1Char(',');",
     "return QStringLiteral(\"BEAT=\") + write.value(WriteBit::mqttCode);"),
    ("line-end-missing", "protocol/commands_window.cpp", 'std::get<QString>(command) + QStringLiteral("\\r\\n")',
     'std::get<QString>(command) + QStringLiteral("\\r")'),
    # Send conditions.
    ("verify-sends-version", "protocol/catalogue.cpp", "{selector::readVersion, {SendWhen::notVerifyingOrSelected}},",
     "{selector::readVersion, {SendWhen::always}},"),
    ("key-write-ignores-interval", "protocol/catalogue.cpp",
     "{SendWhen::selectedOnly, WriteBit::mqttCode, WriteBit::upDataInterval}},",
     "{SendWhen::selectedOnly, WriteBit::mqttCode}},"),
    ("toggle-caption-not-turned", "protocol/commands_window.cpp", "toggle.button->setText(nextCaption);", "(void)nextCaption;"),
    ("closed-port-logs-send", "protocol/commands_window.cpp", "|| !serialPort.isOpen()) {", ") {"),
    # Timing of the tick.
    ("quiet-ticks-4", "session/timing.h", "kQuietTicks = 5;", "kQuietTicks = 4;"),
    ("complete-above-200", "session/timing.h", "kCompleteAboveBytes = 100;", "kCompleteAboveBytes = 200;"),
    ("step-timeout-19", "session/timing.h", "kStepTimeoutBeats = 20;", "kStepTimeoutBeats = 19;"),
    ("log-sync-every-100", "session/timing.h", "kTicksPerLogSync = 200;", "kTicksPerLogSync = 100;"),
    ("log-sync-abandons-reply", "session/tick_window.cpp", "if (logSyncDue && !selector::awaitsReadableReply(waitSelector))",
     "if (logSyncDue)"),
    ("echo-kept", "session/tick_window.cpp", "    if (!rxEcho.isEmpty()) {", "    if (false) {"),
    ("unterminated-never-taken", "session/tick_window.cpp", "rxQuietTicks == timing::kUnterminatedQuietTicks &&", "false &&"),
    ("connect-window-6", "session/timing.h", "kConnectWindowBeats = 5;", "kConnectWindowBeats = 6;"),
    ("at-enable-12", "session/timing.h", "kMaxAtEnableRequests = 11;", "kMaxAtEnableRequests = 12;"),
    ("connect-flag-from-address", "session/connection_window.cpp", "reply.hasFlag && reply.atEnabled", "reply.atEnabled || reply.address == 3"),
    ("auto-connect-no-verify", "session/connection_window.cpp",
     "session.setReadPendingAfterAutoConnect(session.connectState == AutoConnecting);",
     "session.setReadPendingAfterAutoConnect(false);"),
    ("batch-survives-disconnect", "session/batch_window.cpp", "    session.readStep = kReadStepIdle;\n    session.writeStep = 0;",
     "    session.readStep = session.readStep;"),
    # Verification.
    ("verify-ignores-answers", "session/batch_window.cpp", "(session.answeredMask & p.bit) != 0 &&", ""),
    ("verify-success-text", "session/batch_window.cpp", "批量写入成功\\r\\n", "批量写入成功"),
    ("verify-no-box", "session/batch_window.cpp", "QMessageBox::information(nullptr, QStringLiteral(\"写入失败\")",
     "if (false) QMessageBox::information(nullptr, QStringLiteral(\"写入失败\")"),
    ("port-check-off", "session/parameters.cpp", "if (!ok || !digitsOnly || port < 1 || port > kMaxPort)", "if (false)"),
    ("comma-check-off", "session/parameters.cpp", "value.contains(QLatin1Char(','))", "false"),
    ("failure-line-sn", "session/parameters.cpp", "\"SN写入失败\\r\\n\"", "\"SN写入失败\""),
    # Replies.
    ("index-reads-0", "protocol/atreplies.cpp", "answer.value = leadingNumber(textAfter(text, key));",
     "answer.value = leadingNumber(textAfter(text, key)).value_or(0);"),
    ("name-whole-text", "protocol/atreplies_window.cpp", "const std::optional<QString> name = replies::mqttName(text);",
     "const std::optional<QString> name = text;"),
    ("zero-cuts-text", "protocol/atreplies.cpp", "bytes.replace(QByteArray(1, '\\0'), QByteArray());",
     "bytes.truncate(bytes.indexOf('\\0') < 0 ? bytes.size() : bytes.indexOf('\\0'));"),
    ("station-0-taken", "protocol/modbus_window.cpp", "if (!modbus::isValidStationAddress(address))\n            break;", ""),
    ("closed-switch-open", "protocol/atreplies.cpp", "if (text.contains(QLatin1String(\"CLOSE\")))\n        return false;", ""),
    # SN binding.
    ("binding-refusal-off", "binding/binding_window.cpp", "    if (!found) {\n        appendLog(QStringLiteral(\"SN:\")",
     "    if (false) {\n        appendLog(QStringLiteral(\"SN:\")"),
    ("binding-keeps-old-lines", "binding/binding_window.cpp", "        snBindingLines.clear();\n", ""),
    ("binding-key-keeps-cr", "binding/snlookup.cpp", "    clean.remove(QLatin1Char('\\r'));\n", ""),
    ("binding-ticks-no-sn", "binding/binding_window.cpp", "    ui.checkBox_8->setChecked(true);\n", ""),
    ("binding-file-always-utf8", "binding/filetext.cpp", "text.toUtf8() == bytes ? text : fromCodePage(bytes)",
     "text"),
    ("binding-file-never-utf8", "binding/filetext.cpp", "text.toUtf8() == bytes ? text : fromCodePage(bytes)",
     "fromCodePage(bytes)"),
    # Window and settings.
    ("preselect-short-names", "session/portlist.cpp", "kMinRememberedNameLength = 4;", "kMinRememberedNameLength = 3;"),
    ("controls-read-enabled", "session/view_window.cpp", "ui.readButton->setEnabled(connected);", "ui.readButton->setEnabled(true);"),
    ("log-wish-kept", "session/view_window.cpp", "        session.setFlag(SessionState::logWanted, false);\n", ""),
    ("log-cap-4000", "app/log_window.cpp", "kMaxLogBlocks = 5000;", "kMaxLogBlocks = 4000;"),
    ("log-stamp-format", "app/log_window.cpp", "\"yyyy-MM-dd HH:mm:ss\"", "\"yyyy-MM-dd HH:mm\""),
    ("setting-key-name", "session/serial_window.cpp", "QStringLiteral(\"lastComName\")", "QStringLiteral(\"lastPort\")"),
    # Qt 5 only, the build the tool runs on.
    ("settings-not-utf8", "app/settingsfile.cpp", "    setIniCodec(\"UTF-8\");\n", ""),
    ("coupled-port-box", "app/actions_window.cpp", "    ui.checkBox_4->setChecked(on);\n", ""),
    # The record and the log file.
    ("log-file-shows-key", "app/log_window.cpp", "keepLogEntry(logStamp + records::withKeyMasked(message), logStampDay);",
     "keepLogEntry(logStamp + message, logStampDay);"),
    ("formula-runs", "records/recordfile.cpp", "    if (runsAsFormula(value))\n", "    if (false)\n"),
    ("record-lost-at-exit", "records/records_window.cpp", "        keepRecordApart();\n", "        ;\n"),
    ("log-cleared-before-save", "records/records_window.cpp", "    QByteArray bytes = logFileBuffer;\n",
     "    QByteArray bytes = logFileBuffer;\n    logFileBuffer.clear();\n"),
    ("empty-lock-waited-out", "records/recordfile.cpp", "        lock.removeStaleLockFile();\n", "        ;\n"),
    ("clean-up-by-date-only", "records/recordfile.cpp", "newest >= keepDays && ", ""),
    ("line-glued-on", "records/recordfile.cpp", "    else if (endsInBrokenLine(path, before))\n        whole.prepend(\"\\r\\n\");\n", ""),
    ("disk-full-system-words", "records/recordfile.cpp", "file.error() == QFileDevice::ResourceError || ", ""),
    ("day-file-uncapped", "records/recordfile.cpp", "    if (fileBytes >= maxFileBytes)\n        return QByteArray();\n", ""),
    # Lost resets.
    ("read-answers-kept", "session/SessionState.h", "        answeredMask = 0;\n", ""),
    ("read-start-tick-kept", "session/SessionState.h", "        readTick = 0;\n        readStep = kReadStepStart;",
     "        readStep = kReadStepStart;"),
    ("read-step-tick-kept", "session/batch_window.cpp", "        sendCommand(session.readStep);\n        session.readTick = 0;",
     "        sendCommand(session.readStep);"),
    ("write-step-tick-kept", "session/batch_window.cpp", "        sendCommand(session.writeStep);\n        session.writeTick = 0;",
     "        sendCommand(session.writeStep);"),
    ("offered-size-kept", "session/serial_window.cpp", "    rxBuffer.clear();\n    rxOfferedSize = 0;", "    rxBuffer.clear();"),
    ("unsolicited-mark-kept", "session/serial_window.cpp", "    rxOfferedSize = 0;\n    rxUnsolicitedFrom = 0;",
     "    rxOfferedSize = 0;"),
    ("echo-kept-on-discard", "session/serial_window.cpp", "    rxUnsolicitedFrom = 0;\n    rxEcho.clear();\n}",
     "    rxUnsolicitedFrom = 0;\n}"),
    ("log-sync-due-kept", "session/tick_window.cpp", "        logSyncDue = false;\n", ""),
    ("auto-rate-index-kept", "session/connection_window.cpp", "    session.autoBraudIndex = 0;\n", ""),
    ("connect-tick-kept", "session/connection_window.cpp", "        return;\n    session.connectTick = 0;",
     "        return;"),
    ("at-enable-count-kept", "session/connection_window.cpp", "        session.atEnableCount = 0;\n", ""),
    # A row of terminals: the values of the moment, nothing of the last terminal.
    ("write-reads-fields-late", "protocol/commands_window.cpp",
     "catalogue::command(selectorNumber, session, toggle.button && toggle.switchOn());",
     "catalogue::command(selectorNumber, [&] { SessionState late = session; "
     "late.snapshot.setValue(WriteBit::srvAddr, ui.textEdit_2->toPlainText()); return late; }(), "
     "toggle.button && toggle.switchOn());"),
    ("verify-reads-fields-late", "session/batch_window.cpp", "write.value(p.bit) == p.readBack(ui, session)",
     "p.toWrite(ui, session) == p.readBack(ui, session)"),
    ("read-back-by-boxes", "session/SessionState.h", "return writing() ? snapshot.mask : writeMask;",
     "return writeMask;"),
    ("empty-value-sent", "session/parameters.cpp", "if (value.isEmpty() && (bit & kNeverEmpty))", "if (false)"),
    ("non-latin1-sent", "session/parameters.cpp", "if (value.at(at).unicode() <= kLastLatin1)", "if (true)"),
    ("binding-empty-key-matches", "binding/snlookup.cpp", "if (found.name.isEmpty() || found.key.isEmpty())",
     "if (false)"),
    ("terminal-remembered", "session/connection_window.cpp", "    forgetTerminal();\n    return true;",
     "    return true;"),
    ("relay-caption-remembered", "session/view_window.cpp", "{ui.pushButton_3, \"text\"},", ""),
    ("repeated-sn-unasked", "records/records_window.cpp", "    if (times.isEmpty())\n        return true;", ""),
    ("record-unsent-values", "records/records_window.cpp", "if ((write.sentMask & p.bit) == 0)", "if ((write.mask & p.bit) == 0)"),
    ("reports-read-into-answer", "protocol/atreplies_window.cpp",
     "return replies::replyText(parts.answer.constData(), parts.answer.size());",
     "return replies::replyText(data, length);"),
    ("cut-key-taken", "protocol/atreplies_window.cpp", "if (!beat || beat->keyComing)", "if (!beat)"),
    ("zero-before-register-reply", "protocol/modbus.cpp", "    if (zeros == 0)\n        return std::nullopt;\n",
     "    return std::nullopt;\n"),
    # The window's own timer, boxes, the line's pace.
    ("timer-not-wired", "app/ZorvikTestTool.cpp",
     "    connect(&tickTimer, &QTimer::timeout, this, &ZorvikTestTool::_10msTimerCallback);\n", ""),
    ("timer-single-shot", "app/ZorvikTestTool.cpp", "    tickTimer.start();",
     "    tickTimer.setSingleShot(true);\n    tickTimer.start();"),
    ("timer-every-7ms", "session/timing.h", "kTickIntervalMs = 10;", "kTickIntervalMs = 7;"),
    ("discard-after-error-box", "session/serial_window.cpp",
     ["        discardReceived();\n        stopBatches();", "QMessageBox::NoButton);\n        return;"],
     ["        stopBatches();", "QMessageBox::NoButton);\n        discardReceived();\n        return;"]),
    ("long-answer-taken-unended", "session/tick_window.cpp",
     "    if (quiet < timing::kQuietTicks && selector::hasAtReplyRule(waitSelector) &&", "    if (false &&"),
    ("write-start-keeps-read", "app/actions_window.cpp", "        session.readStep = kReadStepIdle; // a batch read in progress stops here",
     "        ;"),
]


PRODUCT_DIRS = ["app", "session", "protocol", "binding", "records"]


def text_faults():
    """One typo per line of product code that holds a Chinese string literal."""
    faults = []
    for folder in PRODUCT_DIRS:
        for name in sorted(os.listdir(folder)):
            if not name.endswith(".cpp"):
                continue
            path = os.path.join(folder, name)
            source = open(path, encoding="utf-8").read()
            for number, line in enumerate(source.split("\n"), 1):
                literal = re.search(r'"[^"]*?[^\x00-\x7f]', line)
                if not literal or line.lstrip().startswith("//") or source.count(line) != 1:
                    continue
                cut = literal.end()
                faults.append(("%s:%d" % (path, number), path, line, line[:cut] + "X" + line[cut:]))
    return faults


def fault_texts(before, after):
    return list(zip(before, after)) if isinstance(before, list) else [(before, after)]


def check(faults):
    """Whether every fault can be planted: its file holds each text exactly once."""
    missing = 0
    for name, path, before, after in faults:
        source = open(path, encoding="utf-8").read() if os.path.isfile(path) else None
        counts = [source.count(text) if source is not None else 0
                  for text, _ in fault_texts(before, after)]
        verdict = "ok" if all(count == 1 for count in counts) else "NOT FOUND ONCE %s" % counts
        missing += verdict != "ok"
        print("%-28s %-34s %s" % (name, path, verdict))
    print("%d faults, %d cannot be planted" % (len(faults), missing))
    return 1 if missing else 0


def run(cmd, cwd, log):
    with open(log, "ab") as out:
        return subprocess.call(cmd, cwd=cwd, stdout=out, stderr=subprocess.STDOUT)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", default="build")
    parser.add_argument("--only", nargs="*")
    parser.add_argument("--out", default="plant-faults.txt")
    parser.add_argument("--jobs", default="2")
    parser.add_argument("--target", nargs="*")
    parser.add_argument("--tests")
    parser.add_argument("--texts", action="store_true")
    parser.add_argument("--check", action="store_true")
    args = parser.parse_args()
    if args.check:
        return check(text_faults() if args.texts else FAULTS)

    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    log = os.path.abspath(args.out + ".log")
    results = []
    for name, path, before, after in text_faults() if args.texts else FAULTS:
        if args.only and name not in args.only:
            continue
        source = open(path, encoding="utf-8").read()
        pairs = fault_texts(before, after)
        if any(source.count(text) != 1 for text, _ in pairs):
            results.append((name, "NOT PLANTED (text not found once)"))
            continue
        planted = source
        for text, replacement in pairs:
            planted = planted.replace(text, replacement)
        try:
            open(path, "w", encoding="utf-8").write(planted)
            start = time.time()
            build = ["cmake", "--build", args.build, "-j" + args.jobs]
            if args.target:
                build += ["--target"] + args.target
            if run(build, ".", log) != 0:
                verdict = "caught (build)"
            else:
                select = ["-R", args.tests] if args.tests else []
                code = subprocess.call(
                    ["ctest", "-j" + args.jobs, "--timeout", "300", "--stop-on-failure", "-Q"] + select,
                    cwd=args.build, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
                verdict = "caught" if code != 0 else "MISSED"
            results.append((name, "%s %.0fs" % (verdict, time.time() - start)))
        finally:
            open(path, "w", encoding="utf-8").write(source)
        print("%-28s %s" % results[-1], flush=True)
    run(["cmake", "--build", args.build, "-j" + args.jobs], ".", log)
    with open(args.out, "w") as out:
        for name, verdict in results:
            out.write("%-28s %s\n" % (name, verdict))


if __name__ == "__main__":
    sys.exit(main())
