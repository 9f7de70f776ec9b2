// U on the real main window: a file with two revisions made through the
// core, its history shown, a revision viewed and restored, with scripted
// answers.
#include <QAccessible>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QtTest>
#include <filesystem>
#include <memory>

#include "dialogs/revisions_form.h"
#include "main_window/file_commands.h"
#include "main_window/file_list_box.h"
#include "main_window/mainunit1.h"
#include "main_window/program_view.h"
#include "main_window/transfer_panel.h"
#include "platform/atomic_file.h"
#include "revisions/revision_store.h"
#include "support/main_window_fixture.h"
#include "support/scripted_messages.h"
#include "support/test_env.h"

using namespace wexal;
namespace fs = std::filesystem;

class RevisionsTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<test::TempDir> program_;
    std::unique_ptr<test::TempDir> work_;
    std::unique_ptr<test::ScopedEnv> home_;
    test::ScriptedMessages messages_;
    test::NullScreenSaver screenSaver_;

    std::unique_ptr<TForm1> Start() {
        TForm1::Services services{&messages_, &screenSaver_, {}, nullptr, {}};
        auto form = test::StartMainWindow({}, program_->path(), services);
        if (!form) return nullptr;
        form->settings().DirPath = work_->path().string();
        form->settings().Mask = "*.NC";
        form->settings().AllFiles = "Y";
        form->RefreshFileList();
        return form;
    }

    // O1.NC holds "third3333"; its revisions "second!" and "one".
    fs::path FileWithTwoRevisions() {
        const fs::path file = *work_ / "O1.NC";
        test::WriteFileBytes(file, "one");
        for (const char* bytes : {"second!", "third3333"}) {
            if (!WriteFileAtomically(file, bytes, LinkMode::Follow, RevisionPolicyOf(50)))
                return {};
        }
        return file;
    }

    static QStringList ItemTexts(const QListWidget& list) {
        QStringList texts;
        for (int i = 0; i < list.count(); ++i) texts << list.item(i)->text();
        return texts;
    }

    static TRevisionsForm* OpenOn(TForm1& form, const std::string& name) {
        if (!test::CursorTo(form, name)) return nullptr;
        QTest::keyClick(form.ListBox1, Qt::Key_U);
        TRevisionsForm& dialog = form.fileCommands().RevisionsForm();
        return dialog.isVisible() ? &dialog : nullptr;
    }

