// The folder watcher and the file information dialog in the real window, on
// real files. No upper time limit is asserted: refreshes are counted.
#include <sys/stat.h>

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QtTest>
#include <filesystem>
#include <memory>

#include "main_window/folder_check.h"
#include "main_window/mainunit1.h"
#include "dialogs/file_info_form.h"
#include "main_window/file_list_box.h"
#include "support/list_test_support.h"
#include "support/main_window_fixture.h"
#include "support/scripted_messages.h"

using namespace wexal;
using wexal::test::UtcTime;
using wexal::test::WriteFileBytes;
namespace fs = std::filesystem;

namespace {

class QuietScreenSaver : public ScreenSaver {
public:
    void SetEnabled(bool) override {}
};

struct stat StatOf(const fs::path& path) {
    struct stat st {};
    ::stat(path.c_str(), &st);
    return st;
}

int InotifyDescriptors() {
    int count = 0;
    for (const auto& entry : fs::directory_iterator("/proc/self/fd")) {
        std::error_code error;
        if (fs::read_symlink(entry.path(), error).string() == "anon_inode:inotify") ++count;
    }
    return count;
}

// Longer than the refresh timer: a refresh that were coming has come.
constexpr int kQuietMs = 2500;

}  // namespace

class FileInfoWatchTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<test::TempDir> program_, nc_;
    std::unique_ptr<test::PseudoTerminal> pty_;
    std::unique_ptr<test::ScopedEnv> portEnv_;
    std::unique_ptr<test::UtcZone> utc_;
    test::ScriptedMessages messages_;
    QuietScreenSaver screenSaver_;
    std::unique_ptr<TForm1> form_;

    bool Start() {
        WriteFileBytes(program_->path() / "Wexal.INI",
                       "[Setting]\nDirPath=" + nc_->path().string() + "\nALL-Files=Y\n");
        form_ =
            std::make_unique<TForm1>(std::vector<std::string>{}, ProgramFiles::In(program_->path()),
                                     TForm1::Services{&messages_, &screenSaver_, {}});
        form_->show();
        QApplication::setActiveWindow(form_.get());
        return QTest::qWaitFor([&] { return form_->firstIdleDone(); }, 5000);
    }
    std::string CursorName() const {
        return form_->fileList().FileNameOfRow(form_->fileList().Cursor());
    }
    void CursorTo(const std::string& name) {
        while (CursorName() != name &&
               form_->fileList().Cursor() + 1 < form_->fileList().RowCount()) {
            QTest::keyClick(form_->ListBox1, Qt::Key_Down);
        }
    }
    // I on the entry: the dialog, or null when it did not open.
    TFileInfoForm* Info(const std::string& name) {
        if (!Start()) return nullptr;
        CursorTo(name);
        QTest::keyClick(form_->ListBox1, Qt::Key_I);
        TFileInfoForm& dialog = form_->FileInfoForm();
        if (!dialog.isVisible()) return nullptr;
        QApplication::setActiveWindow(&dialog);
        return &dialog;
    }
    static void Retype(QLineEdit* field, const char* text) {
        field->setFocus();
        field->selectAll();
        QTest::keyClicks(field, QString::fromLatin1(text));
    }

