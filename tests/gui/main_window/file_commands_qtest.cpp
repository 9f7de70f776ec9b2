// D, R, F and V on the real main window, keys in and files out, with
// scripted answers and a fake trash.
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>
#include <filesystem>
#include <unistd.h>
#include <memory>

#include "main_window/file_commands.h"
#include "main_window/mainunit1.h"
#include "main_window/program_view.h"
#include "main_window/transfer_panel.h"
#include "main_window/file_list_box.h"
#include "dialogs/find_form.h"
#include "dialogs/rname.h"
#include "support/main_window_fixture.h"
#include "support/scripted_messages.h"
#include "support/test_env.h"

using namespace wexal;
namespace fs = std::filesystem;

class FileCommandsTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<test::TempDir> program_;
    std::unique_ptr<test::TempDir> work_;
    std::unique_ptr<test::ScopedEnv> home_;
    test::ScriptedMessages messages_;
    test::NullScreenSaver screenSaver_;
    std::vector<std::string> trashed_;
    bool trashWorks_ = true;

    std::unique_ptr<TForm1> Start(const char* allFiles = "Y") {
        TForm1::Services services{&messages_, &screenSaver_, {}, nullptr, {}};
        services.moveToTrash = [this](const std::string& path) {
            trashed_.push_back(path);
            return trashWorks_;
        };
        auto form = test::StartMainWindow({}, program_->path(), services);
        if (!form) return nullptr;
        form->settings().DirPath = work_->path().string();
        form->settings().Mask = "*.NC";
        form->settings().AllFiles = allFiles;
        form->RefreshFileList();
        return form;
    }
    static void Mark(TForm1& form, std::initializer_list<const char*> names) {
        for (const char* name : names) {
            QVERIFY(test::CursorTo(form, name));
            QTest::keyClick(form.ListBox1, Qt::Key_Return);
        }
    }

