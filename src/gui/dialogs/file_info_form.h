#pragma once

#include <QDialog>
#include <array>
#include <functional>
#include <string>

#include "files/file_info.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace wexal {

class MessageService;

// "ﾌｧｲﾙ情報": one file or folder of the listed folder with its icon, type,
// place, size, attributes and modification time; the read-only box and the
// time can be changed.
class TFileInfoForm : public QDialog {
    Q_OBJECT

public:
    // refreshList is RefreshFileList with the cursor kept.
    TFileInfoForm(QWidget* mainWindow, MessageService& messages, std::function<void()> refreshList);

    // I: the entry's exact name and full path; shows the dialog.
    void Open(const std::string& name, const std::string& path);

    QLabel* Image1 = nullptr;        // the entry's icon
    QLabel* Label1 = nullptr;        // name
    QLabel* Label2 = nullptr;        // type
    QLabel* Label3 = nullptr;        // place
    QLabel* Label4 = nullptr;        // size
    QLabel* Label5 = nullptr;        // "属性 :"
    QLabel* Label6 = nullptr;        // "更新日時："
    QCheckBox* CheckBox1 = nullptr;  // read-only
    QCheckBox* CheckBox2 = nullptr;  // archive
    QCheckBox* CheckBox3 = nullptr;  // hidden
    QCheckBox* CheckBox4 = nullptr;  // system
    // Year, month, day, hour, minute, second: the tags 1 to 6.
    QLineEdit* Edit1 = nullptr;
    QLineEdit* Edit2 = nullptr;
    QLineEdit* Edit3 = nullptr;
    QLineEdit* Edit4 = nullptr;
    QLineEdit* Edit5 = nullptr;
    QLineEdit* Edit6 = nullptr;
    QPushButton* Button1 = nullptr;  // "更新"
    QPushButton* Button2 = nullptr;  // "終了"

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void CreateControls();
    void FormShow();
    void ShowTypeAndIcon(const EntryInfo& info);
    // Enter in the field with this tag: check it, then on to the next.
    void EditEnter(int tag);
    void Button1Click();
    // The first field that fails its check, focused and named in a box.
    bool CheckFields();
    TimeFieldTexts FieldTexts() const;

    QWidget* mainWindow_;
    MessageService& messages_;
    std::function<void()> refreshList_;
    std::array<QLineEdit*, 6> fields_{};
    std::string name_;
    std::string path_;
    TimeFieldTexts shownTime_;
    bool shownReadOnly_ = false;
};

}  // namespace wexal
