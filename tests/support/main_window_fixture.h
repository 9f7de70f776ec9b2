#pragma once

// What the window tests share: the main window started as a person finds it,
// the surroundings it runs in, and pictures for the screenshot folder. Header
// only, as the core tests build the support folder without Qt.
#include <QApplication>
#include <QDir>
#include <QWidget>
#include <QtTest>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "main_window/mainunit1.h"
#include "main_window/file_list_box.h"
#include "platform/screen_saver.h"
#include "support/test_env.h"

namespace wexal::test {

// A screen saver whose switching the test does not follow.
class NullScreenSaver : public ScreenSaver {
public:
    void SetEnabled(bool) override {}
};

// The main window on a program folder, shown, active and past its first idle
// turn; null when that turn never came.
inline std::unique_ptr<TForm1> StartMainWindow(std::vector<std::string> args,
                                               const std::filesystem::path& programFolder,
                                               TForm1::Services services) {
    // The window looks at COM1 as it starts: unless a test bound it, a
    // terminal of the process's own stands in, whatever ports this machine has.
    static const PseudoTerminal com1;
    if (!std::getenv("WEXAL_COM1") && com1.ok()) ::setenv("WEXAL_COM1", com1.slave().c_str(), 1);
    auto form = std::make_unique<TForm1>(std::move(args), ProgramFiles::In(programFolder),
                                         std::move(services));
    form->show();
    QApplication::setActiveWindow(form.get());
    if (!QTest::qWaitFor([&] { return form->firstIdleDone(); }, 5000)) return nullptr;
    return form;
}

// The main window as StartMainWindow gives it, listing every file of folder,
// with the messages and the screen saver of the test.
inline std::unique_ptr<TForm1> StartOnFolder(const std::filesystem::path& programFolder,
                                             const std::filesystem::path& folder,
                                             MessageService& messages, ScreenSaver& screenSaver) {
    auto form = StartMainWindow({}, programFolder, {&messages, &screenSaver, {}, nullptr, {}});
    if (!form) return nullptr;
    form->settings().DirPath = folder.string();
    form->settings().AllFiles = "Y";
    form->RefreshFileList();
    return form;
}

// The widget's picture in the screenshot folder; false when it was not saved.
// A bool, not a check: inside a dialog's own event loop a check's early
// return would leave the dialog open.
inline bool SaveShot(QWidget& widget, const QString& name) {
    const QString dir = QString::fromStdString(ScreenshotDir());
    QDir().mkpath(dir);
    return widget.grab().save(dir + QLatin1Char('/') + name);
}

// The same as a check of the running test.
inline void Shot(QWidget& widget, const QString& name) { QVERIFY(SaveShot(widget, name)); }

// The row of an entry in the main window's list; -1 when it is not listed.
inline int RowOf(const TForm1& form, const std::string& name) {
    for (int row = 0; row < form.fileList().RowCount(); ++row) {
        if (form.fileList().FileNameOfRow(row) == name) return row;
    }
    return -1;
}

// The list's cursor onto the entry with T and Down, as an operator would
// move it; false when the entry is not reached.
inline bool CursorTo(TForm1& form, const std::string& name) {
    QTest::keyClick(form.ListBox1, Qt::Key_T);
    for (int row = 0; row < form.fileList().RowCount(); ++row) {
        if (form.fileList().FileNameOfRow(form.fileList().Cursor()) == name) return true;
        QTest::keyClick(form.ListBox1, Qt::Key_Down);
    }
    return false;
}

// A window test's surroundings: a home folder of its own, no XDG config
// folder, and COM1 on a pseudo terminal; ok() is false without a terminal.
class WindowTestEnv {
public:
    WindowTestEnv()
        : homeEnv_("HOME", home_.path().c_str()),
          configEnv_("XDG_CONFIG_HOME", nullptr),
          portEnv_("WEXAL_COM1", pty_.slave().c_str()) {}

    bool ok() const { return pty_.ok(); }
    const std::filesystem::path& home() const { return home_.path(); }

private:
    TempDir home_;
    PseudoTerminal pty_;
    ScopedEnv homeEnv_;
    ScopedEnv configEnv_;
    ScopedEnv portEnv_;
};

}  // namespace wexal::test