private slots:
    void init() {
        program_ = std::make_unique<test::TempDir>();
        work_ = std::make_unique<test::TempDir>();
        home_ = std::make_unique<test::ScopedEnv>("HOME", work_->path().c_str());
        messages_ = test::ScriptedMessages();
    }
    void cleanup() {
        home_.reset();
        work_.reset();
        program_.reset();
    }

    void historyViewedAndRestored() {
        const fs::path file = FileWithTwoRevisions();
        QVERIFY(!file.empty());
        const RevisionList kept = ListRevisions(file);
        QCOMPARE(kept.revisions.size(), std::size_t{2});
        fs::create_directory(*work_ / "SUB");
        auto form = Start();
        QVERIFY(form);
        TRevisionsForm& dialog = form->fileCommands().RevisionsForm();

        // Only a file row has a history.
        QTest::keyClick(form->ListBox1, Qt::Key_T);
        QTest::keyClick(form->ListBox1, Qt::Key_U);
        QVERIFY(test::CursorTo(*form, "SUB"));
        QTest::keyClick(form->ListBox1, Qt::Key_U);
        QVERIFY(!dialog.isVisible());

        QCOMPARE(OpenOn(*form, "O1.NC"), &dialog);
        QCOMPARE(dialog.windowTitle(), QStringLiteral("版の履歴"));
        QCOMPARE(dialog.accessibleName(), QStringLiteral("版の履歴"));
        QCOMPARE(dialog.ListBox1->accessibleName(), QStringLiteral("版の履歴"));
        QCOMPARE(dialog.Label1->text(), QStringLiteral("O1.NC"));
        QVERIFY(form->frameGeometry().contains(dialog.frameGeometry()));
        QCOMPARE(dialog.focusWidget(), dialog.ListBox1);
        const QStringList rows = ItemTexts(*dialog.ListBox1);
        QCOMPARE(rows.size(), 3);
        const QString time1 =
            QString::fromStdString(RevisionLocalTimeText(kept.revisions[0].timeMs));
        const QString time2 =
            QString::fromStdString(RevisionLocalTimeText(kept.revisions[1].timeMs));
        QVERIFY2(rows[0].endsWith(QStringLiteral("  現在のファイル  9")), qPrintable(rows[0]));
        QCOMPARE(rows[1], time1 + QStringLiteral("  Wexal           7"));
        QCOMPARE(rows[2], time2 + QStringLiteral("  Wexal           3"));
        QCOMPARE(dialog.ListBox1->currentRow(), 0);

        // Assistive technology reads each row as drawn.
        QAccessibleInterface* list = QAccessible::queryAccessibleInterface(dialog.ListBox1);
        QVERIFY(list);
        QStringList spoken;
        for (int i = 0; i < list->childCount(); ++i)
            spoken << list->child(i)->text(QAccessible::Name);
        QCOMPARE(spoken, rows);
        QVERIFY(test::SaveShot(dialog, QStringLiteral("revisions_dialog.png")));

        // Enter on the newest revision: its bytes in the file view, read-only.
        QTest::keyClick(dialog.ListBox1, Qt::Key_Down);
        QTest::keyClick(dialog.ListBox1, Qt::Key_Return);
        QVERIFY(!dialog.isVisible());
        QVERIFY(form->GroupBox2->isVisible());
        QCOMPARE(form->GroupBox2->title(), QStringLiteral("ファイルビュー"));
        ProgramView* view = form->transferPanel().ProgramView1;
        QVERIFY(view->hasFocus());
        QCOMPARE(view->VisibleText(), QStringLiteral("second!"));
        QCOMPARE(form->StatusPanels[2]->text(), QStringLiteral("ｻｲｽﾞ : 7ﾊﾞｲﾄ"));
        QCOMPARE(form->Label11->text(), time1 + QStringLiteral("  Wexal"));
        QTest::keyClick(view, Qt::Key_Escape);
        QVERIFY(!form->GroupBox2->isVisible() && form->ListBox1->isEnabled());

        // Back on the same file, the cursor is where it was; the first row
        // is the file as it is.
        QCOMPARE(OpenOn(*form, "O1.NC"), &dialog);
        QCOMPARE(dialog.ListBox1->currentRow(), 1);
        QTest::keyClick(dialog.ListBox1, Qt::Key_Up);
        QTest::keyClick(dialog.ListBox1, Qt::Key_Return);
        QCOMPARE(view->VisibleText(), QStringLiteral("third3333"));
        QVERIFY(form->Label11->text().endsWith(QStringLiteral("  現在のファイル")));
        QTest::keyClick(view, Qt::Key_Escape);

        // R on the current file's row asks nothing; No changes nothing.
        QCOMPARE(OpenOn(*form, "O1.NC"), &dialog);
        QTest::keyClick(dialog.ListBox1, Qt::Key_R);
        QVERIFY(messages_.shown().empty());
        QTest::keyClick(dialog.ListBox1, Qt::Key_Down);
        QTest::keyClick(dialog.ListBox1, Qt::Key_Down);
        messages_.Answer(false);
        QTest::keyClick(dialog.ListBox1, Qt::Key_R);
        QCOMPARE(messages_.shown().size(), std::size_t{1});
        QCOMPARE(messages_.shown().back().kind, std::string("yesno"));
        QCOMPARE(messages_.shown().back().text, "この版に戻しますか？\n" + time2.toStdString() +
                                                    "  Wexal\n今のファイルは版として残ります。");
        QCOMPARE(test::ReadFileBytes(file), std::string("third3333"));

        // Yes: the oldest content is back, what stood there is the newest
        // revision, and the main list is read again.
        test::WriteFileBytes(*work_ / "NEW.NC", "N");
        QCOMPARE(test::RowOf(*form, "NEW.NC"), -1);
        messages_.Answer(true);
        QTest::keyClick(dialog.ListBox1, Qt::Key_R);
        QCOMPARE(test::ReadFileBytes(file), std::string("one"));
        const RevisionList after = ListRevisions(file);
        QCOMPARE(after.revisions.size(), std::size_t{3});
        QCOMPARE(test::ReadFileBytes(after.revisions[0].path), std::string("third3333"));
        const QStringList restored = ItemTexts(*dialog.ListBox1);
        QCOMPARE(restored.size(), 4);
        QVERIFY2(restored[0].endsWith(QStringLiteral("  現在のファイル  3")),
                 qPrintable(restored[0]));
        QVERIFY2(restored[1].endsWith(QStringLiteral("  Wexal           9")),
                 qPrintable(restored[1]));
        QCOMPARE(restored.mid(2), rows.mid(1));
        QCOMPARE(dialog.ListBox1->currentRow(), 3);  // still on the revision put back
        QVERIFY(test::RowOf(*form, "NEW.NC") >= 0);
        QVERIFY(dialog.isVisible());

        // A revision gone since the list was read: the failure in a box.
        fs::remove(after.revisions[0].path);
        QTest::keyClick(dialog.ListBox1, Qt::Key_Home);
        QTest::keyClick(dialog.ListBox1, Qt::Key_Down);
        messages_.Answer(true);
        QTest::keyClick(dialog.ListBox1, Qt::Key_R);
        QCOMPARE(messages_.shown().back().kind, std::string("tell"));
        QCOMPARE(messages_.shown().back().icon, MessageIcon::Error);
        QVERIFY2(messages_.shown().back().text.starts_with("版を読めません。"),
                 messages_.shown().back().text.c_str());
        QCOMPARE(test::ReadFileBytes(file), std::string("one"));
        QCOMPARE(dialog.ListBox1->count(), 3);

        QTest::keyClick(dialog.ListBox1, Qt::Key_Escape);
        QVERIFY(!dialog.isVisible());
        QVERIFY(!messages_.unanswered());
    }

    void aFileWithoutRevisions() {
        test::WriteFileBytes(*work_ / "P.NC", "%\n");
        auto form = Start();
        QVERIFY(form);
        TRevisionsForm* dialog = OpenOn(*form, "P.NC");
        QVERIFY(dialog);
        const QStringList rows = ItemTexts(*dialog->ListBox1);
        QCOMPARE(rows.size(), 2);
        QVERIFY2(rows[0].endsWith(QStringLiteral("  現在のファイル  2")), qPrintable(rows[0]));
        QCOMPARE(rows[1], QStringLiteral("版はありません。"));
        // Neither Enter nor R does anything on the note.
        QTest::keyClick(dialog->ListBox1, Qt::Key_Down);
        QTest::keyClick(dialog->ListBox1, Qt::Key_Return);
        QTest::keyClick(dialog->ListBox1, Qt::Key_R);
        QVERIFY(dialog->isVisible() && messages_.shown().empty());
        QTest::keyClick(dialog->ListBox1, Qt::Key_Escape);
        QVERIFY(!dialog->isVisible());
    }
};

QTEST_MAIN(RevisionsTest)
#include "revisions_qtest.moc"
