// The main window, headless: layout, start-up checks, keys and the close query.
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QProgressBar>
#include <QTimer>
#include <QtTest>
#include <filesystem>
#include <memory>

#include "app/mainunit1.h"
#include "files/key_dispatch.h"
#include "support/scripted_messages.h"
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

QColor TextColour(QWidget* w) { return w->palette().color(QPalette::WindowText); }

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

private:
    // One program folder, one home folder and one usable port per test.
    std::unique_ptr<test::TempDir> program_;
    std::unique_ptr<test::TempDir> home_;
    std::unique_ptr<test::PseudoTerminal> pty_;
    std::unique_ptr<test::ScopedEnv> homeEnv_;
    std::unique_ptr<test::ScopedEnv> portEnv_;
    test::ScriptedMessages messages_;
    CountingScreenSaver screenSaver_;

    std::unique_ptr<TForm1> Start(std::vector<std::string> args = {}) {
        auto form = std::make_unique<TForm1>(std::move(args), ProgramFiles::In(program_->path()),
                                             TForm1::Services{&messages_, &screenSaver_});
        form->show();
        if (!QTest::qWaitFor([&] { return form->firstIdleDone(); }, 5000)) return nullptr;
        return form;
    }
    std::filesystem::path Ini() const { return program_->path() / "Wexal.INI"; }
    void Save(const QString& name, TForm1& form) {
        QDir().mkpath(WEXAL_SCREENSHOT_DIR);
        QVERIFY(form.grab().save(QStringLiteral(WEXAL_SCREENSHOT_DIR "/") + name));
    }
    static void Key(TForm1& form, int key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QTest::keyPress(form.ListBox1, static_cast<Qt::Key>(key), mods);
        QTest::keyRelease(form.ListBox1, static_cast<Qt::Key>(key), mods);
    }