private slots:
    void init() {
        program_ = std::make_unique<test::TempDir>();
        work_ = std::make_unique<test::TempDir>();
        home_ = std::make_unique<test::ScopedEnv>("HOME", work_->path().c_str());
        messages_ = test::ScriptedMessages();
        trashed_.clear();
        trashWorks_ = true;
    }
    void cleanup() {
        home_.reset();
        work_.reset();
        program_.reset();
    }

    void deleteAsksOnceAndLeavesTheListAloneOnNo() {
        for (const char* name : {"A.NC", "B.NC"}) test::WriteFileBytes(*work_ / name, name);
        fs::create_directories(*work_ / "DIR" / "IN");
        auto form = Start();
        QVERIFY(form);
        QTest::keyClick(form->ListBox1, Qt::Key_T);  // the parent row
        QTest::keyClick(form->ListBox1, Qt::Key_D);
        QVERIFY(messages_.shown().empty());

        QVERIFY(test::CursorTo(*form, "A.NC"));
        const int rows = form->fileList().RowCount();
        test::WriteFileBytes(*work_ / "C.NC", "C");
        messages_.Answer(false);
        QTest::keyClick(form->ListBox1, Qt::Key_F3);
        QCOMPARE(messages_.shown().back().text, std::string("「A.NC」をごみ箱に移動しますか？"));
        QCOMPARE(form->fileList().RowCount(), rows);  // no refresh
        messages_.Answer(true);
        QTest::keyClick(form->ListBox1, Qt::Key_D);
        QCOMPARE(trashed_, std::vector<std::string>{(*work_ / "A.NC").string()});
        QCOMPARE(form->fileList().RowCount(), rows + 1);  // refreshed: C.NC is listed

        // Marked files win over the folder under the cursor.
        Mark(*form, {"C.NC", "B.NC"});
        QVERIFY(test::CursorTo(*form, "DIR"));
        messages_.Answer(true);
        QTest::keyClick(form->ListBox1, Qt::Key_D);
        QCOMPARE(messages_.shown().back().text, std::string("2 個の項目をごみ箱に移動しますか？"));
        QCOMPARE(trashed_.back(), (*work_ / "B.NC").string());
        QCOMPARE(form->fileList().MarkedCount(), 0);

        // A folder where the trash is not available: the second question, then gone.
        trashWorks_ = false;
        QVERIFY(test::CursorTo(*form, "DIR"));
        messages_.Answer(true);
        messages_.Answer(true);
        QTest::keyClick(form->ListBox1, Qt::Key_D);
        QCOMPARE(messages_.shown().back().caption, std::string("フォルダーの削除"));
        QVERIFY(!fs::exists(*work_ / "DIR"));
        QCOMPARE(test::RowOf(*form, "DIR"), -1);
    }

    // A new account has no ~/.local/share: the trash is made there, never
    // in the folder the program was started from.
    void desktopTrashOfANewAccount() {
        test::ScopedEnv noDataHome("XDG_DATA_HOME", nullptr);
        test::TempDir startedIn;
        const fs::path before = fs::current_path();
        fs::current_path(startedIn.path());
        fs::create_directory(*work_ / "nc");
        test::WriteFileBytes(*work_ / "nc" / "O1.NC", "O1");
        const bool trashed = DesktopTrash()((*work_ / "nc" / "O1.NC").string());
        fs::current_path(before);
        QVERIFY(trashed);
        QVERIFY(!fs::exists(*work_ / "nc" / "O1.NC"));
        QCOMPARE(test::ReadFileBytes(*work_ / ".local/share/Trash/files/O1.NC"), std::string("O1"));
        QVERIFY(fs::is_empty(startedIn.path()));
    }

    void threeMarkedFilesUpperCasedWithOneRebuildAtTheEnd() {
        for (const char* name : {"abc.nc", "Def.nc", "o1.NC"}) {
            test::WriteFileBytes(*work_ / name, name);
        }
        auto form = Start();
        QVERIFY(form);
        QSignalSpy resets(form->ListBox1->model(), &QAbstractItemModel::modelReset);
        form->RefreshFileList();
        const qsizetype perRebuild = resets.count();
        Mark(*form, {"abc.nc", "Def.nc", "o1.NC"});
        TRNameAForm& dialog = form->fileCommands().RNameAForm();
        bool seen = false;
        QTimer::singleShot(0, this, [&] {
            seen = dialog.isVisible() && dialog.RadioButton1->isChecked() &&
                   test::SaveShot(dialog, "rname_a_dialog.png");
            // The folder watcher's refresh waits while the files are renamed.
            test::WriteFileBytes(*work_ / "zz.nc", "new");
            form->RefreshFileList(FileListModel::kKeepCursor);
            seen = seen && test::RowOf(*form, "zz.nc") == -1 && form->fileList().MarkedCount() == 3;
            resets.clear();
            dialog.RadioButton2->click();
            dialog.Button1->click();
        });
        QElapsedTimer took;
        took.start();
        QTest::keyClick(form->ListBox1, Qt::Key_R);
        QVERIFY(seen);
        QVERIFY(took.elapsed() >= 300);  // 100 ms after each file
        QCOMPARE(resets.count(), perRebuild);
        for (const char* name : {"ABC.NC", "DEF.NC", "O1.NC", "zz.nc"}) {
            QVERIFY2(test::RowOf(*form, name) >= 0, name);
        }
        QCOMPARE(test::ReadFileBytes(*work_ / "DEF.NC"), std::string("Def.nc"));

        // Choice 1 renames nothing.
        Mark(*form, {"ABC.NC", "O1.NC"});
        QTimer::singleShot(0, this, [&] { dialog.Button1->click(); });
        QTest::keyClick(form->ListBox1, Qt::Key_R);
        QVERIFY(fs::exists(*work_ / "ABC.NC") && fs::exists(*work_ / "O1.NC"));
    }

    void choiceFourKeepsItsFormAndNoRenameReplaces() {
        test::WriteFileBytes(*work_ / "oLD.nC", "old");
        test::WriteFileBytes(*work_ / "B.NC", "B");
        auto form = Start();
        QVERIFY(form);
        QVERIFY(test::CursorTo(*form, "oLD.nC"));
        TRNameForm& dialog = form->fileCommands().RNameForm();
        QStringList seen;
        QTimer::singleShot(0, this, [&] {
            seen << dialog.Label1->text() << dialog.LabeledEdit1->text();
            dialog.RadioButton4->click();
            seen << dialog.LabeledEdit1->text();
            QTest::keyClick(dialog.LabeledEdit1, Qt::Key_End);
            QTest::keyClicks(dialog.LabeledEdit1, QStringLiteral("AB"));
            QTest::keyClick(dialog.LabeledEdit1, Qt::Key_Home);
            seen << dialog.LabeledEdit1->text()
                 << QString::number(dialog.LabeledEdit1->cursorPosition());
            test::SaveShot(dialog, "rname_dialog.png");
            QTest::keyClick(dialog.LabeledEdit1, Qt::Key_End);
            QTest::keyClick(dialog.LabeledEdit1, Qt::Key_Backspace);
            QTest::keyClick(dialog.LabeledEdit1, Qt::Key_Backspace);
            QTest::keyClick(dialog.LabeledEdit1, Qt::Key_Return);
        });
        QTest::keyClick(form->ListBox1, Qt::Key_R);
        QCOMPARE(seen, QStringList({"oLD.nC", "oLD.nC", "Old.nc", "Old.ncab", "1"}));
        QCOMPARE(test::ReadFileBytes(*work_ / "Old.nc"), std::string("old"));

        QVERIFY(test::CursorTo(*form, "Old.nc"));
        QTimer::singleShot(0, this, [&] {
            dialog.LabeledEdit1->selectAll();
            QTest::keyClicks(dialog.LabeledEdit1, QStringLiteral("B.NC"));
            QTest::keyClick(dialog.LabeledEdit1, Qt::Key_Return);
        });
        QTest::keyClick(form->ListBox1, Qt::Key_R);
        QCOMPARE(test::ReadFileBytes(*work_ / "Old.nc"), std::string("old"));
        QCOMPARE(test::ReadFileBytes(*work_ / "B.NC"), std::string("B"));
        QCOMPARE(form->Label11->toolTip(),
                 QStringLiteral("すでにB.NCが有ります。名前を変更できません!!"));
    }

    void findNarrowsUntilTheNextRefresh() {
        for (const char* name : {"O12.NC", "O1234.NC", "O1.NC", "O120.TXT"}) {
            test::WriteFileBytes(*work_ / name, name);
        }
        auto form = Start("N");
        QVERIFY(form);
        TFindForm& find = form->fileCommands().FindForm();
        const auto narrow = [&](const QString& typed) {
            QTest::keyClick(form->ListBox1, Qt::Key_F);
            QTest::keyClicks(find.ComboBox1->lineEdit(), typed);
            QTest::keyClick(find.ComboBox1->lineEdit(), Qt::Key_Return);
        };
        for (const QString& typed : {QStringLiteral(".O12"), QStringLiteral(".O12*")}) {
            const std::size_t boxes = messages_.shown().size();
            narrow(typed);
            QCOMPARE(messages_.shown().size(), boxes + 1);
            QCOMPARE(messages_.shown().back().text,
                     std::string("この文字はファイル名に使えません。\n/:,;*?<>|."));
            QVERIFY(!find.isVisible());
            QCOMPARE(form->fileList().SearchPattern(), (*work_ / "O12*.NC").string());
            QVERIFY(test::RowOf(*form, "O12.NC") >= 0 && test::RowOf(*form, "O1234.NC") >= 0);
            QCOMPARE(test::RowOf(*form, "O1.NC"), -1);
        }
        QCOMPARE(test::ReadFileBytes(program_->path() / "FIND.LST"),
                 std::string("O12*\r\nO12\r\n"));
        QTest::keyClick(form->ListBox1, Qt::Key_Space);
        QVERIFY(test::RowOf(*form, "O1.NC") >= 0);
    }

    void viewShowsTheFileWithItsSizeUntilF3() {
        test::WriteFileBytes(*work_ / "P.NC", "%\nO1\nM30\n%\n");
        fs::create_directory(*work_ / "SUB");
        auto form = Start();
        QVERIFY(form);
        QVERIFY(test::CursorTo(*form, "SUB"));
        QTest::keyClick(form->ListBox1, Qt::Key_V);
        QVERIFY(!form->GroupBox2->isVisible());
        QVERIFY(test::CursorTo(*form, "P.NC"));
        QTest::keyClick(form->ListBox1, Qt::Key_F8);
        QVERIFY(form->GroupBox2->isVisible() && !form->ListBox1->isEnabled());
        QCOMPARE(form->GroupBox2->title(), QStringLiteral("ファイルビュー"));
        QCOMPARE(form->GroupBox2->geometry(), QRect(328, 100, 350, form->GroupBox2->height()));
        QCOMPARE(form->GroupBox2->palette().color(QPalette::Window), QColor(0, 0x80, 0x80));
        QCOMPARE(form->StatusPanels[2]->text(), QStringLiteral("ｻｲｽﾞ : 11ﾊﾞｲﾄ"));
        ProgramView* view = form->transferPanel().ProgramView1;
        QVERIFY(view->isVisible() && view->hasFocus());
        // Every line of the file, the last line end opening no further line.
        QCOMPARE(view->VisibleText(), QStringLiteral("%\nO1\nM30\n%"));
        QCOMPARE(view->accessibleName(), QStringLiteral("ファイルビュー"));
        QVERIFY(test::SaveShot(*form, "file_view.png"));
        QTest::keyClick(view, Qt::Key_F3);
        QVERIFY(!form->GroupBox2->isVisible() && form->ListBox1->isEnabled());
        QCOMPARE(form->Label11->text(), QStringLiteral("操作中止!!"));
        // The file is let go with the view.
        QVERIFY(!view->HasProgram());
    }

    // A program of a million lines opens at once and scrolls to its end; a
    // file that cannot be read says so.
    void viewOfALargeProgramScrollsAnywhere() {
        std::string program;
        for (int n = 0; n < 1'000'000; ++n) program += "N" + std::to_string(n) + "G01X1.Y1.\r\n";
        test::WriteFileBytes(*work_ / "BIG.NC", program);
        test::WriteFileBytes(*work_ / "LOCKED.NC", "O1\n");
        fs::permissions(*work_ / "LOCKED.NC", fs::perms::none);
        auto form = Start();
        QVERIFY(form);
        QVERIFY(test::CursorTo(*form, "BIG.NC"));
        QElapsedTimer timer;
        timer.start();
        QTest::keyClick(form->ListBox1, Qt::Key_V);
        ProgramView* view = form->transferPanel().ProgramView1;
        QVERIFY(view->VisibleText().startsWith(QStringLiteral("N0G01X1.Y1.\nN1G01X1.Y1.")));
        QVERIFY2(timer.elapsed() < 500, qPrintable(QString::number(timer.elapsed())));
        QTRY_COMPARE_WITH_TIMEOUT(view->LineCount(), std::size_t{1'000'000}, 20000);
        QTest::keyClick(view, Qt::Key_End, Qt::ControlModifier);
        QVERIFY(view->VisibleText().contains(QStringLiteral("N999999G01X1.Y1.")));
        QTest::keyClick(view, Qt::Key_PageUp);
        QVERIFY(!view->VisibleText().contains(QStringLiteral("N999999G01X1.Y1.")));
        QTest::keyClick(view, Qt::Key_Escape);
        QVERIFY(!form->GroupBox2->isVisible());

        // Deleted while on show: said, and the view keeps what it opened.
        QVERIFY(test::CursorTo(*form, "BIG.NC"));
        QTest::keyClick(form->ListBox1, Qt::Key_V);
        fs::remove(*work_ / "BIG.NC");
        QTRY_VERIFY_WITH_TIMEOUT(form->Label11->toolTip().contains(QStringLiteral("削除")), 5000);
        QTest::keyClick(view, Qt::Key_End, Qt::ControlModifier);
        QTRY_VERIFY_WITH_TIMEOUT(view->VisibleText().contains(QStringLiteral("N999999G01X1.Y1.")), 5000);
        QTest::keyClick(view, Qt::Key_Escape);

        if (::geteuid() != 0) {
            QVERIFY(test::CursorTo(*form, "LOCKED.NC"));
            QTest::keyClick(form->ListBox1, Qt::Key_V);
            QVERIFY2(form->Label11->text().contains(QStringLiteral("読み込めません")) ||
                         form->Label11->toolTip().contains(QStringLiteral("読み込めません")),
                     qPrintable(form->Label11->toolTip()));
            QTest::keyClick(view, Qt::Key_Escape);
        }
    }
};

QTEST_MAIN(FileCommandsTest)
#include "file_commands_qtest.moc"
