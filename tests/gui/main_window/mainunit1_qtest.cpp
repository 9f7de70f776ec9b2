// The main window, headless: layout, start-up checks, keys and the close query.
#include <QAbstractButton>
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QProgressBar>
#include <QTimer>
#include <QtTest>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>

#include "main_window/mainunit1.h"
#include "seams/qt_message_service.h"
#include "main_window/file_list_box.h"
#include "files/key_dispatch.h"
#include "support/main_window_fixture.h"
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
    // The folder browser of Shift+F5: what it was asked and what it answers.
    std::string browserCaption_;
    std::optional<std::string> browserChoice_;

    std::unique_ptr<TForm1> Start(std::vector<std::string> args = {}) {
        FolderBrowser browser = [this](const std::string& caption, const std::string&) {
            browserCaption_ = caption;
            return browserChoice_;
        };
        return test::StartMainWindow(
            std::move(args), program_->path(),
            TForm1::Services{&messages_, &screenSaver_, std::move(browser)});
    }
    // A window listing folder, with the settings given as INI lines.
    std::unique_ptr<TForm1> StartIn(const std::filesystem::path& folder,
                                    const std::string& setting = "ALL-Files=Y\n",
                                    int listColumn = 2) {
        WriteFileBytes(Ini(), "[Setting]\nDirPath=" + folder.string() + "\n" + setting +
                                  "[Options]\nListColumn=" + std::to_string(listColumn) + "\n");
        return Start();
    }
    // A folder of NC programs O0001.NC ... with some folders before them.
    std::filesystem::path NcFolder(int files, std::vector<std::string> folders = {}) {
        const auto folder = home_->path() / "nc";
        std::filesystem::create_directories(folder);
        for (const auto& name : folders) std::filesystem::create_directory(folder / name);
        for (int i = 1; i <= files; ++i) {
            char name[16];
            std::snprintf(name, sizeof name, "O%04d.NC", i);
            WriteFileBytes(folder / name, std::string(static_cast<std::size_t>(i), 'G'));
        }
        return folder;
    }
    static void ClickRow(TForm1& form, int row, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        const QModelIndex index = form.ListBox1->model()->index(row, 0);
        form.ListBox1->scrollTo(index);
        QTest::mouseClick(form.ListBox1->viewport(), Qt::LeftButton, mods,
                          form.ListBox1->visualRect(index).center());
    }
    static void Type(TForm1& form, const QString& text) {
        QTest::keyClicks(form.Edit1, text);
        QTest::keyClick(form.Edit1, Qt::Key_Return);
    }
    std::filesystem::path Ini() const { return program_->path() / "Wexal.INI"; }
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
        QVERIFY(form->Label7->text().startsWith(
            QString::fromStdString(" Path=" + home_->path().string() + "/")));
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
        test::Shot(*form, QStringLiteral("main_window.png"));

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

    // A message longer than its line keeps its beginning and end; the whole
    // text is the tooltip and what a screen reader reads. The last status
    // panel ends where the bar does.
    void longMessagesAndTheLastPanelFitTheWindow() {
        auto form = Start();
        QVERIFY(form);
        const QString text = QStringLiteral("すでにB.NCが有ります。名前を変更できません!!");
        form->SetMessage(text, true);
        const QString shown = form->Label11->text();
        QVERIFY2(shown.startsWith(QStringLiteral("すでにB.NC")) && shown.endsWith(QStringLiteral("!!")),
                 qPrintable(shown));
        QVERIFY(QFontMetrics(form->Label11->font()).horizontalAdvance(shown) <= form->Label11->width());
        QCOMPARE(form->Label11->toolTip(), text);
        QCOMPARE(form->Label11->accessibleName(), text);
        form->SetMessage(QStringLiteral("操作中止!!"), true);
        QCOMPARE(form->Label11->text(), QStringLiteral("操作中止!!"));

        const QLabel* last = form->StatusPanels.back();
        QCOMPARE(last->geometry(), QRect(700, 0, 28, 24));
        QCOMPARE(last->geometry().right() + 1, form->StatusBar2->width());
    }

    // An input error the operator confirms: caption 確認, a single はい.
    void theYesOnlyBoxHasOneButton() {
        QtMessageService service(nullptr);
        QString title;
        QStringList buttons;
        QString description;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box) return;
            title = box->windowTitle();
            description = box->accessibleDescription();
            for (QAbstractButton* button : box->buttons()) buttons << button->text();
            QTest::keyClick(box, Qt::Key_Escape);
        });
        service.TellWithYes("入力データを確認してください。", kInputErrorCaption, MessageIcon::Error);
        QCOMPARE(title, QStringLiteral("確認"));
        QCOMPARE(buttons, QStringList{QStringLiteral("はい(&Y)")});
        QCOMPARE(description, QStringLiteral("入力データを確認してください。"));
    }

    void shiftShowsTheShiftHelpLine() {
        auto form = Start();
        QVERIFY(form);
        QTest::keyPress(form->ListBox1, Qt::Key_Shift, Qt::ShiftModifier);
        QCOMPARE(form->Label1->text(), QString::fromUtf8(kShiftHelpLine));
        test::Shot(*form, QStringLiteral("main_window_shift.png"));
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
        QVERIFY(form->Label11->toolTip().contains(QStringLiteral("D:\\NCDATA")));
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

    void listRowsCursorAndFolders() {
        const auto folder = NcFolder(5, {"SUB1", "SUB2"});
        std::filesystem::create_directories(folder / "SUB1" / "DEEP");
        WriteFileBytes(folder / "SUB1" / "DEEP" / "O9.NC", "G0");
        auto form = StartIn(folder);
        QVERIFY(form);
        const FileListModel& list = form->fileList();
        QCOMPARE(list.RowCount(), 8);  // parent, two folders, five files
        QVERIFY(form->Label7->text().startsWith(
            QString::fromStdString(" Path=" + folder.string() + "/*.*")));
        QVERIFY(form->Label7->text().endsWith(QStringLiteral("ﾌｧｲﾙ数 :7")));
        QCOMPARE(form->Label8->text(), QStringLiteral("　  一つ上のﾌｫﾙﾀﾞに移動(Enter)"));
        // Rows are read aloud as they are drawn.
        const QModelIndex third = form->ListBox1->model()->index(3, 0);
        QCOMPARE(third.data(Qt::AccessibleTextRole).toString(),
                 QString::fromStdString(list.RowText(3)));

        Key(*form, Qt::Key_Down);
        Key(*form, Qt::Key_Down);
        Key(*form, Qt::Key_Down);
        QCOMPARE(list.Cursor(), 3);
        QVERIFY(form->Label8->text().contains(QStringLiteral("O0001.NC")));
        Key(*form, Qt::Key_Up);
        QVERIFY(form->Label8->text().contains(QStringLiteral("<DIR>SUB2")));
        Key(*form, Qt::Key_Z);
        QCOMPARE(list.Cursor(), 7);
        Key(*form, Qt::Key_T);
        QCOMPARE(list.Cursor(), 0);

        // F1 on a folder row does nothing, marks or not.
        ClickRow(*form, test::RowOf(*form, "O0002.NC"));
        Key(*form, Qt::Key_Return);
        ClickRow(*form, test::RowOf(*form, "SUB1"));
        Key(*form, Qt::Key_F1, Qt::ShiftModifier);
        QVERIFY(!form->state().ExitAfterTransfer);
        QCOMPARE(list.MarkedCount(), 1);
        QVERIFY(form->ListBox1->isEnabled());
        QVERIFY(messages_.shown().empty());

        // Down two levels by Enter on folder rows, then up one by the parent row.
        Key(*form, Qt::Key_Return);
        QCOMPARE(form->settings().DirPath, (folder / "SUB1").string());
        ClickRow(*form, test::RowOf(*form, "DEEP"));
        QTest::mouseDClick(form->ListBox1->viewport(), Qt::LeftButton, Qt::NoModifier,
                           form->ListBox1->visualRect(form->ListBox1->currentIndex()).center());
        QCoreApplication::sendPostedEvents();
        QCOMPARE(form->settings().DirPath, (folder / "SUB1" / "DEEP").string());
        QCOMPARE(QString::fromStdString(list.FileNameOfRow(1)), QStringLiteral("O9.NC"));
        QCOMPARE(list.Cursor(), 0);
        Key(*form, Qt::Key_Return);
        QCOMPARE(form->settings().DirPath, (folder / "SUB1").string());
        QCOMPARE(list.RowCount(), 2);
    }

    void cursorStaysOnItsFileAfterSpaceAndSort() {
        const auto folder = NcFolder(6);
        auto form = StartIn(folder);
        QVERIFY(form);
        const FileListModel& list = form->fileList();
        ClickRow(*form, test::RowOf(*form, "O0004.NC"));
        QCOMPARE(list.Cursor(), 4);
        // A file sorting first moves every row; Space re-reads and follows the name.
        WriteFileBytes(folder / "A.NC", "G1");
        Key(*form, Qt::Key_Space);
        QCOMPARE(list.FileNameOfRow(list.Cursor()), std::string("O0004.NC"));
        QCOMPARE(list.Cursor(), 5);
        QVERIFY(form->Timer1->isActive());

        Key(*form, Qt::Key_S);
        QVERIFY(form->GroupBox3->isVisible());
        QVERIFY(!form->ListBox1->isEnabled());
        QCOMPARE(form->Label21->text(), QStringLiteral("現ソート設定: N - D"));
        QCOMPARE(form->Edit7->text(), QStringLiteral("N-D"));
        form->Edit7->clear();
        QTest::keyClicks(form->Edit7, "s?-xu");  // letters upper-cased, others dropped
        QCOMPARE(form->Edit7->text(), QStringLiteral("S-U"));
        QTest::keyClick(form->Edit7, Qt::Key_Return);
        QVERIFY(!form->GroupBox3->isVisible());
        QCOMPARE(form->settings().FileSort, std::string("S"));
        QCOMPARE(form->settings().SortMuki, std::string("U"));
        QCOMPARE(list.FileNameOfRow(1), std::string("O0001.NC"));  // smallest first
        QCOMPARE(list.FileNameOfRow(list.Cursor()), std::string("O0004.NC"));
        QVERIFY(form->ListBox1->hasFocus());

        Key(*form, Qt::Key_S);
        form->Edit7->clear();
        QTest::keyClicks(form->Edit7, "N");
        QTest::keyClick(form->Edit7, Qt::Key_Return);
        QCOMPARE(messages_.shown().size(), size_t{1});
        QCOMPARE(QString::fromStdString(messages_.shown()[0].text),
                 QStringLiteral("ソート設定を確認ください!!"));
        QVERIFY(form->GroupBox3->isVisible());
        QTest::mouseClick(form->Label22, Qt::LeftButton);  // acts like Esc
        QCoreApplication::sendPostedEvents();
        QVERIFY(!form->GroupBox3->isVisible());
        QCOMPARE(form->Label11->text(), QStringLiteral("操作中止!!"));
        QCOMPARE(form->settings().FileSort, std::string("S"));

        // The idle display refreshes a list that missed a change, keeping the cursor.
        WriteFileBytes(folder / "B.NC", "G1");
        form->listRefreshPending = true;
        form->RestoreIdleDisplay();
        QVERIFY(test::RowOf(*form, "B.NC") > 0);
        QCOMPARE(list.FileNameOfRow(list.Cursor()), std::string("O0004.NC"));
        QVERIFY(!form->listRefreshPending);
        QCOMPARE(form->Label11->text(), QString());
        QCOMPARE(form->LabeledEdit2->text(), QStringLiteral(" ○"));
    }

    void marksByEnterHomeEndAndShiftClick() {
        const auto folder = NcFolder(105, {"D1", "D2", "D3"});
        auto form = StartIn(folder);
        QVERIFY(form);
        const FileListModel& list = form->fileList();
        const int first = list.FirstFileRow();
        QCOMPARE(first, 4);
        ClickRow(*form, first);
        for (int i = 0; i < 101; ++i) Key(*form, Qt::Key_Return);
        QCOMPARE(list.MarkedCount(), 100);
        QVERIFY(list.IsMarked(first + 99));
        QVERIFY(!list.IsMarked(first + 100));
        QCOMPARE(list.Cursor(), first + 101);
        Key(*form, Qt::Key_End);
        QCOMPARE(list.MarkedCount(), 0);
        QVERIFY(!list.IsMarked(first));

        // Home on a folder row: the range counts the folder rows.
        ClickRow(*form, 1);
        Key(*form, Qt::Key_Home);
        QCOMPARE(list.MarkedCount(), 97);
        QVERIFY(list.IsMarked(first));
        QVERIFY(list.IsMarked(100));
        QVERIFY(!list.IsMarked(101));

        ClickRow(*form, first + 2);
        ClickRow(*form, first + 5, Qt::ShiftModifier);
        QCOMPARE(list.MarkedCount(), 4);
        QVERIFY(list.IsMarked(first + 2) && list.IsMarked(first + 5));
        QVERIFY(!list.IsMarked(first));
    }

    void pagesScrollWholeColumnsIntoView() {
        const auto folder = NcFolder(300);
        auto form = StartIn(folder);
        QVERIFY(form);
        const FileListModel& list = form->fileList();
        const int rows = form->ListBox1->VisibleRowsPerColumn();
        QVERIFY(rows >= 19 && rows <= 21);
        const auto visible = [&](int row) {
            const QRect rect = form->ListBox1->visualRect(form->ListBox1->model()->index(row, 0));
            return form->ListBox1->viewport()->rect().contains(rect);
        };
        QVERIFY(visible(0) && visible(2 * rows - 1) && !visible(2 * rows));
        Key(*form, Qt::Key_PageDown);
        QCOMPARE(list.Cursor(), 2 * rows);
        QVERIFY(visible(2 * rows) && visible(4 * rows - 1) && !visible(2 * rows - 1));
        Key(*form, Qt::Key_Right);
        QCOMPARE(list.Cursor(), 3 * rows);
        Key(*form, Qt::Key_PageUp);
        QCOMPARE(list.Cursor(), 0);
        QVERIFY(visible(0));
        Key(*form, Qt::Key_Z);
        Key(*form, Qt::Key_PageDown);
        QCOMPARE(list.Cursor(), 300);
        QVERIFY(visible(300));
    }

    void inputLineFolderAndExtension() {
        const auto folder = NcFolder(2, {"SUB"});
        WriteFileBytes(folder / "O7.MIN", "G0");
        auto form = StartIn(folder, "ALL-Files=N\nMask=*.MIN\n");
        QVERIFY(form);
        const FileListModel& list = form->fileList();
        QCOMPARE(list.FileCount(), 1);

        const QString refusedExt = QStringLiteral("この文字は拡張子に使えません。\n/:,;?<>|");
        for (const QString& typed :
             {QStringLiteral("NC"), QStringLiteral(".NC"), QStringLiteral("*.NC")}) {
            form->settings().Mask = "*.MIN";
            Key(*form, Qt::Key_F6);
            QVERIFY(form->Edit1->isEnabled() && !form->ListBox1->isEnabled());
            QCOMPARE(form->Label11->text(), QStringLiteral("拡張子変更 *.MIN -->>>"));
            const std::size_t before = messages_.shown().size();
            Type(*form, typed);
            QCOMPARE(form->settings().Mask, std::string("*.NC"));
            QCOMPARE(list.FileCount(), 2);
            QVERIFY(!form->Edit1->isEnabled() && form->ListBox1->isEnabled());
            // The "*" of "*.NC" is refused as it is typed; the rest gives the mask.
            QCOMPARE(messages_.shown().size(), before + (typed.startsWith('*') ? 1 : 0));
        }
        QCOMPARE(QString::fromStdString(messages_.shown().back().text), refusedExt);
        QCOMPARE(QString::fromStdString(messages_.shown().back().caption), QStringLiteral("確認"));

        // "*" and "*.*" reach Enter only when pasted, and are refused there.
        for (const QString& pasted : {QStringLiteral("*"), QStringLiteral("*.*")}) {
            Key(*form, Qt::Key_F6);
            form->Edit1->insert(pasted);
            QTest::keyClick(form->Edit1, Qt::Key_Return);
            QCOMPARE(QString::fromStdString(messages_.shown().back().text),
                     pasted + QStringLiteral("の拡張子設定は出来ません!!"));
            QVERIFY(form->Edit1->isEnabled());
            QCOMPARE(form->Edit1->text(), QString());
            QTest::keyClick(form->Edit1, Qt::Key_Escape);
            QCOMPARE(form->Label11->text(), QStringLiteral("操作中止!!"));
            QVERIFY(form->ListBox1->isEnabled() && !form->Edit1->isEnabled());
        }
        QCOMPARE(form->settings().Mask, std::string("*.NC"));

        // F5 with a closing separator; "?" is refused on the way.
        Key(*form, Qt::Key_F5);
        QCOMPARE(form->Edit1->text(), QString::fromStdString(folder.string()));
        QCOMPARE(form->Label11->toolTip(),
                 QString::fromStdString("現ﾃﾞｨﾚｸﾄﾘ " + folder.string() + " -->>>変更後 "));
        form->Edit1->clear();
        Type(*form, QString::fromStdString((folder / "SUB").string()) + "?/");
        QCOMPARE(QString::fromStdString(messages_.shown().back().text),
                 QStringLiteral("この文字はディレクトリ名に使えません。\n/,;*?<>|"));
        QCOMPARE(form->settings().DirPath, (folder / "SUB").string());
        QCOMPARE(list.ListedFolder(), (folder / "SUB").string());
        QVERIFY(form->ListBox1->isEnabled() && !form->Edit1->isEnabled());

        // Shift+F5: the browser's folder in the line, Enter takes it.
        browserChoice_ = folder.string();
        Key(*form, Qt::Key_F5, Qt::ShiftModifier);
        QCOMPARE(browserCaption_, "現ﾃﾞｨﾚｸﾄﾘ " + (folder / "SUB").string());
        QCOMPARE(form->Edit1->text(), QString::fromStdString(folder.string()));
        QTest::keyClick(form->Edit1, Qt::Key_Return);
        QCOMPARE(form->settings().DirPath, folder.string());
        QVERIFY(!messages_.unanswered());
    }

    void helpLineBandsReachTheKeyHandler() {
        auto form = StartIn(NcFolder(1));
        QVERIFY(form);
        // Upper line, x = 600: F5.
        QTest::mouseClick(form->Label1, Qt::LeftButton, Qt::NoModifier, QPoint(600, 5));
        QCoreApplication::sendPostedEvents();
        QVERIFY(form->Edit1->isEnabled());
        QTest::keyClick(form->Edit1, Qt::Key_Escape);
        // Lower line, x = 100: F6.
        QTest::mouseClick(form->Label1, Qt::LeftButton, Qt::NoModifier, QPoint(100, 24));
        QCoreApplication::sendPostedEvents();
        QCOMPARE(form->Label11->text(), QStringLiteral("拡張子変更 *.NC -->>>"));
        QTest::keyClick(form->Edit1, Qt::Key_Escape);
        // Lower line, x = 300: F8, the file view; its key handler runs the
        // preamble, which empties the message line.
        QVERIFY(!form->Label11->text().isEmpty());
        QVERIFY(form->Timer1->isActive());
        QTest::mouseClick(form->Label1, Qt::LeftButton, Qt::NoModifier, QPoint(300, 24));
        QCoreApplication::sendPostedEvents();
        QCOMPARE(form->Label11->text(), QString());
        QVERIFY(!form->Timer1->isActive());
        QVERIFY(form->isVisible() && !form->Edit1->isEnabled());
    }

    void oddNamesAndFoldersNeverLoseTheFile() {
        const auto folder = home_->path() / "odd";
        std::filesystem::create_directories(folder / "\xff\xfe");
        WriteFileBytes(folder / "\xff\xfe" / "in.NC", "G0");
        const std::vector<std::string> names = {"\x82\xa0\xff.NC", std::string(252, 'L') + ".NC",
                                                "a b.NC", "two\nlines.NC", "-rf.NC"};
        for (const auto& name : names) WriteFileBytes(folder / name, name);
        std::filesystem::create_symlink(folder / "nowhere", folder / "dangling.NC");
        std::filesystem::create_symlink(folder / "loop.NC", folder / "loop.NC");
        std::filesystem::create_directory(folder / "closed");
        std::filesystem::permissions(folder / "closed", std::filesystem::perms::none);
        auto form = StartIn(folder);
        QVERIFY(form);
        const FileListModel& list = form->fileList();
        for (const auto& name : names) {
            const int row = test::RowOf(*form, name);
            QVERIFY2(row >= list.FirstFileRow(), name.c_str());
            QVERIFY(!QString::fromStdString(list.RowText(row)).contains('\n'));
            ClickRow(*form, row);
            Key(*form, Qt::Key_Return);
            QVERIFY2(list.IsMarked(row), name.c_str());
        }
        QCOMPARE(list.MarkedCount(), static_cast<int>(names.size()));
        // A folder named in no text encoding is entered by its bytes.
        ClickRow(*form, test::RowOf(*form, "\xff\xfe"));
        Key(*form, Qt::Key_Return);
        QCOMPARE(form->settings().DirPath, (folder / "\xff\xfe").string());
        QCOMPARE(list.FileNameOfRow(1), std::string("in.NC"));
        // F5 and Enter on the unchanged line stay in that folder.
        Key(*form, Qt::Key_F5);
        QTest::keyClick(form->Edit1, Qt::Key_Return);
        QCOMPARE(form->settings().DirPath, (folder / "\xff\xfe").string());
        QVERIFY(messages_.shown().empty());
        // An unreadable folder and one that vanished list only the parent row.
        Key(*form, Qt::Key_Return);
        ClickRow(*form, test::RowOf(*form, "closed"));
        Key(*form, Qt::Key_Return);
        QVERIFY(list.RowCount() >= 1);
        QCOMPARE(list.KindOfRow(0), RowKind::Parent);
        std::filesystem::permissions(folder / "closed", std::filesystem::perms::owner_all);
        std::filesystem::remove_all(folder / "closed");
        Key(*form, Qt::Key_Space);
        QCOMPARE(list.RowCount(), 1);
        QVERIFY(form->Label7->text().endsWith(QStringLiteral("ﾌｧｲﾙ数 :0")));
        Key(*form, Qt::Key_Return);
        QCOMPARE(form->settings().DirPath, folder.string());
    }

    void screenshotsInTwoAndFiveColumns() {
        const auto folder = NcFolder(60, {"PROGRAMS", "OLD", "TOOLS"});
        for (int columns : {2, 5}) {
            auto form = StartIn(folder, "ALL-Files=Y\n", columns);
            QVERIFY(form);
            const FileListModel& list = form->fileList();
            for (int row : {5, 6, 9}) {
                ClickRow(*form, row);
                Key(*form, Qt::Key_Return);
            }
            ClickRow(*form, 12);
            ClickRow(*form, 2);  // cursor on a folder row last
            test::Shot(*form, QStringLiteral("file_list_%1_columns.png").arg(columns));
            QCOMPARE(form->ListBox1->width(), columns == 5 ? 728 : 616);
            QCOMPARE(form->Label2->isVisible(), columns != 5);

            const QImage image = form->ListBox1->viewport()->grab().toImage();
            const auto rect = [&](int row) {
                return form->ListBox1->visualRect(form->ListBox1->model()->index(row, 0));
            };
            QCOMPARE(rect(1).height(), 16);
            QCOMPARE(rect(1).width(), (columns == 5 ? 728 : 616) / columns);
            // Share of the pixels of a row, from x0 to x1 (from its left edge;
            // negative: from its right edge), that have a colour.
            const auto share = [&](int row, int x0, int x1, const QColor& colour) {
                const QRect r = rect(row);
                const int from = x0 < 0 ? r.right() + x0 : r.left() + x0;
                const int to = x1 < 0 ? r.right() + x1 : r.left() + x1;
                int hits = 0;
                int all = 0;
                for (int x = from; x <= to; ++x) {
                    for (int y = r.top(); y <= r.bottom(); ++y, ++all) {
                        hits += QColor(image.pixel(x, y)) == colour ? 1 : 0;
                    }
                }
                return static_cast<double>(hits) / all;
            };
            const QColor aqua(0, 255, 255);
            const QColor white(Qt::white);
            const QColor black(Qt::black);
            // The cursor on a folder: filled aqua, the mark column left black.
            QVERIFY(share(2, 12, -5, aqua) > 0.5);
            QVERIFY(share(2, 1, 11, black) > 0.8);
            // Other rows: their colour on black; folders aqua, files white.
            QVERIFY(share(1, 12, -5, black) > 0.5);
            QVERIFY(share(1, 0, -1, aqua) > 0.005);  // text only: its amount varies with the digits
            QVERIFY(share(12, 0, -1, white) > 0.005);
            QCOMPARE(share(12, 0, -1, aqua), 0.0);
            // A marked row shows its "*" in the mark column.
            QVERIFY(QString::fromStdString(list.RowText(5)).startsWith('*'));
            QVERIFY(share(5, 5, 12, black) < 0.95);
            QCOMPARE(share(7, 0, 12, black), 1.0);
            QCOMPARE(list.Cursor(), 2);
        }
    }
};

QTEST_MAIN(MainWindowTest)
#include "mainunit1_qtest.moc"
