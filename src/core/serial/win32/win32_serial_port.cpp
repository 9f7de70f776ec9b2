#include "serial/win32/win32_serial_port.h"

#include <windows.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <limits>

#include "platform/error_text.h"
#include "platform/win32/windows_error.h"
#include "serial/deadline.h"

namespace wexal {

struct Win32SerialPort::Io {
    OVERLAPPED overlapped{};
    HANDLE done = nullptr;  // manual-reset event, signalled on completion
    std::array<std::uint8_t, 512> input{};
    std::uint8_t output = 0;

    ~Io() {
        if (done != nullptr) CloseHandle(done);
    }
};

struct Win32SerialPort::Transfer {
    DWORD bytes = 0;
    DWORD error = 0;        // 0, or the Win32 error the operation ended with
    bool timedOut = false;  // the wait passed and the operation was cancelled
};

namespace {

// How long input that keeps coming gathers in the driver before the next
// look: at 19200 baud about 190 bytes, one wake-up instead of 190.
constexpr DWORD kGatherMs = 100;
// How long a driver may take to hand over bytes it has said it holds (Wine
// completes such a read through its server, a few milliseconds later).
constexpr DWORD kHandOverMs = 200;
// How long a driver may take to complete an operation it was told to cancel.
constexpr DWORD kCancelMs = 1000;
// A read that ended at once with nothing and no error: the pause before the
// next look, so that such a driver does not make the reader spin.
constexpr DWORD kEmptyReadPauseMs = 10;
// A write that waits for the line looks this often whether its transfer is ending.
constexpr int kLookMs = 100;
constexpr int kDrainLookMs = 20;

// Milliseconds left of the wait as Win32 counts them: nullopt without limit.
std::optional<DWORD> Left(const Deadline& deadline) {
    const std::optional<int> left = deadline.RemainingMs();
    return left ? std::optional<DWORD>(static_cast<DWORD>(*left)) : std::nullopt;
}

// ERROR_NO_SUCH_DEVICE, which MinGW-w64's winerror.h lacks.
constexpr DWORD kErrorNoSuchDevice = 433;

DWORD AtMost(std::optional<DWORD> left, DWORD limit) {
    return left ? std::min(*left, limit) : limit;
}

// Errors with which a driver says that the device itself is gone (an
// unplugged adapter, a closed pseudo-terminal under Wine) rather than that
// one call failed.
bool IsLineGone(DWORD error) {
    switch (error) {
        case ERROR_ACCESS_DENIED:  // usbser.sys after a surprise removal
        case ERROR_INVALID_HANDLE:
        case ERROR_BAD_COMMAND:
        case ERROR_GEN_FAILURE:
        case ERROR_NOT_READY:    // Wine: EIO from the terminal
        case ERROR_BROKEN_PIPE:  // Wine: the terminal's far end has closed
        case ERROR_HANDLE_EOF:
        case ERROR_DEV_NOT_EXIST:
        case ERROR_PIPE_NOT_CONNECTED:
        case kErrorNoSuchDevice:
        case ERROR_OPERATION_ABORTED:  // not cancelled here: the driver gave up
        case ERROR_IO_DEVICE:
        case ERROR_DEVICE_NOT_CONNECTED:
        case ERROR_DEVICE_REMOVED:
            return true;
        default:
            return false;
    }
}

IoStatus FailureOf(DWORD error) {
    return IsLineGone(error) ? IoStatus::LineLost : IoStatus::Failed;
}

// The errno the POSIX backend gives for the same refusal; 0 for a Win32
// error that has none. A port in use is EBUSY, as TIOCEXCL gives there:
// Windows says "access denied" for a COM port that another program holds.
int ErrnoOf(DWORD error, bool opening) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_NAME:
        case ERROR_BAD_PATHNAME:
        case ERROR_BAD_NETPATH:
            return ENOENT;
        case ERROR_SHARING_VIOLATION:
        case ERROR_BUSY:
        case ERROR_LOCK_VIOLATION:
            return EBUSY;
        case ERROR_ACCESS_DENIED:
            return opening ? EBUSY : EIO;
        case ERROR_INVALID_PARAMETER:
        case ERROR_INVALID_FUNCTION:
        case ERROR_NOT_SUPPORTED:
            return EINVAL;
        case ERROR_NOT_ENOUGH_MEMORY:
        case ERROR_OUTOFMEMORY:
            return ENOMEM;
        case ERROR_TOO_MANY_OPEN_FILES:
            return EMFILE;
        default:
            return IsLineGone(error) ? EIO : 0;
    }
}

