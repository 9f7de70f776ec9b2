#pragma once

#include <QObject>

#include "serial/receive_choice.h"

class QKeyEvent;
class QLabel;
class QLineEdit;

namespace wexal {

class TForm1;

// The save choice GroupBox4 that F2 and Shift+F2 open: its three rows in
// Label27 (named file, one file per program number, cancel) and the
// one-letter field Edit5 that takes Y, N or Esc.
class SaveChoicePanel : public QObject {
    Q_OBJECT

public:
    explicit SaveChoicePanel(TForm1& form);

    QLabel* Label27 = nullptr;
    QLineEdit* Edit5 = nullptr;

    // The list is disabled, Edit5 emptied and focused.
    void Open();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Edit5KeyDown(const QKeyEvent& event);
    void Label27MouseDown(int y);
    void Choose(SaveChoice choice);

    TForm1& form_;
    int rowHeight_ = 18;
};

}  // namespace wexal
