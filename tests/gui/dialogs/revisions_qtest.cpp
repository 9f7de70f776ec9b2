// U on the real main window: a file with two revisions made through the
// core, its history shown, a revision viewed and restored, with scripted
// answers.
#include <QAccessible>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QtTest>
#include <filesystem>

#include "dialogs/revisions_form.h"
#include "main_window/file_commands.h"
#include "main_window/program_view.h"
#include "main_window/transfer_panel.h"
#include "platform/atomic_file.h"
#include "support/main_window_fixture.h"
#include "support/scripted_messages.h"

using namespace wexal;
namespace fs = std::filesystem;

class RevisionsTest : public QObject {
    Q_OBJECT

private slots:
    void historyViewedAndRestored() {
        const test::TempDir program, work;
        const test::ScopedEnv home("HOME", work.path().c_str());
        test::ScriptedMessages messages;
        test::NullScreenSaver screenSaver;
        // O1.NC holds "third3333"; its revisions "second!" and "one".
        const fs::path file = work / "O1.NC";
        test::WriteFileBytes(file, "one");
        for (const char* bytes : {"second!", "third3333"}) {
            QVERIFY(WriteFileAtomically(file, bytes, LinkMode::Follow, RevisionPolicyOf(50)));
        }
        const RevisionList kept = ListRevisions(file);
        QCOMPARE(kept.revisions.size(), std::size_t{2});

        auto form = test::StartOnFolder(program.path(), work.path(), messages, screenSaver);
        QVERIFY(form);
        TRevisionsForm& dialog = form->fileCommands().RevisionsForm();
        QListWidget* list = dialog.ListBox1;
        const auto open = [&] {
            QVERIFY(test::CursorTo(*form, "O1.NC"));
            QTest::keyClick(form->ListBox1, Qt::Key_U);
            QVERIFY(dialog.isVisible());
        };
        const auto texts = [list] {
            QStringList rows;
            for (int i = 0; i < list->count(); ++i) rows << list->item(i)->text();
            return rows;
        };

        open();
        for (const QString& name :
             {dialog.windowTitle(), dialog.accessibleName(), list->accessibleName()}) {
            QCOMPARE(name, QStringLiteral("版の履歴"));
        }
        QVERIFY(form->frameGeometry().contains(dialog.frameGeometry()));
        QCOMPARE(dialog.focusWidget(), list);
        const QStringList rows = texts();
        const QString time1 =
            QString::fromStdString(RevisionLocalTimeText(kept.revisions[0].timeMs));
        const QString time2 =
            QString::fromStdString(RevisionLocalTimeText(kept.revisions[1].timeMs));
        QCOMPARE(rows.size(), 3);
        QVERIFY2(rows[0].endsWith(QStringLiteral("  現在のファイル  9")), qPrintable(rows[0]));
        QCOMPARE(rows.mid(1), QStringList({time1 + QStringLiteral("  Wexal           7"),
                                           time2 + QStringLiteral("  Wexal           3")}));
        // Assistive technology reads each row as drawn.
        QAccessibleInterface* spoken = QAccessible::queryAccessibleInterface(list);
        QVERIFY(spoken && spoken->childCount() == rows.size());
        for (int i = 0; i < rows.size(); ++i) {
            QCOMPARE(spoken->child(i)->text(QAccessible::Name), rows[i]);
        }
        QVERIFY(test::SaveShot(dialog, QStringLiteral("revisions_dialog.png")));

        // Enter on the newest revision: its bytes in the read-only file view.
        QTest::keyClick(list, Qt::Key_Down);
        QTest::keyClick(list, Qt::Key_Return);
        ProgramView* view = form->transferPanel().ProgramView1;
        QVERIFY(!dialog.isVisible() && view->isVisible());
        QCOMPARE(form->GroupBox2->title(), QStringLiteral("ファイルビュー"));
        QCOMPARE(view->VisibleText(), QStringLiteral("second!"));
        QCOMPARE(form->Label11->text(), time1 + QStringLiteral("  Wexal"));
        QTest::keyClick(view, Qt::Key_Escape);
        // Back on the same file the cursor is where it was; Enter on the
        // first row shows the file as it is.
        open();
        QCOMPARE(list->currentRow(), 1);
        QTest::keyClick(list, Qt::Key_Up);
        QTest::keyClick(list, Qt::Key_Return);
        QCOMPARE(view->VisibleText(), QStringLiteral("third3333"));
        QTest::keyClick(view, Qt::Key_Escape);

        // R on the oldest revision: No changes nothing; Yes puts it back,
        // what stood there becomes the newest revision, the main list is read again.
        open();
        QTest::keyClick(list, Qt::Key_End);
        messages.Answer(false);
        QTest::keyClick(list, Qt::Key_R);
        QCOMPARE(messages.shown().back().text, "この版に戻しますか？\n" + time2.toStdString() +
                                                   "  Wexal\n今のファイルは版として残ります。");
        QCOMPARE(test::ReadFileBytes(file), std::string("third3333"));
        test::WriteFileBytes(work / "NEW.NC", "N");
        messages.Answer(true);
        QTest::keyClick(list, Qt::Key_R);
        QCOMPARE(test::ReadFileBytes(file), std::string("one"));
        const RevisionList after = ListRevisions(file);
        QCOMPARE(after.revisions.size(), std::size_t{3});
        QCOMPARE(test::ReadFileBytes(after.revisions[0].path), std::string("third3333"));
        const QStringList restored = texts();
        QCOMPARE(restored.size(), 4);
        QVERIFY2(restored[0].endsWith(QStringLiteral("  現在のファイル  3")),
                 qPrintable(restored[0]));
        QVERIFY2(restored[1].endsWith(QStringLiteral("  Wexal           9")),
                 qPrintable(restored[1]));
        QCOMPARE(restored.mid(2), rows.mid(1));
        QCOMPARE(list->currentRow(), 3);  // still on the revision put back
        QVERIFY(test::RowOf(*form, "NEW.NC") >= 0);

        // A revision gone since the list was read: the failure in a box.
        fs::remove(after.revisions[0].path);
        QTest::keyClick(list, Qt::Key_Home);
        QTest::keyClick(list, Qt::Key_Down);
        messages.Answer(true);
        QTest::keyClick(list, Qt::Key_R);
        QCOMPARE(messages.shown().back().icon, MessageIcon::Error);
        QVERIFY(messages.shown().back().text.starts_with("版を読めません。"));
        QCOMPARE(test::ReadFileBytes(file), std::string("one"));

        QTest::keyClick(list, Qt::Key_Escape);
        QVERIFY(!dialog.isVisible() && !messages.unanswered());
    }
};

QTEST_MAIN(RevisionsTest)
#include "revisions_qtest.moc"
