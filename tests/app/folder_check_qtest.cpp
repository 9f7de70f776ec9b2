// The folder watcher with real files: in the real window, and over a bare
// list model where RefreshSuspended is set. No upper time limit is asserted;
// refreshes are counted.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTimer>
#include <QtTest>
#include <filesystem>
#include <memory>

#include "app/folder_check.h"
#include "app/mainunit1.h"
#include "files/file_list_box.h"
#include "support/scripted_messages.h"
#include "support/test_env.h"

using namespace wexal;
using wexal::test::WriteFileBytes;
namespace fs = std::filesystem;

namespace {

class QuietScreenSaver : public ScreenSaver {
public:
    void SetEnabled(bool) override {}
};

// inotify instances this process holds.
int InotifyDescriptors() {
    int count = 0;
    for (const auto& entry : fs::directory_iterator("/proc/self/fd")) {
        std::error_code error;
        if (fs::read_symlink(entry.path(), error).string() == "anon_inode:inotify") ++count;
    }
    return count;
}

// Longer than the refresh timer, so that a refresh that were coming has come.
constexpr int kQuietMs = 2500;

}  // namespace

class FolderCheckTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<test::TempDir> program_;
    std::unique_ptr<test::TempDir> home_;
    std::unique_ptr<test::PseudoTerminal> pty_;
    std::unique_ptr<test::ScopedEnv> homeEnv_;
    std::unique_ptr<test::ScopedEnv> portEnv_;
    test::ScriptedMessages messages_;
    QuietScreenSaver screenSaver_;

    std::unique_ptr<TForm1> StartIn(const fs::path& folder) {
        WriteFileBytes(program_->path() / "Wexal.INI",
                       "[Setting]\nDirPath=" + folder.string() + "\nALL-Files=Y\n");
        auto form = std::make_unique<TForm1>(std::vector<std::string>{},
                                             ProgramFiles::In(program_->path()),
                                             TForm1::Services{&messages_, &screenSaver_, {}});
        form->show();
        QApplication::setActiveWindow(form.get());
        if (!QTest::qWaitFor([&] { return form->firstIdleDone(); }, 5000)) return nullptr;
        return form;
    }
    fs::path NcFolder(const char* name) {
        const fs::path folder = home_->path() / name;
        fs::create_directories(folder);
        for (const char* file : {"O0001.NC", "O0002.NC", "O0003.NC"}) WriteFileBytes(folder / file, "G0\n");
        return folder;
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
    }
    void cleanup() {
        portEnv_.reset();
        homeEnv_.reset();
        pty_.reset();
        home_.reset();
        program_.reset();
    }

    void fiveNewFilesGiveOneRefreshWithTheCursorKept() {
        const fs::path folder = NcFolder("nc");
        const int inotifyBefore = InotifyDescriptors();
        auto form = StartIn(folder);
        QVERIFY(form);
        QVERIFY(form->folderCheck());
        QCOMPARE(form->folderCheck()->WatchedFolder(), folder.string());
        QCOMPARE(InotifyDescriptors(), inotifyBefore + 1);
        // The cursor on O0003.NC, the fourth row after the parent row.
        for (int i = 0; i < 3; ++i) QTest::keyClick(form->ListBox1, Qt::Key_Down);
        QCOMPARE(form->fileList().FileNameOfRow(form->fileList().Cursor()), std::string("O0003.NC"));

        // Five files that sort before it, within half a second.
        QElapsedTimer sinceFirst;
        sinceFirst.start();
        for (const char* name : {"A1.NC", "A2.NC", "A3.NC", "A4.NC", "A5.NC"}) {
            WriteFileBytes(folder / name, "G1\n");
            QTest::qWait(100);
        }
        QVERIFY(QTest::qWaitFor([&] { return form->folderCheck()->RefreshCount() > 0; }, 20000));
        QVERIFY(sinceFirst.elapsed() >= 950);  // about a second after the first
        QTest::qWait(kQuietMs);
        QCOMPARE(form->folderCheck()->RefreshCount(), 1);
        QCOMPARE(form->fileList().FileCount(), 8);
        QCOMPARE(form->fileList().FileNameOfRow(form->fileList().Cursor()), std::string("O0003.NC"));
        QVERIFY(messages_.shown().empty());

        form->close();
        form.reset();
        QCOMPARE(InotifyDescriptors(), inotifyBefore);
    }

    void contentsAndSubfoldersGiveNone() {
        const fs::path folder = NcFolder("nc");
        const fs::path other = NcFolder("other");
        auto form = StartIn(folder);
        QVERIFY(form);
        TFolderCheck& watcher = *form->folderCheck();
        WriteFileBytes(folder / "O0001.NC", "G0 X100.\n");
        fs::permissions(folder / "O0002.NC", fs::perms::owner_read);
        fs::create_directory(folder / "SUB");
        WriteFileBytes(folder / "SUB" / "O9.NC", "G0\n");
        QTest::qWait(kQuietMs);
        QCOMPARE(watcher.RefreshCount(), 0);

        // Another folder listed: watched at once, the old one no longer.
        form->settings().DirPath = other.string();
        form->RefreshFileList();
        QCOMPARE(watcher.WatchedFolder(), other.string());
        WriteFileBytes(folder / "LATE.NC", "");
        QTest::qWait(kQuietMs);
        QCOMPARE(watcher.RefreshCount(), 0);
        WriteFileBytes(other / "NEW.NC", "");
        QVERIFY(QTest::qWaitFor([&] { return watcher.RefreshCount() == 1; }, 20000));
        QCOMPARE(form->fileList().FileCount(), 4);
        QVERIFY(messages_.shown().empty());
    }

    void suspendedRefreshDoesNothing() {
        const fs::path folder = NcFolder("nc");
        Settings settings;
        settings.DirPath = folder.string();
        FileListModel list(settings);
        list.RefreshFileList();
        int refreshes = 0;
        TFolderCheck watcher(list, [&] {
            ++refreshes;
            list.RefreshFileList(FileListModel::kKeepCursor);
        });
        watcher.Follow(folder.string());

        list.SetRefreshSuspended(true);
        WriteFileBytes(folder / "R1.NC", "");
        QVERIFY(QTest::qWaitFor([&] { return watcher.timer->isActive(); }, 20000));
        QTest::qWait(kQuietMs);
        QCOMPARE(refreshes, 0);
        QCOMPARE(list.FileCount(), 3);

        list.SetRefreshSuspended(false);
        WriteFileBytes(folder / "R2.NC", "");
        QVERIFY(QTest::qWaitFor([&] { return refreshes == 1; }, 20000));
        QCOMPARE(list.FileCount(), 5);
    }
};

QTEST_MAIN(FolderCheckTest)
#include "folder_check_qtest.moc"
