#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <QApplication>
#include <QKeyEvent>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>

#include "main_window/mainunit1.h"
#include "main_window/file_list_box.h"

// The main window on a folder of 10 and of 100,000 files: a key press in the
// list must cost the same in both, and a refresh of the window (read, sort,
// the view laid out afresh) is measured beside the model's own.

namespace {

namespace fs = std::filesystem;
using namespace wexal;

class QuietMessages : public MessageService {
public:
    bool AskYesNo(const std::string&, const std::string&, MessageIcon) override { return false; }
    bool AskOkCancel(const std::string&, const std::string&, MessageIcon) override { return false; }
    void Tell(const std::string&, const std::string&, MessageIcon) override {}
};

class NoScreenSaver : public ScreenSaver {
public:
    void SetEnabled(bool) override {}
};

struct Window {
    fs::path root;
    QuietMessages messages;
    NoScreenSaver screenSaver;
    std::unique_ptr<TForm1> form;

    explicit Window(int files)
        : root(fs::temp_directory_path() /
               ("wexal_window_bench_" + std::to_string(::getpid()) + "_" + std::to_string(files))) {
        const fs::path folder = root / "nc";
        fs::create_directories(folder);
        for (int i = 0; i < files; ++i) {
            char name[32];
            std::snprintf(name, sizeof name, "O%06d.NC", i);
            const int fd = ::open((folder / name).c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
            if (fd >= 0) ::close(fd);
        }
        std::ofstream(root / "Wexal.INI") << "[Setting]\nDirPath=" << folder.string() << "\n";
        form = std::make_unique<TForm1>(std::vector<std::string>{}, ProgramFiles::In(root),
                                        TForm1::Services{&messages, &screenSaver, {}});
        form->show();
        while (!form->firstIdleDone()) QApplication::processEvents();
    }
    ~Window() {
        form.reset();
        std::error_code ec;
        fs::remove_all(root, ec);
    }
    void Press(int key) {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
        QCoreApplication::sendEvent(form->ListBox1, &press);
        QCoreApplication::sendEvent(form->ListBox1, &release);
        form->ListBox1->viewport()->repaint();
    }
};

// Built once per size; closed before the application ends.
std::map<int, std::unique_ptr<Window>> windows;

Window& WindowOf(int files) {
    auto& window = windows[files];
    if (!window) window = std::make_unique<Window>(files);
    return *window;
}

void BM_KeyPress(benchmark::State& state, int key) {
    Window& window = WindowOf(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        window.Press(key);
        // Back to the top now and then so that the moves never run out of rows.
        if (window.form->fileList().Cursor() > 90000) window.Press(Qt::Key_T);
    }
}
BENCHMARK_CAPTURE(BM_KeyPress, down, Qt::Key_Down)->Arg(10)->Arg(1000)->Arg(100000);
BENCHMARK_CAPTURE(BM_KeyPress, page_down, Qt::Key_PageDown)->Arg(10)->Arg(1000)->Arg(100000);
BENCHMARK_CAPTURE(BM_KeyPress, mark, Qt::Key_Return)->Arg(10)->Arg(1000)->Arg(100000);

void BM_WindowRefresh(benchmark::State& state) {
    Window& window = WindowOf(static_cast<int>(state.range(0)));
    for (auto _ : state) window.form->RefreshFileList(FileListModel::kKeepCursor);
}
BENCHMARK(BM_WindowRefresh)->Arg(10)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace

// The send view's window, in send_view_qbench.cpp.
void CloseSendViewWindow();

int main(int argc, char** argv) {
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    windows.clear();
    CloseSendViewWindow();
    return 0;
}
