#pragma once

#include <QtGlobal>

// The timing of the line to the terminal, in one place: the tick, the beats,
// when a reply counts as complete, how long a step and a connect attempt
// wait, and the bounds of the receive path. Time is counted in ticks of the
// window's timer and in beats of ten ticks, never read from a clock, so every
// wait below is a count that the tests step through tick by tick.
//
// Inline: code written before this header names some of these constants
// without "timing::"; new code writes it.
inline namespace timing {

// The window's timer fires every 10 ms for the life of the window; each tick
// looks at what has come in and, when a beat falls due, moves the sequences on.
constexpr int kTickIntervalMs = 10;

// The 100 ms beat: the sequences and the connect attempts move on at most
// once per beat, so the tick in between stays cheap, and a reply just read
// lets the next command out within 100 ms.
constexpr quint16 kTicksPerBeat = 10;

// The 2 s beat on which the terminal's own log is brought in line with
// "打开日志": often enough to follow a click, seldom enough not to crowd the line.
constexpr quint16 kTicksPerLogSync = 200;

// A reply counts as complete once the line has been silent for this many
// ticks (50 to 60 ms): the terminal sends an answer in one go, so a pause this
// long means it has finished...
constexpr quint16 kQuietTicks = 5;

// ...or as soon as more than this many new bytes have come: a terminal that
// streams its own log never falls silent, and its answers must still be read.
// A long answer that visibly is still coming in waits for its end (or for
// silence). A write's "OK" or "ERROR" needs no wait at all: it is taken on the
// tick its line end arrives, since nothing of the answer follows it.
constexpr int kCompleteAboveBytes = 100;

// The terminal's own output that stops without a line end is read as it stands
// once the line has been quiet for this many ticks (0.5 s); before that, the
// rest of the report may still be on its way.
constexpr quint16 kUnterminatedQuietTicks = 50;

// A step of the batch read or write gives its reply up on the 21st beat after
// the send (about 2.1 s) and the sequence goes on without it (no retry): a
// command the terminal ignores holds the sequence up for that long only.
constexpr quint16 kStepTimeoutBeats = 20;

// A connect attempt holds one baud rate for this many beats, with a query on
// the second and the fourth: two chances for a terminal at that rate.
constexpr quint16 kConnectWindowBeats = 5;

// Requests to enable AT commands per connection before the connection is
// given up: a terminal that keeps refusing is let go rather than asked
// forever, after a wait of at most a step's time-out per request.
constexpr quint16 kMaxAtEnableRequests = 11;

// How long the last command (the disable request of a disconnect) may take
// to leave before the port is closed under it.
constexpr int kFlushTimeoutMs = 200;

// Bytes kept in the receive buffer at most. A reply of the terminal is far
// shorter; only unsolicited output (a log left on, a babbling line) ever gets
// near this, and then the oldest bytes go first.
constexpr int kMaxRxBufferBytes = 4096;

} // namespace timing
