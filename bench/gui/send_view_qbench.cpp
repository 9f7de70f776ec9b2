#include <benchmark/benchmark.h>
#include <unistd.h>

#include <QApplication>
#include <QPlainTextEdit>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "main_window/mainunit1.h"
#include "main_window/program_view.h"
#include "main_window/transfer_panel.h"

// The send view on a 10 MB program: putting it into the view, and the
// highlight of one line (selected, scrolled second from the top, repainted)
// at line 1 and at line 200,000.

namespace {

namespace fs = std::filesystem;
using namespace wexal;

class Silent : public MessageService {
public:
    bool AskYesNo(const std::string&, const std::string&, MessageIcon) override { return false; }
    bool AskOkCancel(const std::string&, const std::string&, MessageIcon) override { return false; }
    void Tell(const std::string&, const std::string&, MessageIcon) override {}
};

class NoSaver : public ScreenSaver {
public:
    void SetEnabled(bool) override {}
};

std::string TenMegabyteProgram() {
    std::string text = "%\r\nO1000(BENCH)\r\n";
    for (int n = 1; text.size() < 10'000'000; ++n) {
        text += "N" + std::to_string(n) + "G01X" + std::to_string(n % 997) + ".125Y-" +
                std::to_string(n % 313) + ".5F300\r\n";
    }
    return text + "M30\r\n%\r\n";
}

struct SendViewWindow {
    fs::path root = fs::temp_directory_path() / ("wexal_send_view_" + std::to_string(::getpid()));
    Silent messages;
    NoSaver saver;
    std::unique_ptr<TForm1> form;
    SendView view{TenMegabyteProgram()};

    SendViewWindow() {
        fs::create_directories(root / "nc");
        std::ofstream(root / "Wexal.INI")
            << "[Setting]\nDirPath=" << (root / "nc").string() << "\n";
        form = std::make_unique<TForm1>(std::vector<std::string>{}, ProgramFiles::In(root),
                                        TForm1::Services{&messages, &saver, {}});
        form->show();
        while (!form->firstIdleDone()) QApplication::processEvents();
        form->transferPanel().OpenForTransfer("送信データ", {328, 184, 350}, Qt::darkBlue, {});
    }
    ~SendViewWindow() {
        form.reset();
        std::error_code ec;
        fs::remove_all(root, ec);
    }
};

std::unique_ptr<SendViewWindow> window;

SendViewWindow& Window() {
    if (!window) window = std::make_unique<SendViewWindow>();
    return *window;
}

void BM_SendViewLoadTenMegabytes(benchmark::State& state) {
    SendViewWindow& w = Window();
    for (auto _ : state) {
        w.form->transferPanel().ShowView(w.view);
        w.form->transferPanel().ProgramView1->viewport()->repaint();
    }
    state.counters["lines"] = static_cast<double>(w.view.LineCount());
}
BENCHMARK(BM_SendViewLoadTenMegabytes)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_SendViewHighlightLine(benchmark::State& state) {
    SendViewWindow& w = Window();
    TransferPanel& panel = w.form->transferPanel();
    if (!panel.ProgramView1->HasProgram()) panel.ShowView(w.view);
    w.view.LineCount();  // the index complete, as it is seconds into a send
    const auto line = static_cast<std::size_t>(state.range(0));
    for (auto _ : state) {
        // Another line each time, so that every highlight reads its lines afresh.
        panel.HighlightLine(line + (state.iterations() & 1));
        panel.ProgramView1->viewport()->repaint();
    }
}
BENCHMARK(BM_SendViewHighlightLine)->Arg(0)->Arg(199999)->Unit(benchmark::kMicrosecond);

}  // namespace

void CloseSendViewWindow() { window.reset(); }
