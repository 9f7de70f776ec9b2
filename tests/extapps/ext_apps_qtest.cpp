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

#include "app/ext_app_commands.h"
#include "app/mainunit1.h"
#include "extapps/appopen.h"
#include "extapps/editapp.h"
#include "extapps/outapp.h"
#include "files/file_list_box.h"
#include "support/argv_record.h"
#include "support/scripted_messages.h"
#include "support/test_env.h"

using namespace wexal;
using wexal::test::ReadFileBytes;
using wexal::test::WriteFileBytes;
using Words = std::vector<std::string>;

namespace {

class QuietScreenSaver : public ScreenSaver {
public:
    void SetEnabled(bool) override {}
};

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
    QuietScreenSaver screenSaver_;
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
        auto form = std::make_unique<TForm1>(std::move(args), ProgramFiles::In(program_->path()),
                                             std::move(services));
        form->show();
        QApplication::setActiveWindow(form.get());
        if (!QTest::qWaitFor([&] { return form->firstIdleDone(); }, 5000)) return nullptr;
        return form;
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
    void Save(const QString& name, QWidget& widget) {
        QDir().mkpath(WEXAL_SCREENSHOT_DIR);
        QVERIFY(widget.grab().save(QStringLiteral(WEXAL_SCREENSHOT_DIR "/") + name));
    }
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
        QVERIFY(!form->GroupBox5->isVisible());
        QTest::keyPress(form->ListBox1, Qt::Key_Alt, Qt::AltModifier);
        QVERIFY(form->GroupBox5->isVisible());
        QVERIFY(apps.AltPanelShown());
        QCOMPARE(form->GroupBox5->geometry(), QRect(16, 88, 515, 235));
        QString left = QStringLiteral("ｴﾃﾞｨﾀｰ: /usr/bin/ed\nALT+A : VIEWER\n");
        for (char c = 'B'; c <= 'M'; ++c) left += QStringLiteral("ALT+%1 : \n").arg(QChar(c));
        QCOMPARE(apps.Label30->text(), left);
        QVERIFY(apps.Label31->text().startsWith(QStringLiteral("ALT+N : LATHE\nALT+O : \n")));
        QCOMPARE(apps.Label30->accessibleName(), left);
        QCOMPARE(apps.Label30->palette().color(QPalette::WindowText), QColor(Qt::white));
        QCOMPARE(form->GroupBox5->palette().color(QPalette::Window), QColor(Qt::black));
        QCOMPARE(form->ListBox1->actions().size(), 26);
        QCOMPARE(apps.Menu_out[2]->text(), QStringLiteral("外部ｱﾌﾟﾘC"));
        QCOMPARE(apps.Menu_out[2]->data().toInt(), 4);
        Save(QStringLiteral("alt_overview.png"), *form);

