#pragma once

#include <QObject>

#include "files/key_dispatch.h"

class QKeyEvent;
class QPoint;

namespace wexal {

class TForm1;

// The main window while the file list has the focus: the keys of the list,
// the clicks on it and on the function-key help Label1, and the commands
// they start.
class ListMode : public QObject {
    Q_OBJECT

public:
    explicit ListMode(TForm1& form);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ListBox1KeyDown(QKeyEvent* event);
    void ListBox1KeyUp(QKeyEvent* event);
    void ListBox1Click(int row, bool shift);
    void Label1Click(const QPoint& at);
    void Preamble(bool shift);
    void ExecuteListCommand(ListCommand command, bool shift);
    void HandleListEnter();
    void OpenFolderBrowser();
    void PopUpDriveMenu();

    TForm1& form_;
};

}  // namespace wexal
