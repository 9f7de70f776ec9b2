#pragma once

#include <QObject>

class QKeyEvent;

namespace wexal {

class TForm1;

// The sort-type box GroupBox3: Edit7 takes "N-D" and the like, Enter
// re-sorts the list, Esc (or a click on Label22) leaves.
class SortPanel : public QObject {
    Q_OBJECT

public:
    explicit SortPanel(TForm1& form);

    // The S command.
    void Open();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // true when the key was handled here and goes no further.
    bool Edit7KeyPress(const QKeyEvent& event);
    void Edit7Enter();
    void Edit7Escape();
    void Close();

    TForm1& form_;
};

}  // namespace wexal
