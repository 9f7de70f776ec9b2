#pragma once

#include <QDialog>
#include <string>
#include <vector>

#include "dialogs/tool_dialog.h"

class QComboBox;
class QLabel;
class QListWidget;
class QPushButton;

namespace wexal {

// The concatenation dialog "ﾌｧｲﾙ結合": the marked files, in marking order,
// joined into one new file named in the box with the history NAME.lst.
class TPlusForm : public QDialog {
    Q_OBJECT

public:
    TPlusForm(NcToolContext context, QWidget* parent);

    // K: the marked files in marking order.
    void Open(std::vector<std::string> names);

    QLabel* Label1 = nullptr;  // "ﾌｧｲﾙ結合一覧"
    QListWidget* ListBox1 = nullptr;
    QLabel* Label2 = nullptr;  // "結合ﾌｧｲﾙ名"
    QComboBox* ComboBox1 = nullptr;
    QPushButton* Button1 = nullptr;
    QPushButton* Button2 = nullptr;

public slots:
    // Every way of closing; while files are joined it cancels instead.
    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void CreateControls();
    void FormShow();
    void Button1Click();

    NcToolContext context_;
    std::vector<std::string> names_;
    std::vector<std::string> history_;
    DialogProgress* running_ = nullptr;
    class QProgressBar* progressBar_ = nullptr;
};

}  // namespace wexal
