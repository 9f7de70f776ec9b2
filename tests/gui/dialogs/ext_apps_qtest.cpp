// The editor, the association, Alt+A to Alt+Z with the argument dialog, and
// the two settings dialogs, in the real main window. Programs really start:
// the helper tests/data/record_argv writes down what it received.
#include <sys/stat.h>
#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QtTest>
#include <filesystem>
#include <memory>

#include "main_window/ext_app_commands.h"
#include "main_window/mainunit1.h"
#include "dialogs/appopen.h"
#include "dialogs/editapp.h"
#include "dialogs/outapp.h"
#include "main_window/file_list_box.h"
#include "support/argv_record.h"
#include "support/main_window_fixture.h"
#include "support/scripted_messages.h"
#include "support/test_env.h"

using namespace wexal;
using wexal::test::ReadFileBytes;
using wexal::test::WriteFileBytes;
using Words = std::vector<std::string>;

namespace {

constexpr const char* kOddName = "-my prg;$(id)'q\"$C.NC";

}  // namespace

class ExtAppsTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<test::TempDir> program_;
    std::unique_ptr<test::TempDir> home_;
    std::unique_ptr<test::PseudoTerminal> pty_;
    std::unique_ptr<test::ScopedEnv> homeEnv_;
    std::unique_ptr<test::ScopedEnv> portEnv_;
    std::unique_ptr<test::ArgvRecord> record_;
    test::ScriptedMessages messages_;
    test::NullScreenSaver screenSaver_;
    std::filesystem::path folder_;
    std::filesystem::path helperWithBlank_;

    std::unique_ptr<TForm1> Start(const std::string& outApp = "",
                                  std::vector<std::string> args = {}) {
        WriteFileBytes(program_->path() / "Wexal.INI",
                       "[Setting]\nDirPath=" + folder_.string() + "\n");
        if (!outApp.empty()) {
            WriteFileBytes(program_->path() / "OutApp_Sub.ini", "[Application]\n" + outApp);
        }
        TForm1::Services services;
        services.messages = &messages_;
        services.screenSaver = &screenSaver_;
        return test::StartMainWindow(std::move(args), program_->path(), std::move(services));
    }
    static bool PutCursorOn(TForm1& form, const std::string& name) {
        for (int row = 0; row < form.fileList().RowCount(); ++row) {
            if (form.fileList().FileNameOfRow(row) != name) continue;
            const QModelIndex index = form.ListBox1->model()->index(row, 0);
            form.ListBox1->scrollTo(index);
            QTest::mouseClick(form.ListBox1->viewport(), Qt::LeftButton, Qt::NoModifier,
                              form.ListBox1->visualRect(index).center());
            return form.fileList().Cursor() == row;
        }
        return false;
    }
    static void AltLetter(TForm1& form, Qt::Key letter) {
        QTest::keyPress(form.ListBox1, Qt::Key_Alt, Qt::AltModifier);
        QTest::keyClick(form.ListBox1, letter, Qt::AltModifier);
        QTest::keyRelease(form.ListBox1, Qt::Key_Alt, Qt::NoModifier);
    }
    static void Key(TForm1& form, Qt::Key key) { QTest::keyClick(form.ListBox1, key); }
    std::string Path(const char* name) const { return (folder_ / name).string(); }
    // Every control of a window tells assistive technology what it is.
    static void CheckAccessibleNames(QWidget& window) {
        for (QWidget* w : window.findChildren<QWidget*>()) {
            if (qobject_cast<QLineEdit*>(w) || qobject_cast<QAbstractButton*>(w) ||
                qobject_cast<QTreeWidget*>(w)) {
                QVERIFY2(!w->accessibleName().isEmpty(), qPrintable(w->objectName()));
            }
        }
    }

