// The options dialog opened from the main window with O, driven by keys.
#include <sys/stat.h>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QtTest>
#include <filesystem>
#include <memory>

#include "main_window/mainunit1.h"
#include "dialogs/option.h"
#include "main_window/file_list_box.h"
#include "platform/program_folder.h"
#include "support/main_window_fixture.h"
#include "support/scripted_messages.h"
#include "support/test_env.h"

using namespace wexal;

namespace {

class CountingTrust : public LauncherTrust {
public:
    void MarkTrusted(const std::filesystem::path& launcher) override { marked.push_back(launcher); }
    std::vector<std::filesystem::path> marked;
};

}  // namespace

class OptionFormTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<test::TempDir> program_;
    std::unique_ptr<test::WindowTestEnv> env_;
    test::ScriptedMessages messages_;
    CountingTrust trust_;

    std::unique_ptr<TForm1> Start() {
        TForm1::Services services;
        services.messages = &messages_;
        services.launcherTrust = &trust_;
        return test::StartMainWindow({}, program_->path(), services);
    }
    // O in the list; the dialog comes up with the keyboard.
    static TOptionForm* Open(TForm1& form) {
        QTest::keyClick(form.ListBox1, Qt::Key_O);
        TOptionForm* dialog = &form.OptionForm();
        QApplication::setActiveWindow(dialog);
        return dialog->isVisible() ? dialog : nullptr;
    }
    static void Press(int key) {
        QWidget* target = QApplication::focusWidget();
        QVERIFY(target != nullptr);
        QTest::keyClick(target, static_cast<Qt::Key>(key));
    }
    static void Type(const QString& text) {
        QWidget* target = QApplication::focusWidget();
        QVERIFY(target != nullptr);
        QTest::keyClicks(target, text);
    }
    static QWidget* Focus() { return QApplication::focusWidget(); }

