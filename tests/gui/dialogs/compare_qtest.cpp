// W on the real main window: two marked files, a file against its newest
// revision and a revision from the history compared side by side; the keys
// of the comparison, its options, and a long comparison stopped by Esc.
#include <QAccessible>
#include <QElapsedTimer>
#include <QLabel>
#include <QListWidget>
#include <QtTest>
#include <filesystem>
#include <string>

#include "dialogs/compare_form.h"
#include "dialogs/revisions_form.h"
#include "main_window/file_commands.h"
#include "platform/atomic_file.h"
#include "support/main_window_fixture.h"
#include "support/scripted_messages.h"

using namespace wexal;
namespace fs = std::filesystem;

namespace {

QStringList Lines(const QString& text) { return text.split(QLatin1Char('\n')); }

QString Said(QWidget* widget, QAccessible::Text kind) {
    return QAccessible::queryAccessibleInterface(widget)->text(kind);
}

// The colour painted at x on a display row of a pane, halfway down the row
// or at its bottom edge, below the glyphs.
QColor At(QWidget* pane, int x, int row, int y = ComparePane::kRowHeight / 2) {
    return pane->grab().toImage().pixelColor(x, row * ComparePane::kRowHeight + y);
}

// A program of many lines, each its own; every seventh one differs when
// `changed`, so that the shortest edit takes long to find.
std::string LongProgram(bool changed) {
    std::string program;
    for (int i = 0; i < 200'000; ++i) {
        const bool other = changed && i % 7 == 3;
        program += "N" + std::to_string(i) + "G01X" + std::to_string(i % 977) +
                   (other ? ".5" : ".") + "Y" + std::to_string(i % 613) + ".\n";
    }
    return program;
}

}  // namespace

