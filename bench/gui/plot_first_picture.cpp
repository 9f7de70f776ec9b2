// The toolpath plot of a big program in the real window (offscreen): the
// time from the key P to the first picture painted with moves in it, the
// time until the whole file is read and drawn, and the peak memory of the
// process (VmHWM).
//
//   plot_first_picture FILE [PNG]     P on FILE; PNG: the plot's picture at the end
//   plot_first_picture --make MB FILE writes a program of about MB megabytes
//   plot_first_picture --smoke        a 2 MB program in a temporary folder
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QtTest>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>

#include "main_window/file_list_box.h"
#include "main_window/mainunit1.h"
#include "plot/plot_canvas.h"
#include "plot/plot_form.h"

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

// A 3D surface program as a CAM system writes it, CR LF: passes along X 2 mm
// apart over a 200 x 100 mm part, an arc to the next pass, and layer after
// layer deeper, 50 passes a layer.
void MakeProgram(const fs::path& path, long megabytes) {
    std::ofstream out(path, std::ios::binary);
    const long target = megabytes * 1024 * 1024;
    std::string block;
    long written = 0;
    out << "%\r\nO2000(SURFACE)\r\nG21G17G90\r\nG00X0Y0Z10.\r\n";
    for (long n = 1; written < target; ++n) {
        const long pass = n / 500;
        const long step = n % 500;
        const double y = (pass % 50) * 2.0;
        const double layer = -0.5 * static_cast<double>(pass / 50);
        char line[128];
        if (step == 0 && pass % 50 == 0) {
            std::snprintf(line, sizeof line, "N%ldG00Z5.\r\nX0Y0\r\n", n);
        } else if (step == 0) {
            std::snprintf(line, sizeof line, "N%ldG03X199.6Y%.3fI0J1.F2000\r\nG00Z5.\r\nX0\r\n",
                          n, y);
        } else {
            std::snprintf(line, sizeof line, "N%ldG01X%.3fY%.3fZ%.3fF3000\r\n", n, step * 0.4, y,
                          layer - ((n * 37) % 101) / 50.0);
        }
        block += line;
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

bool WaitFor(const std::function<bool()>& done, int limitMs) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > limitMs) return false;
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

int Run(const fs::path& file, const char* picture = nullptr) {
    const fs::path home =
        fs::temp_directory_path() / ("wexal_plot_bench_" + std::to_string(::getpid()));
    fs::create_directories(home);
    std::ofstream(home / "Wexal.INI") << "[Setting]\nDirPath=" << file.parent_path().string()
                                      << "\nALL-Files=Y\n";
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
    TPlotForm& plot = form->PlotForm();
    const long rssBefore = PeakRssKb();
    QElapsedTimer sinceKey;
    sinceKey.start();
    QTest::keyClick(form->ListBox1, Qt::Key_P);
    const double keyHandled = Ms(sinceKey);
    double first = -1;
    if (WaitFor([&] { return plot.Canvas->paintedMoves() > 0; }, 60000)) first = Ms(sinceKey);
    const bool read = WaitFor([&] { return !plot.loading(); }, 1200000);
    plot.Canvas->repaint();
    const double whole = Ms(sinceKey);
    std::printf(
        "plot_key_handled_ms=%.1f\nplot_first_picture_ms=%.1f\nplot_whole_file_ms=%.0f\n"
        "plot_moves_read=%llu\nplot_moves_kept=%zu\nplot_merge_tolerance=%g\n"
        "plot_full_draws=%d\nplot_peak_rss_kb=%ld\nrss_before_key_kb=%ld\nfile_bytes=%llu\n",
        keyHandled, first, whole, static_cast<unsigned long long>(plot.store().added()),
        plot.store().moves().size(), plot.store().tolerance(), plot.Canvas->fullDraws(),
        PeakRssKb(), rssBefore, static_cast<unsigned long long>(fs::file_size(file)));
    std::printf("status=%s\n", plot.StatusLine->text().toStdString().c_str());
    if (picture != nullptr && !plot.grab().save(QString::fromLocal8Bit(picture))) {
        std::cerr << "cannot save " << picture << "\n";
    }
    form.reset();
    std::error_code ec;
    fs::remove_all(home, ec);
    return first >= 0 && read ? 0 : 1;
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
            fs::temp_directory_path() / ("wexal_plot_bench_smoke_" + std::to_string(::getpid()));
        fs::create_directories(folder);
        MakeProgram(folder / "BIG.NC", 2);
        const int status = Run(folder / "BIG.NC");
        std::error_code ec;
        fs::remove_all(folder, ec);
        return status;
    }
    if (argc != 2 && argc != 3) {
        std::cerr << "usage: plot_first_picture FILE [PNG] | --make MB FILE | --smoke\n";
        return 2;
    }
    return Run(fs::absolute(argv[1]), argc == 3 ? argv[2] : nullptr);
}
