#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include "config/settings.h"
#include "files/file_list_model.h"

// The file list on folders of different sizes. With WEXAL_LIST_BENCH_FOLDER
// set (bench/core/file_list_vs_ls.sh does so) the same benchmarks also run on that
// folder, so that they can be set against `ls -l` on it.

namespace {

namespace fs = std::filesystem;
using namespace wexal;

// A folder of n NC files with a few bytes each, removed at the end.
class GeneratedFolder {
public:
    explicit GeneratedFolder(int n)
        : path_(fs::temp_directory_path() /
                ("wexal_list_bench_" + std::to_string(::getpid()) + "_" + std::to_string(n))) {
        fs::create_directories(path_);
        for (int i = 0; i < n; ++i) {
            char name[32];
            std::snprintf(name, sizeof name, "O%06d.NC", i);
            const int fd = ::open((path_ / name).c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
            if (fd < 0) continue;
            const std::string body = "%\nO" + std::to_string(i) + "\nG00X0\n%\n";
            if (::write(fd, body.data(), body.size()) < 0) benchmark::DoNotOptimize(errno);
            ::close(fd);
        }
    }
    ~GeneratedFolder() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    GeneratedFolder(const GeneratedFolder&) = delete;
    GeneratedFolder& operator=(const GeneratedFolder&) = delete;

    std::string path() const { return path_.string(); }

private:
    fs::path path_;
};

std::string FolderOf(int n) {
    static std::map<int, std::unique_ptr<GeneratedFolder>> folders;
    auto& folder = folders[n];
    if (!folder) folder = std::make_unique<GeneratedFolder>(n);
    return folder->path();
}

Settings ListSettings(const std::string& folder) {
    Settings settings;
    settings.DirPath = folder;
    settings.AllFiles = "Y";
    settings.ListColumn = 2;
    return settings;
}

void BM_RefreshFileList(benchmark::State& state, std::string folder) {
    const Settings settings = ListSettings(folder);
    FileListModel model(settings);
    for (auto _ : state) {
        model.RefreshFileList();
        benchmark::DoNotOptimize(model.RowCount());
    }
    const auto files = static_cast<double>(model.FileCount() > 0 ? model.FileCount() : 1);
    state.counters["files"] = files;
    state.counters["model_bytes_per_file"] = static_cast<double>(model.MemoryBytes()) / files;
}

void BM_SortOnly(benchmark::State& state, std::string folder) {
    Settings settings = ListSettings(folder);
    FileListModel model(settings);
    model.RefreshFileList();
    bool up = false;
    for (auto _ : state) {
        settings.SortMuki = up ? "U" : "D";
        up = !up;
        model.RefreshFileList(FileListModel::kKeepCursor | FileListModel::kSortOnly);
    }
    state.counters["files"] = model.FileCount();
}

// One key press each: cursor down, Page Down, Enter (mark toggle), and the
// texts of the rows the window then paints (one page).
void BM_KeyPress(benchmark::State& state, std::string folder) {
    const Settings settings = ListSettings(folder);
    FileListModel model(settings);
    model.RefreshFileList();
    // Six rows a page, so that a page is full in the 10-file folder as well.
    model.SetRowsPerColumn(3);
    model.MoveCursor(model.FirstFileRow());
    const int key = static_cast<int>(state.range(0));
    for (auto _ : state) {
        switch (key) {
            case 0:
                model.UserMoveCursor(model.Cursor() + 1 < model.RowCount() ? model.Cursor() + 1
                                                                           : 0);
                break;
            case 1:
                if (model.PageDown() < 0) model.MoveCursor(0);
                break;
            case 2:
                if (!model.ToggleMark() || model.Cursor() + 1 >= model.RowCount()) {
                    model.MoveCursor(model.FirstFileRow());
                }
                break;
            default: {
                const int top = model.Cursor() - model.Cursor() % model.PageSize();
                for (int row = top; row < top + model.PageSize() && row < model.RowCount(); ++row) {
                    benchmark::DoNotOptimize(model.RowText(row));
                }
                model.MoveCursor(model.Cursor() + model.PageSize() < model.RowCount()
                                     ? model.Cursor() + model.PageSize()
                                     : 0);
                break;
            }
        }
        benchmark::DoNotOptimize(model.DetailsLine());
    }
    state.counters["files"] = model.FileCount();
}

void RegisterFor(const std::string& label, const std::string& folder) {
    benchmark::RegisterBenchmark(("BM_RefreshFileList/" + label).c_str(), BM_RefreshFileList,
                                 folder)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("BM_SortOnly/" + label).c_str(), BM_SortOnly, folder)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("BM_KeyPress/" + label).c_str(), BM_KeyPress, folder)
        ->ArgName("down0_pgdn1_mark2_paint3")
        ->DenseRange(0, 3);
}

const bool registered = [] {
    RegisterFor("10files", FolderOf(10));
    if (const char* folder = std::getenv("WEXAL_LIST_BENCH_FOLDER"); folder && *folder) {
        RegisterFor("folder", folder);
    } else {
        RegisterFor("2000files", FolderOf(2000));
    }
    return true;
}();

}  // namespace
