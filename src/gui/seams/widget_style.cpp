#include "seams/widget_style.h"

#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QWidget>

namespace wexal {

QFont MonoFont(int pixelSize, bool bold) {
    QFont font(QStringLiteral("IPAGothic"));
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}

void Paint(QWidget* w, const QColor& text, const QColor& background) {
    QPalette pal = w->palette();
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) {
        pal.setColor(role, text);
    }
    for (QPalette::ColorRole role : {QPalette::Window, QPalette::Base, QPalette::Button}) {
        pal.setColor(role, background);
    }
    w->setPalette(pal);
    w->setAutoFillBackground(true);
}

void Place(QWidget& control, const ControlPlace& place) {
    control.setObjectName(place.objectName);
    control.setGeometry(place.at);
    if (!place.accessibleName.isEmpty()) control.setAccessibleName(place.accessibleName);
}

QLabel* AddPlainLabel(QWidget* parent, const QString& objectName, const QRect& at,
                      const QString& text) {
    auto* label = AddTextControl<QLabel>(parent, objectName, at, text);
    label->setTextFormat(Qt::PlainText);
    return label;
}

QLineEdit* AddCaptionedEdit(QWidget* parent, const QString& objectName, const QRect& at,
                            QLabel& caption) {
    auto* edit = AddControl<QLineEdit>(parent, {objectName, at, caption.text()});
    caption.setBuddy(edit);
    return edit;
}

}  // namespace wexal