private slots:
    void init() {
        program_ = std::make_unique<test::TempDir>();
        nc_ = std::make_unique<test::TempDir>();
        pty_ = std::make_unique<test::PseudoTerminal>();
        portEnv_ = std::make_unique<test::ScopedEnv>("WEXAL_COM1", pty_->slave().c_str());
        utc_ = std::make_unique<test::UtcZone>();
        messages_ = test::ScriptedMessages();
        for (const char* name : {"O0001.NC", "O0002.NC", "O0003.NC"})
            WriteFileBytes(nc_->path() / name, "G0\n");
    }
    void cleanup() {
        form_.reset();
        utc_.reset();
        portEnv_.reset();
        pty_.reset();
        nc_.reset();
        program_.reset();
    }

    void fiveNewFilesGiveOneRefreshWithTheCursorKept() {
        const int inotifyBefore = InotifyDescriptors();
        QVERIFY(Start());
        QCOMPARE(form_->folderCheck()->WatchedFolder(), nc_->path().string());
        CursorTo("O0003.NC");
        const int row = form_->fileList().Cursor();

        QElapsedTimer sinceFirst;
        sinceFirst.start();
        for (const char* name : {"A1.NC", "A2.NC", "A3.NC", "A4.NC", "A5.NC"}) {  // sorted first
            WriteFileBytes(nc_->path() / name, "G1\n");
            QTest::qWait(100);
        }
        QVERIFY(QTest::qWaitFor([&] { return form_->folderCheck()->RefreshCount() > 0; }, 20000));
        QVERIFY(sinceFirst.elapsed() >= 950);
        QTest::qWait(kQuietMs);
        QCOMPARE(form_->folderCheck()->RefreshCount(), 1);
        QCOMPARE(form_->fileList().FileCount(), 8);
        QCOMPARE(CursorName(), std::string("O0003.NC"));
        QCOMPARE(form_->fileList().Cursor(), row + 5);
        QVERIFY(messages_.shown().empty());
        form_.reset();
        QCOMPARE(InotifyDescriptors(), inotifyBefore);
    }

    void contentsAndSubfoldersGiveNone() {
        const fs::path other = nc_->path() / "OTHER";
        fs::create_directory(other);
        QVERIFY(Start());
        TFolderCheck& watcher = *form_->folderCheck();
        WriteFileBytes(nc_->path() / "O0001.NC", "G0 X100.\n");
        fs::permissions(nc_->path() / "O0002.NC", fs::perms::owner_read);
        WriteFileBytes(other / "O9.NC", "G0\n");
        fs::create_directory(nc_->path() / "NEWSUB");
        QTest::qWait(kQuietMs);
        QCOMPARE(watcher.RefreshCount(), 0);

        // Another folder listed is watched at once, the one before no longer.
        form_->settings().DirPath = other.string();
        form_->RefreshFileList();
        WriteFileBytes(nc_->path() / "LATE.NC", "");
        QTest::qWait(kQuietMs);
        QCOMPARE(watcher.RefreshCount(), 0);
        WriteFileBytes(other / "NEW.NC", "");
        QVERIFY(QTest::qWaitFor([&] { return watcher.RefreshCount() == 1; }, 20000));
        QCOMPARE(form_->fileList().FileCount(), 2);
    }

    void suspendedRefreshDoesNothing() {
        Settings settings;
        settings.DirPath = nc_->path().string();
        FileListModel list(settings);
        list.RefreshFileList();
        int refreshes = 0;
        TFolderCheck watcher(list, [&] {
            ++refreshes;
            list.RefreshFileList(FileListModel::kKeepCursor);
        });
        watcher.Follow(settings.DirPath);
        list.SetRefreshSuspended(true);
        WriteFileBytes(nc_->path() / "R1.NC", "");
        QVERIFY(QTest::qWaitFor([&] { return watcher.timer->isActive(); }, 20000));
        QTest::qWait(kQuietMs);
        QCOMPARE(refreshes, 0);
        list.SetRefreshSuspended(false);
        WriteFileBytes(nc_->path() / "R2.NC", "");
        QVERIFY(QTest::qWaitFor([&] { return refreshes == 1; }, 20000));
        QCOMPARE(list.FileCount(), 5);
    }

    void closingWithEndChangesNothing() {
        const fs::path file = nc_->path() / "O1234.zq9";
        test::MakeFile(file, 500, UtcTime(2005, 3, 4, 12, 34, 56));
        ::chmod(file.c_str(), 0444);
        const struct stat before = StatOf(file);
        TFileInfoForm* dialog = Info("O1234.zq9");
        QVERIFY(dialog);
        const std::pair<QLabel*, QString> lines[] = {
            {dialog->Label1, "O1234.zq9"},
            {dialog->Label2, "種類 :　　　ZQ9 ﾌｧｲﾙ"},
            {dialog->Label3, QString::fromStdString("場所 :　　　" + nc_->path().string() + "/")},
            {dialog->Label4, "サイズ :　　500ﾊﾞｲﾄ"},
        };
        for (const auto& [label, text] : lines) QCOMPARE(label->text(), text);
        QVERIFY(dialog->CheckBox1->isChecked() && dialog->CheckBox1->isEnabled());
        for (QCheckBox* box : {dialog->CheckBox2, dialog->CheckBox3, dialog->CheckBox4}) {
            QVERIFY(!box->isChecked() && !box->isEnabled());
        }
        QLineEdit* fields[] = {dialog->Edit1, dialog->Edit2, dialog->Edit3,
                               dialog->Edit4, dialog->Edit5, dialog->Edit6};
        QStringList shown;
        for (QLineEdit* field : fields) shown << field->text();
        QCOMPARE(shown.join(' '), QStringLiteral("2005 03 04 12 34 56"));
        QVERIFY(!dialog->Button1->isEnabled());
        QVERIFY(test::SaveShot(*dialog, QStringLiteral("file_info.png")));

        // Enter walks the fields, from the last to 終了, and changes nothing.
        dialog->Edit1->setFocus();
        for (QLineEdit* field : fields) {
            QCOMPARE(QApplication::focusWidget(), field);
            QTest::keyClick(field, Qt::Key_Return);
        }
        QCOMPARE(QApplication::focusWidget(), dialog->Button2);
        QVERIFY(!dialog->Button1->isEnabled());
        QTest::mouseClick(dialog->Button2, Qt::LeftButton);
        QVERIFY(!dialog->isVisible());
        const struct stat after = StatOf(file);
        QCOMPARE(after.st_mode, before.st_mode);
        QCOMPARE(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
        QCOMPARE(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
        QVERIFY(messages_.shown().empty());
    }

    void fieldChecksKeepTheFocus() {
        const fs::path file = nc_->path() / "O0001.NC";
        test::MakeFile(file, 2048, UtcTime(2005, 3, 4, 12, 34, 56));
        TFileInfoForm* dialog = Info("O0001.NC");
        QVERIFY(dialog);
        // An NC program, though the desktop's own rule calls *.nc NetCDF.
        QCOMPARE(dialog->Label2->text(), QStringLiteral("種類 :　　　NC ﾌｧｲﾙ"));
        Retype(dialog->Edit2, "1x3");  // the letter is dropped without a word
        QCOMPARE(dialog->Edit2->text(), QStringLiteral("13"));
        QVERIFY(messages_.shown().empty() && dialog->Button1->isEnabled());
        QTest::keyClick(dialog->Edit2, Qt::Key_Return);
        QCOMPARE(messages_.shown().size(), size_t{1});
        QCOMPARE(messages_.shown()[0].text, std::string("１から１２までしか入力出来ません"));
        QCOMPARE(messages_.shown()[0].caption, std::string("確認"));
        QCOMPARE(QApplication::focusWidget(), dialog->Edit2);

        // 2005/02/30 passes every field and still names no day: nothing changes.
        Retype(dialog->Edit2, "02");
        Retype(dialog->Edit3, "30");
        dialog->CheckBox1->click();
        QTest::mouseClick(dialog->Button1, Qt::LeftButton);
        QCOMPARE(messages_.shown().back().text,
                 std::string("存在しない日時です。\n2005/02/30 12:34:56"));
        QVERIFY(dialog->isVisible());
        QCOMPARE(StatOf(file).st_mtim.tv_sec, UtcTime(2005, 3, 4, 12, 34, 56));
        QVERIFY((StatOf(file).st_mode & S_IWUSR) != 0);

        Retype(dialog->Edit3, "28");
        QTest::mouseClick(dialog->Button1, Qt::LeftButton);
        QVERIFY(!dialog->isVisible());
        QCOMPARE(StatOf(file).st_mtim.tv_sec, UtcTime(2005, 2, 28, 12, 34, 56));
        QCOMPARE(StatOf(file).st_mode & 0222, 0u);
        QCOMPARE(CursorName(), std::string("O0001.NC"));
    }

    void folderLines() {
        fs::create_directory(nc_->path() / "SUB");
        TFileInfoForm* dialog = Info("SUB");
        QVERIFY(dialog);
        QCOMPARE(dialog->Label4->text(), QStringLiteral("サイズ :　　0"));
        QCOMPARE(dialog->Label2->text(), QStringLiteral("種類 :　　　ﾌｧｲﾙ ﾌｫﾙﾀﾞ"));
        QVERIFY(!dialog->Image1->pixmap().isNull());
        QTest::keyClick(dialog, Qt::Key_Escape);
        QVERIFY(!dialog->isVisible());
    }
};

QTEST_MAIN(FileInfoWatchTest)
#include "file_info_watch_qtest.moc"
