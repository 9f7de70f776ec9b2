#include "serial/byte_io.h"

#include <algorithm>
#include <bit>
#include <chrono>

namespace wexal {

namespace {

constexpr int kMaxQueuedBytes = 258;
// Bytes written between two looks at the NC's XON/XOFF during a send.
constexpr int kLookEvery = 10;
// Longest sleep between two looks at the abort keys in a wait for room.
constexpr std::chrono::microseconds kLongestSlice{10000};
// Where the port cannot see all of its queue, a run goes out when the line
// holds at most this much (and less than a byte) beyond the ten bytes: early
// enough that a wake-up a little late leaves the line busy.
constexpr std::chrono::nanoseconds kLineLead{200000};
// How often a send asks the driver for its queue and the modem lines and
// lets the window take its events: at 19200 baud every twentieth byte.
constexpr std::chrono::milliseconds kLookInterval{10};

bool PortReady(const SerialLink& link) { return link.port && link.port->IsOpen(); }

// The device is gone or refused a byte: the transfer ends, and the operator
// learns why once, however many calls still come before the engine stops.
void RecordFault(SerialLink& link, IoStatus status) {
    link.abortRequested = true;
    if (!link.lineFault.empty()) return;
    link.lineLost = status == IoStatus::LineLost;
    link.lineFault = link.lineLost                    ? kLineLostMessage
                     : status == IoStatus::TimedOut ? LineStalledMessage(link.port->LastWriteWaitMs())
                                                    : kWriteFailedMessage;
    // A network port also names its port and server: the cable is not the only suspect.
    if (const std::string detail = link.lineLost ? link.port->LostLineDetail() : std::string();
        !detail.empty()) {
        link.lineFault += "\n" + link.env.settings->Port + ": " + detail;
    }
    link.env.messages->Tell(link.lineFault, DefaultCaption(MessageIcon::Error),
                            MessageIcon::Error);
}

std::uint8_t ReadCharWithin(SerialLink& link, std::optional<int> waitMs) {
    if (!PortReady(link) || !link.lineFault.empty()) return 0;
    if (!link.heldInput.empty()) {
        const auto byte = static_cast<std::uint8_t>(link.heldInput.front());
        link.heldInput.erase(0, 1);
        ++link.bytesRead;
        link.lastWireByte = byte;
        return TakeReceivedByte(link, byte);
    }
    const ReadResult read = link.port->ReadByteWithin(waitMs);
    if (read.status == IoStatus::LineLost) {
        RecordFault(link, read.status);
        return 0;
    }
    if (read.status != IoStatus::Ok) return 0;
    ++link.bytesRead;
    link.lastWireByte = read.byte;
    return TakeReceivedByte(link, read.byte);
}

std::chrono::nanoseconds ExactByteTime(const LineSettings& line) {
    const double seconds = BitsPerFrame(line) / (line.baud > 0 ? line.baud : 1200);
    return std::chrono::nanoseconds(static_cast<long long>(seconds * 1e9));
}

// How long the line still needs for the bytes written so far, at its rate.
std::chrono::nanoseconds LineAhead(SerialLink& link) {
    return std::max(link.lineFreeAt - link.env.host->Now(), std::chrono::nanoseconds{0});
}

// Bytes written that the line cannot have carried yet.
int LineBacklog(SerialLink& link, std::chrono::nanoseconds ahead) {
    const std::chrono::nanoseconds byte = ExactByteTime(link.lineSettings);
    return static_cast<int>((ahead.count() + byte.count() - 1) / byte.count());
}

void NoteWritten(SerialLink& link, int count) {
    link.lineFreeAt = std::max(link.lineFreeAt, link.env.host->Now()) +
                      count * ExactByteTime(link.lineSettings);
}

enum class Gate { Go, Abort, Fault };

// Every tenth byte of a send: take what the NC said and wait while it holds
// the line with XOFF. While data may flow the input is only looked at, so
// the line keeps its rate; the read time-out is waited only under XOFF.
Gate PollFlowControl(SerialLink& link) {
    TransferHost& host = *link.env.host;
    const std::optional<int> holdWait = OneByteReadWait(link.timeouts);
    while (true) {
        if (host.AbortKeyDown()) return Gate::Abort;
        ReadCharWithin(link, link.canSend ? std::optional<int>(0) : holdWait);
        if (!link.lineFault.empty()) return Gate::Fault;
        host.ProcessPendingEvents();
        if (host.AbortKeyPressed()) return Gate::Abort;
        if (link.canSend) return Gate::Go;
    }
}

Gate CheckAbortKeys(SerialLink& link) {
    TransferHost& host = *link.env.host;
    if (host.AbortKeyDown()) return Gate::Abort;
    host.ProcessPendingEvents();
    if (host.AbortKeyPressed()) return Gate::Abort;
    return Gate::Go;
}

// The looks that cost system calls or a repaint (the driver's queue, the
// modem lines, the window's events) come at most this often during a send.
bool LookDue(SerialLink& link) {
    const std::chrono::nanoseconds now = link.env.host->Now();
    if (now < link.nextLookAt) return false;
    link.nextLookAt = now + kLookInterval;
    return true;
}

// Keeps the driver's queue short, so an XOFF stops the output within a
// fraction of a second. The queue is what the driver reports or what the line
// cannot have carried yet at its rate, whichever is more: a pseudo-terminal
// passes bytes on at once and would otherwise be written to at the CPU's
// speed. Where the port cannot see all of its queue, a run goes out only when
// the line holds no more than lineBytes with it (the run alone when it
// follows a look at XON/XOFF), so the NC's XOFF finds at most ten on the
// way. Sleeps to the time the run is due, at most about 10 ms between looks
// at the abort keys, instead of spinning.
Gate WaitForQueueRoom(SerialLink& link, int count, bool askPort, int lineBytes) {
    TransferHost& host = *link.env.host;
    const std::chrono::nanoseconds byte = ExactByteTime(link.lineSettings);
    const std::chrono::nanoseconds lineRoom =
        lineBytes * byte + std::min(kLineLead, byte - std::chrono::nanoseconds(1));
    const bool wholeQueue = link.port->ReportsWholeQueue();
    int reported = -1;
    while (true) {
        if (askPort) {
            const QueueStatus queue = link.port->GetQueueStatus();
            if (queue.status == IoStatus::LineLost) {
                RecordFault(link, queue.status);
                return Gate::Fault;
            }
            host.ProcessPendingEvents();
            // A driver that cannot say how full it is does not hold the writer.
            reported = queue.status == IoStatus::Ok ? queue.outputQueued : -1;
        }
        const std::chrono::nanoseconds ahead = LineAhead(link);
        const int queued = std::max(reported, LineBacklog(link, ahead));
        const int overQueue = queued + count - kMaxQueuedBytes;
        const std::chrono::nanoseconds overLine =
            wholeQueue ? std::chrono::nanoseconds{0} : ahead + count * byte - lineRoom;
        if (overQueue <= 0 && overLine.count() <= 0) {
            if (askPort) link.queueRoom = reported >= 0 ? kMaxQueuedBytes - queued : count;
            return Gate::Go;
        }
        if (host.AbortKeyPressed()) return Gate::Abort;
        // A program ending on a signal does not wait for a peer that takes
        // nothing, not even for the DC4 of its abort path. The line's own
        // pace is no such peer: it has carried the bytes within a moment.
        const bool driverFull = reported + count > kMaxQueuedBytes;
        if (driverFull && link.env.messages && link.env.messages->Interrupted()) return Gate::Abort;
        std::chrono::nanoseconds wait = overLine;
        if (overQueue > 0) wait = std::max(wait, overQueue * byte);
        host.Sleep(std::clamp(std::chrono::ceil<std::chrono::microseconds>(wait),
                              std::chrono::microseconds(1), kLongestSlice));
        // What the driver itself holds is asked again when it held the writer;
        // the line's own pace needs no asking.
        askPort = (driverFull || LookDue(link));
    }
}

// The lamps, the carrier rule of a send and the DSR rule (op6).
void ApplyModemLines(SerialLink& link) {
    const Settings& settings = *link.env.settings;
    TransferHost& host = *link.env.host;
    if (const std::optional<ModemStatus> modem = link.port->GetModemStatus()) {
        link.modemStatus = modem;
        if (!modem->rlsd && settings.Signal == "Y" && link.mode == TransferMode::Send) {
            link.abortRequested = true;
        }
    }
    // Without any status yet (a pseudo-terminal) the lamps stay as they are
    // and nothing counts as DSR off.
    if (link.modemStatus) {
        host.SetDsrLamp(link.modemStatus->dsr);
        if (!link.modemStatus->dsr && settings.op6 == "Y") link.abortRequested = true;
        host.SetCtsLamp(link.modemStatus->cts);
    }
}

void AbortExit(SerialLink& link) {
    ReleaseAbortKeys(link);
    link.abortRequested = true;
}

}  // namespace

int SpeedTextDataBits(const std::string& speed) {
    const std::size_t comma = speed.find(',');
    if (comma == std::string::npos || comma + 1 >= speed.size()) return 8;
    const char digit = speed[comma + 1];
    return digit >= '0' && digit <= '9' ? digit - '0' : 8;
}

std::optional<std::uint8_t> WireByteFor(std::uint8_t c, int dataBits, bool autoSelectActive,
                                        TapeCode code) {
    // With 7 data bits the UART adds the parity; the switching box reads plain characters.
    if (dataBits != 8 || autoSelectActive) return c;
    return EncodeForWire(code, c);
}

bool OutputQueueHasRoom(int queued) { return queued + 1 <= kMaxQueuedBytes; }

std::uint8_t TakeReceivedByte(SerialLink& link, std::uint8_t byte) {
    link.parityError = false;
    switch (byte) {
        case kDc1:
            link.canSend = true;
            return kDc1;
        case kDc3:
            // In EIA 0x13 is the digit "3"; in ASCII, with both flags set, it is DC3.
            if (TapeCodeFromFlags(link.isoCode, link.eiaCode) == TapeCode::Eia) break;
            link.canSend = false;
            return kDc3;
        case kDc3WithParity:
            link.canSend = false;
            return kDc3;
        case 0x00:
        case kDc2:
        case kDc4:
            return byte;
        default:
            break;
    }
    TapeCode code = TapeCodeFromFlags(link.isoCode, link.eiaCode);
    if (code == TapeCode::Unknown) {
        if (const std::optional<TapeCode> detected = DetectTapeCode(byte)) {
            code = *detected;
            link.isoCode = IsoFlag(code);
            link.eiaCode = EiaFlag(code);
        }
    }
    // ISO tape has even parity, EIA odd, in the eighth bit; ASCII carries
    // none of its own, and seven data bits leave no bit to look at. Only a
    // receive set to ISO or EIA looks: a code told by its first byte may be
    // plain ASCII all the same.
    const int setCode = link.env.settings ? link.env.settings->R_Code : 0;
    if (link.mode == TransferMode::Receive && (setCode == 1 || setCode == 2) &&
        link.lineSettings.dataBits == 8 && (code == TapeCode::Iso || code == TapeCode::Eia)) {
        link.parityError = std::popcount(byte) % 2 == (code == TapeCode::Iso ? 1 : 0);
    }
    return DecodeFromWire(code, byte);
}

namespace {

// The steps of one write: the abort keys, the driver's queue and the line's
// pace, every tenth byte of a send the NC's XON/XOFF, the modem lines, then
// the bytes. A run never reaches past the next look at XON/XOFF.
void WriteRun(SerialLink& link, const std::uint8_t* bytes, int count) {
    // Nothing to write to: a port that never opened, or one that went away.
    if (!PortReady(link) || !link.lineFault.empty()) {
        link.abortRequested = true;
        return;
    }

    // A send looks at the NC's XON/XOFF before every tenth byte, and only
    // once the line has carried what went before: an XOFF that comes during
    // the wait is seen, and one that comes later finds at most these ten
    // bytes on their way.
    const bool send = link.mode == TransferMode::Send;
    const bool flowLook = send && link.bytesSinceCheck > kLookEvery - 1;
    Gate gate = flowLook ? Gate::Go : CheckAbortKeys(link);
    // The driver's queue and the modem lines are looked at with every byte
    // of a receive and every 10 ms of a send; the queue also whenever the
    // room seen at its last look is used up.
    const bool look = !send || LookDue(link);
    if (gate == Gate::Go) {
        gate = WaitForQueueRoom(link, count, look || link.queueRoom < count,
                                flowLook ? count : kLookEvery);
    }
    if (gate == Gate::Go && flowLook) {
        gate = PollFlowControl(link);
        if (gate == Gate::Go) link.bytesSinceCheck = 0;
    }
    if (gate == Gate::Abort) AbortExit(link);
    if (gate != Gate::Go) return;

    if (look) ApplyModemLines(link);

    const IoStatus written = count == 1 ? link.port->WriteByte(bytes[0])
                                        : link.port->WriteBytes(bytes, static_cast<std::size_t>(count));
    NoteWritten(link, count);
    if (written != IoStatus::Ok) {
        RecordFault(link, written);
        return;
    }
    link.bytesSinceCheck += count;
    link.queueRoom -= count;
}

}  // namespace

void SendChar(SerialLink& link, std::uint8_t c) {
    const Settings& settings = *link.env.settings;

    if (settings.Send_SP_Cut == "Y" && c == ' ') return;
    const std::optional<std::uint8_t> wire =
        WireByteFor(c, SpeedTextDataBits(settings.Speed), link.autoSelectActive,
                    TapeCodeFromFlags(link.isoCode, link.eiaCode));
    if (!wire) return;
    WriteRun(link, &*wire, 1);
}

void SendChars(SerialLink& link, std::string_view chars, const std::function<bool()>& stop) {
    if (link.mode != TransferMode::Send) {
        for (const char c : chars) {
            SendChar(link, static_cast<std::uint8_t>(c));
            if (link.abortRequested || (stop && stop())) return;
        }
        return;
    }
    const Settings& settings = *link.env.settings;
    const bool cutSpaces = settings.Send_SP_Cut == "Y";
    const int dataBits = SpeedTextDataBits(settings.Speed);
    std::uint8_t run[kLookEvery];
    std::size_t next = 0;
    while (true) {
        // The bytes due before the next look at XON/XOFF, filtered and
        // translated as SendChar does one at a time.
        const int due =
            link.bytesSinceCheck > kLookEvery - 1 ? kLookEvery : kLookEvery - link.bytesSinceCheck;
        int count = 0;
        while (next < chars.size() && count < due) {
            const auto c = static_cast<std::uint8_t>(chars[next++]);
            if (cutSpaces && c == ' ') continue;
            const std::optional<std::uint8_t> wire =
                WireByteFor(c, dataBits, link.autoSelectActive,
                            TapeCodeFromFlags(link.isoCode, link.eiaCode));
            if (wire) run[count++] = *wire;
        }
        if (count == 0) return;
        WriteRun(link, run, count);
        if (link.abortRequested || (stop && stop())) return;
    }
}

std::uint8_t ReadChar(SerialLink& link) {
    return ReadCharWithin(link, OneByteReadWait(link.timeouts));
}

void ReleaseAbortKeys(SerialLink& link) { link.env.host->ReleaseAbortKeys(); }

}  // namespace wexal
