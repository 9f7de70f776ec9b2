#pragma once

#include <QDialog>

#include "config/settings.h"
#include "dialogs/app_file_dialog.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;

namespace wexal {

// The editor settings "編集アプリ設定": the program E opens a file with.
// "保存" puts it into the settings in memory; the program writes them when
// it closes.
class TEditAppForm : public QDialog {
    Q_OBJECT

public:
    TEditAppForm(QWidget* mainWindow, Settings& settings);

    void SetFileChooser(AppFileChooser chooser) { chooseFile_ = std::move(chooser); }

    QTabWidget* PageControl1 = nullptr;
    QLabel* LabeledEdit1Label = nullptr;  // "ｴﾃﾞｨﾀｿﾌﾄ"
    QLineEdit* LabeledEdit1 = nullptr;
    QPushButton* BitBtn1 = nullptr;  // "..."
    QPushButton* Button1 = nullptr;  // "保存"
    QPushButton* Button2 = nullptr;  // "ｷｬﾝｾﾙ"

protected:
    void showEvent(QShowEvent* event) override;

private:
    void CreateControls();
    void BitBtn1Click();
    void Button1Click();

    QWidget* mainWindow_;
    Settings& settings_;
    AppFileChooser chooseFile_;
};

}  // namespace wexal
