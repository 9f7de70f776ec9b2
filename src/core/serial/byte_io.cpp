#include "serial/byte_io.h"

#include <bit>
#include <chrono>
#include <cmath>

namespace wexal {

namespace {

constexpr int kMaxQueuedBytes = 258;

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

std::chrono::microseconds ByteTime(const LineSettings& line) {
    const double seconds = BitsPerFrame(line) / (line.baud > 0 ? line.baud : 1200);
    return std::chrono::microseconds(static_cast<long long>(std::ceil(seconds * 1e6)));
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

// Keeps the driver's queue short, so an XOFF stops the output within a
// fraction of a second. Sleeps a byte time between looks instead of spinning.
Gate WaitForQueueRoom(SerialLink& link) {
    TransferHost& host = *link.env.host;
    while (true) {
        const QueueStatus queue = link.port->GetQueueStatus();
        if (queue.status == IoStatus::LineLost) {
            RecordFault(link, queue.status);
            return Gate::Fault;
        }
        host.ProcessPendingEvents();
        // A driver that cannot say how full it is does not hold the writer.
        if (queue.status != IoStatus::Ok) {
            link.queueRoom = 1;
            return Gate::Go;
        }
        if (OutputQueueHasRoom(queue.outputQueued)) {
            link.queueRoom = kMaxQueuedBytes - queue.outputQueued;
            return Gate::Go;
        }
        if (host.AbortKeyPressed()) return Gate::Abort;
        // A program ending on a signal does not wait for a peer that takes
        // nothing, not even for the DC4 of its abort path.
        if (link.env.messages && link.env.messages->Interrupted()) return Gate::Abort;
        host.Sleep(ByteTime(link.lineSettings));
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

void SendChar(SerialLink& link, std::uint8_t c) {
    const Settings& settings = *link.env.settings;

    if (settings.Send_SP_Cut == "Y" && c == ' ') return;
    const std::optional<std::uint8_t> wire =
        WireByteFor(c, SpeedTextDataBits(settings.Speed), link.autoSelectActive,
                    TapeCodeFromFlags(link.isoCode, link.eiaCode));
    if (!wire) return;
    // Nothing to write to: a port that never opened, or one that went away.
    if (!PortReady(link) || !link.lineFault.empty()) {
        link.abortRequested = true;
        return;
    }

    Gate gate = Gate::Go;
    if (link.mode == TransferMode::Send && link.bytesSinceCheck > 9) {
        gate = PollFlowControl(link);
        if (gate == Gate::Go) link.bytesSinceCheck = 0;
    } else {
        gate = CheckAbortKeys(link);
    }
    // The driver's queue and the modem lines are looked at along with the flow
    // control, every tenth byte of a send (every byte otherwise); the queue
    // also whenever the room seen at its last look is used up.
    const bool look = link.mode != TransferMode::Send || link.bytesSinceCheck == 0;
    if (gate == Gate::Go && (look || link.queueRoom <= 0)) gate = WaitForQueueRoom(link);
    if (gate == Gate::Abort) AbortExit(link);
    if (gate != Gate::Go) return;

    if (look) ApplyModemLines(link);

    const IoStatus written = link.port->WriteByte(*wire);
    if (written != IoStatus::Ok) {
        RecordFault(link, written);
        return;
    }
    ++link.bytesSinceCheck;
    --link.queueRoom;
}

std::uint8_t ReadChar(SerialLink& link) {
    return ReadCharWithin(link, OneByteReadWait(link.timeouts));
}

void ReleaseAbortKeys(SerialLink& link) { link.env.host->ReleaseAbortKeys(); }

}  // namespace wexal
