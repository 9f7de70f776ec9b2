// P on the real main window: the toolpath window, its keys, its status line,
// the click on a move, following the list's cursor and a send's line.
#include <QApplication>
#include <QLabel>
#include <QtTest>
#include <memory>

#include "programs/file_loader.h"
#include "main_window/file_list_box.h"
#include "main_window/mainunit1.h"
#include "main_window/transfer_panel.h"
#include "plot/plot_canvas.h"
#include "plot/plot_form.h"
#include "serial/send_view.h"
#include "support/main_window_fixture.h"
#include "support/scripted_messages.h"
#include "support/test_env.h"

using namespace wexal;

namespace {

// A square at Z-1 from a plunge; X100 and Y0 without a decimal point.
constexpr const char* kSquare =
    "%\r\nO0001\r\nG21G90\r\nG00X0Y0Z5.\r\nG01Z-1.F100\r\nX100Y0\r\nY50.\r\nX0.\r\nY0\r\n"
    "G00Z5.\r\nM30\r\n%\r\n";
// A line and a subprogram call, which the plot does not follow.
constexpr const char* kLine = "%\nG01X10.Y20.Z30.F100\nM98P1000\n%\n";

QString StatusText(const TPlotForm& plot) { return plot.StatusLine->text(); }

}  // namespace

class PlotTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<test::TempDir> program_;
    std::unique_ptr<test::TempDir> work_;
    test::ScriptedMessages messages_;
    test::NullScreenSaver screenSaver_;

    std::unique_ptr<TForm1> Start() {
        test::WriteFileBytes(work_->path() / "A1.NC", kSquare);
        test::WriteFileBytes(work_->path() / "A2.NC", kLine);
        std::filesystem::create_directory(work_->path() / "SUB");
        TForm1::Services services{&messages_, &screenSaver_, {}, nullptr, {}};
        auto form = test::StartMainWindow({}, program_->path(), services);
        if (!form) return nullptr;
        form->settings().DirPath = work_->path().string();
        form->settings().Mask = "*.NC";
        form->RefreshFileList();
        return form;
    }