// The system's own words for a Win32 error without an errno.
std::string Win32ErrorText(DWORD error) {
    wchar_t text[512];
    const DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, error, 0, text, 512, nullptr);
    std::string words = Narrow(std::wstring(text, length));
    while (!words.empty() &&
           (words.back() == '\n' || words.back() == '\r' || words.back() == ' ')) {
        words.pop_back();
    }
    const std::string code = "Windows error " + std::to_string(error);
    return words.empty() ? code : words + " (" + code + ")";
}

Status SystemError(const std::string& device, int error) {
    return Status::Error(device + ": " + SystemErrorText(error), error);
}

Status Win32Error(const std::string& device, DWORD error, bool opening) {
    const int mapped = ErrnoOf(error, opening);
    if (mapped != 0) return SystemError(device, mapped);
    return Status::Error(device + ": " + Win32ErrorText(error), EIO);
}

// The name of the object that marks a port as taken: one for \\.\COM1, COM1
// and \\.\com1 alike.
std::wstring ClaimName(std::wstring device) {
    for (const wchar_t* prefix : {L"\\\\.\\", L"\\\\?\\"}) {
        if (device.rfind(prefix, 0) == 0) device.erase(0, 4);
    }
    for (wchar_t& c : device) {
        if (c == L'\\') c = L'/';
        if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
    }
    return L"Global\\Wexal.SerialPort." + device;
}

// Takes the port's claim; nullptr with busy set when another opening holds
// it. Where no named object can be made at all, the port goes without one.
HANDLE ClaimPort(const std::wstring& device, bool& busy) {
    HANDLE claim = CreateEventW(nullptr, TRUE, FALSE, ClaimName(device).c_str());
    const DWORD error = GetLastError();
    busy = (claim != nullptr && error == ERROR_ALREADY_EXISTS) ||
           (claim == nullptr && error == ERROR_ACCESS_DENIED);
    if (busy && claim != nullptr) {
        CloseHandle(claim);
        claim = nullptr;
    }
    return claim;
}

LineControl DtrControlOf(DWORD control) {
    switch (control) {
        case DTR_CONTROL_DISABLE:
            return LineControl::Disable;
        case DTR_CONTROL_HANDSHAKE:
            return LineControl::Handshake;
        default:
            return LineControl::Enable;
    }
}

LineControl RtsControlOf(DWORD control) {
    switch (control) {
        case RTS_CONTROL_DISABLE:
            return LineControl::Disable;
        case RTS_CONTROL_ENABLE:
            return LineControl::Enable;
        default:  // handshake, or toggle: the driver drives it
            return LineControl::Handshake;
    }
}

DWORD DtrControlCode(LineControl control) {
    switch (control) {
        case LineControl::Disable:
            return DTR_CONTROL_DISABLE;
        case LineControl::Handshake:
            return DTR_CONTROL_HANDSHAKE;
        default:
            return DTR_CONTROL_ENABLE;
    }
}

DWORD RtsControlCode(LineControl control) {
    switch (control) {
        case LineControl::Disable:
            return RTS_CONTROL_DISABLE;
        case LineControl::Handshake:
            return RTS_CONTROL_HANDSHAKE;
        default:
            return RTS_CONTROL_ENABLE;
    }
}

WORD LimitOf(int bytes) { return static_cast<WORD>(std::clamp(bytes, 0, 0xFFFF)); }

