#pragma once

#include <QDialog>
#include <array>

#include "config/option_settings.h"
#include "platform/desktop_shortcut.h"
#include "platform/message_service.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;

namespace wexal {

// The options dialog "ｵﾌﾟｼｮﾝ設定": 24 values of the settings on four tabs,
// taken with 変更, and the desktop launcher.
class TOptionForm : public QDialog {
    Q_OBJECT

public:
    TOptionForm(QWidget* mainWindow, Settings& settings, MessageService& messages,
                OptionTakeHost& host, LauncherTrust& trust);

    // The field of a control name ("LabeledEdit5"), or nullptr.
    QLineEdit* FieldNamed(const char* control) const;

    QTabWidget* PageControl1 = nullptr;
    std::array<QLineEdit*, kOptionFieldCount> Fields{};  // in the order of OptionFieldSpecs
    QPushButton* Button1 = nullptr;                      // 変更
    QPushButton* Button2 = nullptr;                      // 戻る
    QPushButton* Button3 = nullptr;                      // 作成

public slots:
    // Every way of closing: asks when changes were not taken.
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void CreateControls();
    void FormShow();
    void FocusField(int index);
    bool FieldKeyDown(int index, QKeyEvent* event);
    // Take; false when a numeric field was refused and the dialog stays.
    bool Button1Click();
    void Button3Click();

    QWidget* mainWindow_;
    Settings& settings_;
    MessageService& messages_;
    OptionTakeHost& host_;
    LauncherTrust& trust_;
    OptionEntries entries_;
};

}  // namespace wexal