private slots:
    void init() {
        program_ = std::make_unique<test::TempDir>();
        work_ = std::make_unique<test::TempDir>();
        messages_ = test::ScriptedMessages();
    }
    void cleanup() {
        work_.reset();
        program_.reset();
    }

    void keysOfThePlot() {
        auto form = Start();
        QVERIFY(form);
        TPlotForm& plot = form->PlotForm();
        // On a folder row nothing opens, as with V.
        QVERIFY(test::CursorTo(*form, "SUB"));
        QTest::keyClick(form->ListBox1, Qt::Key_P);
        QVERIFY(!plot.isVisible());

        QVERIFY(test::CursorTo(*form, "A1.NC"));
        QTest::keyClick(form->ListBox1, Qt::Key_P);
        QVERIFY(plot.isVisible());
        QCOMPARE(plot.windowTitle(), QStringLiteral("ツールパス - A1.NC"));
        // Beside the main window, not over it, where the screen has room.
        QVERIFY(plot.x() >= form->frameGeometry().right() ||
                plot.geometry().right() >= form->frameGeometry().right());
        QTRY_VERIFY(!plot.loading());
        QVERIFY2(StatusText(plot).startsWith(QStringLiteral(
                     "XY  範囲 X 0.000〜100.000 Y 0.000〜50.000 Z -1.000〜5.000 mm  移動 7  不明 0")),
                 qPrintable(StatusText(plot)));
        QCOMPARE(plot.StatusLine->accessibleName(), StatusText(plot));
        QCOMPARE(plot.Canvas->accessibleName(), QStringLiteral("ツールパス図"));
        QVERIFY(test::SaveShot(plot, "plot_square.png"));

        struct Row {
            Qt::Key key;
            PlotProjection projection;
            double zoom;  // scale after / before
            int panX;     // sign of the centre's move on the picture's plane
            int panY;
            const char* view;
        };
        const Row rows[] = {
            {Qt::Key_2, PlotProjection::XZ, 0, 0, 0, "XZ"},
            {Qt::Key_3, PlotProjection::YZ, 0, 0, 0, "YZ"},
            {Qt::Key_4, PlotProjection::Iso, 0, 0, 0, "等角"},
            {Qt::Key_1, PlotProjection::XY, 0, 0, 0, "XY"},
            {Qt::Key_Plus, PlotProjection::XY, 1.25, 0, 0, "XY"},
            {Qt::Key_Minus, PlotProjection::XY, 0.8, 0, 0, "XY"},
            {Qt::Key_Right, PlotProjection::XY, 1, 1, 0, "XY"},
            {Qt::Key_Left, PlotProjection::XY, 1, -1, 0, "XY"},
            {Qt::Key_Up, PlotProjection::XY, 1, 0, 1, "XY"},
            {Qt::Key_Down, PlotProjection::XY, 1, 0, -1, "XY"},
        };
        for (const Row& row : rows) {
            const PlotView before = plot.Canvas->view();
            QTest::keyClick(&plot, row.key);
            const PlotView& after = plot.Canvas->view();
            const QString where = QString::number(row.key, 16);
            QVERIFY2(after.projection() == row.projection, qPrintable(where));
            QVERIFY2(StatusText(plot).startsWith(QString::fromUtf8(row.view) + QStringLiteral("  ")),
                     qPrintable(where + StatusText(plot)));
            if (row.zoom == 0) continue;  // a new view fits itself
            QVERIFY2(std::abs(after.scale() / before.scale() - row.zoom) < 1e-9, qPrintable(where));
            const double dx = after.centre().x - before.centre().x;
            const double dy = after.centre().y - before.centre().y;
            QVERIFY2((dx > 0) - (dx < 0) == row.panX && (dy > 0) - (dy < 0) == row.panY,
                     qPrintable(where));
        }
        // Home fits the whole path again: the square from corner to corner.
        QTest::keyClick(&plot, Qt::Key_Home);
        const PlotView& fitted = plot.Canvas->view();
        QCOMPARE(fitted.centre(), (PlotPoint{50, 25}));
        const PlotPoint corner = fitted.ToScreen({100, 50, 0});
        QVERIFY(corner.x <= plot.Canvas->width() && corner.x > plot.Canvas->width() - 40);

        // A click on the move of line 7 (Y50.) names the line and its text.
        const PlotPoint onLine7 = fitted.ToScreen({100, 25, -1});
        QTest::mouseClick(plot.Canvas, Qt::LeftButton, {},
                          QPoint(static_cast<int>(onLine7.x), static_cast<int>(onLine7.y)));
        QTRY_VERIFY2(StatusText(plot).endsWith(QStringLiteral("\n行 7 (直線): Y50.")),
                     qPrintable(StatusText(plot)));
        QTest::mouseClick(plot.Canvas, Qt::LeftButton, {}, QPoint(2, 2));
        QVERIFY(StatusText(plot).endsWith(QStringLiteral("近くに移動がありません。")));

        // D: a number without a decimal point is the least increment: X100 is 0.1 mm.
        QTest::keyClick(&plot, Qt::Key_D);
        QVERIFY(plot.noDecimalIsLeastIncrement());
        QCOMPARE(form->settings().PlotNoDecimal, std::string("Y"));
        QTRY_VERIFY(!plot.loading());
        QVERIFY2(StatusText(plot).contains(QStringLiteral("範囲 X 0.000〜0.100 Y 0.000〜50.000")) &&
                     StatusText(plot).contains(QStringLiteral("小数点なし=最小単位")),
                 qPrintable(StatusText(plot)));
        QTest::keyClick(&plot, Qt::Key_D);
        QTRY_VERIFY(!plot.loading());
        QVERIFY(StatusText(plot).contains(QStringLiteral("X 0.000〜100.000")));

        // Tab gives the keyboard back to the list; the plot stays and follows
        // the cursor, once it has rested on a file.
        QTest::keyClick(&plot, Qt::Key_Tab);
        QTRY_VERIFY(form->ListBox1->hasFocus());
        QVERIFY(plot.isVisible());
        QTest::keyClick(form->ListBox1, Qt::Key_Down);
        QCOMPARE(form->fileList().FileNameOfRow(form->fileList().Cursor()), std::string("A2.NC"));
        QCOMPARE(plot.windowTitle(), QStringLiteral("ツールパス - A1.NC"));
        QTRY_COMPARE(plot.windowTitle(), QStringLiteral("ツールパス - A2.NC"));
        QTRY_VERIFY(!plot.loading());
        QVERIFY2(StatusText(plot).contains(QStringLiteral("X 0.000〜10.000 Y 0.000〜20.000 Z 0.000〜30.000")),
                 qPrintable(StatusText(plot)));
        QVERIFY2(StatusText(plot).contains(QStringLiteral("不明 1（行 3 M98")),
                 qPrintable(StatusText(plot)));
        // Rewritten, the file on show is read again when the list is refreshed.
        test::WriteFileBytes(work_->path() / "A2.NC", "%\nG01X12.Y20.Z30.F100\n%\n");
        form->RefreshFileList(FileListModel::kKeepCursor);
        QTRY_VERIFY2(StatusText(plot).contains(QStringLiteral("X 0.000〜12.000 Y 0.000〜20.000")),
                     qPrintable(StatusText(plot)));
        // Passing over files quickly reads only the one the cursor stops on.
        QTest::keyClick(form->ListBox1, Qt::Key_Up);
        QTest::qWait(50);
        QCOMPARE(plot.windowTitle(), QStringLiteral("ツールパス - A2.NC"));
        QTest::keyClick(form->ListBox1, Qt::Key_Down);
        QTest::qWait(400);
        QCOMPARE(plot.windowTitle(), QStringLiteral("ツールパス - A2.NC"));
        QVERIFY(!plot.loading());

        // P in the list takes the keyboard to the plot; Esc closes it and
        // the list has the keyboard again.
        QTest::keyClick(form->ListBox1, Qt::Key_P);
        QTRY_VERIFY(plot.isActiveWindow());
        QTest::keyClick(&plot, Qt::Key_Escape);
        QVERIFY(!plot.isVisible());
        QTRY_VERIFY(form->ListBox1->hasFocus());
        // Closed, it no longer follows.
        QTest::keyClick(form->ListBox1, Qt::Key_Up);
        QTest::qWait(400);
        QCOMPARE(plot.windowTitle(), QStringLiteral("ツールパス - A2.NC"));
    }

    // A big program shows its progress while it is read, and Esc closes at once.
    void escWhileReading() {
        std::string big = "%\r\n";
        for (int n = 0; big.size() < 30'000'000; ++n) {
            big += "G01X" + std::to_string(n % 1000) + ".5Y" + std::to_string(n % 777) + ".Z-1.\r\n";
        }
        test::WriteFileBytes(work_->path() / "BIG.NC", big);
        auto form = Start();
        QVERIFY(form);
        TPlotForm& plot = form->PlotForm();
        QVERIFY(test::CursorTo(*form, "BIG.NC"));
        QTest::keyClick(form->ListBox1, Qt::Key_P);
        QVERIFY(plot.loading());
        QVERIFY(StatusText(plot).startsWith(QStringLiteral("XY  読込中 ")));
        // The first moves are drawn while the rest is still being read.
        QTRY_VERIFY(!plot.store().moves().empty());
        QVERIFY(plot.loading());
        QTest::keyClick(&plot, Qt::Key_Escape);
        QVERIFY(!plot.isVisible());
        QVERIFY(!plot.loading());
        QVERIFY(plot.store().moves().empty());

        // Read to its end, past the store's bound: the picture drawn as the
        // moves came, merges and all, is the picture of what is kept.
        QTest::keyClick(form->ListBox1, Qt::Key_P);
        QTRY_VERIFY_WITH_TIMEOUT(!plot.loading(), 60000);
        QVERIFY(plot.store().moves().size() < plot.store().added());
        const QImage grown = plot.Canvas->grab().toImage();
        const int draws = plot.Canvas->fullDraws();
        QTest::keyClick(&plot, Qt::Key_Home);
        QCOMPARE(plot.Canvas->fullDraws(), draws + 1);
        QCOMPARE(plot.Canvas->grab().toImage(), grown);

        // The main window going while a program is read stops and joins the
        // reader (a hang or a crash here fails the run).
        QTest::keyClick(&plot, Qt::Key_Escape);
        QTest::keyClick(form->ListBox1, Qt::Key_P);
        QVERIFY(form->PlotForm().loading());
        form.reset();
    }

    // The line a send highlights in its view marks its moves in the plot of
    // the same file, and only of that file.
    void sendMarksTheLineGoingOut() {
        auto form = Start();
        QVERIFY(form);
        TPlotForm& plot = form->PlotForm();
        QVERIFY(test::CursorTo(*form, "A1.NC"));
        QTest::keyClick(form->ListBox1, Qt::Key_P);
        QTRY_VERIFY(!plot.loading());
        TransferPanel& panel = form->transferPanel();
        struct Row {
            const char* file;
            std::size_t index;
            std::uint64_t marked;
        };
        const Row rows[] = {
            {"A1.NC", 5, 6},  // X100Y0
            {"A1.NC", 6, 7},
            {"A2.NC", 1, 7},  // another program: the plot does not move
            {"A1.NC", 8, 9},
            {"A1.NC", 3, 4},  // a new send starts over
        };
        for (const Row& row : rows) {
            const ProgramLoad load = LoadProgram(work_->path().string(), row.file, messages_);
            QVERIFY(load.program);
            panel.ShowView(SendView(load.program));
            panel.HighlightLine(row.index);
            QCOMPARE(plot.Canvas->markedLine(), row.marked);
        }
        QVERIFY(StatusText(plot).endsWith(QStringLiteral("送信中 行 4")));
        // The plunge of line 5 is after the marked line 4; the rapid of line 4 is marked.
        const auto [first, last] = plot.store().MovesOfLine(4);
        QCOMPARE(last - first, std::size_t{1});
        QVERIFY(test::SaveShot(plot, "plot_send_qtest.png"));
        // The send's end draws the path as before it.
        const int draws = plot.Canvas->fullDraws();
        form->TransferEnded(TransferEnd::Completed, false, false, false);
        QCOMPARE(plot.Canvas->markedLine(), std::uint64_t{0});
        QCOMPARE(plot.Canvas->fullDraws(), draws + 1);
        QVERIFY(!StatusText(plot).contains(QStringLiteral("送信中")));
    }
};

QTEST_MAIN(PlotTest)
#include "plot_qtest.moc"
