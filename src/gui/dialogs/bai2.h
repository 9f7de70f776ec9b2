#pragma once

#include <QDialog>
#include <string>

#include "dialogs/tool_dialog.h"

class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace wexal {

// The doubling dialog "選択軸２倍変換": one axis word of every line of the
// view doubled, saved beside the source under the proposed name.
class TBai2Form : public QDialog {
    Q_OBJECT

public:
    TBai2Form(NcToolContext context, QWidget* parent);

    // H: the source's name and the proposed output name.
    void Open(const std::string& sourceName, const std::string& outputName);

    QLabel* Label1 = nullptr;  // "２倍に変換軸"
    QLabel* Label2 = nullptr;  // "変換前:" + source
    QLabel* Label3 = nullptr;  // "変換後:" + output
    QLineEdit* Edit1 = nullptr;
    QPushButton* Button1 = nullptr;
    QPushButton* Button2 = nullptr;
    QProgressBar* ProgressBar1 = nullptr;

public slots:
    // Every way of closing; during a conversion it cancels it instead.
    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void CreateControls();
    void FormShow();
    void Button1Click();

    NcToolContext context_;
    std::string sourceName_;
    std::string outputName_;
    DialogProgress* running_ = nullptr;
};

}  // namespace wexal
