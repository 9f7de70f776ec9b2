// Copy and move from the main window: the dialog and its history, the
// single-file copy of the input line, rows dragged onto rows, and files
// dropped from the desktop; keys and mouse in, files and texts out.
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QProgressDialog>
#include <QPushButton>
#include <QtTest>
#include <filesystem>
#include <memory>

#include "main_window/copy_command.h"
#include "main_window/mainunit1.h"
#include "main_window/file_list_box.h"
#include "dialogs/plus_copy.h"
#include "support/main_window_fixture.h"
#include "support/scripted_messages.h"
#include "support/test_env.h"

using namespace wexal;
namespace fs = std::filesystem;

class CopyMoveWindowTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<test::TempDir> program_;
    std::unique_ptr<test::TempDir> work_;
    std::unique_ptr<test::WindowTestEnv> env_;
    test::ScriptedMessages messages_;
    test::NullScreenSaver screenSaver_;

    fs::path nc() const { return work_->path() / "nc"; }

    std::unique_ptr<TForm1> Start(const char* allFiles = "Y") {
        TForm1::Services services;
        services.messages = &messages_;
        services.screenSaver = &screenSaver_;
        services.folderBrowser = [](const std::string&, const std::string&) {
            return std::optional<std::string>();
        };
        auto form = test::StartMainWindow({}, program_->path(), services);
        if (!form) return nullptr;
        form->settings().DirPath = nc().string();
        form->settings().Mask = "*.NC";
        form->settings().AllFiles = allFiles;
        form->RefreshFileList();
        return form;
    }
    // The cursor onto the entry's row with T and Down, as an operator would.
    static bool CursorTo(TForm1& form, const std::string& name) {
        const int row = test::RowOf(form, name);
        QTest::keyClick(form.ListBox1, Qt::Key_T);
        for (int i = 0; i < row; ++i) QTest::keyClick(form.ListBox1, Qt::Key_Down);
        return row >= 0 && form.fileList().Cursor() == row;
    }
    static QPoint Centre(const TForm1& form, int row) {
        return form.ListBox1->visualRect(form.ListBox1->model()->index(row, 0)).center();
    }
    static void Mouse(TForm1& form, QEvent::Type type, QPoint at, Qt::MouseButtons held) {
        QWidget* viewport = form.ListBox1->viewport();
        QMouseEvent event(type, at, viewport->mapToGlobal(at),
                          type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, held,
                          Qt::NoModifier);
        QApplication::sendEvent(viewport, &event);
    }
    // Presses on a row, drags to a point, reports Label3 there and lets go.
    static QString Drag(TForm1& form, int fromRow, QPoint to, const char* shot = nullptr) {
        const QPoint from = Centre(form, fromRow);
        Mouse(form, QEvent::MouseButtonPress, from, Qt::LeftButton);
        Mouse(form, QEvent::MouseMove, from + QPoint(0, 4), Qt::LeftButton);
        Mouse(form, QEvent::MouseMove, to, Qt::LeftButton);
        const QString label = form.Label3->text();
        if (shot != nullptr) test::Shot(form, shot);
        Mouse(form, QEvent::MouseButtonRelease, to, Qt::NoButton);
        return label;
    }
    int Count(const std::string& text) const {
        return static_cast<int>(
            std::count_if(messages_.shown().begin(), messages_.shown().end(),
                          [&](const auto& shown) { return shown.text == text; }));
    }
    bool Told(const std::string& text) const { return Count(text) > 0; }
    void DropFromDesktop(TForm1& form, const std::vector<fs::path>& files) {
        QMimeData data;
        QList<QUrl> urls;
        for (const fs::path& file : files) urls.push_back(QUrl::fromLocalFile(file.c_str()));
        data.setUrls(urls);
        QWidget* viewport = form.ListBox1->viewport();
        const QPoint at(20, 20);
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(viewport, &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(viewport, &drop);
        QVERIFY(drop.isAccepted());
    }

private slots:
    void init() {
        program_ = std::make_unique<test::TempDir>();
        work_ = std::make_unique<test::TempDir>();
        env_ = std::make_unique<test::WindowTestEnv>();
        QVERIFY(env_->ok());
        messages_ = test::ScriptedMessages();
        fs::create_directories(nc() / "JOB");
        test::WriteFileBytes(nc() / "O1.NC", "O1");
        test::WriteFileBytes(nc() / "O2.NC", "O2");
    }
    void cleanup() {
        env_.reset();
        work_.reset();
        program_.reset();
    }

    void historyOfTwentyEntriesThroughTheDialog() {
        std::string lst;
        for (int i = 1; i <= 21; ++i) {
            fs::create_directories(work_->path() / ("D" + std::to_string(i)));
            if (i <= 20) lst += (work_->path() / ("D" + std::to_string(i))).string() + "\r\n";
        }
        test::WriteFileBytes(program_->path() / "Path.lst", lst);
        auto form = Start();
        QVERIFY(form);
        // Two marked files copied to a new folder typed with closing separators.
        QVERIFY(CursorTo(*form, "O1.NC"));
        QTest::keyClick(form->ListBox1, Qt::Key_Return);
        QTest::keyClick(form->ListBox1, Qt::Key_Return);
        QTest::keyClick(form->ListBox1, Qt::Key_F4);
        TPlusCopyForm& dialog = form->copyCommand().PlusCopyForm();
        QVERIFY(dialog.isVisible());
        QCOMPARE(dialog.windowTitle(), QStringLiteral("ﾌｧｲﾙｺﾋﾟｰ"));
        QCOMPARE(dialog.Label1->text(), QStringLiteral("選択ファイル一覧 (同一ﾌｫﾙﾀﾞｰには不可!!)"));
        QCOMPARE(dialog.Label2->text(), QStringLiteral("ｺﾋﾟｰ先"));
        QCOMPARE(dialog.ComboBox1->accessibleName(), QStringLiteral("ｺﾋﾟｰ先"));
        QCOMPARE(dialog.ListBox1->count(), 2);
        QCOMPARE(dialog.ListBox1->item(1)->text(), QStringLiteral("O2.NC"));
        QCOMPARE(form->fileList().MarkedCount(), 0);
        QCOMPARE(dialog.ComboBox1->currentText().toStdString(), (work_->path() / "D1").string());
        QCOMPARE(dialog.ComboBox1->count(), 20);
        QApplication::setActiveWindow(&dialog);
        const std::string typed = (work_->path() / "D21").string() + "//";
        dialog.ComboBox1->setEditText(QString::fromStdString(typed));
        QTest::keyClick(dialog.ComboBox1->lineEdit(), Qt::Key_Return);
        QVERIFY(Told("ファイルをコピーしました。"));
        QVERIFY(!dialog.isVisible());
        QCOMPARE(test::ReadFileBytes(work_->path() / "D21" / "O2.NC"), std::string("O2"));
        QVERIFY(fs::exists(nc() / "O2.NC"));
        std::string expected = typed + "\r\n";
        for (int i = 1; i <= 19; ++i)
            expected += (work_->path() / ("D" + std::to_string(i))).string() + "\r\n";
        QCOMPARE(test::ReadFileBytes(program_->path() / "Path.lst"), expected);

        // Moving a folder row to the 5th entry brings it to the front, once.
        QVERIFY(CursorTo(*form, "JOB"));
        QTest::keyClick(form->ListBox1, Qt::Key_M);
        QVERIFY(dialog.isVisible());
        QCOMPARE(dialog.windowTitle(), QStringLiteral("ﾌｧｲﾙ移動"));
        QCOMPARE(dialog.Label2->text(), QStringLiteral("移動先"));
        QCOMPARE(dialog.ListBox1->count(), 1);
        QCOMPARE(dialog.ListBox1->currentItem()->text(), QStringLiteral("JOB"));
        const std::string fifth = (work_->path() / "D4").string();
        dialog.ComboBox1->setCurrentIndex(4);
        QCOMPARE(dialog.ComboBox1->currentText().toStdString(), fifth);
        QTest::mouseClick(dialog.Button1, Qt::LeftButton);
        QVERIFY(Told("ファイルを移動しました。"));
        QVERIFY(fs::is_directory(work_->path() / "D4" / "JOB"));
        QVERIFY(!fs::exists(nc() / "JOB"));
        QCOMPARE(dialog.history().size(), std::size_t{20});
        QCOMPARE(dialog.history()[0], fifth);
        QCOMPARE(dialog.history()[1], typed);
        QCOMPARE(std::count(dialog.history().begin(), dialog.history().end(), fifth), 1);
    }

    void createQuestionNoGivesTheSameFolderWarning() {
        auto form = Start();
        QVERIFY(form);
        QVERIFY(CursorTo(*form, "O1.NC"));
        QTest::keyClick(form->ListBox1, Qt::Key_F3, Qt::ShiftModifier);
        TPlusCopyForm& dialog = form->copyCommand().PlusCopyForm();
        QVERIFY(dialog.isVisible());
        QVERIFY(!dialog.Button1->isEnabled());
        QApplication::setActiveWindow(&dialog);
        QTest::keyClicks(dialog.ComboBox1->lineEdit(), QStringLiteral("*"));
        QVERIFY(Told("この文字はフォルダー名に使えません。\n/:,;*?<>|."));
        QVERIFY(dialog.ComboBox1->currentText().isEmpty());
        const fs::path missing = work_->path() / "NEW";
        QTest::keyClicks(dialog.ComboBox1->lineEdit(), QString::fromStdString(missing.string()));
        QVERIFY(dialog.Button1->isEnabled());
        test::Shot(dialog, "plus_copy_dialog.png");
        messages_.Answer(false);
        QTest::keyClick(dialog.ComboBox1->lineEdit(), Qt::Key_Return);
        QCOMPARE(messages_.shown().back().text, nc().string() + "のﾌｫﾙﾀﾞｰにはｺﾋﾟｰは出来ません。");
        QCOMPARE(messages_.shown()[messages_.shown().size() - 2].text,
                 std::string("ディレクトリが見つかりません。ディレクトリを作成しますか？"));
        QVERIFY(dialog.isVisible());
        QCOMPARE(dialog.ComboBox1->currentText().toStdString(), nc().string());
        QVERIFY(!fs::exists(missing));
        QCOMPARE(test::ReadFileBytes(nc() / "O1.NC"), std::string("O1"));
        // The same folder through a link is the same folder.
        fs::create_directory_symlink(nc(), work_->path() / "LINK");
        dialog.ComboBox1->setEditText(QString::fromStdString((work_->path() / "LINK").string()));
        QTest::keyClick(dialog.ComboBox1->lineEdit(), Qt::Key_Return);
        QCOMPARE(messages_.shown().back().text, nc().string() + "のﾌｫﾙﾀﾞｰにはｺﾋﾟｰは出来ません。");
        QTest::keyClick(&dialog, Qt::Key_Escape);
        QVERIFY(!dialog.isVisible());
        QVERIFY(!messages_.unanswered());
    }

    void singleCopyTakesTheMaskExtensionAndNeverItsOwnFile() {
        test::WriteFileBytes(nc() / "O9.NC", "OLD");
        auto form = Start("N");
        QVERIFY(form);
        QVERIFY(CursorTo(*form, "O1.NC"));
        QTest::keyClick(form->ListBox1, Qt::Key_C);
        QVERIFY(form->Edit1->isEnabled());
        QCOMPARE(form->Label11->text(), QStringLiteral("コピー元 O1.NC -->>>コピー後 "));
        QTest::keyClicks(form->Edit1, QStringLiteral("O9"));
        QTest::keyClick(form->Edit1, Qt::Key_Return);
        QCOMPARE(test::ReadFileBytes(nc() / "O9.NC"), std::string("O1"));
        QCOMPARE(form->Label11->text(), QStringLiteral("ファイルコピー完了"));
        QVERIFY(!form->Edit1->isEnabled());
        QVERIFY(messages_.shown().empty());
        // Its own name: the file stays as it was and the line says so.
        QVERIFY(CursorTo(*form, "O1.NC"));
        QTest::keyClick(form->ListBox1, Qt::Key_F4);
        QTest::keyClicks(form->Edit1, QStringLiteral("O1"));
        QTest::keyClick(form->Edit1, Qt::Key_Return);
        QCOMPARE(test::ReadFileBytes(nc() / "O1.NC"), std::string("O1"));
        QCOMPARE(form->Label11->text(), QStringLiteral("ｺﾋﾟｰ失敗 O1.NC"));
        QVERIFY(messages_.shown().back().text.find("コピー元と同じファイルです。") !=
                std::string::npos);
        QVERIFY(form->ListBox1->isEnabled());
    }

    void dragsOntoRowsAndEmptySpace() {
        fs::create_directories(nc() / "JOB" / "SUB");
        auto form = Start();
        QVERIFY(form);
        form->settings().DirPath = (nc() / "JOB").string();
        test::WriteFileBytes(nc() / "JOB" / "A.NC", "A");
        test::WriteFileBytes(nc() / "JOB" / "B.NC", "B");
        form->RefreshFileList();
        const int a = test::RowOf(*form, "A.NC");
        const int b = test::RowOf(*form, "B.NC");
        QVERIFY(a > 0 && b > 0);
        // Onto a file row and onto empty space: nothing.
        QCOMPARE(Drag(*form, a, Centre(*form, b)), QString());
        const QPoint empty(form->ListBox1->viewport()->width() - 4,
                           form->ListBox1->viewport()->height() - 4);
        QCOMPARE(Drag(*form, a, empty), QString());
        QVERIFY(fs::exists(nc() / "JOB" / "A.NC"));
        QVERIFY(messages_.shown().empty());
        // Onto the parent row: into the parent folder.
        QCOMPARE(Drag(*form, test::RowOf(*form, "A.NC"), Centre(*form, 0), "drag_to_parent.png"),
                 QString::fromStdString(" ﾄﾞﾗｯｸﾞ先のﾃﾞｨﾚｸﾄﾘ " + nc().string()));
        QVERIFY(Told("ファイルを移動しました。"));
        QCOMPARE(test::ReadFileBytes(nc() / "A.NC"), std::string("A"));
        QVERIFY(!fs::exists(nc() / "JOB" / "A.NC"));
        QVERIFY(form->Label3->text().isEmpty());
        QVERIFY(!form->copyCommand().CopyMode());
        // Marked files onto a folder row; a replace question cancelled ends
        // the drag with no mark left.
        test::WriteFileBytes(nc() / "JOB" / "C.NC", "C");
        test::WriteFileBytes(nc() / "JOB" / "SUB" / "C.NC", "old C");
        form->RefreshFileList();
        QVERIFY(CursorTo(*form, "B.NC"));
        QTest::keyClick(form->ListBox1, Qt::Key_Home);
        QCOMPARE(form->fileList().MarkedCount(), 2);
        messages_.AnswerReplace(ReplaceChoice::Cancel);
        QCOMPARE(Drag(*form, test::RowOf(*form, "B.NC"), Centre(*form, test::RowOf(*form, "SUB"))),
                 QString::fromStdString(" ﾄﾞﾗｯｸﾞ先のﾃﾞｨﾚｸﾄﾘ " + (nc() / "JOB" / "SUB").string()));
        QCOMPARE(messages_.shown().back().kind, std::string("replace"));
        QCOMPARE(form->fileList().MarkedCount(), 0);
        for (int row = 0; row < form->fileList().RowCount(); ++row) {
            QVERIFY(!form->fileList().IsMarked(row));
        }
        QCOMPARE(form->Label11->text(), QStringLiteral("操作中止!!"));
        QCOMPARE(test::ReadFileBytes(nc() / "JOB" / "SUB" / "B.NC"), std::string("B"));
        QCOMPARE(test::ReadFileBytes(nc() / "JOB" / "SUB" / "C.NC"), std::string("old C"));
        QCOMPARE(test::ReadFileBytes(nc() / "JOB" / "C.NC"), std::string("C"));
        QCOMPARE(Count("ファイルを移動しました。"), 1);
    }

    void theProgressDialogAbortsTheRun() {
        test::WriteFileBytes(nc() / "BIG.NC", std::string(8 << 20, 'G'));
        fs::create_directories(work_->path() / "OUT");
        auto form = Start();
        QVERIFY(form);
        QVERIFY(CursorTo(*form, "BIG.NC"));
        QTest::keyClick(form->ListBox1, Qt::Key_M);
        TPlusCopyForm& dialog = form->copyCommand().PlusCopyForm();
        QVERIFY(dialog.isVisible());
        dialog.ComboBox1->setEditText(QString::fromStdString((work_->path() / "OUT").string()));
        // The window keeps taking events while the run goes on: ｷｬﾝｾﾙ of
        // the progress dialog is pressed from the event loop.
        bool seen = false;
        QTimer::singleShot(0, &dialog, [&] {
            auto* progress = dialog.findChild<QProgressDialog*>(QStringLiteral("CopyProgress"));
            if (progress == nullptr) return;
            seen = progress->windowTitle() == QStringLiteral("ﾌｧｲﾙ移動") &&
                   progress->labelText() == QStringLiteral("BIG.NC");
            progress->show();
            test::Shot(*progress, "copy_progress.png");
            progress->cancel();
        });
        QTest::mouseClick(dialog.Button1, Qt::LeftButton);
        QVERIFY(seen);
        QVERIFY(!dialog.isVisible());
        QCOMPARE(form->Label11->text(), QStringLiteral("操作中止!!"));
        QVERIFY(!Told("ファイルを移動しました。"));
        QVERIFY(!fs::exists(work_->path() / "OUT" / "BIG.NC"));
        QVERIFY(fs::is_empty(work_->path() / "OUT"));
        QCOMPARE(fs::file_size(nc() / "BIG.NC"), std::uintmax_t{8} << 20);
    }

    // While a replace question is open the progress dialog stays down: over
    // the question it would block it and take the answer as its ｷｬﾝｾﾙ.
    void noProgressDialogOverAReplaceQuestion() {
        test::WriteFileBytes(nc() / "A.NC", "new");
        fs::create_directories(work_->path() / "OUT");
        test::WriteFileBytes(work_->path() / "OUT" / "A.NC", "old");
        auto form = Start();
        QVERIFY(form);
        QVERIFY(CursorTo(*form, "A.NC"));
        QTest::keyClick(form->ListBox1, Qt::Key_M);
        TPlusCopyForm& dialog = form->copyCommand().PlusCopyForm();
        QVERIFY(dialog.isVisible());
        dialog.ComboBox1->setEditText(QString::fromStdString((work_->path() / "OUT").string()));
        bool progressShown = false;
        messages_.AnswerReplace(ReplaceChoice::Yes);
        messages_.WhileAskingReplace([&] {
            progressShown = QTest::qWaitFor(
                [&] {
                    auto* progress =
                        dialog.findChild<QProgressDialog*>(QStringLiteral("CopyProgress"));
                    return progress != nullptr && progress->isVisible();
                },
                1500);
        });
        QTest::mouseClick(dialog.Button1, Qt::LeftButton);
        QVERIFY(!progressShown);
        QVERIFY(Told("ファイルを移動しました。"));
        QCOMPARE(test::ReadFileBytes(work_->path() / "OUT" / "A.NC"), std::string("new"));
    }

    // A signal that ends the program ends a running copy at once, as ｷｬﾝｾﾙ.
    void aSignalEndsTheRun() {
        test::WriteFileBytes(nc() / "BIG.NC", std::string(8 << 20, 'G'));
        fs::create_directories(work_->path() / "OUT");
        auto form = Start();
        QVERIFY(form);
        QVERIFY(CursorTo(*form, "BIG.NC"));
        QTest::keyClick(form->ListBox1, Qt::Key_Home);
        QTest::keyClick(form->ListBox1, Qt::Key_C);
        TPlusCopyForm& dialog = form->copyCommand().PlusCopyForm();
        QVERIFY(dialog.isVisible());
        dialog.ComboBox1->setEditText(QString::fromStdString((work_->path() / "OUT").string()));
        QTimer::singleShot(0, &dialog, [this] { messages_.Interrupt(); });
        QTest::mouseClick(dialog.Button1, Qt::LeftButton);
        QCOMPARE(form->Label11->text(), QStringLiteral("操作中止!!"));
        QVERIFY(!Told("ファイルをコピーしました。"));
        QVERIFY(fs::is_empty(work_->path() / "OUT"));
    }

    void dropsFromTheDesktop() {
        test::WriteFileBytes(work_->path() / "O5.NC", "FROM DESKTOP");
        fs::create_directories(work_->path() / "D");
        auto form = Start();
        QVERIFY(form);
        DropFromDesktop(*form, {work_->path() / "O5.NC"});
        QTRY_COMPARE(form->Label11->text(), QStringLiteral("ファイルコピー完了"));
        QCOMPARE(test::ReadFileBytes(nc() / "O5.NC"), std::string("FROM DESKTOP"));
        QVERIFY(test::RowOf(*form, "O5.NC") >= 0);
        // A file that is already in the folder, and a folder: both named.
        DropFromDesktop(*form, {nc() / "O1.NC", work_->path() / "D"});
        QTRY_COMPARE(form->Label11->text(), QStringLiteral("ｺﾋﾟｰ失敗 O1.NC D"));
        test::Shot(*form, "drop_failed.png");
        QCOMPARE(test::ReadFileBytes(nc() / "O1.NC"), std::string("O1"));
        QCOMPARE(messages_.shown().back().caption, std::string("エラー"));
    }
};

QTEST_MAIN(CopyMoveWindowTest)
#include "copy_move_qtest.moc"
