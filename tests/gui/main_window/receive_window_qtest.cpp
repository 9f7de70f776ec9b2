// The receive from the window, headless, with ncsim punching: the save choice
// and its rows, automatic naming of several programs driven by keys, the name
// entry with its refusals and the overwrite question, the received-data panel
// while the lines arrive, and a close during a receive.
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QSignalSpy>
#include <QTextBlock>
#include <QTimer>
#include <QtTest>
#include <functional>
#include <memory>

#include "main_window/mainunit1.h"
#include "main_window/save_choice_panel.h"
#include "main_window/transfer_panel.h"
#include "main_window/file_list_box.h"
#include "platform/text_codec.h"
#include "support/ncsim_process.h"
#include "support/scripted_messages.h"
#include "support/main_window_fixture.h"
#include "support/test_env.h"

using namespace wexal;
using wexal::test::ReadFileBytes;
using wexal::test::WriteFileBytes;

namespace {

// What the window showed while the engine ran, taken from inside it.
struct Seen {
    bool taken = false;
    bool visible = false;
    QString caption;
    QRect geometry;
    QColor colour;
    QStringList programs;
    int programRow = -1;
    QString firstLine;
    QString lastLine;
    int progress = -1;
    QString panel0;
    QString panel3;
    bool inputLineEnabled = true;
    bool listEnabled = true;
};

}  // namespace

class ReceiveWindowTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<test::TempDir> program_;
    std::unique_ptr<test::TempDir> home_;
    std::unique_ptr<test::ScopedEnv> homeEnv_;
    std::unique_ptr<test::ScopedEnv> portEnv_;
    std::unique_ptr<test::NcsimProcess> sim_;
    test::ScriptedMessages messages_;
    test::NullScreenSaver screenSaver_;

    std::filesystem::path Folder() const { return home_->path() / "nc"; }
    std::filesystem::path Report() const { return home_->path() / "report.txt"; }
    std::string LogText() const {
        return Cp932ToUtf8Lossy(ReadFileBytes(program_->path() / "Wexal.log"));
    }

    // ncsim punching text in ISO on COM1.
    bool StartPunch(const std::string& text, const std::string& line) {
        const auto file = home_->path() / "punched.nc";
        WriteFileBytes(file, text);
        sim_ = std::make_unique<test::NcsimProcess>();
        if (!sim_->Start({"punch", file.string(), "--line", line, "--code", "iso", "--report",
                          Report().string()})) {
            return false;
        }
        portEnv_ = std::make_unique<test::ScopedEnv>("WEXAL_COM1", sim_->slave().c_str());
        return true;
    }
    std::unique_ptr<TForm1> Start(const std::string& addNo = "Y") {
        WriteFileBytes(program_->path() / "Wexal.INI",
                       "[Setting]\nDirPath=" + Folder().string() +
                           "\nMask=*.NC\nSpeed=9600,8,N,2\nSignal=N\nR_Code=1\nStartChar=Y\n"
                           "EndChar=Y\nALL-Files=N\n[Options]\nAdd_No=" +
                           addNo + "\nRead_SP_Cut=N\nListColumn=2\n");
        return test::StartMainWindow({}, program_->path(),
                                     TForm1::Services{&messages_, &screenSaver_, {}});
    }
    static bool Listed(const TForm1& form, const std::string& name) {
        return test::RowOf(form, name) >= 0;
    }
    static void ListKey(TForm1& form, int key) {
        QTest::keyPress(form.ListBox1, static_cast<Qt::Key>(key));
        QTest::keyRelease(form.ListBox1, static_cast<Qt::Key>(key));
    }
    static Seen Look(TForm1& form) {
        Seen seen;
        seen.taken = true;
        seen.visible = form.GroupBox2->isVisible();
        seen.caption = form.GroupBox2->title();
        seen.geometry = form.GroupBox2->geometry();
        seen.colour = form.GroupBox2->palette().color(QPalette::Window);
        const QListWidget* programs = form.transferPanel().ListBox2;
        for (int i = 0; i < programs->count(); ++i) seen.programs << programs->item(i)->text();
        seen.programRow = programs->currentRow();
        const QTextDocument* view = form.RichEdit1->document();
        seen.firstLine = view->firstBlock().text();
        seen.lastLine = view->lastBlock().text();
        seen.progress = form.ProgressBar1->value();
        seen.panel0 = form.StatusPanels[0]->text();
        seen.panel3 = form.StatusPanels[3]->text();
        seen.inputLineEnabled = form.Edit1->isEnabled();
        seen.listEnabled = form.ListBox1->isEnabled();
        return seen;
    }

