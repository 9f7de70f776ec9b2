#pragma once

#include <QElapsedTimer>
#include <QImage>
#include <QWidget>
#include <cstdint>
#include <optional>

#include "nctools/plot_view.h"
#include "nctools/toolpath_store.h"

namespace wexal {

// The picture of a toolpath: the moves of the store drawn on a dark ground,
// rapids dashed, feeds solid, arcs as arcs, block-delete moves and
// questionable moves in colours of their own. The picture is kept as an
// image and grows as moves arrive, so a program of any size shows its first
// moves at once; only a new view (projection, zoom, pan, fit) draws it all
// again. During a send the moves of the line going out are drawn thick and
// bright, the path before it dimmed.
class PlotCanvas : public QWidget {
    Q_OBJECT

public:
    PlotCanvas(const ToolpathStore& store, QWidget* parent);

    const PlotView& view() const { return view_; }
    PlotProjection projection() const { return view_.projection(); }
    void SetProjection(PlotProjection projection);
    // The whole path in view; the view then follows the path as it grows.
    void FitAll();
    void Zoom(double factor);
    void Pan(double dxPixels, double dyPixels);

    // A new program: nothing drawn, the view fits what comes.
    void Reset();
    // The store has more moves (or merged some); finished: the last came.
    void MovesArrived(bool finished);

    // The line going out during a send (0: none).
    void MarkLine(std::uint64_t line);
    std::uint64_t markedLine() const { return markedLine_; }

    // The index of the move drawn nearest to a point of the widget.
    std::optional<std::size_t> MoveAt(const QPoint& at) const;
    // How often the whole picture has been drawn (the cost of a new view).
    int fullDraws() const { return fullDraws_; }
    // The moves in the picture painted last, so a measurement can see the
    // first picture shown.
    std::size_t paintedMoves() const { return paintedMoves_; }

signals:
    void Clicked(const QPoint& at);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    void Refit();
    void DrawAll();
    void DrawRange(std::size_t first, std::size_t last);
    void Prepare(class QPainter& painter) const;
    void DrawMove(class QPainter& painter, const StoredMove& move) const;
    // The index of the first move that stands for the line or a later one
    // (a merged move may stand for lines before it too).
    std::size_t FirstMoveFrom(std::uint64_t line) const;
    bool BoundsInView() const;

    const ToolpathStore& store_;
    PlotView view_;
    PlotBounds bounds_;           // of moves [0, boundedCount_) as projected
    std::size_t boundedCount_ = 0;
    PlotBounds fittedBounds_;     // what the last fit showed
    std::size_t seenStored_ = 0;  // the store's moves and added count at the
    std::uint64_t seenAdded_ = 0;  // last arrival, which tell a merge
    QImage picture_;
    std::size_t drawnCount_ = 0;
    std::size_t dimmedUpTo_ = 0;  // moves drawn dimmed as sent
    bool smooth_ = true;          // the picture is drawn antialiased
    bool autoFit_ = true;
    QElapsedTimer sinceFit_;
    std::uint64_t markedLine_ = 0;
    int fullDraws_ = 0;
    std::size_t paintedMoves_ = 0;
};

}  // namespace wexal
