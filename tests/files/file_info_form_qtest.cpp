// The file information dialog in the real window: I on a row, keys and
// buttons in the dialog, the entry on disk afterwards.
#include <sys/stat.h>

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>
#include <filesystem>
#include <memory>

#include "app/mainunit1.h"
#include "files/file_list_box.h"
#include "files/file_info_form.h"
#include "files/list_test_support.h"
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

}  // namespace

class FileInfoFormTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<test::TempDir> program_;
    std::unique_ptr<test::TempDir> nc_;
    std::unique_ptr<test::PseudoTerminal> pty_;
    std::unique_ptr<test::ScopedEnv> portEnv_;
    std::unique_ptr<test::UtcZone> utc_;
    test::ScriptedMessages messages_;
    QuietScreenSaver screenSaver_;
    std::unique_ptr<TForm1> form_;

    // The window on nc_ with the dialog open on the entry name.
    TFileInfoForm* OpenOn(const std::string& name) {
        WriteFileBytes(program_->path() / "Wexal.INI",
                       "[Setting]\nDirPath=" + nc_->path().string() + "\nALL-Files=Y\n");
        form_ = std::make_unique<TForm1>(std::vector<std::string>{},
                                         ProgramFiles::In(program_->path()),
                                         TForm1::Services{&messages_, &screenSaver_, {}});
        form_->show();
        QApplication::setActiveWindow(form_.get());
        if (!QTest::qWaitFor([&] { return form_->firstIdleDone(); }, 5000)) return nullptr;
        const FileListModel& list = form_->fileList();
        while (list.FileNameOfRow(list.Cursor()) != name && list.Cursor() + 1 < list.RowCount()) {
            QTest::keyClick(form_->ListBox1, Qt::Key_Down);
        }
        QTest::keyClick(form_->ListBox1, Qt::Key_I);
        TFileInfoForm& dialog = form_->FileInfoForm();
        if (!dialog.isVisible()) return nullptr;
        QApplication::setActiveWindow(&dialog);
        return &dialog;
    }
    void Retype(QLineEdit* field, const char* text) {
        field->setFocus();
        field->selectAll();
        QTest::keyClicks(field, QString::fromLatin1(text));
    }
    void Save(const QString& name, QWidget& widget) {
        QDir().mkpath(WEXAL_SCREENSHOT_DIR);
        QVERIFY(widget.grab().save(QStringLiteral(WEXAL_SCREENSHOT_DIR "/") + name));
    }

