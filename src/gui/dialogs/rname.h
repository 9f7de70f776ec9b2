#pragma once

#include <QDialog>
#include <QString>
#include <string>

#include "files/rename_entries.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace wexal {

// "名前変更" for one entry: the current name, the new name typed in
// LabeledEdit1, and the case choices 1 to 4 that act on the edit itself.
class TRNameForm : public QDialog {
    Q_OBJECT

public:
    explicit TRNameForm(QWidget* mainWindow);

    // Shows the dialog for name (exact bytes) over the main window and waits;
    // true when it closed with OK.
    bool Execute(const std::string& name);
    // The name OK took. Where the shown text of a name that is not plain
    // UTF-8 was left as it was, or only had its case changed, these are the
    // old name's own bytes (case-converted).
    std::string NewName() const { return newName_; }
    RenameChoice Choice() const { return choice_; }

    QLabel* Label1 = nullptr;      // the current name
    QLabel* EditLabel1 = nullptr;  // "新しい名前を入力"
    QLineEdit* LabeledEdit1 = nullptr;
    QRadioButton* RadioButton1 = nullptr;
    QRadioButton* RadioButton2 = nullptr;
    QRadioButton* RadioButton3 = nullptr;
    QRadioButton* RadioButton4 = nullptr;
    QPushButton* Button1 = nullptr;  // "OK"
    QPushButton* Button2 = nullptr;  // "ｷｬﾝｾﾙ"

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void CreateControls();
    void RadioButtonClick(RenameChoice choice);
    // The choice's form of the text, the caret kept (and moved off
    // position 0 under choice 4).
    void LabeledEdit1Change();
    void Button1Click();

    QWidget* mainWindow_;
    std::string original_;
    QString shown_;
    std::string newName_;
    RenameChoice choice_ = RenameChoice::Keep;
    bool applying_ = false;
};

// "名前変更" for the marked files: one choice, 1 to 5, for all of them.
class TRNameAForm : public QDialog {
    Q_OBJECT

public:
    explicit TRNameAForm(QWidget* mainWindow);

    // Shows the dialog with choice 1 checked and waits; true on OK.
    bool Execute();
    RenameChoice Choice() const { return choice_; }

    QRadioButton* RadioButton1 = nullptr;
    QRadioButton* RadioButton2 = nullptr;
    QRadioButton* RadioButton3 = nullptr;
    QRadioButton* RadioButton4 = nullptr;
    QRadioButton* RadioButton5 = nullptr;
    QPushButton* Button1 = nullptr;
    QPushButton* Button2 = nullptr;

private:
    QWidget* mainWindow_;
    RenameChoice choice_ = RenameChoice::Keep;
};

}  // namespace wexal
