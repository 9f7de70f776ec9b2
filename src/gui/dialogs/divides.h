#pragma once

#include <QDialog>
#include <string>
#include <vector>

#include "nctools/split_programs.h"
#include "dialogs/tool_dialog.h"

class QAction;
class QComboBox;
class QLabel;
class QListWidget;
class QMenuBar;
class QProgressBar;
class QPushButton;

namespace wexal {

// The split dialog "Ｏ番号毎分割": the view's programs, one file each, into a
// destination folder from the history Path.lst.
class TDividesForm : public QDialog {
    Q_OBJECT

public:
    TDividesForm(NcToolContext context, QWidget* parent);

    // B: the source file's name; the program list empty.
    void Open(const std::string& sourceName);

    QLabel* Label1 = nullptr;  // the source file
    QListWidget* ListBox1 = nullptr;
    QLabel* Label2 = nullptr;
    QComboBox* ComboBox1 = nullptr;
    QPushButton* Button1 = nullptr;
    QPushButton* Button2 = nullptr;
    QPushButton* Button3 = nullptr;
    QProgressBar* ProgressBar1 = nullptr;
    QMenuBar* MainMenu1 = nullptr;
    QAction* op_f = nullptr;
    QAction* op_b = nullptr;
    QAction* op_n = nullptr;

    const SplitOptions& options() const { return options_; }

public slots:
    // Every way of closing; during a split it cancels the split instead.
    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void CreateControls();
    void FormShow();
    void FormClose();
    void Button1Click();
    void Button3Click();
    // The destination exists or was created; false stops the split.
    bool CheckDestination(const std::string& folder);

    NcToolContext context_;
    std::string sourceName_;
    SplitOptions options_;
    std::vector<std::string> history_;
    DialogProgress* running_ = nullptr;
};

}  // namespace wexal
