// The transfer panel headless, with ncsim as the machine: the send view while
// the engine runs, its footer, a queue, a close during a send and the log view.
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTextBlock>
#include <QTimer>
#include <QtTest>
#include <functional>
#include <memory>

#include "main_window/mainunit1.h"
#include "main_window/program_view.h"
#include "main_window/transfer_panel.h"
#include "main_window/file_list_box.h"
#include "platform/text_codec.h"
#include "serial/transfer_log.h"
#include "support/fake_clock.h"
#include "support/fake_serial_port.h"
#include "support/ncsim_process.h"
#include "support/scripted_messages.h"
#include "support/main_window_fixture.h"
#include "support/test_env.h"

using namespace wexal;
using wexal::test::ReadFileBytes;
using wexal::test::WriteFileBytes;

namespace {

class CountingScreenSaver : public ScreenSaver {
public:
    void SetEnabled(bool enabled) override { (enabled ? enabledCalls : disabledCalls)++; }
    int enabledCalls = 0;
    int disabledCalls = 0;
};

// What the panel showed while the engine ran, taken from inside it.
struct Seen {
    bool taken = false;
    bool visible = false;
    QString caption;
    QRect geometry;
    QString panel0;
    QString panel3;
    QString remaining;
    int progress = 0;
    int progressMaximum = 0;
    int highlighted = -1;
    QString selected;
    QString blockText;
    int topBlock = -1;
    bool queueVisible = false;
    int queueCount = 0;
    bool windowVisible = false;
};

}  // namespace

class TransferPanelTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<test::TempDir> program_;
    std::unique_ptr<test::TempDir> home_;
    std::unique_ptr<test::ScopedEnv> homeEnv_;
    std::unique_ptr<test::ScopedEnv> portEnv_;
    std::unique_ptr<test::NcsimProcess> sim_;
    test::ScriptedMessages messages_;
    CountingScreenSaver screenSaver_;

    std::filesystem::path Folder() const { return home_->path() / "nc"; }
    std::filesystem::path Log() const { return program_->path() / "Wexal.log"; }
    std::filesystem::path Report() const { return home_->path() / "report.txt"; }

    bool StartMachine(std::vector<std::string> args) {
        args.insert(args.begin(), {"receive", "--dc1", "--report", Report().string()});
        sim_ = std::make_unique<test::NcsimProcess>();
        if (!sim_->Start(args)) return false;
        portEnv_.reset();  // a second machine's port after the first one's is undone
        portEnv_ = std::make_unique<test::ScopedEnv>("WEXAL_COM1", sim_->slave().c_str());
        return true;
    }
    // The ncsim machine reading at the 4800 baud line rate.
    bool StartPacedMachine() {
        return StartMachine(
            {"--line", "4800,8,N,2", "--code", "iso", "--xoff-at", "200", "--xon-at", "50"});
    }

    std::unique_ptr<TForm1> Start() {
        WriteFileBytes(program_->path() / "Wexal.INI",
                       "[Setting]\nDirPath=" + Folder().string() +
                           "\nSpeed=4800,8,N,2\nSignal=Y\nALL-Files=Y\n[Options]\nListColumn=2\n");
        return test::StartMainWindow({}, program_->path(),
                                     TForm1::Services{&messages_, &screenSaver_, {}});
    }
    void WriteProgram(const std::string& name, int lines) {
        std::string text = "%\n" + name.substr(0, 5) + "\n";
        for (int i = 1; i <= lines; ++i) {
            text += "N" + std::to_string(i) + "G01X" + std::to_string(i) + ".Y-5.F300\n";
        }
        WriteFileBytes(Folder() / name, text + "M30\n%\n");
    }
    static void ClickRow(TForm1& form, int row) {
        const QModelIndex index = form.ListBox1->model()->index(row, 0);
        form.ListBox1->scrollTo(index);
        QTest::mouseClick(form.ListBox1->viewport(), Qt::LeftButton, Qt::NoModifier,
                          form.ListBox1->visualRect(index).center());
    }
    static void Key(TForm1& form, int key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QTest::keyPress(form.ListBox1, static_cast<Qt::Key>(key), mods);
        QTest::keyRelease(form.ListBox1, static_cast<Qt::Key>(key), mods);
    }
    static Seen Look(TForm1& form) {
        Seen seen;
        seen.taken = true;
        seen.visible = form.GroupBox2->isVisible();
        seen.caption = form.GroupBox2->title();
        seen.geometry = form.GroupBox2->geometry();
        seen.panel0 = form.StatusPanels[0]->text();
        seen.panel3 = form.StatusPanels[3]->text();
        seen.remaining = form.transferPanel().Label17->text();
        seen.progress = form.ProgressBar1->value();
        seen.progressMaximum = form.ProgressBar1->maximum();
        const ProgramView* view = form.transferPanel().ProgramView1;
        seen.highlighted = view->HighlightedLine() ? static_cast<int>(*view->HighlightedLine()) : -1;
        // What a screen reader gets: the visible lines and the selected one.
        seen.selected = view->HighlightedText();
        const QStringList lines = view->VisibleText().split(QLatin1Char('\n'));
        seen.blockText = lines.value(seen.highlighted - static_cast<int>(view->TopLine()));
        seen.topBlock = static_cast<int>(view->TopLine());
        seen.queueVisible = form.transferPanel().ListBox2->isVisible();
        seen.queueCount = form.transferPanel().ListBox2->count();
        seen.windowVisible = form.isVisible();
        return seen;
    }
    // Runs what once the engine has been sending for a while; never after
    // the form is gone, as when a loaded machine ends the send first.
    static void During(TForm1& form, int ms, std::function<void()> what) {
        QTimer::singleShot(ms, &form, std::move(what));
    }
    // A pseudo-terminal has no line rate: on a loaded computer the machine
    // may not run before the whole program is in the kernel's buffer, and the
    // send ends before During fires. Such a run says nothing of the window,
    // so it is run again, three times at most, with a fresh log.
    bool SendEndedFirst(const TForm1& form, const Seen& seen, int attempt) const {
        if (seen.taken || attempt >= 3 ||
            form.Label11->text() != QStringLiteral("送信完了しました。!!")) {
            return false;
        }
        std::filesystem::remove(Log());
        return true;
    }
    std::string LogText() const { return Cp932ToUtf8Lossy(ReadFileBytes(Log())); }

