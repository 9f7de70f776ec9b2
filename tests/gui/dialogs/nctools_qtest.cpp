// B, H and K from the main window: the split, doubling and concatenation
// dialogs driven by keys, with scripted answers and files on disk.
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QtTest>
#include <filesystem>
#include <memory>

#include "main_window/mainunit1.h"
#include "main_window/nctool_commands.h"
#include "main_window/file_list_box.h"
#include "dialogs/bai2.h"
#include "dialogs/divides.h"
#include "dialogs/plus.h"
#include "support/main_window_fixture.h"
#include "support/scripted_messages.h"
#include "support/test_env.h"

using namespace wexal;
namespace fs = std::filesystem;

namespace {

class NullScreenSaver : public ScreenSaver {
public:
    void SetEnabled(bool enabled) override { last = enabled; }
    bool last = true;
};

}  // namespace

class NcToolsTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<test::TempDir> program_;
    std::unique_ptr<test::TempDir> work_;
    std::unique_ptr<test::WindowTestEnv> env_;
    test::ScriptedMessages messages_;
    NullScreenSaver screenSaver_;
    std::string browserAnswer_;

    std::unique_ptr<TForm1> Start() {
        TForm1::Services services;
        services.messages = &messages_;
        services.screenSaver = &screenSaver_;
        services.folderBrowser = [this](const std::string&, const std::string&) {
            return std::optional<std::string>(browserAnswer_);
        };
        auto form = test::StartMainWindow({}, program_->path(), services);
        if (!form) return nullptr;
        form->settings().DirPath = work_->path().string();
        form->settings().Mask = "*.NC";
        form->RefreshFileList();
        return form;
    }
    static void Type(QWidget* target, const QString& text) { QTest::keyClicks(target, text); }
    // B on the file, as an operator splits it; null when the list lacks it.
    TDividesForm* OpenSplit(TForm1& form, const std::string& name) {
        if (!test::CursorTo(form, name)) return nullptr;
        QTest::keyClick(form.ListBox1, Qt::Key_B);
        return &form.ncTools().DividesForm();
    }

    bool Told(const std::string& text, const std::string& caption) const {
        for (const auto& shown : messages_.shown()) {
            if (shown.text == text && shown.caption == caption) return true;
        }
        return false;
    }

