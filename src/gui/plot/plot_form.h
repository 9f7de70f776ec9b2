#pragma once

#include <QString>
#include <QWidget>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "programs/program_text.h"
#include "nctools/toolpath.h"
#include "nctools/toolpath_file.h"
#include "nctools/toolpath_store.h"

class QLabel;
class QTimer;

namespace wexal {

class MessageService;
class PlotCanvas;
struct Settings;
class PlotLoader;

inline constexpr const char* kPlotTitlePrefix = "ツールパス - ";

// P: the toolpath of a program in a window of its own beside the main
// window, driven by the keyboard: 1 to 4 the view (XY, XZ, YZ, isometric),
// + and - zoom, the arrows pan, Home fits, D switches how numbers without a
// decimal point are read, Tab or P gives the keyboard back to the list, Esc
// closes. While it is open it follows the list's cursor file and, during a
// send of the file it shows, the line going out. A click names the line of
// the move nearest to it.
class TPlotForm : public QWidget {
    Q_OBJECT

public:
    // returnKeyboard gives the keyboard back to the file list; D is kept in
    // settings (PlotNoDecimal).
    TPlotForm(QWidget* mainWindow, Settings& settings, MessageService& messages,
              std::function<void()> returnKeyboard);
    ~TPlotForm() override;

    // P on a file row: shows the file's toolpath and takes the keyboard.
    void Open(const std::string& name, const std::string& path);
    // The list's cursor is on this file now; it is read after a short pause,
    // so that a held arrow key does not read every file it passes.
    void Follow(const std::string& name, const std::string& path);
    // Line index of the program being sent is going out.
    void LineSent(const std::string& path, std::size_t index);
    // A transfer has ended: the path is drawn as it was before the send.
    void TransferEnded();

    const std::string& path() const { return path_; }
    bool loading() const { return loader_ != nullptr; }
    bool noDecimalIsLeastIncrement() const;
    const ToolpathStore& store() const { return store_; }

    PlotCanvas* Canvas = nullptr;
    QLabel* StatusLine = nullptr;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool focusNextPrevChild(bool next) override;

private:
    void PlaceBesideMainWindow();
    // Reads the file anew; ask: a file that needs the loader's question may
    // ask it (an operator's key), else it waits for P.
    void Load(bool ask);
    void Stop();
    void Tick();
    void ShowStatus();
    void SetDetail(const QString& text, bool trouble = false);
    void ShowClickedLine(const QPoint& at);
    void ShowLineText(std::uint64_t line, const QString& what, int tries);
    bool IsShownFile(const std::string& path);

    // What tells a file rewritten since it was read.
    struct Stamp {
        std::uintmax_t size = 0;
        std::filesystem::file_time_type time;
        bool operator==(const Stamp&) const = default;
    };
    static std::optional<Stamp> StampOf(const std::string& path);

    QWidget* mainWindow_;
    Settings& settings_;
    MessageService& messages_;
    std::function<void()> returnKeyboard_;
    ToolpathStore store_;
    std::unique_ptr<PlotLoader> loader_;
    QTimer* tick_ = nullptr;
    QTimer* follow_ = nullptr;
    std::string name_;
    std::string path_;
    std::string pendingName_;
    std::string pendingPath_;
    std::shared_ptr<HeldProgramFile> file_;
    std::optional<Stamp> stamp_;  // of the file on show when it was read
    ProgramReading reading_ = ProgramReading::Whole;
    std::shared_ptr<const ProgramText> text_;  // made at the first click
    std::optional<ToolpathRun> run_;
    QString detail_;
    bool detailTrouble_ = false;
    std::string sendPath_;
    bool sendIsShown_ = false;
    bool placed_ = false;
};

}  // namespace wexal