private slots:
    void init() {
        program_ = std::make_unique<test::TempDir>();
        env_ = std::make_unique<test::WindowTestEnv>();
        QVERIFY(env_->ok());
        messages_ = test::ScriptedMessages();
        trust_ = CountingTrust();
    }
    void cleanup() {
        env_.reset();
        program_.reset();
    }

    void openCloseAndKeysInATab() {
        auto form = Start();
        QVERIFY(form);
        TOptionForm* dialog = Open(*form);
        QVERIFY(dialog);
        QVERIFY(dialog->isModal());
        QCOMPARE(dialog->windowTitle(), QStringLiteral("ｵﾌﾟｼｮﾝ設定"));
        QCOMPARE(dialog->PageControl1->count(), 4);
        QCOMPARE(dialog->PageControl1->tabText(3), QStringLiteral("その他"));
        QCOMPARE(dialog->FieldNamed("LabeledEdit5")->text(), QStringLiteral("2"));
        QCOMPARE(dialog->FieldNamed("LabeledEdit16")->accessibleName(),
                 QStringLiteral("送信時、送信しない文字列"));
        QVERIFY(!dialog->Button1->isEnabled());
        test::Shot(*dialog, "option_dialog.png");
        dialog->Button2->click();
        QVERIFY(!dialog->isVisible());
        QVERIFY(messages_.shown().empty());

        dialog = Open(*form);
        QVERIFY(dialog);
        QLineEdit* dr = dialog->FieldNamed("LabeledEdit3");
        QCOMPARE(Focus(), dr);
        Type(QStringLiteral("xy"));
        QCOMPARE(dr->text(), QStringLiteral("Y"));
        QVERIFY(dialog->Button1->isEnabled());
        Press(Qt::Key_Return);
        QCOMPARE(Focus(), dialog->FieldNamed("LabeledEdit6"));
        Press(Qt::Key_Up);
        Press(Qt::Key_Up);
        QCOMPARE(Focus(), dialog->FieldNamed("LabeledEdit24"));
        Press(Qt::Key_Down);
        QCOMPARE(Focus(), dr);
        Press(Qt::Key_Backspace);
        Press(Qt::Key_Return);  // empty: stays
        QCOMPARE(Focus(), dr);

        dialog->PageControl1->setCurrentIndex(2);
        QLineEdit* wait = dialog->FieldNamed("LabeledEdit4");
        QCOMPARE(Focus(), wait);
        Type(QStringLiteral("1a2b34"));
        QCOMPARE(wait->text(), QStringLiteral("123"));
        QLineEdit* notSent = dialog->FieldNamed("LabeledEdit16");
        notSent->setFocus();
        Type(QStringLiteral("m30;"));
        QCOMPARE(notSent->text(), QStringLiteral("M30;"));
        test::Shot(*dialog, "option_dialog_send.png");
        dialog->Button1->click();
        QVERIFY(!dialog->Button1->isEnabled());
        QVERIFY(dialog->isVisible());
        QCOMPARE(form->settings().InvTime, 123);
        QCOMPARE(form->settings().SendMsg1, std::string("M30;"));
        QCOMPARE(form->settings().op1, std::string(""));  // taken as it stands
    }

    void columnsWidenTheListAtOnce() {
        auto form = Start();
        QVERIFY(form);
        QCOMPARE(form->ListBox1->width(), 616);
        TOptionForm* dialog = Open(*form);
        QVERIFY(dialog);
        dialog->PageControl1->setCurrentIndex(3);
        Press(Qt::Key_Down);
        QCOMPARE(Focus(), dialog->FieldNamed("LabeledEdit5"));
        Type(QStringLiteral("5"));
        dialog->Button1->click();
        QCOMPARE(form->settings().ListColumn, 5);
        QCOMPARE(form->ListBox1->width(), 728);
        QVERIFY(!form->Label2->isVisible());
        QVERIFY(form->Timer1->isActive());
        dialog->FieldNamed("LabeledEdit5")->setFocus();
        dialog->FieldNamed("LabeledEdit5")->selectAll();
        Type(QStringLiteral("3"));
        dialog->Button1->click();
        QCOMPARE(form->ListBox1->width(), 616);
        QVERIFY(form->Label2->isVisible());
        QVERIFY(messages_.shown().empty());
    }

    void closeBoxAsksAndAnEmptyNumberIsRefused() {
        auto form = Start();
        QVERIFY(form);
        TOptionForm* dialog = Open(*form);
        QVERIFY(dialog);
        dialog->PageControl1->setCurrentIndex(3);
        Press(Qt::Key_Up);
        Press(Qt::Key_Up);  // LabeledEdit21
        Type(QStringLiteral("y"));
        messages_.Answer(false);
        QVERIFY(dialog->close());
        QCOMPARE(messages_.shown().size(), size_t{1});
        QCOMPARE(messages_.shown()[0].text,
                 std::string("オプション設定が変更されています。\n保存せずに終了しますか？"));
        QCOMPARE(messages_.shown()[0].caption, std::string("オプション設定"));
        QCOMPARE(form->settings().op3, std::string("Y"));

        dialog = Open(*form);
        QVERIFY(dialog);
        dialog->PageControl1->setCurrentIndex(3);
        Press(Qt::Key_Up);  // LabeledEdit22
        Type(QStringLiteral("y"));
        messages_.Answer(true);
        QVERIFY(dialog->close());
        QCOMPARE(form->settings().op4, std::string("N"));

        // An emptied wait time: said, the dialog stays, the old value comes back.
        dialog = Open(*form);
        QVERIFY(dialog);
        dialog->PageControl1->setCurrentIndex(2);
        Press(Qt::Key_Backspace);
        QVERIFY(dialog->FieldNamed("LabeledEdit4")->text().isEmpty());
        messages_.Answer(false);
        QVERIFY(!dialog->close());
        QVERIFY(dialog->isVisible());
        QCOMPARE(messages_.shown().back().text,
                 std::string("入力データを確認してください。\nｳｪｲﾄﾀｲﾑ(msec)"));
        QCOMPARE(messages_.shown().back().icon, MessageIcon::Error);
        QCOMPARE(dialog->FieldNamed("LabeledEdit4")->text(), QStringLiteral("0"));
        QCOMPARE(Focus(), dialog->FieldNamed("LabeledEdit4"));
        QCOMPARE(form->settings().InvTime, 0);
        QVERIFY(dialog->Button1->isEnabled());
        dialog->Button1->click();
        QVERIFY(!dialog->Button1->isEnabled());
        dialog->Button2->click();
        QVERIFY(!dialog->isVisible());
        QVERIFY(!messages_.unanswered());
    }

    void shortcutPressedTwiceLeavesOneLauncher() {
        const auto desktop = env_->home() / "Desktop";
        std::filesystem::create_directory(desktop);
        auto form = Start();
        QVERIFY(form);
        TOptionForm* dialog = Open(*form);
        QVERIFY(dialog);
        dialog->PageControl1->setCurrentIndex(3);
        test::Shot(*dialog, "option_dialog_other.png");
        dialog->Button3->click();
        dialog->Button3->click();
        std::vector<std::filesystem::path> files;
        for (const auto& entry : std::filesystem::directory_iterator(desktop)) {
            files.push_back(entry.path());
        }
        // The test program stands for the running binary: the launcher is
        // named after it, as Wexal.desktop after Wexal.
        const std::string name = ExecutablePath().stem().string() + ".desktop";
        QCOMPARE(files, std::vector<std::filesystem::path>{desktop / name});
        const std::string exec = "\nExec=\"" + ExecutablePath().string() + "\"\n";
        QVERIFY(test::ReadFileBytes(files.front()).find(exec) != std::string::npos);
        struct stat st {};
        QCOMPARE(stat(files.front().c_str(), &st), 0);
        QVERIFY(st.st_mode & S_IXUSR);
        QCOMPARE(trust_.marked.size(), size_t{2});
        QVERIFY(messages_.shown().empty());
    }
};

QTEST_MAIN(OptionFormTest)
#include "option_qtest.moc"
