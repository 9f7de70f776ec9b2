#pragma once

#include <QLineEdit>
#include <QString>
#include <string>

namespace wexal {

// A settings value shown in a field. A value that is not UTF-8 (a folder
// name from a Linux disk) shows with U+FFFD for its odd bytes.
inline QString SettingText(const std::string& value) { return QString::fromStdString(value); }

// The field's text as the value to store: the old value itself while the
// field still shows it, so that bytes the field could not show survive.
inline std::string TakeSettingText(const QLineEdit& field, const std::string& old) {
    const QString text = field.text();
    return text == SettingText(old) ? old : text.toStdString();
}

}  // namespace wexal