private slots:
    void init() {
        program_ = std::make_unique<test::TempDir>();
        work_ = std::make_unique<test::TempDir>();
        env_ = std::make_unique<test::WindowTestEnv>();
        QVERIFY(env_->ok());
        messages_ = test::ScriptedMessages();
    }
    void cleanup() {
        env_.reset();
        work_.reset();
        program_.reset();
    }

    void splitIntoANewFolderWithOptionsThatSurviveAReopen() {
        test::WriteFileBytes(*work_ / "MULTI.NC",
                             "%\nO1000(A)\nG0X0\nM30\nO2000\nG1X1\nM30\n%\n");
        test::WriteFileBytes(program_->path() / "Div_Sub.ini", "[Sub]\nF_Set=1\n");
        auto form = Start();
        QVERIFY(form);
        TDividesForm* split = OpenSplit(*form, "MULTI.NC");
        QVERIFY(split && split->isVisible());
        TDividesForm& dialog = *split;
        QVERIFY(dialog.isModal());
        QApplication::setActiveWindow(&dialog);
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Ｏ番号毎分割"));
        QCOMPARE(dialog.Label1->text(), QStringLiteral("MULTI.NC"));
        QCOMPARE(dialog.ComboBox1->currentText(), QString::fromStdString(work_->path().string()));
        QCOMPARE(dialog.ComboBox1->accessibleName(), QStringLiteral("保存先"));
        QCOMPARE(dialog.MainMenu1->actions().front()->text(), QStringLiteral("分割ｵﾌﾟｼｮﾝ"));
        QVERIFY(dialog.op_f->isChecked());
        QVERIFY(!dialog.op_b->isChecked());
        QVERIFY(!dialog.op_n->isChecked());
        dialog.op_b->trigger();
        QVERIFY(dialog.op_b->isChecked());
        QVERIFY(dialog.op_f->isChecked());
        QVERIFY(!dialog.op_n->isChecked());
        QCOMPARE(QApplication::focusWidget(), dialog.ComboBox1);
        Type(dialog.ComboBox1->lineEdit(), QStringLiteral("*"));
        QVERIFY(Told("この文字はフォルダー名に使えません。\n/:,;*?<>|.", "確認"));
        test::Shot(dialog, "divides_dialog.png");
        dialog.Button2->click();
        QVERIFY(!dialog.isVisible());
        QCOMPARE(test::ReadFileBytes(program_->path() / "Div_Sub.ini"),
                 std::string("[Sub]\nF_Set=1\nB_Set=1\nN_Set=0\n"));

        QTest::keyClick(form->ListBox1, Qt::Key_F9, Qt::ShiftModifier);
        QVERIFY(dialog.isVisible());
        QVERIFY(dialog.op_f->isChecked() && dialog.op_b->isChecked() && !dialog.op_n->isChecked());
        // A folder typed with a closing separator, not there yet.
        const fs::path dest = work_->path() / "out";
        dialog.ComboBox1->setEditText(QString::fromStdString(dest.string() + "/"));
        messages_.Answer(true);
        QTest::keyClick(dialog.ComboBox1->lineEdit(), Qt::Key_Return);
        QVERIFY(!messages_.unanswered());
        QVERIFY(Told("Ｏ番号毎に分割完了しました。", "完了"));
        QVERIFY(!dialog.isVisible());
        QCOMPARE(dialog.ListBox1->count(), 2);
        QCOMPARE(dialog.ListBox1->item(0)->text(), QStringLiteral("O1000(A)"));
        QCOMPARE(dialog.ProgressBar1->value(), dialog.ProgressBar1->maximum());
        QCOMPARE(form->state().CurrentFolder, dest.string());
        QCOMPARE(test::ReadFileBytes(dest / "O1000.NC"),
                 std::string("%\r\nO1000(A)\r\nG0X0\r\nM30\r\n%\r\n"));
        QCOMPARE(test::ReadFileBytes(dest / "O2000.NC"),
                 std::string("%\r\nO2000\r\nG1X1\r\nM30\r\n%\r\n"));
        QCOMPARE(test::ReadFileBytes(program_->path() / "Path.lst"), dest.string() + "/\r\n");
    }

    // An input method's text reaches the folder box, less what the folder
    // rule refuses, which is named as for a key.
    void japaneseComesThroughTheInputMethodByTheSameRule() {
        test::WriteFileBytes(*work_ / "MULTI.NC", "%\nO1000\nM30\n%\n");
        auto form = Start();
        QVERIFY(form);
        TDividesForm* split = OpenSplit(*form, "MULTI.NC");
        QVERIFY(split && split->isVisible());
        TDividesForm& dialog = *split;
        QLineEdit* line = dialog.ComboBox1->lineEdit();
        QVERIFY(line->testAttribute(Qt::WA_InputMethodEnabled));
        dialog.ComboBox1->setEditText(QStringLiteral("/tmp/"));
        line->end(false);
        const auto commit = [&](const QString& text) {
            QInputMethodEvent event;
            event.setCommitString(text);
            QApplication::sendEvent(line, &event);
        };
        commit(QStringLiteral("加工データ"));
        QCOMPARE(dialog.ComboBox1->currentText(), QStringLiteral("/tmp/加工データ"));
        QVERIFY(messages_.shown().empty());
        commit(QStringLiteral("*新規|"));
        QCOMPARE(dialog.ComboBox1->currentText(), QStringLiteral("/tmp/加工データ新規"));
        QCOMPARE(messages_.shown().size(), size_t{1});
        QVERIFY(Told("この文字はフォルダー名に使えません。\n/:,;*?<>|.", "確認"));
        dialog.Button2->click();
    }

    void splitWithoutProgramNumbersWritesNothing() {
        test::WriteFileBytes(*work_ / "PLAIN.NC", "%\nG0X0\nM30\n%\n");
        auto form = Start();
        QVERIFY(form);
        TDividesForm* split = OpenSplit(*form, "PLAIN.NC");
        QVERIFY(split);
        TDividesForm& dialog = *split;
        browserAnswer_ = (work_->path() / "chosen").string();
        fs::create_directory(browserAnswer_);
        dialog.Button3->click();
        QCOMPARE(dialog.ComboBox1->currentText(), QString::fromStdString(browserAnswer_));
        dialog.Button1->click();
        QVERIFY(Told("プログラム番号が見つかりませんでした。。", "中止"));
        QVERIFY(!dialog.isVisible());
        QVERIFY(fs::is_empty(browserAnswer_));
    }

    void escDuringALongSplitCancelsIt() {
        std::string text;
        for (int i = 1; i <= 3000; ++i) text += "O" + std::to_string(i) + "\nG0\n";
        test::WriteFileBytes(*work_ / "MANY.NC", text);
        auto form = Start();
        QVERIFY(form);
        QVERIFY(test::CursorTo(*form, "MANY.NC"));
        QTest::keyClick(form->ListBox1, Qt::Key_B);
        TDividesForm& dialog = form->ncTools().DividesForm();
        const fs::path dest = work_->path() / "many";
        fs::create_directory(dest);
        dialog.ComboBox1->setEditText(QString::fromStdString(dest.string()));
        // Waits in the queue until the split processes events.
        QCoreApplication::postEvent(dialog.ComboBox1->lineEdit(),
                                    new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier));
        dialog.Button1->click();
        QVERIFY(!dialog.isVisible());
        QCOMPARE(form->Label11->text(), QStringLiteral("操作中止!!"));
        int written = 0;
        for ([[maybe_unused]] const auto& entry : fs::directory_iterator(dest)) ++written;
        QVERIFY(written > 0);
        QVERIFY(written < 3000);
        QVERIFY(messages_.shown().empty());
    }

    void doubleTheChosenAxis() {
        test::WriteFileBytes(*work_ / "O1000.NC", "G01X10.5Y3.\nX10 Y20\n(X AXIS)\n");
        test::WriteFileBytes(*work_ / "R.NC", "G0X1.234Z5.\nX-1.25");
        auto form = Start();
        QVERIFY(form);
        QVERIFY(test::CursorTo(*form, "R.NC"));
        QTest::keyClick(form->ListBox1, Qt::Key_H);
        TBai2Form& dialog = form->ncTools().Bai2Form();
        QVERIFY(dialog.isVisible());
        QApplication::setActiveWindow(&dialog);
        QCOMPARE(dialog.windowTitle(), QStringLiteral("選択軸２倍変換"));
        QCOMPARE(dialog.Label2->text(), QStringLiteral("変換前:R.NC"));
        QCOMPARE(dialog.Label3->text(), QStringLiteral("変換後:R_2.NC"));
        QCOMPARE(dialog.Edit1->accessibleName(), QStringLiteral("２倍に変換軸"));
        QVERIFY(!dialog.Button1->isEnabled());
        QCOMPARE(QApplication::focusWidget(), dialog.Edit1);
        Type(dialog.Edit1, QStringLiteral("q"));
        QVERIFY(Told("この文字は変更できません。\n", "確認"));
        QVERIFY(dialog.Edit1->text().isEmpty());
        Type(dialog.Edit1, QStringLiteral("x"));
        QVERIFY(dialog.Button1->isEnabled());
        test::Shot(dialog, "bai2_dialog.png");
        QTest::keyClick(dialog.Edit1, Qt::Key_Return);
        QVERIFY(Told("X軸を２倍に変換しました。\n変換ファイル名は R_2.NCです。", "完了"));
        QVERIFY(!dialog.isVisible());
        QCOMPARE(test::ReadFileBytes(*work_ / "R_2.NC"), std::string("G0X2.468Z5.\r\nX-2.50\r\n"));

        // An unreadable number: nothing saved, OK stays off.
        QVERIFY(test::CursorTo(*form, "O1000.NC"));
        QTest::keyClick(form->ListBox1, Qt::Key_H);
        Type(dialog.Edit1, QStringLiteral("X"));
        dialog.Button1->click();
        QCOMPARE(messages_.shown().back().text, std::string("' ' は数値に変換できません。(3行目)"));
        QVERIFY(dialog.isVisible());
        QVERIFY(!dialog.Button1->isEnabled());
        QVERIFY(!fs::exists(*work_ / "O1000_2.NC"));
        dialog.Button2->click();
        QVERIFY(screenSaver_.last);
    }

    void theDoublingNeverReplacesItsSource() {
        test::WriteFileBytes(*work_ / "A.NC", "X1.\n");
        fs::create_symlink("A.NC", *work_ / "A_2.NC");
        auto form = Start();
        QVERIFY(form);
        QVERIFY(test::CursorTo(*form, "A.NC"));
        QTest::keyClick(form->ListBox1, Qt::Key_H);
        TBai2Form& dialog = form->ncTools().Bai2Form();
        Type(dialog.Edit1, QStringLiteral("X"));
        dialog.Button1->click();
        QCOMPARE(messages_.shown().back().caption, std::string("確認"));
        QVERIFY(messages_.shown().back().text.find("A_2.NC") != std::string::npos);
        QCOMPARE(test::ReadFileBytes(*work_ / "A.NC"), std::string("X1.\n"));
        dialog.Button2->click();
    }

    void joinInMarkingOrder() {
        test::WriteFileBytes(*work_ / "A.NC", "%\nO1\n%\n");
        test::WriteFileBytes(*work_ / "B.NC", "%\nO2\n%\n");
        auto form = Start();
        QVERIFY(form);
        // One mark is not enough, and the mark goes.
        QVERIFY(test::CursorTo(*form, "A.NC"));
        QTest::keyClick(form->ListBox1, Qt::Key_Return);
        QTest::keyClick(form->ListBox1, Qt::Key_K);
        QVERIFY(Told("選択されたﾌｧｲﾙが複数ありません。", "確認"));
        QCOMPARE(form->fileList().MarkedCount(), 0);
        TPlusForm& dialog = form->ncTools().PlusForm();
        QVERIFY(!dialog.isVisible());

        QVERIFY(test::CursorTo(*form, "B.NC"));
        QTest::keyClick(form->ListBox1, Qt::Key_Return);
        QVERIFY(test::CursorTo(*form, "A.NC"));
        QTest::keyClick(form->ListBox1, Qt::Key_Return);
        QTest::keyClick(form->ListBox1, Qt::Key_F4, Qt::ShiftModifier);
        QVERIFY(dialog.isVisible());
        QCOMPARE(form->fileList().MarkedCount(), 0);
        QCOMPARE(dialog.windowTitle(), QStringLiteral("ﾌｧｲﾙ結合"));
        QCOMPARE(dialog.ListBox1->count(), 2);
        QCOMPARE(dialog.ListBox1->item(0)->text(), QStringLiteral("B.NC"));
        QCOMPARE(dialog.ComboBox1->accessibleName(), QStringLiteral("結合ﾌｧｲﾙ名"));
        QVERIFY(!dialog.Button1->isEnabled());
        Type(dialog.ComboBox1->lineEdit(), QStringLiteral("A."));
        QVERIFY(Told("この文字はファイル名に使えません。\n/:,;*?<>|.", "確認"));
        QCOMPARE(dialog.ComboBox1->currentText(), QStringLiteral("A"));
        // The name of a marked file: the overwrite question first, then the refusal.
        messages_.Answer(true);
        QTest::keyClick(dialog.ComboBox1->lineEdit(), Qt::Key_Return);
        QVERIFY(Told("この結合ﾌｧｲﾙ名は選択したﾌｧｲﾙに存在します。", "確認"));
        QCOMPARE(messages_.shown()[messages_.shown().size() - 2].kind, std::string("yesno"));
        QVERIFY(dialog.isVisible());
        QCOMPARE(test::ReadFileBytes(*work_ / "A.NC"), std::string("%\nO1\n%\n"));
        dialog.ComboBox1->setEditText(QStringLiteral("ALL"));
        test::Shot(dialog, "plus_dialog.png");
        dialog.Button1->click();
        QVERIFY(Told("ファイル結合完了しました。", "完了"));
        QVERIFY(!dialog.isVisible());
        QCOMPARE(test::ReadFileBytes(*work_ / "ALL.NC"),
                 std::string("%\r\nO2\r\n%\r\n%\r\nO1\r\n%\r\n"));
        QCOMPARE(test::ReadFileBytes(program_->path() / "NAME.lst"), std::string("ALL\r\nA\r\n"));
    }

    // A name from NAME.lst that no key could have typed is refused at OK as
    // the key refuses it; "../x" would otherwise be written beside the folder.
    void joinRefusesAHistoryNameTheKeysRefuse() {
        const fs::path folder = *work_ / "nc";
        fs::create_directory(folder);
        test::WriteFileBytes(folder / "A.NC", "O1\n");
        test::WriteFileBytes(folder / "B.NC", "O2\n");
        test::WriteFileBytes(program_->path() / "NAME.lst", "../x\r\n");
        auto form = Start();
        QVERIFY(form);
        form->settings().DirPath = folder.string();
        form->RefreshFileList();
        for (const char* name : {"A.NC", "B.NC"}) {
            QVERIFY(test::CursorTo(*form, name));
            QTest::keyClick(form->ListBox1, Qt::Key_Return);
        }
        QTest::keyClick(form->ListBox1, Qt::Key_K);
        TPlusForm& dialog = form->ncTools().PlusForm();
        QVERIFY(dialog.isVisible());
        QCOMPARE(dialog.ComboBox1->currentText(), QStringLiteral("../x"));
        QTest::keyClick(dialog.ComboBox1->lineEdit(), Qt::Key_Return);
        QCOMPARE(messages_.shown().size(), std::size_t{1});
        QVERIFY(Told("この文字はファイル名に使えません。\n/:,;*?<>|.", "確認"));
        QVERIFY(dialog.isVisible());
        QVERIFY(!fs::exists(*work_ / "x.NC"));
        dialog.Button2->click();
        QCOMPARE(test::ReadFileBytes(program_->path() / "NAME.lst"), std::string("../x\r\n"));
    }
};

QTEST_MAIN(NcToolsTest)
#include "nctools_qtest.moc"
