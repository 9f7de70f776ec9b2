#pragma once

#include <QObject>
#include <QString>
#include <string>

#include "files/input_line.h"

class QKeyEvent;

namespace wexal {

class TForm1;

// The main window while the input line Edit1 collects a folder (F5,
// Shift+F5) or an extension (F6): its character check, Enter and Esc.
class InputLineMode : public QObject {
    Q_OBJECT

public:
    explicit InputLineMode(TForm1& form);

    InputMode mode() const { return mode_; }
    // Opens the line: the list is disabled, Edit1 enabled and focused.
    void Open(const InputLineOpening& opening);
    // Carries out what an event of the line decided.
    void Apply(const InputLineOutcome& outcome);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // false when a typed character was refused (and dropped).
    bool Edit1KeyPress(const QKeyEvent& event);
    void Edit1KeyDown(const QKeyEvent& event);
    // The line's text as bytes; the text put in unchanged keeps the exact
    // bytes it came from, also where they are no UTF-8.
    std::string Edit1Bytes() const;

    TForm1& form_;
    InputMode mode_ = InputMode::None;
    std::string openedBytes_;
    QString openedText_;
};

}  // namespace wexal
