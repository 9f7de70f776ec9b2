// The communication settings panel on the main window, driven by keys.
#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>
#include <QtTest>
#include <memory>

#include "main_window/mainunit1.h"
#include "dialogs/comm_panel.h"
#include "main_window/file_list_box.h"
#include "support/main_window_fixture.h"
#include "support/scripted_messages.h"
#include "support/test_env.h"

using namespace wexal;

class CommPanelTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<test::TempDir> program_;
    std::unique_ptr<test::TempDir> home_;
    std::unique_ptr<test::PseudoTerminal> com1_;
    std::unique_ptr<test::PseudoTerminal> com2_;
    std::vector<std::unique_ptr<test::ScopedEnv>> env_;
    test::ScriptedMessages messages_;

    // COM1 and COM2 exist (COM2 is the modem's), no other port does.
    std::unique_ptr<TForm1> Start(const std::string& ini) {
        test::WriteFileBytes(program_->path() / "Wexal.INI", ini);
        TForm1::Services services;
        services.messages = &messages_;
        auto form = std::make_unique<TForm1>(std::vector<std::string>{},
                                             ProgramFiles::In(program_->path()), services);
        form->show();
        QApplication::setActiveWindow(form.get());
        if (!QTest::qWaitFor([&] { return form->firstIdleDone(); }, 5000)) return nullptr;
        return form;
    }
    // A key as the keyboard gives it: to whatever has the focus.
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
        home_ = std::make_unique<test::TempDir>();
        com1_ = std::make_unique<test::PseudoTerminal>();
        com2_ = std::make_unique<test::PseudoTerminal>();
        QVERIFY(com1_->ok() && com2_->ok());
        env_.clear();
        env_.push_back(std::make_unique<test::ScopedEnv>("HOME", home_->path().c_str()));
        env_.push_back(std::make_unique<test::ScopedEnv>("WEXAL_COM1", com1_->slave().c_str()));
        env_.push_back(std::make_unique<test::ScopedEnv>("WEXAL_COM2", com2_->slave().c_str()));
        const std::string gone = (home_->path() / "no-such-tty").string();
        for (int n = 3; n <= 30; ++n) {
            const std::string name = "WEXAL_COM" + std::to_string(n);
            env_.push_back(std::make_unique<test::ScopedEnv>(name.c_str(), gone.c_str()));
        }
        messages_ = test::ScriptedMessages();
    }
    void cleanup() {
        env_.clear();
        com1_.reset();
        com2_.reset();
        home_.reset();
        program_.reset();
    }

    void typedValuesAreTakenWithF1() {
        auto form = Start("[Setting]\nStartChar=Y\nModemePort1=com2\n");
        QVERIFY(form);
        CommPanel& panel = form->commPanel();
        QTest::keyClick(form->ListBox1, Qt::Key_F7);
        QVERIFY(form->GroupBox1->isVisible());
        QVERIFY(!form->ListBox1->isEnabled());
        QVERIFY(!form->Edit1->isEnabled());
        QCOMPARE(panel.Label12->text(), QStringLiteral("通信条件(4800,8,N,2)"));
        QCOMPARE(panel.Label13->text(), QStringLiteral("ポート番号(COM1)"));
        QCOMPARE(panel.Label15->text(), QStringLiteral("(速度,ﾃﾞｰﾀﾋﾞｯﾄ,ﾊﾟﾘﾃｨ,ｽﾄｯﾌﾟﾋﾞｯﾄ)"));
        QCOMPARE(panel.Label14->text(), QStringLiteral(" F1 :保存     F2 :戻る"));
        QCOMPARE(panel.ComboBox1->count(), 48);
        QCOMPARE(panel.ComboBox1->currentText(), QStringLiteral("4800,8,N,2"));
        // COM2 opens, but it is the modem's.
        QCOMPARE(panel.ComboBox2->count(), 1);
        QCOMPARE(panel.ComboBox2->itemText(0), QStringLiteral("COM1"));
        QCOMPARE(panel.Edit6->text(), QStringLiteral("Y"));
        QCOMPARE(Focus(), panel.ComboBox1);
        QCOMPARE(form->GroupBox1->geometry(), QRect(504, 70, 201, 390));
        QVERIFY(test::SaveShot(*form, QStringLiteral("comm_panel.png")));

        // Letters outside the line parameters never arrive; the typed text
        // replaces the selected one.
        Type(QStringLiteral("4800,x7,e,1"));
        QCOMPARE(panel.ComboBox1->currentText(), QStringLiteral("4800,7,e,1"));
        Press(Qt::Key_Return);
        QCOMPARE(panel.ComboBox1->currentText(), QStringLiteral("4800,7,E,1"));
        QCOMPARE(Focus(), panel.ComboBox2);
        Type(QStringLiteral("3"));
        Press(Qt::Key_Return);
        QCOMPARE(Focus(), panel.Edit4);
        Type(QStringLiteral("qn"));
        QCOMPARE(panel.Edit4->text(), QStringLiteral("N"));
        Press(Qt::Key_Return);
        QCOMPARE(Focus(), panel.Edit6);
        Press(Qt::Key_Backspace);  // emptied: keeps its value
        Press(Qt::Key_Return);
        QCOMPARE(Focus(), panel.Edit6);
        Press(Qt::Key_Up);
        QCOMPARE(Focus(), panel.Edit4);
        Press(Qt::Key_Up);
        QCOMPARE(Focus(), panel.ComboBox2);
        QTest::keyClick(panel.Edit8, Qt::Key_Down);
        QCOMPARE(Focus(), panel.ComboBox1);
        Press(Qt::Key_F1);

        const Settings& settings = form->settings();
        QVERIFY(!form->GroupBox1->isVisible());
        QVERIFY(form->ListBox1->isEnabled());
        QCOMPARE(Focus(), form->ListBox1);
        QCOMPARE(settings.Speed, std::string("4800,7,E,1"));
        QCOMPARE(settings.Port, std::string("COM3"));
        QCOMPARE(settings.Signal, std::string("N"));
        QCOMPARE(settings.StartChar, std::string("Y"));
        QCOMPARE(form->StatusPanels[4]->text(), QStringLiteral("4800,7,E,1"));
        QCOMPARE(form->StatusPanels[5]->text(), QStringLiteral("COM3"));
        QCOMPARE(form->StatusPanels[6]->text(), QStringLiteral("N"));
        QVERIFY(panel.ComboBox1->currentText().isEmpty());

        QTest::keyClick(form->ListBox1, Qt::Key_F7);
        QCOMPARE(panel.Label13->text(), QStringLiteral("ポート番号(COM3)"));
        QTest::mouseClick(panel.ComboBox2, Qt::LeftButton);
        panel.ComboBox2->setFocus();
        panel.ComboBox2->lineEdit()->selectAll();
        Type(QStringLiteral("com12"));
        QCOMPARE(panel.ComboBox2->currentText(), QStringLiteral("com12"));
        Press(Qt::Key_F1);
        QCOMPARE(settings.Port, std::string("COM12"));

        // Too short: said, nothing taken, the panel stays.
        QTest::keyClick(form->ListBox1, Qt::Key_F7);
        Type(QStringLiteral("9600"));
        QTest::keyClick(panel.Edit8, Qt::Key_Y);
        QTest::keyClick(panel.ComboBox2, Qt::Key_5);
        Press(Qt::Key_F1);
        QCOMPARE(messages_.shown().size(), size_t{1});
        QCOMPARE(messages_.shown()[0].text, std::string("入力データを確認してください。"));
        QCOMPARE(messages_.shown()[0].icon, MessageIcon::Error);
        QCOMPARE(messages_.shown()[0].kind, std::string("yes"));
        QCOMPARE(messages_.shown()[0].caption, std::string("確認"));
        QVERIFY(form->GroupBox1->isVisible());
        QCOMPARE(Focus(), panel.ComboBox1);
        QCOMPARE(settings.Speed, std::string("4800,7,E,1"));
        QCOMPARE(settings.Port, std::string("COM12"));
        QCOMPARE(settings.Code, std::string("N"));
        QCOMPARE(form->StatusPanels[5]->text(), QStringLiteral("COM12"));
    }

    void escapeLeavesAndAsksOnlyAfterAChange() {
        auto form = Start("[Setting]\n");
        QVERIFY(form);
        CommPanel& panel = form->commPanel();
        QTest::keyClick(form->ListBox1, Qt::Key_F7);
        Press(Qt::Key_Escape);
        QVERIFY(messages_.shown().empty());
        QVERIFY(!form->GroupBox1->isVisible());
        QCOMPARE(form->Label11->text(), QStringLiteral("操作中止!!"));
        QCOMPARE(form->Label11->palette().color(QPalette::WindowText), QColor(Qt::red));
        QVERIFY(form->Timer1->isActive());
        QCOMPARE(form->Timer1->interval(), 1000);
        QTRY_VERIFY_WITH_TIMEOUT(form->Label11->text().isEmpty(), 3000);

        // Changed, Esc, and "No": taken as F1 would.
        QTest::keyClick(form->ListBox1, Qt::Key_F7);
        for (int i = 0; i < 5; ++i) Press(Qt::Key_Return);
        QCOMPARE(Focus(), panel.Edit8);
        Type(QStringLiteral("y"));
        messages_.Answer(false);
        Press(Qt::Key_Escape);
        QCOMPARE(messages_.shown().size(), size_t{1});
        QCOMPARE(messages_.shown()[0].text,
                 std::string("通信設定が変更されています。\n保存せずに終了しますか？"));
        QCOMPARE(messages_.shown()[0].caption, std::string("通信設定"));
        QCOMPARE(messages_.shown()[0].icon, MessageIcon::Information);
        QVERIFY(!form->GroupBox1->isVisible());
        QCOMPARE(form->settings().Code, std::string("Y"));
        QVERIFY(form->Label11->text().isEmpty());

        // F2 and "Yes": discarded.
        QTest::keyClick(form->ListBox1, Qt::Key_F7);
        for (int i = 0; i < 4; ++i) Press(Qt::Key_Return);
        QCOMPARE(Focus(), panel.Edit9);
        Type(QStringLiteral("n"));
        messages_.Answer(true);
        Press(Qt::Key_F2);
        QCOMPARE(messages_.shown().size(), size_t{2});
        QCOMPARE(form->settings().EndChar, std::string("Y"));
        QCOMPARE(form->Label11->text(), QStringLiteral("操作中止!!"));

        // The footer: its left band is F1.
        QTest::keyClick(form->ListBox1, Qt::Key_F7);
        Press(Qt::Key_Return);
        Press(Qt::Key_Return);
        Type(QStringLiteral("n"));
        QTest::mouseClick(panel.Label14, Qt::LeftButton, Qt::NoModifier, QPoint(40, 8));
        QTRY_VERIFY(!form->GroupBox1->isVisible());
        QCOMPARE(form->settings().Signal, std::string("N"));
        QVERIFY(!messages_.unanswered());

        // F10 ends the program from the panel.
        QTest::keyClick(form->ListBox1, Qt::Key_F7);
        QSignalSpy closed(form.get(), &TForm1::Closed);
        Press(Qt::Key_F10);
        QCOMPARE(closed.count(), 1);
    }
};

QTEST_MAIN(CommPanelTest)
#include "comm_panel_qtest.moc"