class CompareTest : public QObject {
    Q_OBJECT

private slots:
    void programsComparedSideBySide() {
        const test::TempDir program, work;
        const test::ScopedEnv home("HOME", work.path().c_str());
        test::ScriptedMessages messages;
        test::NullScreenSaver screenSaver;
        test::WriteFileBytes(work / "A.NC", "O1\nG01X10.F300\nG00Z50.\nM30\n");
        test::WriteFileBytes(work / "C.NC", "G04P1.\nO1\nG01X10.F250\nM30\n");
        // A program punched back with blanks between its words, and its master.
        test::WriteFileBytes(work / "M.NC", "G90G54\nG00X0Y0\nG01Z-1.F100\nG00Z50.\n");
        test::WriteFileBytes(work / "P.NC", "G90 G54\nG00 X0 Y0\nG01 Z-1. F100\nG00 Z50.\n");
        test::WriteFileBytes(work / "LONG.NC", std::string(kMostCompareLines, '\n') + "M30");
        // O1.NC holds two lines now and had one before.
        test::WriteFileBytes(work / "O1.NC", "G00X0\n");
        QVERIFY(WriteFileAtomically(work / "O1.NC", "G00X0\nG01X5.\n", LinkMode::Follow,
                                    RevisionPolicyOf(50)));

        auto form = test::StartOnFolder(program.path(), work.path(), messages, screenSaver);
        QVERIFY(form);
        TCompareForm& dialog = form->fileCommands().CompareForm();
        ComparePane* left = dialog.LeftPane;
        ComparePane* right = dialog.RightPane;
        const auto mark = [&](const std::string& name) {
            QVERIFY(test::CursorTo(*form, name));
            QTest::keyClick(form->ListBox1, Qt::Key_Return);
        };
        const auto compared = [&] {
            QVERIFY(dialog.isVisible());
            QTRY_VERIFY(!dialog.Comparing());
        };
        const auto shown = [](ComparePane* pane) { return Lines(pane->VisibleText()); };

        // A and C marked in that order: A on the left, C on the right.
        mark("A.NC");
        mark("C.NC");
        QTest::keyClick(form->ListBox1, Qt::Key_W);
        compared();
        QVERIFY(form->frameGeometry().contains(dialog.frameGeometry()));
        QCOMPARE(dialog.focusWidget(), left);
        QCOMPARE(dialog.Label1->text(), QStringLiteral("A.NC"));
        QCOMPARE(dialog.Label2->text(), QStringLiteral("C.NC"));
        QCOMPARE(shown(left), QStringList({"", "1   O1", "2 ! G01X10.F300", "3 - G00Z50.",
                                           "4   M30"}));
        QCOMPARE(shown(right), QStringList({"1 + G04P1.", "2   O1", "3 ! G01X10.F250", "",
                                            "4   M30"}));
        const QString counts = QStringLiteral("追加 1 行　削除 1 行　変更 1 行　");
        const QString defaults = QStringLiteral("　　空白無視 ON  N番号無視 OFF  大小無視 OFF");
        QCOMPARE(dialog.StatusLabel->text(), counts + "違い 2 か所" + defaults);
        // Assistive technology reads what is drawn.
        for (ComparePane* pane : {left, right}) {
            QCOMPARE(Said(pane, QAccessible::Description), pane->VisibleText());
        }
        QCOMPARE(Said(left, QAccessible::Name), QStringLiteral("比較 左"));
        QCOMPARE(Said(right, QAccessible::Name), QStringLiteral("比較 右"));
        QCOMPARE(Said(&dialog, QAccessible::Name), QStringLiteral("比較"));
        QCOMPARE(Said(dialog.StatusLabel, QAccessible::Name), dialog.StatusLabel->text());
        // Each kind of row in its own colours: a removed line opposite a
        // filler, an added one opposite a filler, the changed characters
        // turned round.
        const int edge = left->width() - 2;
        QCOMPARE(At(left, edge, 3), QColor(0x4A, 0x00, 0x00));
        QCOMPARE(At(right, edge, 3), QColor(0x30, 0x30, 0x30));
        QCOMPARE(At(left, edge, 0), QColor(0x30, 0x30, 0x30));
        QCOMPARE(At(right, edge, 0), QColor(0x00, 0x40, 0x00));
        QCOMPARE(At(left, edge, 2), QColor(0x3C, 0x3C, 0x00));
        const int changedAt = 6 + left->fontMetrics().horizontalAdvance("2 ! G01X10.F") + 2;
        QCOMPARE(At(left, changedAt, 2, ComparePane::kRowHeight - 1), QColor(255, 255, 80));
        QCOMPARE(At(left, changedAt - 2 * left->fontMetrics().horizontalAdvance(QLatin1Char('0')), 2,
                    ComparePane::kRowHeight - 1),
                 QColor(0x3C, 0x3C, 0x00));

        // N and P through the differences, the one on show marked at the edge.
        const QColor lit(0, 255, 255);
        QVERIFY(At(left, 1, 0) != lit);
        QTest::keyClick(left, Qt::Key_N);
        QCOMPARE(dialog.StatusLabel->text(), counts + "違い 1/2" + defaults);
        QCOMPARE(At(left, 1, 0), lit);
        QTest::keyClick(left, Qt::Key_N);
        QCOMPARE(dialog.StatusLabel->text(), counts + "違い 2/2" + defaults);
        QCOMPARE(At(right, 1, 3), lit);
        QVERIFY(At(left, 1, 0) != lit);
        QTest::keyClick(left, Qt::Key_N);
        QCOMPARE(dialog.Scroll().current(), std::optional<std::size_t>(1));
        QTest::keyClick(right, Qt::Key_P);
        QCOMPARE(dialog.StatusLabel->text(), counts + "違い 1/2" + defaults);
        QTest::keyClick(left, Qt::Key_Down);  // nothing to scroll: five rows fit
        QCOMPARE(dialog.Scroll().top(), std::size_t{0});
        QVERIFY(test::SaveShot(dialog, QStringLiteral("compare_dialog.png")));
        QTest::keyClick(left, Qt::Key_Escape);
        QVERIFY(!dialog.isVisible());
        QTest::keyClick(form->ListBox1, Qt::Key_End);  // the marks off

        // The punched program against its master: the same with blanks
        // ignored, every line changed without them, the same again with B.
        mark("M.NC");
        mark("P.NC");
        QTest::keyClick(form->ListBox1, Qt::Key_W);
        compared();
        QCOMPARE(dialog.StatusLabel->text(),
                 QStringLiteral("追加 0 行　削除 0 行　変更 0 行　違いはありません。") + defaults);
        QTest::keyClick(left, Qt::Key_B);
        compared();
        QCOMPARE(dialog.StatusLabel->text(),
                 QStringLiteral("追加 0 行　削除 0 行　変更 4 行　違い 1 か所　　空白無視 OFF  "
                                "N番号無視 OFF  大小無視 OFF"));
        QCOMPARE(shown(right).first(), QStringLiteral("1 ! G90 G54"));
        QTest::keyClick(left, Qt::Key_B);
        compared();
        QCOMPARE(dialog.Rows().DifferenceCount(), std::size_t{0});
        QTest::keyClick(left, Qt::Key_B);  // off again: the next comparison starts afresh
        compared();
        QTest::keyClick(left, Qt::Key_Escape);
        QTest::keyClick(form->ListBox1, Qt::Key_End);

        // Other than two marks: a box; a program too long: a box, no window.
        const std::string markTwo = "比較するファイルを２つマークしてください。";
        for (const auto& names : {std::vector<std::string>{"A.NC"},
                                  std::vector<std::string>{"A.NC", "C.NC", "M.NC"}}) {
            for (const std::string& name : names) mark(name);
            QTest::keyClick(form->ListBox1, Qt::Key_W);
            QVERIFY(!dialog.isVisible());
            QCOMPARE(messages.shown().back().text, markTwo);
            QCOMPARE(messages.shown().back().caption, std::string("確認"));
            QTest::keyClick(form->ListBox1, Qt::Key_End);
        }
        mark("A.NC");
        mark("LONG.NC");
        QTest::keyClick(form->ListBox1, Qt::Key_W);
        QTRY_VERIFY(!dialog.isVisible());
        QCOMPARE(messages.shown().back().text, std::string(kTooLongToCompare));
        QTest::keyClick(form->ListBox1, Qt::Key_End);

        // W on a file: its newest revision on the left, the file on the right.
        const RevisionList kept = ListRevisions(work / "O1.NC");
        QCOMPARE(kept.revisions.size(), std::size_t{1});
        const QString revision =
            QStringLiteral("O1.NC  ") + QString::fromStdString(RevisionCaption(kept.revisions[0]));
        QVERIFY(test::CursorTo(*form, "O1.NC"));
        QTest::keyClick(form->ListBox1, Qt::Key_W);
        compared();
        QCOMPARE(dialog.Label1->accessibleName(), revision);
        QCOMPARE(dialog.Label2->text(), QStringLiteral("O1.NC  現在のファイル"));
        QVERIFY(dialog.StatusLabel->text().endsWith(defaults));
        QCOMPARE(shown(left), QStringList({"1   G00X0", ""}));
        QCOMPARE(shown(right), QStringList({"1   G00X0", "2 + G01X5."}));
        QTest::keyClick(left, Qt::Key_Escape);
        // A file with no revision says so.
        QVERIFY(test::CursorTo(*form, "A.NC"));
        QTest::keyClick(form->ListBox1, Qt::Key_W);
        QVERIFY(!dialog.isVisible());
        QCOMPARE(messages.shown().back().text, std::string("このファイルには版がありません。"));

        // W in the history (U): the revision on its row against the file;
        // the history is there again after Esc. W on the current file's row
        // does nothing.
        TRevisionsForm& history = form->fileCommands().RevisionsForm();
        QVERIFY(test::CursorTo(*form, "O1.NC"));
        QTest::keyClick(form->ListBox1, Qt::Key_U);
        QVERIFY(history.isVisible());
        QTest::keyClick(history.ListBox1, Qt::Key_W);
        QVERIFY(!dialog.isVisible());
        QTest::keyClick(history.ListBox1, Qt::Key_Down);
        QTest::keyClick(history.ListBox1, Qt::Key_W);
        compared();
        QCOMPARE(dialog.Label1->accessibleName(), revision);
        QCOMPARE(shown(right), QStringList({"1   G00X0", "2 + G01X5."}));
        QTest::keyClick(left, Qt::Key_Escape);
        QVERIFY(!dialog.isVisible() && history.isVisible());
        QTest::keyClick(history.ListBox1, Qt::Key_Escape);
        QVERIFY(!messages.unanswered());
    }

