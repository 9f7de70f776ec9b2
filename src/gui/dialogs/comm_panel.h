#pragma once

#include <QObject>
#include <array>

#include "config/comm_settings.h"

class QComboBox;
class QCompleter;
class QKeyEvent;
class QLabel;
class QLineEdit;

namespace wexal {

class TForm1;

// The communication settings panel GroupBox1, opened by F7: six fields
// driven by the keyboard, F1 takes them into the settings, F2 or Esc leaves.
class CommPanel : public QObject {
    Q_OBJECT

public:
    explicit CommPanel(TForm1& form);

    // The F7 command: fill the fields, list the usable ports, focus ComboBox1.
    void Open();

    QLabel* Label12 = nullptr;  // "通信条件(...)"
    QLabel* Label15 = nullptr;  // the order of the line parameters
    QComboBox* ComboBox1 = nullptr;
    QLabel* Label13 = nullptr;  // "ポート番号(...)"
    QComboBox* ComboBox2 = nullptr;
    QLineEdit* Edit4 = nullptr;
    QLineEdit* Edit6 = nullptr;
    QLineEdit* Edit9 = nullptr;
    QLineEdit* Edit8 = nullptr;
    QLabel* Label14 = nullptr;  // footer " F1 :保存     F2 :戻る"

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void CreateControls();
    QWidget* Field(int tag) const;
    QLineEdit* Entry(int tag) const;  // the line a field types into
    int TagOf(QObject* watched) const;
    void FocusField(int tag);
    bool FieldKeyDown(int tag, QKeyEvent* event);
    // true when the list was closed and opens now.
    bool OpenDropDown(int tag);
    void CompleteTyping(int tag);
    CommFields Fields() const;
    void ClearFields();
    void Close();
    void ApplyCommunicationSettings();
    void CancelCommunicationSettings();

    TForm1& form_;
    std::array<QCompleter*, 2> dropDowns_{};
    bool skipCompletion_ = false;
};

}  // namespace wexal