// The fields that every driver keeps and gives back as it holds them.
void ReadDriverFields(const DCB& dcb, LineSettings& s) {
    s.baud = static_cast<int>(std::min<DWORD>(dcb.BaudRate, std::numeric_limits<int>::max()));
    if (dcb.ByteSize >= 5 && dcb.ByteSize <= 8) s.dataBits = dcb.ByteSize;
    if (dcb.Parity == NOPARITY) s.parity = Parity::None;
    if (dcb.Parity == ODDPARITY) s.parity = Parity::Odd;
    if (dcb.Parity == EVENPARITY) s.parity = Parity::Even;
    s.stopBits = dcb.StopBits == ONESTOPBIT     ? StopBits::One
                 : dcb.StopBits == ONE5STOPBITS ? StopBits::OneAndHalf
                                                : StopBits::Two;
    s.xonChar = static_cast<std::uint8_t>(dcb.XonChar);
    s.xoffChar = static_cast<std::uint8_t>(dcb.XoffChar);
    s.outputXonXoff = dcb.fOutX != 0;
    s.inputXonXoff = dcb.fInX != 0;
}

// The rest of the record, as the driver holds it when the port opens.
void ReadRecordFields(const DCB& dcb, LineSettings& s) {
    s.parityCheck = dcb.fParity != 0;
    s.xonLimit = dcb.XonLim;
    s.xoffLimit = dcb.XoffLim;
    s.txContinueOnXoff = dcb.fTXContinueOnXoff != 0;
    s.ctsOutputFlow = dcb.fOutxCtsFlow != 0;
    s.dsrOutputFlow = dcb.fOutxDsrFlow != 0;
    s.dtrControl = DtrControlOf(dcb.fDtrControl);
    s.rtsControl = RtsControlOf(dcb.fRtsControl);
    s.discardNul = dcb.fNull != 0;
    s.abortOnError = dcb.fAbortOnError != 0;
}

// Lays the record over the driver's DCB: the line in raw mode (bytes as they
// come, none replaced, input taken whatever DSR says), every field that
// Win32 keeps in its own DCB field.
void WriteFields(const LineSettings& s, DCB& dcb) {
    dcb.BaudRate = static_cast<DWORD>(s.baud);
    dcb.ByteSize = static_cast<BYTE>(s.dataBits);
    dcb.Parity = s.parity == Parity::None  ? NOPARITY
                 : s.parity == Parity::Odd ? ODDPARITY
                                           : EVENPARITY;
    dcb.StopBits = s.stopBits == StopBits::One          ? ONESTOPBIT
                   : s.stopBits == StopBits::OneAndHalf ? ONE5STOPBITS
                                                        : TWOSTOPBITS;
    dcb.fBinary = TRUE;
    dcb.fParity = s.parityCheck ? TRUE : FALSE;
    dcb.fOutxCtsFlow = s.ctsOutputFlow ? TRUE : FALSE;
    dcb.fOutxDsrFlow = s.dsrOutputFlow ? TRUE : FALSE;
    dcb.fDtrControl = DtrControlCode(s.dtrControl);
    dcb.fRtsControl = RtsControlCode(s.rtsControl);
    dcb.fDsrSensitivity = FALSE;
    dcb.fTXContinueOnXoff = s.txContinueOnXoff ? TRUE : FALSE;
    dcb.fOutX = s.outputXonXoff ? TRUE : FALSE;
    dcb.fInX = s.inputXonXoff ? TRUE : FALSE;
    dcb.fErrorChar = FALSE;
    // Also dropped in software: Wine does not strip them.
    dcb.fNull = s.discardNul ? TRUE : FALSE;
    // Kept in the record only, as on POSIX: with it, one parity or framing
    // error would fail every later read and write until ClearCommError.
    dcb.fAbortOnError = FALSE;
    dcb.XonLim = LimitOf(s.xonLimit);
    dcb.XoffLim = LimitOf(s.xoffLimit);
    dcb.XonChar = static_cast<char>(s.xonChar);
    dcb.XoffChar = static_cast<char>(s.xoffChar);
    dcb.wReserved = 0;
}

}  // namespace

Win32SerialPort::Win32SerialPort() = default;

Win32SerialPort::~Win32SerialPort() { Close(); }