private slots:
    void init() {
        program_ = std::make_unique<test::TempDir>();
        nc_ = std::make_unique<test::TempDir>();
        pty_ = std::make_unique<test::PseudoTerminal>();
        portEnv_ = std::make_unique<test::ScopedEnv>("WEXAL_COM1", pty_->slave().c_str());
        utc_ = std::make_unique<test::UtcZone>();
        messages_ = test::ScriptedMessages();
    }
    void cleanup() {
        form_.reset();
        utc_.reset();
        portEnv_.reset();
        pty_.reset();
        nc_.reset();
        program_.reset();
    }

    void closingWithEndChangesNothing() {
        const fs::path file = nc_->path() / "O1234.zq9";
        test::MakeFile(file, 500, UtcTime(2005, 3, 4, 12, 34, 56));
        ::chmod(file.c_str(), 0444);
        const struct stat before = StatOf(file);
        TFileInfoForm* dialog = OpenOn("O1234.zq9");
        QVERIFY(dialog);
        QCOMPARE(dialog->windowTitle(), QStringLiteral("ﾌｧｲﾙ情報"));
        QCOMPARE(dialog->Label1->text(), QStringLiteral("O1234.zq9"));
        QCOMPARE(dialog->Label2->text(), QStringLiteral("種類 :　　　ZQ9 ﾌｧｲﾙ"));
        QCOMPARE(dialog->Label3->text(),
                 QStringLiteral("場所 :　　　") + QString::fromStdString(nc_->path().string() + "/"));
        QCOMPARE(dialog->Label4->text(), QStringLiteral("サイズ :　　500ﾊﾞｲﾄ"));
        QVERIFY(dialog->CheckBox1->isChecked() && dialog->CheckBox1->isEnabled());
        for (QCheckBox* box : {dialog->CheckBox2, dialog->CheckBox3, dialog->CheckBox4}) {
            QVERIFY(!box->isChecked() && !box->isEnabled());
        }
        const QString shown[] = {"2005", "03", "04", "12", "34", "56"};
        const QLineEdit* fields[] = {dialog->Edit1, dialog->Edit2, dialog->Edit3,
                                     dialog->Edit4, dialog->Edit5, dialog->Edit6};
        for (int i = 0; i < 6; ++i) QCOMPARE(fields[i]->text(), shown[i]);
        QVERIFY(!dialog->Image1->pixmap().isNull());
        QVERIFY(!dialog->Button1->isEnabled());
        Save(QStringLiteral("file_info.png"), *dialog);

        // Walking the fields with Enter changes nothing either.
        dialog->Edit1->setFocus();
        for (QLineEdit* field : {dialog->Edit1, dialog->Edit2, dialog->Edit3, dialog->Edit4,
                                 dialog->Edit5, dialog->Edit6}) {
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
        const fs::path file = nc_->path() / "O1.NC";
        test::MakeFile(file, 2048, UtcTime(2005, 3, 4, 12, 34, 56));
        TFileInfoForm* dialog = OpenOn("O1.NC");
        QVERIFY(dialog);
        QCOMPARE(dialog->Label4->text(), QStringLiteral("サイズ :　　2.000KB (2,048ﾊﾞｲﾄ)"));
        Retype(dialog->Edit2, "1x3");  // the letter is dropped without a word
        QCOMPARE(dialog->Edit2->text(), QStringLiteral("13"));
        QVERIFY(messages_.shown().empty());
        QVERIFY(dialog->Button1->isEnabled());
        QTest::keyClick(dialog->Edit2, Qt::Key_Return);
        QCOMPARE(messages_.shown().size(), size_t{1});
        QCOMPARE(messages_.shown()[0].text, std::string("１から１２までしか入力出来ません"));
        QCOMPARE(messages_.shown()[0].caption, std::string("確認"));
        QCOMPARE(QApplication::focusWidget(), dialog->Edit2);

        // 2005/02/30 passes every field and still names no day.
        Retype(dialog->Edit2, "02");
        Retype(dialog->Edit3, "30");
        QTest::mouseClick(dialog->Button1, Qt::LeftButton);
        QCOMPARE(messages_.shown().back().text,
                 std::string("存在しない日時です。\n2005/02/30 12:34:56"));
        QVERIFY(dialog->isVisible());
        QCOMPARE(StatOf(file).st_mtim.tv_sec, UtcTime(2005, 3, 4, 12, 34, 56));

        Retype(dialog->Edit3, "28");
        dialog->CheckBox1->click();
        QTest::mouseClick(dialog->Button1, Qt::LeftButton);
        QVERIFY(!dialog->isVisible());
        QCOMPARE(StatOf(file).st_mtim.tv_sec, UtcTime(2005, 2, 28, 12, 34, 56));
        QCOMPARE(StatOf(file).st_mode & 0222, 0u);
        QCOMPARE(form_->fileList().FileNameOfRow(form_->fileList().Cursor()), std::string("O1.NC"));
    }

    void folderLines() {
        fs::create_directory(nc_->path() / "SUB");
        TFileInfoForm* dialog = OpenOn("SUB");
        QVERIFY(dialog);
        QCOMPARE(dialog->Label4->text(), QStringLiteral("サイズ :　　0"));
        QCOMPARE(dialog->Label2->text(), QStringLiteral("種類 :　　　ﾌｧｲﾙ ﾌｫﾙﾀﾞ"));
        QVERIFY(!dialog->Image1->pixmap().isNull());
        QTest::keyClick(dialog, Qt::Key_Escape);
        QVERIFY(!dialog->isVisible());
    }
};

QTEST_MAIN(FileInfoFormTest)
#include "file_info_form_qtest.moc"