private slots:
    void init() {
        program_ = std::make_unique<test::TempDir>();
        home_ = std::make_unique<test::TempDir>();
        std::filesystem::create_directories(Folder());
        homeEnv_ = std::make_unique<test::ScopedEnv>("HOME", home_->path().c_str());
        messages_ = test::ScriptedMessages();
    }
    void cleanup() {
        portEnv_.reset();
        sim_.reset();
        homeEnv_.reset();
        home_.reset();
        program_.reset();
    }

    void severalProgramsAreNamedByTheirNumbers() {
        QVERIFY(StartPunch("%\nO100\nG01X1.\nM30\nO200\nG01X2.\nM30\n%\n", "none"));
        auto form = Start();
        QVERIFY(form);
        SaveChoicePanel& choice = form->saveChoice();

        ListKey(*form, Qt::Key_F2);
        QVERIFY(form->GroupBox4->isVisible());
        QCOMPARE(form->GroupBox4->title(), QStringLiteral("データ保存"));
        QCOMPARE(form->GroupBox4->geometry(), QRect(328, 370, 250, 80));
        QVERIFY(choice.Edit5->hasFocus());
        QVERIFY(!form->ListBox1->isEnabled());
        QVERIFY(!form->state().ExitAfterTransfer);
        test::Shot(*form, QStringLiteral("save_choice.png"));

        QTest::keyClick(choice.Edit5, Qt::Key_N);

        QVERIFY(!form->GroupBox4->isVisible());
        QCOMPARE(ReadFileBytes(Folder() / "O100_001.NC"), std::string("%\r\nO100\r\nG01 X1.\r\nM30\r\n%\r\n"));
        QCOMPARE(ReadFileBytes(Folder() / "O200_002.NC"), std::string("%\r\nO200\r\nG01 X2.\r\nM30\r\n%\r\n"));
        const QListWidget* programs = form->transferPanel().ListBox2;
        QCOMPARE(programs->count(), 2);
        QCOMPARE(programs->item(0)->text(), QStringLiteral("O100"));
        QCOMPARE(programs->item(1)->text(), QStringLiteral("O200"));
        QCOMPARE(programs->currentRow(), 1);
        QCOMPARE(form->Label11->text(), QStringLiteral("受信完了しました。!!"));
        QCOMPARE(form->Label11->palette().color(QPalette::WindowText), QColor(Qt::green));
        QVERIFY(!form->GroupBox2->isVisible());
        QVERIFY(LogText().find("受信　　完了　") != std::string::npos);
        QVERIFY(LogText().find((Folder() / "O200_002.NC").string()) != std::string::npos);
        // The list shows the new files once the window is idle again.
        QVERIFY(!Listed(*form, "O100_001.NC"));
        QTRY_VERIFY_WITH_TIMEOUT(Listed(*form, "O100_001.NC") && Listed(*form, "O200_002.NC"),
                                 10000);
        QVERIFY(form->ListBox1->isEnabled());
        QCOMPARE(sim_->WaitExit(std::chrono::seconds(30)), std::optional<int>(0));
    }

    // Without Add_No the same number twice: the second program takes the
    // next free name instead of replacing the first.
    void theSameNumberTwiceKeepsBothPrograms() {
        QVERIFY(StartPunch("%\nO100\nG01X1.\nM30\nO100\nG01X2.\nM30\n%\n", "none"));
        auto form = Start("N");
        QVERIFY(form);
        ListKey(*form, Qt::Key_F2);
        QTest::keyClick(form->saveChoice().Edit5, Qt::Key_N);

        QCOMPARE(ReadFileBytes(Folder() / "O100.NC"),
                 std::string("%\r\nO100\r\nG01 X1.\r\nM30\r\n%\r\n"));
        QCOMPARE(ReadFileBytes(Folder() / "O100_2.NC"),
                 std::string("%\r\nO100\r\nG01 X2.\r\nM30\r\n%\r\n"));
        QCOMPARE(form->Label11->toolTip(),
                 QStringLiteral(
                     "受信完了しました。!!　同じ番号のプログラムはO100_2.NCに保存しました。"));
        QVERIFY(LogText().find((Folder() / "O100.NC").string() + "\r\n") != std::string::npos);
        QVERIFY(LogText().find((Folder() / "O100_2.NC").string() + "\r\n") != std::string::npos);
        QCOMPARE(sim_->WaitExit(std::chrono::seconds(30)), std::optional<int>(0));
    }

    void saveChoiceRowsAndEsc() {
        auto form = Start();
        QVERIFY(form);
        SaveChoicePanel& choice = form->saveChoice();
        const int row = choice.Label27->height() / 3;

        // The third row is Esc.
        ListKey(*form, Qt::Key_F2);
        QTest::mouseClick(choice.Label27, Qt::LeftButton, Qt::NoModifier, QPoint(20, 2 * row + row / 2));
        QTRY_VERIFY(!form->GroupBox4->isVisible());
        QCOMPARE(form->Label11->text(), QStringLiteral("操作中止!!"));
        QCOMPARE(form->Label11->palette().color(QPalette::WindowText), QColor(Qt::red));
        QVERIFY(form->ListBox1->isEnabled());
        QVERIFY(!form->Edit1->isEnabled());

        // Other keys do nothing; the first row opens the name entry.
        ListKey(*form, Qt::Key_F2);
        QTest::keyClick(choice.Edit5, Qt::Key_A);
        QVERIFY(form->GroupBox4->isVisible());
        QVERIFY(choice.Edit5->text().isEmpty());
        QTest::mouseClick(choice.Label27, Qt::LeftButton, Qt::NoModifier, QPoint(20, row / 2));
        QVERIFY(!form->GroupBox4->isVisible());
        QVERIFY(form->Edit1->isEnabled());
        QCOMPARE(form->Label11->text(), QStringLiteral("ファイル受信 受信ファイル名-->>>"));
        QTest::keyClick(form->Edit1, Qt::Key_Escape);
        QCOMPARE(form->Label11->text(), QStringLiteral("操作中止!!"));
        QVERIFY(!form->Edit1->isEnabled());
        QVERIFY(form->ListBox1->isEnabled());
    }

    void namedReceiveShowsTheLinesAsTheyArriveAndACloseEndsIt() {
        std::string text = "%\nO2000\n";
        for (int i = 1; i <= 400; ++i) {
            text += "N" + std::to_string(i) + "G01X" + std::to_string(i) + ".Y-5.F300\n";
        }
        QVERIFY(StartPunch(text + "M30\n%\n", "9600,8,N,2"));
        WriteFileBytes(Folder() / "EXIST.NC", "kept\r\n");
        auto form = Start();
        QVERIFY(form);
        QSignalSpy closed(form.get(), &TForm1::Closed);

        ListKey(*form, Qt::Key_F2);
        QTest::keyClick(form->saveChoice().Edit5, Qt::Key_Y);
        QVERIFY(form->Edit1->isEnabled());
        QVERIFY(form->Edit1->hasFocus());
        // The extension comes from the mask: a dot cannot be typed.
        QTest::keyClicks(form->Edit1, QStringLiteral("EX."));
        QCOMPARE(form->Edit1->text(), QStringLiteral("EX"));
        QCOMPARE(messages_.shown().back().caption, std::string("確認"));
        QCOMPARE(messages_.shown().back().icon, MessageIcon::Error);
        // An existing file and No: the entry stays open for another name.
        QTest::keyClicks(form->Edit1, QStringLiteral("IST"));
        messages_.Answer(false);
        QTest::keyClick(form->Edit1, Qt::Key_Return);
        QCOMPARE(messages_.shown().back().text,
                 "すでに" + (Folder() / "EXIST.NC").string() + "が有ります。\n上書きしますか？");
        QVERIFY(form->Edit1->isEnabled());
        QCOMPARE(form->Edit1->text(), QStringLiteral("EXIST"));
        QVERIFY(!form->GroupBox2->isVisible());
        QCOMPARE(ReadFileBytes(Folder() / "EXIST.NC"), std::string("kept\r\n"));

        form->Edit1->clear();
        QTest::keyClicks(form->Edit1, QStringLiteral("TEST"));
        Seen seen;
        QTimer::singleShot(3000, form.get(), [&] {
            seen = Look(*form);
            test::Shot(*form, QStringLiteral("receive_panel.png"));
            form->close();
        });
        QTest::keyClick(form->Edit1, Qt::Key_Return);

        QVERIFY(seen.taken);
        QVERIFY(seen.visible);
        QCOMPARE(seen.caption, QStringLiteral("受信データ"));
        QCOMPARE(seen.geometry.topLeft(), QPoint(24, 96));
        QCOMPARE(seen.geometry.width(), 650);
        QCOMPARE(seen.colour, QColor(0x00, 0x80, 0x00));
        QCOMPARE(seen.programs, QStringList{QStringLiteral("O2000")});
        QCOMPARE(seen.programRow, 0);
        QCOMPARE(seen.firstLine, QStringLiteral("%"));
        QVERIFY2(seen.lastLine.startsWith(QStringLiteral("N")) &&
                     seen.lastLine.endsWith(QStringLiteral(" Y-5. F300")),
                 qPrintable(seen.lastLine));
        QVERIFY(seen.progress > 0 && seen.progress < 1000);
        QCOMPARE(seen.panel0, QStringLiteral("受信名 TEST.NC"));
        QCOMPARE(seen.panel3, QStringLiteral("＜＜ 受信中 ＞＞"));
        QVERIFY(!seen.inputLineEnabled);
        QVERIFY(!seen.listEnabled);

        // The close waited for the abort path: DC4, the unfinished file gone, the log.
        QVERIFY(!form->isVisible());
        QCOMPARE(closed.count(), 1);
        QVERIFY(!std::filesystem::exists(Folder() / "TEST.NC"));
        QVERIFY(LogText().find("受信　　中止　") != std::string::npos);
        QCOMPARE(sim_->WaitExit(std::chrono::seconds(30)), std::optional<int>(0));
        QVERIFY(ReadFileBytes(Report()).find("dc4_received=1") != std::string::npos);
    }

    // F2, Y, the name of a file that exists, Yes: the old file is replaced
    // only by a complete program; a close half way leaves it as it was.
    void anExistingFileSurvivesAReceiveClosedHalfWay() {
        std::string text = "%\nO1\n";
        for (int i = 1; i <= 400; ++i)
            text += "N" + std::to_string(i) + "G01X" + std::to_string(i) + ".\n";
        QVERIFY(StartPunch(text + "M30\n%\n", "9600,8,N,2"));
        const std::string old = "%\r\nO1(OLD)\r\nM30\r\n%\r\n";
        WriteFileBytes(Folder() / "O1.NC", old);
        auto form = Start();
        QVERIFY(form);

        ListKey(*form, Qt::Key_F2);
        QTest::keyClick(form->saveChoice().Edit5, Qt::Key_Y);
        QTest::keyClicks(form->Edit1, QStringLiteral("O1"));
        messages_.Answer(true);
        bool keptWhileReceiving = false;
        QTimer::singleShot(3000, form.get(), [&] {
            keptWhileReceiving =
                form->GroupBox2->isVisible() && ReadFileBytes(Folder() / "O1.NC") == old;
            form->close();
        });
        QTest::keyClick(form->Edit1, Qt::Key_Return);

        QCOMPARE(messages_.shown().back().text,
                 "すでに" + (Folder() / "O1.NC").string() + "が有ります。\n上書きしますか？");
        QVERIFY(keptWhileReceiving);
        QVERIFY(!form->isVisible());
        QCOMPARE(ReadFileBytes(Folder() / "O1.NC"), old);
        // Nothing else left behind in the folder.
        QCOMPARE(std::distance(std::filesystem::directory_iterator(Folder()),
                               std::filesystem::directory_iterator()),
                 1);
        QVERIFY(LogText().find("受信　　中止　") != std::string::npos);
        QCOMPARE(sim_->WaitExit(std::chrono::seconds(30)), std::optional<int>(0));
    }
};

QTEST_MAIN(ReceiveWindowTest)
#include "receive_window_qtest.moc"
