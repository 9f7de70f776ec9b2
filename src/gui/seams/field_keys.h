#pragma once

#include <optional>
#include <string_view>

#include "config/entry_field.h"

class QEvent;
class QKeyEvent;
class QLineEdit;

namespace wexal {

// Key handling shared by the filtered entry fields of the panels and dialogs.

FieldKey ToFieldKey(const QKeyEvent& event);

// The character a key press types (Backspace as 0x08), or nullopt for keys
// that type none: arrows, function keys, Enter, Esc, Tab, Delete.
std::optional<char32_t> TypedChar(const QKeyEvent& event);

// Makes a field take text only through its keys: no input method, no paste
// by menu, mouse or drop.
void GuardField(QLineEdit* edit);

// The key filter of a guarded field, for its event filter: true when the
// event was dealt with here and goes no further. A character the field does
// not take is dropped; with upperCase a taken letter goes in upper-cased.
bool FilterFieldInput(QLineEdit* edit, QEvent* event, std::string_view allowed, bool upperCase);

}  // namespace wexal
