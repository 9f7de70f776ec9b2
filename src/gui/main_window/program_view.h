#pragma once

#include <QAbstractScrollArea>
#include <QString>
#include <QStringList>
#include <cstddef>
#include <memory>
#include <optional>

namespace wexal {

class ProgramText;

// The transfer view of a program (the file view V/F8 and the data of a send):
// it paints only the lines that fit, read from the open file through the
// program's line index, so a program of 1 GB shows at once, scrolls to any
// line and highlights the line being sent at the same cost as a small one.
// The scroll range grows while the index is still being built. A line is
// shown up to its first kShownLineBytes bytes. Screen readers get the visible
// lines as the view's text and the highlighted line as its selection.
class ProgramView : public QAbstractScrollArea {
    Q_OBJECT

public:
    static constexpr std::size_t kShownLineBytes = 4096;

    explicit ProgramView(QWidget* parent = nullptr);
    ~ProgramView() override;

    // Shows the program from its first line; null empties the view.
    void SetProgram(std::shared_ptr<const ProgramText> program);
    void Clear();
    bool HasProgram() const { return program_ != nullptr; }

    // The first line at the top, nothing highlighted.
    void ShowTop();
    // Line index selected whole and scrolled to the second visible line.
    void HighlightLine(std::size_t index);
    std::optional<std::size_t> HighlightedLine() const { return highlighted_; }
    std::size_t TopLine() const;
    // Lines known so far (all of them once the index is complete).
    std::size_t LineCount() const;
    bool Indexed() const;
    // Lines that fit in the view, the last one perhaps in part.
    int VisibleLineCount() const;

    // The visible lines, one per text line, as a screen reader reads them,
    // and the highlighted line (empty when it is not in view).
    QString VisibleText() const;
    QString HighlightedText() const;
    // Where the highlighted line stands in VisibleText, or nullopt.
    std::optional<std::pair<int, int>> HighlightedRange() const;

signals:
    // Something the operator should know about the file on show: changed or
    // deleted since it was opened, or no longer readable.
    void FileTrouble(const QString& text);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    void UpdateRange();
    void Poll();
    void TellAccessibility();
    // The lines from TopLine() that fit, as shown; read once per top line.
    const QStringList& Visible() const;
    int LineHeight() const;

    std::shared_ptr<const ProgramText> program_;
    std::optional<std::size_t> highlighted_;
    class QTimer* poll_ = nullptr;
    bool troubleTold_ = false;
    // What Visible() read last.
    mutable QStringList visible_;
    mutable std::size_t visibleTop_ = 0;
    mutable int visibleCount_ = -1;
    mutable bool visibleWhole_ = false;  // got every line it asked for
};

}  // namespace wexal
