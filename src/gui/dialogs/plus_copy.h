#pragma once

#include <QDialog>
#include <functional>
#include <string>
#include <vector>

#include "dialogs/tool_dialog.h"

class QComboBox;
class QLabel;
class QListWidget;
class QPushButton;

namespace wexal {

// The copy and move dialog "ﾌｧｲﾙｺﾋﾟｰ" / "ﾌｧｲﾙ移動": the entries of the
// current folder, in marking order, into a destination folder from the
// history Path.lst.
class TPlusCopyForm : public QDialog {
    Q_OBJECT

public:
    // Runs the copy or move of full paths into a folder; true when it ran to
    // its end.
    using CopyOrMoveRun = std::function<bool(const std::vector<std::string>& sources,
                                             const std::string& destination)>;

    TPlusCopyForm(NcToolContext context, CopyOrMoveRun run, QWidget* parent);

    // C, F4 (copy) and M, Shift+F3 (move): the names of the entries.
    void Open(std::vector<std::string> names, bool copyMode);

    QLabel* Label1 = nullptr;
    QListWidget* ListBox1 = nullptr;
    QLabel* Label2 = nullptr;
    QComboBox* ComboBox1 = nullptr;
    QPushButton* Button1 = nullptr;
    QPushButton* Button2 = nullptr;
    QPushButton* Button3 = nullptr;

    const std::vector<std::string>& history() const { return history_; }

public slots:
    // Every way of closing; while the copy runs its own progress dialog
    // takes the abort.
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
    // The destination folder after the create question; nullopt stops.
    std::optional<std::string> CheckDestination(const std::string& folder);

    NcToolContext context_;
    CopyOrMoveRun run_;
    std::vector<std::string> names_;
    std::vector<std::string> history_;
    bool copyMode_ = true;
    bool running_ = false;
};

}  // namespace wexal