private slots:
    void init() {
        program_ = std::make_unique<test::TempDir>();
        home_ = std::make_unique<test::TempDir>();
        std::filesystem::create_directories(Folder());
        homeEnv_ = std::make_unique<test::ScopedEnv>("HOME", home_->path().c_str());
        messages_ = test::ScriptedMessages();
        screenSaver_ = CountingScreenSaver();
    }
    void cleanup() {
        portEnv_.reset();
        sim_.reset();
        homeEnv_.reset();
        home_.reset();
        program_.reset();
    }

    // The lamps show the modem lines read in each transfer, also when they are
    // the same as in the transfer before and the idle display came between.
    void lampsShowTheLinesOfEveryTransfer() {
        test::FakeClock clock;
        WriteFileBytes(Folder() / "O1.NC", "O1\nM30\n");
        WriteFileBytes(program_->path() / "Wexal.INI",
                       "[Setting]\nDirPath=" + Folder().string() +
                           "\nSpeed=4800,8,N,2\nSignal=N\nALL-Files=Y\n[Options]\nListColumn=2\n");
        TForm1::Services services{&messages_, &screenSaver_, {}};
        services.createPort = [&clock](const std::string&) {
            auto port = std::make_unique<test::FakeSerialPort>(clock);
            port->SetModemStatus(ModemStatus{.cts = true, .dsr = true, .rlsd = true});
            return port;
        };
        auto form = test::StartMainWindow({}, program_->path(), std::move(services));
        QVERIFY(form);
        for (int transfer = 1; transfer <= 2; ++transfer) {
            ClickRow(*form, test::RowOf(*form, "O1.NC"));
            messages_.Answer(false);  // the go-ahead: the lamps are read before it
            Key(*form, Qt::Key_F1);
            QCOMPARE(form->LabeledEdit1->text(), QStringLiteral(" ●"));
            QCOMPARE(form->LabeledEdit1->palette().color(QPalette::Text), QColor(Qt::blue));
            QCOMPARE(form->LabeledEdit2->text(), QStringLiteral(" ●"));
            form->RestoreIdleDisplay();
            QCOMPARE(form->LabeledEdit1->palette().color(QPalette::Text), QColor(Qt::red));
            QCOMPARE(form->LabeledEdit2->text(), QStringLiteral(" ○"));
        }
    }

    void sendPanelFollowsTheLineAndItsFooterAborts() {
        WriteProgram("O0001.NC", 400);
        std::unique_ptr<TForm1> form;
        Seen seen;
        for (int attempt = 1; attempt == 1 || SendEndedFirst(*form, seen, attempt - 1); ++attempt) {
            form.reset();
            QVERIFY(StartPacedMachine());
            form = Start();
            QVERIFY(form);
            ClickRow(*form, test::RowOf(*form, "O0001.NC"));
            seen = Seen();
            During(*form, 2500, [&] {
                seen = Look(*form);
                test::Shot(*form, QStringLiteral("send_panel.png"));
                // The footer's band stands for F3.
                QTest::mouseClick(form->transferPanel().Label16, Qt::LeftButton, Qt::NoModifier,
                                  QPoint(250, 8));
            });
            Key(*form, Qt::Key_F1);
        }

        QVERIFY(seen.taken);
        QVERIFY(seen.visible);
        QCOMPARE(seen.caption, QStringLiteral("送信データ"));
        QCOMPARE(seen.geometry.topLeft(), QPoint(328, 184));
        QCOMPARE(seen.geometry.width(), 350);
        QCOMPARE(seen.panel0, QStringLiteral("送信名 O0001.NC"));
        QCOMPARE(seen.panel3, QStringLiteral("＜＜ 送信中 ＞＞"));
        QVERIFY2(seen.remaining.startsWith(QStringLiteral("残り ")) &&
                     seen.remaining.contains(QStringLiteral("ﾊﾞｲﾄ(約 ")),
                 qPrintable(seen.remaining));
        QVERIFY(seen.progress > 0 && seen.progress < seen.progressMaximum);
        // The line in progress is selected whole and second from the top.
        QVERIFY(seen.highlighted > 1);
        QCOMPARE(seen.selected, seen.blockText);
        QVERIFY(seen.blockText.startsWith(QStringLiteral("N")));
        QCOMPARE(seen.topBlock, seen.highlighted - 1);
        QVERIFY(!seen.queueVisible);
        QCOMPARE(screenSaver_.disabledCalls, 1);

        QCOMPARE(form->Label11->text(), QStringLiteral("送信中止しました。!!"));
        QCOMPARE(form->Label11->palette().color(QPalette::WindowText), QColor(Qt::red));
        QVERIFY(!form->GroupBox2->isVisible());
        QVERIFY(form->ListBox1->isEnabled());
        QVERIFY(LogText().find("送信　　中止　") != std::string::npos);
        QVERIFY(LogText().find("送信　　完了　") == std::string::npos);
        // The idle display turns the screen saver back on.
        QTRY_VERIFY_WITH_TIMEOUT(screenSaver_.enabledCalls >= 1, 5000);
    }

    void markedFilesGoOneAfterAnotherBesideTheirQueue() {
        QVERIFY(StartMachine({"--line", "none", "--code", "iso", "--no-percent-end", "--text",
                              (home_->path() / "received.nc").string()}));
        WriteProgram("O0001.NC", 2);
        WriteProgram("O0002.NC", 3);
        WriteProgram("O0003.NC", 1);
        auto form = Start();
        QVERIFY(form);
        ClickRow(*form, test::RowOf(*form, "O0001.NC"));
        Key(*form, Qt::Key_Return);  // marks O0001.NC, the cursor goes to O0002.NC
        Key(*form, Qt::Key_Return);
        QCOMPARE(form->fileList().MarkedCount(), 2);

        Seen seen;
        During(*form, 0, [&] { seen = Look(*form); });
        Key(*form, Qt::Key_F1);

        QVERIFY(seen.taken);
        QCOMPARE(seen.geometry.topLeft(), QPoint(50, 184));
        QCOMPARE(seen.geometry.width(), 650);
        QVERIFY(seen.queueVisible);
        QCOMPARE(seen.queueCount, 2);
        QCOMPARE(form->Label11->text(), QStringLiteral("送信完了しました。!!"));
        QCOMPARE(form->fileList().MarkedCount(), 0);
        const std::string log = LogText();
        const auto first = log.find("送信　　完了　");
        QVERIFY(first != std::string::npos);
        QVERIFY(log.find("O0001.NC", first) < log.find("O0002.NC", first));
        QVERIFY(log.find("O0003.NC") == std::string::npos);
        QVERIFY(log.find("送信　　完了　", first + 1) != std::string::npos);
        QCOMPARE(sim_->WaitExit(std::chrono::seconds(30)), std::optional<int>(0));
        QCOMPARE(ReadFileBytes(home_->path() / "received.nc"),
                 std::string("\nO0001\nN1G01X1.Y-5.F300\nN2G01X2.Y-5.F300\nM30\n"
                             "O0002\nN1G01X1.Y-5.F300\nN2G01X2.Y-5.F300\nN3G01X3.Y-5.F300\nM30\n"
                             "\n%"));
    }

    // A marked file deleted between marking and its turn: the others go, and
    // neither the panel nor the message line says the send completed.
    void aMarkedFileGoneBeforeItsTurnIsNoCompletedSend() {
        QVERIFY(StartMachine({"--line", "none", "--code", "iso", "--no-percent-end", "--text",
                              (home_->path() / "received.nc").string()}));
        for (const char* name : {"O0001.NC", "O0002.NC", "O0003.NC"}) WriteProgram(name, 1);
        auto form = Start();
        QVERIFY(form);
        ClickRow(*form, test::RowOf(*form, "O0001.NC"));
        for (int i = 0; i < 3; ++i) Key(*form, Qt::Key_Return);
        QCOMPARE(form->fileList().MarkedCount(), 3);
        std::filesystem::remove(Folder() / "O0002.NC");
        Key(*form, Qt::Key_F1);

        QCOMPARE(form->StatusPanels[3]->text(), QStringLiteral("送信中止しました。"));
        QCOMPARE(form->Label11->text(), QStringLiteral("送信できなかったファイルが有ります。!!"));
        QCOMPARE(messages_.shown().size(), std::size_t{1});
        QVERIFY2(messages_.shown()[0].text.find("O0002.NC（") != std::string::npos,
                 messages_.shown()[0].text.c_str());
        QCOMPARE(sim_->WaitExit(std::chrono::seconds(30)), std::optional<int>(0));
        const std::string received = ReadFileBytes(home_->path() / "received.nc");
        QVERIFY2(received.find("O0001") != std::string::npos &&
                     received.find("O0003") != std::string::npos,
                 received.c_str());
    }

    void closingDuringASendAbortsItThenCloses() {
        WriteProgram("O0001.NC", 400);
        std::unique_ptr<TForm1> form;
        std::unique_ptr<QSignalSpy> closed;
        Seen seen;
        for (int attempt = 1; attempt == 1 || SendEndedFirst(*form, seen, attempt - 1); ++attempt) {
            closed.reset();
            form.reset();
            QVERIFY(StartPacedMachine());
            form = Start();
            QVERIFY(form);
            closed = std::make_unique<QSignalSpy>(form.get(), &TForm1::Closed);
            ClickRow(*form, test::RowOf(*form, "O0001.NC"));
            seen = Seen();
            During(*form, 2000, [&] {
                form->close();
                seen = Look(*form);
            });
            Key(*form, Qt::Key_F1);
        }

        QVERIFY(seen.taken);
        QVERIFY(seen.windowVisible);  // held back while the engine ran
        QVERIFY(!form->isVisible());
        QCOMPARE(closed->count(), 1);
        QVERIFY(LogText().find("送信　　中止　") != std::string::npos);
        QCOMPARE(sim_->WaitExit(std::chrono::seconds(30)), std::optional<int>(0));
        QVERIFY(ReadFileBytes(Report()).find("dc4_received=1") != std::string::npos);
    }

    void logViewOpensWithoutALogAndClosesOnEsc() {
        WriteProgram("O0001.NC", 1);
        auto form = Start();
        QVERIFY(form);
        QVERIFY(!std::filesystem::exists(Log()));
        Key(*form, Qt::Key_F8, Qt::ShiftModifier);

        QVERIFY(form->GroupBox2->isVisible());
        QCOMPARE(form->GroupBox2->title(), QStringLiteral("送受信ログ"));
        QCOMPARE(form->GroupBox2->geometry().topLeft(), QPoint(328, 100));
        QCOMPARE(form->GroupBox2->width(), 350);
        QCOMPARE(form->StatusPanels[3]->text(), QStringLiteral("送受信ログ"));
        QVERIFY(form->transferPanel().Label17->isHidden());
        QVERIFY(form->RichEdit1->hasFocus());
        QCOMPARE(ReadFileBytes(Log()), TransferLog::Header());
        QCOMPARE(form->RichEdit1->toPlainText(),
                 QStringLiteral("<<<<<　　　通信ログ　　　>>>>>\n"
                                "送受信　状態　日時　　　　　　　　　送受信ファイル名\n") +
                     QString(37, QChar(0x2500)) + QStringLiteral("\n"));

        QTest::keyClick(form->RichEdit1, Qt::Key_Escape);
        QVERIFY(!form->GroupBox2->isVisible());
        QCOMPARE(form->Label11->text(), QStringLiteral("操作中止!!"));
        QCOMPARE(form->Label11->palette().color(QPalette::WindowText), QColor(Qt::red));
        QVERIFY(form->ListBox1->isEnabled());

        // With entries, for the picture.
        const TransferLog log(Log());
        QVERIFY(log.Append(TransferLog::Entry(TransferLog::Direction::Send,
                                              TransferLog::Outcome::Completed, 1133196108,
                                              (Folder() / "O0001.NC").string())));
        QVERIFY(log.Append(TransferLog::Entry(TransferLog::Direction::Send,
                                              TransferLog::Outcome::Aborted, 1133196208,
                                              (Folder() / "O0002.NC").string())));
        Key(*form, Qt::Key_F8, Qt::ShiftModifier);
        QCOMPARE(form->RichEdit1->document()->blockCount(), 6);
        test::Shot(*form, QStringLiteral("log_view.png"));
        QTest::keyClick(form->RichEdit1, Qt::Key_F3);
        QVERIFY(!form->GroupBox2->isVisible());
    }
};

QTEST_MAIN(TransferPanelTest)
#include "transfer_panel_qtest.moc"