Status Win32SerialPort::Open(const std::string& device) {
    Close();
    device_ = device;
    if (device.empty()) return SystemError(device, ENOENT);
    const std::wstring name = Widen(device);

    bool busy = false;
    HANDLE claim = ClaimPort(name, busy);
    if (busy) return SystemError(device, EBUSY);
    // Share mode 0: a port that another program holds fails at once.
    HANDLE handle = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (claim != nullptr) CloseHandle(claim);
        return Win32Error(device, error, true);
    }

    auto io = std::make_unique<Io>();
    io->done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    COMMTIMEOUTS none{};  // all zero: no time-outs of the driver's own
    Status status = Status::Ok();
    if (!GetCommState(handle, &dcb)) {
        // Not a communications device (a file, NUL): the handle has just been
        // made, so even "invalid handle" (Wine's word for it) means that.
        status = SystemError(device, ENOTTY);
    } else if (!SetCommTimeouts(handle, &none) || io->done == nullptr) {
        status = Win32Error(device, GetLastError(), true);
    }
    if (!status) {
        CloseHandle(handle);
        if (claim != nullptr) CloseHandle(claim);
        return status;
    }
    // Line errors left from an earlier user would otherwise stay flagged.
    DWORD errors = 0;
    ClearCommError(handle, &errors, nullptr);

    handle_ = handle;
    portClaim_ = claim;
    io_ = std::move(io);
    ioStuck_ = false;
    record_ = LineSettings{};
    ReadDriverFields(dcb, record_);
    ReadRecordFields(dcb, record_);
    timeouts_ = Timeouts{};
    return Status::Ok();
}

void Win32SerialPort::Close() {
    DropBuffered();
    inputFlowing_ = false;
    if (handle_ != nullptr) {
        if (!ioStuck_) DrainOutput();
        // Nothing is pending after a call returns, unless a driver never
        // completed a cancel: closing the handle ends that operation.
        CancelIoEx(handle_, nullptr);
        CloseHandle(handle_);
        handle_ = nullptr;
        if (ioStuck_ && WaitForSingleObject(io_->done, kCancelMs) != WAIT_OBJECT_0) {
            // The driver may still write into it: it is never given back.
            static_cast<void>(io_.release());
        }
        ioStuck_ = false;
    }
    io_.reset();
    if (portClaim_ != nullptr) {
        CloseHandle(portClaim_);
        portClaim_ = nullptr;
    }
}

// A driver may wait at the close for output that cannot go out (CTS low,
// the peer's XOFF). Output that moves is let go (the DC4 of an abort still
// reaches the NC); output that stands still is discarded.
void Win32SerialPort::DrainOutput() {
    DWORD errors = 0;
    COMSTAT comstat{};
    if (ClearCommError(handle_, &errors, &comstat) && comstat.cbOutQue == 0) return;
    DWORD queued = comstat.cbOutQue;
    const Deadline ending(kEndingDrainMs);
    LineWait stall(kDrainStallMs, *this);
    while (queued > 0) {
        const int slice = stall.NextMs(kDrainLookMs);
        if (slice == 0 || (Ending() && ending.RemainingMs() == 0)) break;
        Sleep(static_cast<DWORD>(slice));
        if (!ClearCommError(handle_, &errors, &comstat)) break;
        if (comstat.cbOutQue == 0) return;
        if (comstat.cbOutQue < queued) stall.Restart();
        queued = comstat.cbOutQue;
    }
    PurgeComm(handle_, PURGE_TXCLEAR | PURGE_TXABORT);
}

Status Win32SerialPort::Failure(unsigned long win32Error) const {
    return Win32Error(device_, win32Error, false);
}

std::optional<LineSettings> Win32SerialPort::GetSettings() {
    if (!IsOpen()) return std::nullopt;
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(handle_, &dcb)) return std::nullopt;
    LineSettings settings = record_;
    ReadDriverFields(dcb, settings);
    return settings;
}