    void longComparisonStoppedByEsc() {
        const test::TempDir program, work;
        const test::ScopedEnv home("HOME", work.path().c_str());
        test::ScriptedMessages messages;
        test::NullScreenSaver screenSaver;
        test::WriteFileBytes(work / "BIG1.NC", LongProgram(false));
        test::WriteFileBytes(work / "BIG2.NC", LongProgram(true));
        auto form = test::StartOnFolder(program.path(), work.path(), messages, screenSaver);
        QVERIFY(form);
        TCompareForm& dialog = form->fileCommands().CompareForm();
        for (const char* name : {"BIG1.NC", "BIG2.NC"}) {
            QVERIFY(test::CursorTo(*form, name));
            QTest::keyClick(form->ListBox1, Qt::Key_Return);
        }
        QElapsedTimer keyToWindow;
        keyToWindow.start();
        QTest::keyClick(form->ListBox1, Qt::Key_W);
        QVERIFY(dialog.isVisible() && dialog.Comparing());
        QVERIFY2(keyToWindow.elapsed() < 1000, qPrintable(QString::number(keyToWindow.elapsed())));
        const QString comparing =
            QStringLiteral("比較中…　　空白無視 ON  N番号無視 OFF  大小無視 OFF");
        QCOMPARE(dialog.StatusLabel->text(), comparing);
        QCOMPARE(Said(dialog.StatusLabel, QAccessible::Name), comparing);

        // The window goes on taking events while the worker compares: a
        // timer of 20 ms fires in time, again and again.
        for (int turn = 0; turn < 10; ++turn) {
            QElapsedTimer waited;
            waited.start();
            bool fired = false;
            QTimer::singleShot(20, &dialog, [&fired] { fired = true; });
            QTest::keyClick(dialog.LeftPane, Qt::Key_Down);
            QVERIFY(QTest::qWaitFor([&fired] { return fired; }, 2000));
            QVERIFY2(waited.elapsed() < 300, qPrintable(QString::number(waited.elapsed())));
        }
        QVERIFY(dialog.Comparing());
        QCOMPARE(dialog.Workers(), std::size_t{1});

        // Esc stops it and says so; the window stays until the next Esc.
        QTest::keyClick(dialog.LeftPane, Qt::Key_Escape);
        QVERIFY(dialog.isVisible() && !dialog.Comparing());
        QCOMPARE(dialog.StatusLabel->text(),
                 QStringLiteral("比較を中止しました。　　空白無視 ON  N番号無視 OFF  大小無視 OFF"));
        QTRY_COMPARE_WITH_TIMEOUT(dialog.Workers(), std::size_t{0}, 5000);
        QCOMPARE(dialog.Rows().size(), std::size_t{0});
        QTest::keyClick(dialog.LeftPane, Qt::Key_Escape);
        QVERIFY(!dialog.isVisible());
        QVERIFY(messages.shown().empty());
    }
};

QTEST_MAIN(CompareTest)
#include "compare_qtest.moc"