        QTest::keyRelease(form->ListBox1, Qt::Key_Alt, Qt::NoModifier);
        QVERIFY(!form->GroupBox5->isVisible());
        QVERIFY(form->ListBox1->actions().isEmpty());
        // Without the overview, Alt+A is no shortcut and A alone no launch.
        QTest::keyClick(form->ListBox1, Qt::Key_A, Qt::AltModifier);
        QVERIFY(!apps.OutAppForm().isVisible());
    }

    void alt_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("flag");
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("prefill");  // nothing: no dialog
        QTest::addColumn<bool>("clear");
        QTest::addColumn<QStringList>("received");
        // %F is the listed folder, %H the helper, %Q its copy in a folder with a blank.
        const QString full = QStringLiteral("%F/O1234.NC");
        QTest::newRow("$A, Y") << "%H $A"
                               << "Y"
                               << "O1234.NC" << full << false << QStringList{full};
        QTest::newRow("$A, N") << "%H $A"
                               << "N"
                               << "O1234.NC" << QString() << false << QStringList{};
        QTest::newRow("$D") << "%H $D"
                            << "Y"
                            << "O1234.NC"
                            << "O1234" << false << QStringList{"O1234"};
        QTest::newRow("$A and $C")
            << "%H $A --name=$C"
            << "Y"
            << "O1234.NC"
            << "O1234.NC" << false << QStringList{"O1234.NC", "--name=O1234.NC"};
        QTest::newRow("cleared") << "%H $A"
                                 << "Y"
                                 << "O1234.NC" << full << true << QStringList{};
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
            QCOMPARE(dialog.windowTitle(), QStringLiteral("引数"));
            QCOMPARE(dialog.size(), QSize(342, 173));
            QCOMPARE(dialog.Label1->text(), QStringLiteral("VIEWER"));
            QCOMPARE(dialog.Label2->text(), QStringLiteral("起動ｱﾌﾟﾘｹｰｼｮﾝ"));
            QCOMPARE(dialog.Label3->text(), command);
            QCOMPARE(dialog.LabeledEdit1->text(), prefill);
            CheckAccessibleNames(dialog);
            if (QTest::currentDataTag() == QByteArray("$A, Y")) {
                Save(QStringLiteral("outapp_dialog.png"), dialog);
            }
            if (clear) dialog.LabeledEdit1->clear();
            QTest::keyClick(dialog.LabeledEdit1, Qt::Key_Return);
            QVERIFY(!dialog.isVisible());
        }
        const auto got = record_->Wait();
        QVERIFY(got);
        Words expected = {"record_argv"};
        for (const QString& word : received) expected.push_back(word.toStdString());
        QCOMPARE(*got, expected);
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
        QVERIFY(messages_.shown().empty());
        QVERIFY(form->Label11->text().isEmpty());

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

        // No editor set: the desktop chooses (xdg-open, here the helper).
        form->settings().EditApp.clear();
        Key(*form, Qt::Key_E);
        QCOMPARE(record_->Wait(), (Words{"xdg-open", Path(kOddName)}));
        Key(*form, Qt::Key_X);
        QCOMPARE(record_->Wait(), (Words{"xdg-open", Path(kOddName)}));
        // An NC file with its execute bit set is opened, never run.
        QVERIFY(PutCursorOn(*form, "O1234.NC"));
        ::chmod(Path("O1234.NC").c_str(), 0755);
        Key(*form, Qt::Key_F9);
        QCOMPARE(record_->Wait(), (Words{"xdg-open", Path("O1234.NC")}));

        // An editor that cannot start is said in the message line.
        const auto notExecutable = home_->path() / "editor";
        WriteFileBytes(notExecutable, "#!/bin/sh\n");
        form->settings().EditApp = notExecutable.string();
        Key(*form, Qt::Key_E);
        QCOMPARE(form->Label11->text(), QStringLiteral("editorを起動できません。"));
        QCOMPARE(form->Label11->palette().color(QPalette::WindowText), QColor(Qt::red));
        QVERIFY(messages_.shown().empty());

        QVERIFY(PutCursorOn(*form, "SUB"));
        Key(*form, Qt::Key_X);
        Key(*form, Qt::Key_E);
        QCOMPARE(messages_.shown().size(), size_t{1});
        QCOMPARE(messages_.shown()[0].caption, std::string("確認"));
        QVERIFY(!record_->Written());
    }

    void externalCommandSettings() {
        auto form = Start();
        QVERIFY(form);
        QTest::keyPress(form->ListBox1, Qt::Key_Alt, Qt::AltModifier);
        Key(*form, Qt::Key_Y);
        TAppopenForm& dialog = form->extApps().AppopenForm();
        QVERIFY(dialog.isVisible());
        QVERIFY(!form->GroupBox5->isVisible());
        QCOMPARE(dialog.windowTitle(), QStringLiteral("外部コマンド設定"));
        QCOMPARE(dialog.Button1->text(), QStringLiteral("変更\n追加"));
        QCOMPARE(dialog.LabeledEdit2Label->text(), QStringLiteral("ｺﾏﾝﾄﾞｱﾌﾟﾘｹｰｼｮﾝ "));
        QCOMPARE(
            dialog.Label2->text(),
            QStringLiteral("$A:ﾌﾙﾊﾟｽ\n$B:ﾌﾙﾊﾟｽ(拡張子無)\n$C:ﾌｧｲﾙ名のみ\n$D:ﾌｧｲﾙ名のみ(拡張子無)"));
        QCOMPARE(dialog.ListView1->topLevelItemCount(), 26);
        for (int row = 0; row < 26; ++row) {
            const QTreeWidgetItem* item = dialog.ListView1->topLevelItem(row);
            QCOMPARE(item->text(0), QStringLiteral("Alt+") + QChar('A' + row));
            QCOMPARE(item->text(1), QString());
            QCOMPARE(item->text(2), QStringLiteral("N"));
            QCOMPARE(item->text(3), QString());
        }
        CheckAccessibleNames(dialog);

        dialog.ListView1->setCurrentItem(dialog.ListView1->topLevelItem(2));
        QCOMPARE(dialog.Label1->text(), QStringLiteral("Alt+C"));
        QTest::keyClicks(dialog.LabeledEdit1, QStringLiteral("VIEWER"));
        dialog.CheckBox1->setChecked(true);
        // Lower case stays as typed: file names here tell the cases apart.
        QTest::keyClicks(dialog.LabeledEdit2, QStringLiteral("/usr/bin/view $A -q"));
        QCOMPARE(dialog.LabeledEdit2->text(), QStringLiteral("/usr/bin/view $A -q"));
        // A chosen program whose path holds a blank stays one word.
        std::pair<QString, std::string> asked;
        dialog.SetFileChooser([&](const QString& title, const std::string& start) {
            asked = {title, start};
            return std::optional<std::string>("/opt/My View/view");
        });
        QTest::mouseClick(dialog.BitBtn1, Qt::LeftButton);
        QCOMPARE(asked.first, QStringLiteral("ｱﾌﾟﾘｹｰｼｮﾝ設定"));
        QCOMPARE(asked.second, std::string("/"));
        QCOMPARE(dialog.LabeledEdit2->text(), QStringLiteral("\"/opt/My View/view\""));
        QCOMPARE(dialog.Label1->text(), QStringLiteral("Alt+C"));
        dialog.LabeledEdit2->setText(QStringLiteral("/usr/bin/view $A -q"));
        QTest::mouseClick(dialog.Button1, Qt::LeftButton);
        const OutAppEntry& c = form->settings().OutApp[2];
        QCOMPARE(c.Name, std::string("VIEWER"));
        QCOMPARE(c.PassFile, std::string("Y"));
        QCOMPARE(c.Command, std::string("/usr/bin/view $A -q"));
        QCOMPARE(dialog.ListView1->topLevelItem(2)->text(2), QStringLiteral("Y"));
        Save(QStringLiteral("appopen_dialog.png"), dialog);
        QTest::mouseClick(dialog.Button2, Qt::LeftButton);
        QVERIFY(!dialog.isVisible());
        // Nothing is written before the program closes.
        QVERIFY(!std::filesystem::exists(program_->path() / "OutApp_Sub.ini"));

        form->close();
        std::string expected = "[Application]\nEditApp=\n";
        for (char letter = 'A'; letter <= 'Z'; ++letter) {
            const std::string key = std::string("OutApp") + letter;
            const bool isC = letter == 'C';
            expected += key + "=" + (isC ? "/usr/bin/view $A -q" : "") + "\n";
            expected += key + "_F=" + (isC ? "Y" : "N") + "\n";
            expected += key + "_N=" + (isC ? "VIEWER" : "") + "\n";
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
        QTest::mouseClick(dialog.Button2, Qt::LeftButton);
        form->close();
        QVERIFY(!std::filesystem::exists(program_->path() / "OutApp_Sub.ini"));
    }

    void editorSettings() {
        auto form = Start("EditApp=/usr/bin/ed\n");
        QVERIFY(form);
        TEditAppForm& dialog = form->extApps().EditAppForm();
        dialog.SetFileChooser([](const QString&, const std::string&) {
            return std::optional<std::string>("/opt/My Editor/ed");
        });
        Key(*form, Qt::Key_G);
        QVERIFY(dialog.isVisible());
        QCOMPARE(dialog.windowTitle(), QStringLiteral("編集アプリ設定"));
        QCOMPARE(dialog.LabeledEdit1Label->text(), QStringLiteral("ｴﾃﾞｨﾀｿﾌﾄ"));
        QCOMPARE(dialog.LabeledEdit1->text(), QStringLiteral("/usr/bin/ed"));
        CheckAccessibleNames(dialog);
        QTest::mouseClick(dialog.BitBtn1, Qt::LeftButton);
        QCOMPARE(dialog.LabeledEdit1->text(), QStringLiteral("/opt/My Editor/ed"));
        Save(QStringLiteral("editapp_dialog.png"), dialog);
        QTest::mouseClick(dialog.Button2, Qt::LeftButton);
        QVERIFY(!dialog.isVisible());
        QCOMPARE(form->settings().EditApp, std::string("/usr/bin/ed"));

        Key(*form, Qt::Key_G);
        QCOMPARE(dialog.LabeledEdit1->text(), QStringLiteral("/usr/bin/ed"));
        QTest::mouseClick(dialog.BitBtn1, Qt::LeftButton);
        QTest::mouseClick(dialog.Button1, Qt::LeftButton);
        QCOMPARE(form->settings().EditApp, std::string("/opt/My Editor/ed"));
    }
};

QTEST_MAIN(ExtAppsTest)
#include "ext_apps_qtest.moc"