private slots:
    void init() {
        program_ = std::make_unique<test::TempDir>();
        home_ = std::make_unique<test::TempDir>();
        pty_ = std::make_unique<test::PseudoTerminal>();
        QVERIFY(pty_->ok());
        homeEnv_ = std::make_unique<test::ScopedEnv>("HOME", home_->path().c_str());
        portEnv_ = std::make_unique<test::ScopedEnv>("WEXAL_COM1", pty_->slave().c_str());
        record_ = std::make_unique<test::ArgvRecord>();
        messages_ = test::ScriptedMessages();
        folder_ = home_->path() / "nc";
        std::filesystem::create_directories(folder_ / "SUB");
        for (const char* name : {"O1234.NC", kOddName}) WriteFileBytes(folder_ / name, "%\n");
        helperWithBlank_ = home_->path() / "my bin" / "record_argv";
        std::filesystem::create_directories(helperWithBlank_.parent_path());
        std::filesystem::copy_file(test::ArgvRecord::Helper(), helperWithBlank_);
    }
    void cleanup() {
        record_.reset();
        portEnv_.reset();
        homeEnv_.reset();
        pty_.reset();
        home_.reset();
        program_.reset();
    }

    void altShowsTheOverviewWhileHeld() {
        auto form = Start("EditApp=/usr/bin/ed\nOutAppA_N=VIEWER\nOutAppN_N=LATHE\n");
        QVERIFY(form);
        ExtAppCommands& apps = form->extApps();
        QTest::keyPress(form->ListBox1, Qt::Key_Alt, Qt::AltModifier);
        QVERIFY(form->GroupBox5->isVisible());
        QString left = QStringLiteral("ｴﾃﾞｨﾀｰ: /usr/bin/ed\nALT+A : VIEWER\n");
        for (char c = 'B'; c <= 'M'; ++c) left += QStringLiteral("ALT+%1 : \n").arg(QChar(c));
        QCOMPARE(apps.Label30->text(), left);
        QVERIFY(apps.Label31->text().startsWith(QStringLiteral("ALT+N : LATHE\nALT+O : \n")));
        QCOMPARE(form->ListBox1->actions().size(), 26);
        test::Shot(*form, QStringLiteral("alt_overview.png"));

        QTest::keyRelease(form->ListBox1, Qt::Key_Alt, Qt::NoModifier);
        QVERIFY(!form->GroupBox5->isVisible());
        QVERIFY(form->ListBox1->actions().isEmpty());
    }

    void alt_data() {
        QTest::addColumn<QString>("command");  // %H the helper, %Q its copy under a blank
        QTest::addColumn<QString>("flag");
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("prefill");  // null: no dialog; %F the listed folder
        QTest::addColumn<bool>("clear");
        QTest::addColumn<QStringList>("received");
        const QString full = QStringLiteral("%F/O1234.NC");
        const QString o1234 = QStringLiteral("O1234.NC");
        QTest::newRow("$A, Y") << "%H $A"
                               << "Y" << o1234 << full << false << QStringList{full};
        QTest::newRow("$A, N") << "%H $A"
                               << "N" << o1234 << QString() << false << QStringList{};
        QTest::newRow("$D") << "%H $D"
                            << "Y" << o1234 << "O1234" << false << QStringList{"O1234"};
        QTest::newRow("$A and $C")
            << "%H $A --name=$C"
            << "Y" << o1234 << o1234 << false << QStringList{o1234, "--name=O1234.NC"};
        QTest::newRow("cleared") << "%H $A"
                                 << "Y" << o1234 << full << true << QStringList{};
        QTest::newRow("odd name") << "\"%Q\" $C"
                                  << "Y" << kOddName << kOddName << false << QStringList{kOddName};
    }
    void alt() {
        QFETCH(QString, command);
        QFETCH(QString, flag);
        QFETCH(QString, file);
        QFETCH(QString, prefill);
        QFETCH(bool, clear);
        QFETCH(QStringList, received);
        command.replace(QStringLiteral("%H"), QString::fromStdString(test::ArgvRecord::Helper()));
        command.replace(QStringLiteral("%Q"), QString::fromStdString(helperWithBlank_.string()));
        const QString folder = QString::fromStdString(folder_.string());
        prefill.replace(QStringLiteral("%F"), folder);
        received.replaceInStrings(QStringLiteral("%F"), folder);
        auto form = Start("OutAppA=" + command.toStdString() + "\nOutAppA_F=" + flag.toStdString() +
                          "\nOutAppA_N=VIEWER\n");
        QVERIFY(form);
        QVERIFY(PutCursorOn(*form, file.toStdString()));
        AltLetter(*form, Qt::Key_A);

        TOutAppForm& dialog = form->extApps().OutAppForm();
        QCOMPARE(dialog.isVisible(), !prefill.isNull());
        if (dialog.isVisible()) {
            QCOMPARE(dialog.Label1->text(), QStringLiteral("VIEWER"));
            QCOMPARE(dialog.Label3->text(), command);
            QCOMPARE(dialog.LabeledEdit1->text(), prefill);
            CheckAccessibleNames(dialog);
            test::Shot(dialog, QStringLiteral("outapp_dialog.png"));
            if (clear) dialog.LabeledEdit1->clear();
            QTest::keyClick(dialog.LabeledEdit1, Qt::Key_Return);
            QVERIFY(!dialog.isVisible());
        }
        Words expected = {"record_argv"};
        for (const QString& word : received) expected.push_back(word.toStdString());
        QCOMPARE(record_->Wait(), expected);
        QVERIFY(messages_.shown().empty());
    }

    void altDoesNothingForAMissingProgramAndAsksForAFile() {
        auto form =
            Start("OutAppA=/no/such/viewer $A\nOutAppA_F=Y\nOutAppB=" + test::ArgvRecord::Helper() +
                  " $A\nOutAppB_F=Y\n");
        QVERIFY(form);
        QVERIFY(PutCursorOn(*form, "O1234.NC"));
        AltLetter(*form, Qt::Key_A);
        QVERIFY(!form->extApps().OutAppForm().isVisible());
        QVERIFY(messages_.shown().empty() && form->Label11->text().isEmpty());

        QVERIFY(PutCursorOn(*form, "SUB"));
        AltLetter(*form, Qt::Key_B);
        QVERIFY(!form->extApps().OutAppForm().isVisible());
        QCOMPARE(messages_.shown().size(), size_t{1});
        QCOMPARE(messages_.shown()[0].text,
                 std::string("ﾌｧｲﾙを選択して下さい。\n(複数のﾌｧｲﾙ選択は不可です。)"));
        QCOMPARE(messages_.shown()[0].caption, std::string("確認"));
        QVERIFY(messages_.shown()[0].icon == MessageIcon::Error);
        QVERIFY(!record_->Written());
    }

    void editorAndAssociation() {
        auto form = Start("EditApp=" + test::ArgvRecord::Helper() + "\n");
        QVERIFY(form);
        QVERIFY(PutCursorOn(*form, kOddName));
        Key(*form, Qt::Key_E);
        QCOMPARE(record_->Wait(), (Words{"record_argv", Path(kOddName)}));
        // No editor: the desktop chooses (xdg-open, here the helper).
        form->settings().EditApp.clear();
        Key(*form, Qt::Key_E);
        QCOMPARE(record_->Wait(), (Words{"xdg-open", Path(kOddName)}));
        // X and F9 open an NC file, even one with its execute bit, never run it.
        QVERIFY(PutCursorOn(*form, "O1234.NC"));
        ::chmod(Path("O1234.NC").c_str(), 0755);
        for (Qt::Key key : {Qt::Key_X, Qt::Key_F9}) {
            Key(*form, key);
            QCOMPARE(record_->Wait(), (Words{"xdg-open", Path("O1234.NC")}));
        }
        // An editor that cannot start is said in the message line.
        const auto notExecutable = home_->path() / "editor";
        WriteFileBytes(notExecutable, "#!/bin/sh\n");
        form->settings().EditApp = notExecutable.string();
        Key(*form, Qt::Key_E);
        QCOMPARE(form->Label11->text(), QStringLiteral("editorを起動できません。"));
        QCOMPARE(form->Label11->palette().color(QPalette::WindowText), QColor(Qt::red));
        QVERIFY(messages_.shown().empty() && !record_->Written());
    }

    void externalCommandSettings() {
        auto form = Start();
        QVERIFY(form);
        Key(*form, Qt::Key_Y);
        TAppopenForm& dialog = form->extApps().AppopenForm();
        QVERIFY(dialog.isVisible());
        QCOMPARE(dialog.ListView1->topLevelItemCount(), 26);
        for (int row = 0; row < 26; ++row) {
            const QTreeWidgetItem* item = dialog.ListView1->topLevelItem(row);
            const QStringList columns{item->text(0), item->text(1), item->text(2), item->text(3)};
            QCOMPARE(columns,
                     (QStringList{QStringLiteral("Alt+") + QChar('A' + row), "", "N", ""}));
        }
        CheckAccessibleNames(dialog);

        dialog.ListView1->setCurrentItem(dialog.ListView1->topLevelItem(2));
        QCOMPARE(dialog.Label1->text(), QStringLiteral("Alt+C"));
        // A chosen program whose path holds a blank stays one word.
        dialog.SetFileChooser([](const QString&, const std::string& start) {
            return std::optional<std::string>(start + "opt/My View/view");
        });
        QTest::mouseClick(dialog.BitBtn1, Qt::LeftButton);
        QCOMPARE(dialog.LabeledEdit2->text(), QStringLiteral("\"/opt/My View/view\""));
        QTest::keyClicks(dialog.LabeledEdit1, QStringLiteral("VIEWER"));
        dialog.CheckBox1->setChecked(true);
        // Lower case stays as typed: file names here tell the cases apart.
        dialog.LabeledEdit2->clear();
        QTest::keyClicks(dialog.LabeledEdit2, QStringLiteral("/usr/bin/view $A -q"));
        QTest::mouseClick(dialog.Button1, Qt::LeftButton);
        QCOMPARE(dialog.ListView1->topLevelItem(2)->text(2), QStringLiteral("Y"));
        test::Shot(dialog, QStringLiteral("appopen_dialog.png"));
        QTest::mouseClick(dialog.Button2, Qt::LeftButton);
        QVERIFY(!dialog.isVisible());
        QVERIFY(!std::filesystem::exists(program_->path() / "OutApp_Sub.ini"));

        form->close();
        std::string expected = "[Application]\nEditApp=\n";
        for (char letter = 'A'; letter <= 'Z'; ++letter) {
            const std::string key = std::string("OutApp") + letter;
            const bool c = letter == 'C';
            expected += key + "=" + (c ? "/usr/bin/view $A -q" : "") + "\n" + key +
                        "_F=" + (c ? "Y" : "N") + "\n" + key + "_N=" + (c ? "VIEWER" : "") + "\n";
        }
        QCOMPARE(ReadFileBytes(program_->path() / "OutApp_Sub.ini"), expected);
    }

    void aRunWithArgumentsWritesNoCommands() {
        auto form = Start("", {"END"});
        QVERIFY(form);
        Key(*form, Qt::Key_Y);
        TAppopenForm& dialog = form->extApps().AppopenForm();
        dialog.ListView1->setCurrentItem(dialog.ListView1->topLevelItem(2));
        QTest::keyClicks(dialog.LabeledEdit1, QStringLiteral("VIEWER"));
        QTest::mouseClick(dialog.Button1, Qt::LeftButton);
        QCOMPARE(form->settings().OutApp[2].Name, std::string("VIEWER"));
        form->close();
        QVERIFY(!std::filesystem::exists(program_->path() / "OutApp_Sub.ini"));
    }

    void editorSettingsTakeTheEditorOnlyWhenSaved() {
        auto form = Start("EditApp=/usr/bin/ed\n");
        QVERIFY(form);
        TEditAppForm& dialog = form->extApps().EditAppForm();
        dialog.SetFileChooser([](const QString&, const std::string&) {
            return std::optional<std::string>("/opt/My Editor/ed");
        });
        for (QPushButton* close : {dialog.Button2, dialog.Button1}) {
            Key(*form, Qt::Key_G);
            QVERIFY(dialog.isVisible());
            QCOMPARE(dialog.LabeledEdit1->text(), QStringLiteral("/usr/bin/ed"));
            QTest::mouseClick(dialog.BitBtn1, Qt::LeftButton);
            QCOMPARE(dialog.LabeledEdit1->text(), QStringLiteral("/opt/My Editor/ed"));
            CheckAccessibleNames(dialog);
            test::Shot(dialog, QStringLiteral("editapp_dialog.png"));
            QTest::mouseClick(close, Qt::LeftButton);
            QVERIFY(!dialog.isVisible());
            if (close == dialog.Button2)
                QCOMPARE(form->settings().EditApp, std::string("/usr/bin/ed"));
        }
        QCOMPARE(form->settings().EditApp, std::string("/opt/My Editor/ed"));
    }
};

QTEST_MAIN(ExtAppsTest)
#include "ext_apps_qtest.moc"
