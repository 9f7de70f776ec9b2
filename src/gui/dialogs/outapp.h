#pragma once

#include <QDialog>
#include <functional>
#include <string>
#include <vector>

class QLabel;
class QLineEdit;
class QPushButton;

namespace wexal {

// Starts a program from its argument vector and says when it could not.
using ProgramStarter = std::function<void(const std::vector<std::string>& argv)>;

// The argument dialog "引数" of an external application whose file is
// passed: the argument, prefilled from the selected file, can be changed
// before the program starts.
class TOutAppForm : public QDialog {
    Q_OBJECT

public:
    // onShow runs as the dialog shows (the main window's panels step aside).
    TOutAppForm(QWidget* mainWindow, ProgramStarter start, std::function<void()> onShow);

    // Shows the dialog for one application: its display name, its command
    // line and the argument to start with.
    void Open(const std::string& name, const std::string& command, const std::string& argument);

    QLabel* Label1 = nullptr;             // display name
    QLabel* Label2 = nullptr;             // "起動ｱﾌﾟﾘｹｰｼｮﾝ"
    QLabel* Label3 = nullptr;             // the command
    QLabel* LabeledEdit1Label = nullptr;  // "引数"
    QLineEdit* LabeledEdit1 = nullptr;
    QPushButton* Button1 = nullptr;  // "OK"
    QPushButton* Button2 = nullptr;  // "ｷｬﾝｾﾙ"

protected:
    void showEvent(QShowEvent* event) override;

private:
    void CreateControls();
    void Button1Click();

    QWidget* mainWindow_;
    ProgramStarter start_;
    std::function<void()> onShow_;
    std::string command_;
    // The argument as the file's name holds it; the field shows it as text,
    // which for a name that is not UTF-8 is not the same bytes.
    std::string argument_;
};

}  // namespace wexal