private slots:
    void init() {
        program_ = std::make_unique<test::TempDir>();
        home_ = std::make_unique<test::TempDir>();
        pty_ = std::make_unique<test::PseudoTerminal>();
        QVERIFY(pty_->ok());
        homeEnv_ = std::make_unique<test::ScopedEnv>("HOME", home_->path().c_str());
        portEnv_ = std::make_unique<test::ScopedEnv>("WEXAL_COM1", pty_->slave().c_str());
        messages_ = test::ScriptedMessages();
        screenSaver_ = CountingScreenSaver();
    }
    void cleanup() {
        portEnv_.reset();
        homeEnv_.reset();
        pty_.reset();
        home_.reset();
        program_.reset();
    }

    void freshStartShowsTheDesignedWindow() {
        auto form = Start();
        QVERIFY(form);
        QVERIFY(messages_.shown().empty());
        QCOMPARE(form->pos(), QPoint(10, 10));
        QCOMPARE(form->size(), QSize(728, 518));
        QCOMPARE(form->windowTitle(), QStringLiteral("Wexal(Win98/Me/2000/XP)"));
        QCOMPARE(form->Label4->text(), QStringLiteral("ＰＣ←→ＮＣ機ファイル通信 Ver5.16"));
        QCOMPARE(TextColour(form->Label4), QColor(Qt::yellow));
        QCOMPARE(form->Label4->palette().color(QPalette::Window), QColor(Qt::black));
        QCOMPARE(form->Label7->text(),
                 QStringLiteral(" ﾌｧｲﾙ・ﾃﾞｨﾚｸﾄﾘ [                            ]"));
        QCOMPARE(form->Label1->text(), QString::fromUtf8(kNormalHelpLine));
        QCOMPARE(form->Label6->text(), QString::fromUtf8(kShiftSpaceEscHelp));
        QCOMPARE(TextColour(form->Label6), QColor(Qt::magenta));
        QCOMPARE(form->Label2->text(), QString::fromUtf8(kLetterCommandHelp));
        QVERIFY(form->Label2->isVisible());
        QCOMPARE(form->ListBox1->width(), 616);

        const std::pair<QWidget*, QRect> places[] = {
            {form->Label4, {0, 0, 728, 35}},         {form->LabeledEdit1, {670, 15, 20, 15}},
            {form->LabeledEdit2, {700, 15, 20, 15}}, {form->Label7, {0, 35, 728, 16}},
            {form->Label8, {0, 51, 728, 16}},        {form->ListBox1, {0, 69, 616, 338}},
            {form->Label2, {616, 69, 112, 340}},     {form->Label11, {0, 407, 305, 22}},
            {form->Edit1, {304, 407, 425, 22}},      {form->Label3, {0, 428, 728, 16}},
            {form->Label6, {0, 444, 728, 16}},       {form->Label1, {0, 460, 728, 32}},
            {form->StatusBar2, {0, 494, 728, 24}},   {form->ProgressBar1, {252, 2, 98, 22}},
        };
        for (const auto& [widget, rect] : places) {
            QVERIFY2(widget->geometry() == rect, qPrintable(widget->objectName()));
        }
        for (QGroupBox* box : {form->GroupBox1, form->GroupBox2, form->GroupBox3, form->GroupBox4,
                               form->GroupBox5}) {
            QVERIFY(!box->isVisible());
        }
        QVERIFY(!form->Edit1->isEnabled());
        QCOMPARE(form->StatusPanels.size(), size_t{7});
        QCOMPARE(form->StatusPanels[4]->text(), QStringLiteral("4800,8,N,2"));
        QCOMPARE(form->StatusPanels[5]->text(), QStringLiteral("COM1"));
        QCOMPARE(form->StatusPanels[6]->text(), QStringLiteral("Y"));
        QCOMPARE(form->settings().DirPath, home_->path().string());
        QCOMPARE(form->settings().Mask, std::string("*.NC"));
        Save(QStringLiteral("main_window.png"), *form);

        form->close();
        const std::string ini = ReadFileBytes(Ini());
        for (const char* line : {"[Main]\nTop=10\nLeft=10\n[Setting]\nPort=COM1\n",
                                 "Speed=4800,8,N,2\n", "ListColumn=2\n", "WinVer=0"}) {
            QVERIFY2(ini.find(line) != std::string::npos, line);
        }
        const std::string outApp = ReadFileBytes(program_->path() / "OutApp_Sub.ini");
        QCOMPARE(std::count(outApp.begin(), outApp.end(), '='), 79);
        QVERIFY(screenSaver_.enabledCalls >= 1);
    }

    void shiftShowsTheShiftHelpLine() {
        auto form = Start();
        QVERIFY(form);
        QTest::keyPress(form->ListBox1, Qt::Key_Shift, Qt::ShiftModifier);
        QCOMPARE(form->Label1->text(), QString::fromUtf8(kShiftHelpLine));
        Save(QStringLiteral("main_window_shift.png"), *form);
        QTest::keyRelease(form->ListBox1, Qt::Key_Shift, Qt::NoModifier);
        QCOMPARE(form->Label1->text(), QString::fromUtf8(kNormalHelpLine));
    }

    void missingFolderIsCreatedOnYes() {
        const auto folder = home_->path() / "a" / "b" / "c";
        WriteFileBytes(Ini(), "[Setting]\nDirPath=" + folder.string() + "\n");
        messages_.Answer(true);
        auto form = Start();
        QVERIFY(form);
        QCOMPARE(messages_.shown().size(), size_t{1});
        QCOMPARE(QString::fromStdString(messages_.shown()[0].text),
                 QStringLiteral("ディレクトリが見つかりません。ディレクトリを作成しますか？"));
        QVERIFY(std::filesystem::is_directory(folder));
        QCOMPARE(form->settings().DirPath, folder.string());
    }

    void missingFolderFallsBackOnNo() {
        const auto folder = home_->path() / "gone";
        WriteFileBytes(Ini(), "[Setting]\nDirPath=" + folder.string() + "\n");
        messages_.Answer(false);
        auto form = Start();
        QVERIFY(form);
        QVERIFY(!std::filesystem::exists(folder));
        QCOMPARE(form->settings().DirPath, home_->path().string());
    }

    void windowsFolderValueIsNamedInTheMessageLine() {
        WriteFileBytes(Ini(), "[Setting]\nDirPath=D:\\NCDATA\n");
        auto form = Start();
        QVERIFY(form);
        QVERIFY(messages_.shown().empty());  // no create question
        QCOMPARE(form->settings().DirPath, home_->path().string());
        QVERIFY(form->Label11->text().contains(QStringLiteral("D:\\NCDATA")));
        QCOMPARE(TextColour(form->Label11), QColor(Qt::red));
    }

    void unusablePortIsReportedAndTheWindowOpens() {
        test::ScopedEnv port3("WEXAL_COM3", (home_->path() / "no-such-tty").c_str());
        WriteFileBytes(Ini(), "[Setting]\nPort=COM3\n");
        auto form = Start();
        QVERIFY(form);
        QCOMPARE(messages_.shown().size(), size_t{1});
        QCOMPARE(QString::fromStdString(messages_.shown()[0].text),
                 QStringLiteral("COM3のポートが使用不可です。\n通信設定をおこなってください。"));
        QCOMPARE(messages_.shown()[0].icon, MessageIcon::Error);
        QVERIFY(form->isVisible());
    }

    void listColumnRule_data() {
        QTest::addColumn<int>("stored");
        QTest::addColumn<int>("width");
        QTest::addColumn<bool>("letterHelp");
        QTest::addColumn<int>("saved");
        QTest::newRow("3") << 3 << 616 << true << 3;
        QTest::newRow("5") << 5 << 728 << false << 5;
        QTest::newRow("0") << 0 << 728 << false << 5;
        QTest::newRow("9") << 9 << 728 << false << 5;
    }
    void listColumnRule() {
        QFETCH(int, stored);
        QFETCH(int, width);
        QFETCH(bool, letterHelp);
        QFETCH(int, saved);
        WriteFileBytes(Ini(), "[Options]\nListColumn=" + std::to_string(stored) + "\n");
        auto form = Start();
        QVERIFY(form);
        QCOMPARE(form->ListBox1->width(), width);
        QCOMPARE(form->Label2->isVisible(), letterHelp);
        form->close();
        QVERIFY(ReadFileBytes(Ini()).find("ListColumn=" + std::to_string(saved) + "\n") !=
                std::string::npos);
    }

    void runWithArgumentsLeavesTheFilesAlone() {
        const std::string before = "[Setting]\r\nPort=COM1\r\n; kept\r\nWinVer=1\r\n";
        WriteFileBytes(Ini(), before);
        auto form = Start({"END"});
        QVERIFY(form);
        QCOMPARE(form->state().CommandLineMode, std::string("Y"));
        form->settings().Port = "COM9";
        form->settings().ListColumn = 4;
        form->close();
        QCOMPARE(ReadFileBytes(Ini()), before);
        QVERIFY(!std::filesystem::exists(program_->path() / "OutApp_Sub.ini"));
    }

    void escapeShowsTheAbortMessageForASecond() {
        auto form = Start();
        QVERIFY(form);
        Key(*form, Qt::Key_Escape);
        QCOMPARE(form->Label11->text(), QStringLiteral("操作中止!!"));
        QCOMPARE(TextColour(form->Label11), QColor(Qt::red));
        QVERIFY(form->Timer1->isActive());
        QCOMPARE(form->Timer1->interval(), 1000);
        QTRY_COMPARE_WITH_TIMEOUT(form->Label11->text(), QString(), 3000);
    }

    void f10AndTheLowerHelpBandEndTheProgram() {
        auto form = Start();
        QVERIFY(form);
        Key(*form, Qt::Key_F10);
        QVERIFY(!form->isVisible());
        QVERIFY(std::filesystem::exists(Ini()));

        auto second = Start();
        QVERIFY(second);
        QTest::mouseClick(second->Label1, Qt::LeftButton, Qt::NoModifier, QPoint(600, 24));
        QVERIFY(!second->isVisible());
    }

    void driveMenuListsVolumesAndSwitchesTheFolder() {
        auto form = Start();
        QVERIFY(form);
        Key(*form, Qt::Key_L);
        auto* menu = form->findChild<QMenu*>(QStringLiteral("PopupMenu2"));
        QVERIFY(menu);
        QTRY_VERIFY(menu->isVisible());
        const QList<QAction*> items = menu->actions();
        QVERIFY(!items.isEmpty());
        const QStringList kinds = {"(ﾘﾑｰﾊﾞﾌﾞﾙﾃﾞｨｽｸ)", "(固定ﾃﾞｨｽｸ)", "(ﾈｯﾄﾜｰｸ)", "(CD-ROM)",
                                   "(RAM ﾃﾞｨｽｸ)"};
        for (QAction* item : items) {
            const QString text = item->text();
            QVERIFY2(text.startsWith('&'), qPrintable(text));
            QVERIFY2(std::any_of(kinds.begin(), kinds.end(),
                                 [&](const QString& k) { return text.endsWith(k); }),
                     qPrintable(text));
        }
        // "&A  /mount/point (kind)": choosing it lists that volume.
        const QString first = items.first()->text();
        const QString mountPoint = first.mid(4, first.lastIndexOf(" (") - 4);
        menu->hide();
        items.first()->trigger();
        QCOMPARE(QString::fromStdString(form->settings().DirPath), mountPoint);
        QCOMPARE(QString::fromStdString(form->state().CurrentFolder), mountPoint);
    }

    void statusPanelZeroFollowsTheHintUnderTheMouse() {
        auto form = Start();
        QVERIFY(form);
        auto enter = [](QWidget* w) {
            QEnterEvent event(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
            QCoreApplication::sendEvent(w, &event);
        };
        auto leave = [](QWidget* w) {
            QEvent event(QEvent::Leave);
            QCoreApplication::sendEvent(w, &event);
        };
        const QString title = QStringLiteral("パソコン←→ＮＣファイル転送が行えます。");
        enter(form->Label4);
        QCOMPARE(form->StatusPanels[0]->text(), title);
        enter(form->Label8);  // no hint of its own, nor has the window
        QCOMPARE(form->StatusPanels[0]->text(), QString());
        enter(form->Label4);
        leave(form->Label4);  // back over the bare window
        QCOMPARE(form->StatusPanels[0]->text(), QString());
        enter(form->StatusPanels[3]);  // a panel shows its status bar's hint
        QCOMPARE(form->StatusPanels[0]->text(), QStringLiteral("送受信の設定を表示します。"));
    }

    void unreadableSettingsAreSaidOnceAndTheWindowStillCloses() {
        // A folder where the settings file should be can be neither read nor
        // replaced: said at start, not again at exit.
        std::filesystem::create_directory(Ini());
        auto form = Start();
        QVERIFY(form);
        QCOMPARE(messages_.shown().size(), size_t{1});
        form->close();
        QVERIFY(!form->isVisible());
        QCOMPARE(messages_.shown().size(), size_t{1});
        const auto& shown = messages_.shown().back();
        QCOMPARE(shown.icon, MessageIcon::Error);
        QVERIFY2(shown.text.find(Ini().string()) != std::string::npos, shown.text.c_str());
        QVERIFY(std::filesystem::is_directory(Ini()));
    }
};

QTEST_MAIN(MainWindowTest)
#include "mainunit1_qtest.moc"