Status Win32SerialPort::SetSettings(const LineSettings& settings) {
    if (!IsOpen()) return SystemError(device_, EBADF);
    if (settings.baud <= 0 || settings.dataBits < 5 || settings.dataBits > 8) {
        return SystemError(device_, EINVAL);
    }
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(handle_, &dcb)) return Failure(GetLastError());
    WriteFields(settings, dcb);
    bool set = SetCommState(handle_, &dcb);
    DWORD error = set ? 0 : GetLastError();
    // Many UARTs have one and a half stop bits only with five data bits:
    // elsewhere the line gets two, as on POSIX.
    if (!set && !IsLineGone(error) && dcb.StopBits == ONE5STOPBITS) {
        dcb.StopBits = TWOSTOPBITS;
        set = SetCommState(handle_, &dcb);
        error = set ? 0 : GetLastError();
    }
    // A driver without a DTR or RTS handshake of its own (no modem lines to
    // drive) holds the line on, as the POSIX backend does.
    if (!set && !IsLineGone(error) &&
        (dcb.fDtrControl == DTR_CONTROL_HANDSHAKE || dcb.fRtsControl == RTS_CONTROL_HANDSHAKE)) {
        if (dcb.fDtrControl == DTR_CONTROL_HANDSHAKE) dcb.fDtrControl = DTR_CONTROL_ENABLE;
        if (dcb.fRtsControl == RTS_CONTROL_HANDSHAKE) dcb.fRtsControl = RTS_CONTROL_ENABLE;
        set = SetCommState(handle_, &dcb);
        error = set ? 0 : GetLastError();
    }
    if (!set) return Failure(error);
    record_ = settings;
    return Status::Ok();
}

Status Win32SerialPort::SetTimeouts(const Timeouts& timeouts) {
    if (!IsOpen()) return SystemError(device_, EBADF);
    timeouts_ = timeouts;
    return Status::Ok();
}

// A request only: a driver that keeps buffers of its own size may refuse it.
Status Win32SerialPort::SetQueueSizes(int input, int output) {
    if (!IsOpen()) return SystemError(device_, EBADF);
    if (SetupComm(handle_, static_cast<DWORD>(std::max(input, 0)),
                  static_cast<DWORD>(std::max(output, 0)))) {
        return Status::Ok();
    }
    const DWORD error = GetLastError();
    return IsLineGone(error) ? Failure(error) : Status::Ok();
}

Status Win32SerialPort::Purge(PurgeQueues queues) {
    if (!IsOpen()) return SystemError(device_, EBADF);
    DWORD flags = 0;
    if (queues != PurgeQueues::Output) flags |= PURGE_RXCLEAR | PURGE_RXABORT;
    if (queues != PurgeQueues::Input) flags |= PURGE_TXCLEAR | PURGE_TXABORT;
    if (!PurgeComm(handle_, flags)) return Failure(GetLastError());
    if (queues != PurgeQueues::Output) DropBuffered();
    return Status::Ok();
}

std::optional<ModemStatus> Win32SerialPort::GetModemStatus() {
    DWORD lines = 0;
    if (!IsOpen() || !GetCommModemStatus(handle_, &lines)) return std::nullopt;
    ModemStatus status;
    status.cts = (lines & MS_CTS_ON) != 0;
    status.dsr = (lines & MS_DSR_ON) != 0;
    status.ring = (lines & MS_RING_ON) != 0;
    status.rlsd = (lines & MS_RLSD_ON) != 0;
    return status;
}

QueueStatus Win32SerialPort::GetQueueStatus() {
    QueueStatus status;
    DWORD errors = 0;
    COMSTAT comstat{};
    if (!IsOpen()) {
        status.status = IoStatus::Failed;
    } else if (ioStuck_) {
        status.status = IoStatus::LineLost;
    } else if (!ClearCommError(handle_, &errors, &comstat)) {
        status.status = FailureOf(GetLastError());
    } else {
        constexpr DWORD kMost = std::numeric_limits<int>::max() / 2;
        status.outputQueued = static_cast<int>(std::min(comstat.cbOutQue, kMost));
        status.inputQueued = static_cast<int>(std::min(comstat.cbInQue, kMost)) +
                             static_cast<int>(inputEnd_ - inputNext_);
    }
    return status;
}

