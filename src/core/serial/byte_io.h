#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "serial/serial_link.h"
#include "serial/tape_code.h"

namespace wexal {

// Writes one character, translated to the code in force, or nothing. Callers
// test link.abortRequested afterwards and end the transfer when it is set.
void SendChar(SerialLink& link, std::uint8_t c);
// The characters as SendChar writes them one by one, with the same filter,
// translation, XON/XOFF looks, queue limit and abort keys, but the bytes due
// before each look handed to the port in one write (at most ten). Returns
// after the last one, or once abortRequested is set or stop() says so.
void SendChars(SerialLink& link, std::string_view chars, const std::function<bool()>& stop);

// Reads at most one byte, waiting the mode's read time-out, and returns the
// decoded character, DC1 to DC4 as themselves, or 0 when nothing usable came.
// A vanished device also sets link.abortRequested and link.lineLost.
std::uint8_t ReadChar(SerialLink& link);

// Clears the abort keys so the key that ended a transfer does not reach the
// window afterwards.
void ReleaseAbortKeys(SerialLink& link);

// Decisions of the byte writer and reader, on their own for tests.

// The data bits of a speed text: the digit after its first comma; 8 when
// there is none.
int SpeedTextDataBits(const std::string& speed);
// The byte that goes on the wire for c, or nullopt when nothing is written.
std::optional<std::uint8_t> WireByteFor(std::uint8_t c, int dataBits, bool autoSelectActive,
                                        TapeCode code);
// The driver may take one more byte without holding more than 258.
bool OutputQueueHasRoom(int queued);
// Applies one received byte to the flow and code flags and returns what
// ReadChar returns for it.
std::uint8_t TakeReceivedByte(SerialLink& link, std::uint8_t byte);

}  // namespace wexal
