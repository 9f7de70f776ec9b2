#pragma once

#include <QColor>
#include <QFont>
#include <QRect>
#include <QString>
#include <QWidget>
#include <utility>

class QLabel;
class QLineEdit;

namespace wexal {

// The window's monospaced Japanese font at a pixel size.
QFont MonoFont(int pixelSize, bool bold = false);

// Text and background colours of a control, background filled.
void Paint(QWidget* w, const QColor& text, const QColor& background);

// Where a dialog's control stands: the object name the tests and screenshots
// find it by, its geometry, and what AT-SPI reads for it (empty: the
// control's own default).
struct ControlPlace {
    ControlPlace(QString name, QRect geometry, QString accessible = {})
        : objectName(std::move(name)), at(geometry), accessibleName(std::move(accessible)) {}

    QString objectName;
    QRect at;
    QString accessibleName;
};

// The control put in its place.
void Place(QWidget& control, const ControlPlace& place);

// A control made on the parent with the constructor's leading arguments (a
// text, or none) and put in its place.
template <typename Control, typename... Args>
Control* AddControl(QWidget* parent, const ControlPlace& place, Args&&... args) {
    auto* control = new Control(std::forward<Args>(args)..., parent);
    Place(*control, place);
    return control;
}

// The same for a control whose own text is what AT-SPI reads for it.
template <typename Control>
Control* AddTextControl(QWidget* parent, const QString& objectName, const QRect& at,
                        const QString& text) {
    return AddControl<Control>(parent, {objectName, at, text}, text);
}

// A label drawn as plain text, read out as drawn.
QLabel* AddPlainLabel(QWidget* parent, const QString& objectName, const QRect& at,
                      const QString& text);

// An edit named by its caption, which becomes its buddy.
QLineEdit* AddCaptionedEdit(QWidget* parent, const QString& objectName, const QRect& at,
                            QLabel& caption);

}  // namespace wexal
