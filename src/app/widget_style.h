#pragma once

#include <QColor>
#include <QFont>

class QWidget;

namespace wexal {

// The window's monospaced Japanese font at a pixel size.
QFont MonoFont(int pixelSize, bool bold = false);

// Text and background colours of a control, background filled.
void Paint(QWidget* w, const QColor& text, const QColor& background);

}  // namespace wexal
