#pragma once

#include <cstdint>
#include <optional>

namespace wexal {

enum class Parity { None, Odd, Even };

// A line cannot send half a bit on POSIX: OneAndHalf goes out as two stop bits there.
enum class StopBits { One, OneAndHalf, Two };

// How the driver drives DTR or RTS while the port is open.
enum class LineControl { Disable, Enable, Handshake };

inline constexpr std::uint8_t kDc1 = 0x11;
inline constexpr std::uint8_t kDc2 = 0x12;
inline constexpr std::uint8_t kDc3 = 0x13;
inline constexpr std::uint8_t kDc4 = 0x14;
inline constexpr std::uint8_t kDc3WithParity = 0x93;

// The driver's line record: what the port was last told, field by field.
// Reading it, changing a few fields and writing it back leaves every other
// field as the driver had it.
struct LineSettings {
    int baud = 9600;
    int dataBits = 8;
    Parity parity = Parity::None;
    StopBits stopBits = StopBits::One;
    bool parityCheck = false;

    std::uint8_t xonChar = kDc1;
    std::uint8_t xoffChar = kDc3;
    int xonLimit = 0;
    int xoffLimit = 0;
    bool outputXonXoff = false;  // the driver stops its output on the peer's XOFF
    bool inputXonXoff = false;   // the driver sends XOFF/XON as its input fills and empties
    bool txContinueOnXoff = false;

    bool ctsOutputFlow = false;
    bool dsrOutputFlow = false;
    LineControl dtrControl = LineControl::Enable;
    LineControl rtsControl = LineControl::Enable;

    bool discardNul = false;
    bool abortOnError = false;

    bool operator==(const LineSettings&) const = default;
};

// Bits on the wire for one character: start bit, data bits, parity bit and stop bits.
double BitsPerFrame(const LineSettings& settings);

// The driver's time-out record. A one-byte read waits
// readTotalMultiplierMs + readTotalConstantMs; with both zero it waits without
// limit, unless readIntervalMs is kReturnAtOnce, which makes it return at once.
// A one-byte write waits writeTotalMultiplierMs + writeTotalConstantMs, without
// limit when both are zero.
struct Timeouts {
    static constexpr std::uint32_t kReturnAtOnce = 0xFFFFFFFFu;

    std::uint32_t readIntervalMs = 0;
    std::uint32_t readTotalMultiplierMs = 0;
    std::uint32_t readTotalConstantMs = 0;
    std::uint32_t writeTotalMultiplierMs = 0;
    std::uint32_t writeTotalConstantMs = 0;

    bool operator==(const Timeouts&) const = default;
};

// Milliseconds that one byte may take; nullopt means no limit.
std::optional<int> OneByteReadWait(const Timeouts& timeouts);
std::optional<int> OneByteWriteWait(const Timeouts& timeouts);

}  // namespace wexal
