// The view of a big program in the real window (offscreen): the time from
// the key to the first page of the file view (V) or of the transfer view (F1),
// the time until the whole file is indexed, a jump to its end, and the peak
// memory of the process (VmHWM). bench/e2e/big_program.sh runs it on 1 GB.
//
//   big_view FILE view     V on FILE
//   big_view FILE send     F1 on FILE; COM1 (WEXAL_COM1) must be a machine
//                          that never says it is ready (ncsim without --dc1)
//   big_view --make MB FILE   writes a program of about MB megabytes
//   big_view --smoke       a 2 MB program in a temporary folder, viewed
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QListView>
#include <QTimer>
#include <QtTest>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>

#include "files/file_list_model.h"
#include "main_window/file_list_box.h"
#include "main_window/mainunit1.h"
#include "main_window/program_view.h"
#include "main_window/transfer_panel.h"

namespace {

namespace fs = std::filesystem;
using namespace wexal;

class NoSaver : public ScreenSaver {
public:
    void SetEnabled(bool) override {}
};

long PeakRssKb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
    }
    return -1;
}

// Real lines, CR LF, as a CAM system writes a 3D surface program.
void MakeProgram(const fs::path& path, long megabytes) {
    std::ofstream out(path, std::ios::binary);
    const long target = megabytes * 1024 * 1024;
    std::string block;
    long written = 0;
    out << "%\r\nO1000(BIG PROGRAM)\r\n";
    for (long n = 1; written < target; ++n) {
        block += "N" + std::to_string(n) + "G01X" + std::to_string(n % 997) + ".125Y-" +
                 std::to_string(n % 313) + ".5Z-" + std::to_string(n % 37) + ".01F3000\r\n";
        if (block.size() > (1 << 20)) {
            out << block;
            written += static_cast<long>(block.size());
            block.clear();
        }
    }
    out << block << "M30\r\n%\r\n";
}

double Ms(const QElapsedTimer& timer) { return static_cast<double>(timer.nsecsElapsed()) / 1e6; }

bool CursorTo(TForm1& form, const std::string& name) {
    QTest::keyClick(form.ListBox1, Qt::Key_T);
    for (int row = 0; row < form.fileList().RowCount(); ++row) {
        if (form.fileList().FileNameOfRow(form.fileList().Cursor()) == name) return true;
        QTest::keyClick(form.ListBox1, Qt::Key_Down);
    }
    return false;
}

// Waits, taking events, until done or the limit.
bool WaitFor(const std::function<bool()>& done, int limitMs) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > limitMs) return false;
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

int Run(const fs::path& file, bool send) {
    const fs::path home = fs::temp_directory_path() / ("wexal_big_view_" + std::to_string(::getpid()));
    fs::create_directories(home);
    std::ofstream(home / "Wexal.INI")
        << "[Setting]\nDirPath=" << file.parent_path().string()
        << "\nALL-Files=Y\nSpeed=19200,8,N,1\nSignal=Y\nPort=COM1\n[Options]\nListColumn=2\n";
    // Nobody answers: a question takes its safe answer, a message goes to standard error.
    ConsoleMessages messages;
    NoSaver saver;
    auto form = std::make_unique<TForm1>(std::vector<std::string>{}, ProgramFiles::In(home),
                                         TForm1::Services{&messages, &saver, {}});
    form->show();
    WaitFor([&] { return form->firstIdleDone(); }, 10000);
    if (!CursorTo(*form, file.filename().string())) {
        std::cerr << "file not in the list\n";
        return 2;
    }
    ProgramView* view = form->transferPanel().ProgramView1;
    const char* what = send ? "send_view" : "view";
    const long rssBefore = PeakRssKb();
    QElapsedTimer sinceKey;
    double firstPage = -1;
    double indexed = -1;
    double end = -1;
    std::size_t lines = 0;
    long peak = -1;
    // Measured from inside the key's handling: the send keeps the key until it ends.
    auto measure = [&] {
        if (!WaitFor([&] { return !view->VisibleText().isEmpty(); }, 10000)) return;
        view->viewport()->repaint();
        firstPage = Ms(sinceKey);
        WaitFor([&] { return view->Indexed(); }, 600000);
        indexed = Ms(sinceKey);
        lines = view->LineCount();
        QElapsedTimer jump;
        jump.start();
        QTest::keyClick(view, Qt::Key_End, Qt::ControlModifier);
        view->viewport()->repaint();
        end = Ms(jump);
        peak = PeakRssKb();
    };
    sinceKey.start();
    if (send) {
        QTimer::singleShot(0, form.get(), [&] {
            measure();
            form->close();  // ends the send on its abort path
        });
        QTest::keyClick(form->ListBox1, Qt::Key_F1);
    } else {
        QTest::keyClick(form->ListBox1, Qt::Key_V);
        measure();
        QTest::keyClick(view, Qt::Key_Escape);
    }
    std::printf("%s_first_page_ms=%.1f\n%s_indexed_ms=%.0f\n%s_lines=%zu\n%s_jump_to_end_ms=%.1f\n"
                "%s_peak_rss_kb=%ld\nrss_before_key_kb=%ld\n",
                what, firstPage, what, indexed, what, lines, what, end, what, peak, rssBefore);
    form.reset();
    std::error_code ec;
    fs::remove_all(home, ec);
    return firstPage >= 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::string(argv[1]) == "--make") {
        MakeProgram(argv[3], std::stol(argv[2]));
        return 0;
    }
    QApplication app(argc, argv);
    if (argc == 2 && std::string(argv[1]) == "--smoke") {
        const fs::path folder =
            fs::temp_directory_path() / ("wexal_big_view_smoke_" + std::to_string(::getpid()));
        fs::create_directories(folder);
        MakeProgram(folder / "BIG.NC", 2);
        const int status = Run(folder / "BIG.NC", false);
        std::error_code ec;
        fs::remove_all(folder, ec);
        return status;
    }
    if (argc != 3) {
        std::cerr << "usage: big_view FILE view|send | --make MB FILE | --smoke\n";
        return 2;
    }
    return Run(fs::absolute(argv[1]), std::string(argv[2]) == "send");
}
