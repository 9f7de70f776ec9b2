#pragma once

#include <QDialog>
#include <QWidget>
#include <algorithm>
#include <atomic>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "revisions/compare_programs.h"
#include "revisions/compare_rows.h"

class QLabel;
class QScrollBar;

namespace wexal {

class MessageService;

// One side of a comparison: the file, and what its pane's heading says.
struct CompareSide {
    std::filesystem::path path;
    std::string caption;
};

// One side of the rows in sight, as the pane paints and reads them out.
struct ComparePaneRow {
    CompareRowKind kind = CompareRowKind::Same;
    CompareCell cell;
    bool current = false;  // a row of the difference on show
};

// A pane of the comparison: paints the rows it is given, no widget per line.
// Assistive technology reads its rows, as drawn, as its description.
class ComparePane : public QWidget {
    Q_OBJECT

public:
    static constexpr int kRowHeight = 16;

    ComparePane(const QString& accessibleName, QWidget* parent);

    void SetRows(std::vector<ComparePaneRow> rows, int shiftColumns);
    // Whole rows that fit.
    int RowCapacity() const { return std::max(1, height() / kRowHeight); }
    // The rows in sight as drawn, one a line.
    QString VisibleText() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::vector<ComparePaneRow> rows_;
    int shift_ = 0;
};

struct CompareContext {
    QWidget* mainWindow = nullptr;
    MessageService* messages = nullptr;
};

// "比較": two programs side by side, line against line. The comparison runs
// on a thread of its own; the window takes keys meanwhile and Esc stops it.
// N and P go to the next and previous difference, the arrows, Page keys,
// Home and End scroll both panes, B, J and C turn ignoring blanks, N words
// and case on and off and compare again, Esc closes.
class TCompareForm : public QDialog {
    Q_OBJECT

public:
    TCompareForm(CompareContext context, QWidget* parent);
    ~TCompareForm() override;

    // Shows the dialog and starts comparing left (the older) with right.
    void Open(CompareSide left, CompareSide right);

    QLabel* Label1 = nullptr;  // the left side's heading
    QLabel* Label2 = nullptr;  // the right side's heading
    ComparePane* LeftPane = nullptr;
    ComparePane* RightPane = nullptr;
    QScrollBar* ScrollBar1 = nullptr;
    QLabel* StatusLabel = nullptr;
    QLabel* HelpLabel = nullptr;

    bool Comparing() const { return comparing_; }
    // Worker threads not yet ended (a stopped one ends soon after).
    std::size_t Workers() const { return jobs_.size(); }
    const CompareRows& Rows() const;
    const CompareScroll& Scroll() const { return scroll_; }

public slots:
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Job {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> stop;
    };

    void CreateControls();
    void Run();
    void Finished(int generation, int session, const std::shared_ptr<CompareOutcome>& outcome);
    void Stop();
    void KeyDown(int key);
    // The panes, the scroll bar and the status line after any change.
    void ShowRows();

    CompareContext context_;
    CompareSide left_, right_;
    std::shared_ptr<const ComparedProgram> leftProgram_, rightProgram_;
    CompareOptions options_;
    std::shared_ptr<const CompareOutcome> outcome_;  // the comparison on show
    CompareScroll scroll_;
    std::size_t numberColumns_ = 1;
    int shift_ = 0;  // columns the text is scrolled left
    bool comparing_ = false;
    std::string state_;  // the status line's word when there are no counts
    std::map<int, Job> jobs_;
    int generation_ = 0;
    int session_ = 0;
};

}  // namespace wexal
