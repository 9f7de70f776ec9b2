#pragma once

#include <QDialog>
#include <functional>

#include "config/settings.h"
#include "dialogs/app_file_dialog.h"

class QCheckBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;

namespace wexal {

// The external command settings "外部コマンド設定": the 26 applications of
// Alt+A to Alt+Z in a list, and the fields in which the selected one is
// changed. Changes go into the settings in memory; the program writes them
// when it closes.
class TAppopenForm : public QDialog {
    Q_OBJECT

public:
    TAppopenForm(QWidget* mainWindow, Settings& settings, std::function<void()> onShow);

    void SetFileChooser(AppFileChooser chooser) { chooseFile_ = std::move(chooser); }

    QFrame* Panel1 = nullptr;
    QLabel* Label1 = nullptr;             // the letter of the row being edited ("Alt+A")
    QLabel* LabeledEdit1Label = nullptr;  // "設定名"
    QLineEdit* LabeledEdit1 = nullptr;    // display name
    QLabel* LabeledEdit2Label = nullptr;  // "ｺﾏﾝﾄﾞｱﾌﾟﾘｹｰｼｮﾝ "
    QLineEdit* LabeledEdit2 = nullptr;    // command line
    QCheckBox* CheckBox1 = nullptr;       // "引数使用"
    QPushButton* BitBtn1 = nullptr;       // browse
    QPushButton* Button1 = nullptr;       // "変更\n追加"
    QPushButton* Button2 = nullptr;       // "終了"
    QLabel* Label2 = nullptr;             // the placeholder legend
    QTreeWidget* ListView1 = nullptr;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void CreateControls();
    void FormShow();
    void FillRow(int row);
    // The selected row into the fields.
    void ListView1Click();
    void BitBtn1Click();
    void Button1Click();
    int SelectedRow() const;

    QWidget* mainWindow_;
    Settings& settings_;
    std::function<void()> onShow_;
    AppFileChooser chooseFile_;
};

}  // namespace wexal
