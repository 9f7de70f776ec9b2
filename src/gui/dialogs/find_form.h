#pragma once

#include <QDialog>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "config/settings.h"
#include "platform/message_service.h"

class QComboBox;
class QLabel;
class QPushButton;

namespace wexal {

// What the find dialog uses of the main window.
struct FindContext {
    QWidget* mainWindow = nullptr;
    const Settings* settings = nullptr;
    MessageService* messages = nullptr;
    std::filesystem::path programFolder;  // FIND.LST
    // SearchPattern := pattern, then RefreshFileList(keepPattern).
    std::function<void(const std::string& pattern)> narrow;
    std::function<void()> restoreHelpLine;  // Label1 := the normal line
};

// "絞り込み・検索": narrows the list to the names that match the typed
// pattern, until the next refresh that reads the whole folder.
class TFindForm : public QDialog {
    Q_OBJECT

public:
    TFindForm(FindContext context, QWidget* parent);

    // F: the box emptied, the dialog shown.
    void Open();

    QLabel* Label1 = nullptr;  // "検索・絞り込み名"
    QComboBox* ComboBox1 = nullptr;
    QPushButton* Button1 = nullptr;  // "ＯＫ"
    QPushButton* Button2 = nullptr;  // "ｷｬﾝｾﾙ"

public slots:
    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Button1Click();

    FindContext context_;
    std::vector<std::string> history_;
};

}  // namespace wexal