Win32SerialPort::Transfer Win32SerialPort::Run(bool write, unsigned long size,
                                               std::optional<unsigned long> waitMs,
                                               const LineWait* lineWait) {
    Transfer result;
    io_->overlapped = OVERLAPPED{};
    io_->overlapped.hEvent = io_->done;
    const BOOL done = write ? WriteFile(handle_, &io_->output, size, nullptr, &io_->overlapped)
                            : ReadFile(handle_, io_->input.data(), size, nullptr, &io_->overlapped);
    if (!done) {
        const DWORD error = GetLastError();
        if (error != ERROR_IO_PENDING) {
            result.error = error;
            return result;
        }
        DWORD waited = WAIT_TIMEOUT;
        if (lineWait != nullptr) {
            // Looked at in slices: the transfer may start to end meanwhile.
            for (int slice = lineWait->NextMs(kLookMs); slice > 0;
                 slice = lineWait->NextMs(kLookMs)) {
                waited = WaitForSingleObject(io_->done, static_cast<DWORD>(slice));
                if (waited != WAIT_TIMEOUT) break;
            }
        } else {
            waited = WaitForSingleObject(io_->done, waitMs.value_or(INFINITE));
        }
        const DWORD waitError = waited == WAIT_FAILED ? GetLastError() : 0;
        if (waited != WAIT_OBJECT_0) {
            CancelIoEx(handle_, &io_->overlapped);
            if (WaitForSingleObject(io_->done, kCancelMs) != WAIT_OBJECT_0) {
                ioStuck_ = true;
                result.error = ERROR_DEVICE_NOT_CONNECTED;
                return result;
            }
            result.timedOut = waited == WAIT_TIMEOUT;
            result.error = waitError;
        }
    }
    // The bytes moved are counted also when the operation failed or was
    // cancelled: a cancelled read may have taken some.
    if (!GetOverlappedResult(handle_, &io_->overlapped, &result.bytes, FALSE) &&
        result.error == 0) {
        const DWORD error = GetLastError();
        if (!result.timedOut || error != ERROR_OPERATION_ABORTED) result.error = error;
    }
    return result;
}

std::optional<std::uint8_t> Win32SerialPort::TakeBuffered() {
    while (inputNext_ < inputEnd_) {
        const std::uint8_t byte = io_->input[inputNext_++];
        if (byte != 0 || !record_.discardNul) return byte;
    }
    return std::nullopt;
}

ReadResult Win32SerialPort::ReadByteWithin(std::optional<int> waitMs) {
    if (!IsOpen()) return {IoStatus::Failed, 0};
    const Deadline deadline(waitMs);
    while (true) {
        if (const std::optional<std::uint8_t> byte = TakeBuffered()) return {IoStatus::Ok, *byte};
        if (ioStuck_) return {IoStatus::LineLost, 0};
        if (inputFlowing_ && Left(deadline) != DWORD{0}) {
            inputFlowing_ = false;
            Sleep(AtMost(Left(deadline), kGatherMs));
        }
        DWORD errors = 0;
        COMSTAT comstat{};
        if (!ClearCommError(handle_, &errors, &comstat)) return {FailureOf(GetLastError()), 0};
        const std::optional<DWORD> left = Left(deadline);
        const DWORD queued = std::min<DWORD>(comstat.cbInQue, io_->input.size());
        if (queued == 0 && left == DWORD{0}) return {IoStatus::TimedOut, 0};

        // What the driver holds is taken whole; with nothing there, one byte
        // is waited for as long as the wait allows.
        std::optional<DWORD> wait = left;
        if (queued > 0 && left) wait = std::max(*left, kHandOverMs);
        const Transfer got = Run(false, queued > 0 ? queued : 1, wait);
        // Bytes read win over a failure reported with them; the next call sees it.
        if (got.bytes > 0) {
            inputNext_ = 0;
            inputEnd_ = got.bytes;
            inputFlowing_ = inputEnd_ < io_->input.size();
            continue;
        }
        if (got.error != 0) return {FailureOf(got.error), 0};
        if (Left(deadline) == DWORD{0}) return {IoStatus::TimedOut, 0};
        if (!got.timedOut) Sleep(AtMost(Left(deadline), kEmptyReadPauseMs));
    }
}

IoStatus Win32SerialPort::WriteByte(std::uint8_t byte) {
    if (!IsOpen()) return IoStatus::Failed;
    if (ioStuck_) return IoStatus::LineLost;
    io_->output = byte;
    const LineWait wait(OneByteWriteWait(timeouts_), *this);
    const Transfer put = Run(true, 1, std::nullopt, &wait);
    lastWriteWaitMs_ = wait.ElapsedMs();
    if (put.bytes == 1) return IoStatus::Ok;
    if (put.error != 0) return FailureOf(put.error);
    // Cancelled when the wait passed, or ended by a time-out of the driver's own.
    return IoStatus::TimedOut;
}

}  // namespace wexal
