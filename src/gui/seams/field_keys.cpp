#include "seams/field_keys.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>

namespace wexal {

FieldKey ToFieldKey(const QKeyEvent& event) {
    switch (event.key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            return FieldKey::Enter;
        case Qt::Key_Up:
            return FieldKey::Up;
        case Qt::Key_Down:
            return FieldKey::Down;
        case Qt::Key_F1:
            return FieldKey::F1;
        case Qt::Key_F2:
            return FieldKey::F2;
        case Qt::Key_Escape:
            return FieldKey::Escape;
        case Qt::Key_F10:
            return FieldKey::F10;
        case Qt::Key_Backspace:
            return FieldKey::Backspace;
        case Qt::Key_Delete:
            return FieldKey::Delete;
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
            return FieldKey::Tab;
        default:
            return FieldKey::Other;
    }
}

std::optional<char32_t> TypedChar(const QKeyEvent& event) {
    switch (ToFieldKey(event)) {
        case FieldKey::Backspace:
            return kBackspaceChar;
        case FieldKey::Other:
            break;
        default:
            return std::nullopt;
    }
    const QList<uint> chars = event.text().toUcs4();
    if (chars.isEmpty()) return std::nullopt;
    return static_cast<char32_t>(chars.front());
}

void GuardField(QLineEdit* edit) {
    edit->setAttribute(Qt::WA_InputMethodEnabled, false);
    edit->setContextMenuPolicy(Qt::NoContextMenu);
    edit->setAcceptDrops(false);
}

bool FilterFieldInput(QLineEdit* edit, QEvent* event, std::string_view allowed, bool upperCase) {
    if (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonRelease) {
        // The X11 selection would be pasted past the filter.
        return static_cast<QMouseEvent*>(event)->button() == Qt::MiddleButton;
    }
    if (event->type() != QEvent::KeyPress) return false;
    const auto& key = static_cast<const QKeyEvent&>(*event);
    if (key.matches(QKeySequence::Paste)) return true;
    const std::optional<char32_t> c = TypedChar(key);
    if (!c || *c == kBackspaceChar) return false;
    if (!FieldTakesChar(*c, allowed)) return true;
    if (!upperCase) return false;
    edit->insert(QString::fromUcs4(std::u32string(1, UpperAscii(*c)).c_str(), 1));
    return true;
}

}  // namespace wexal
