#pragma once

#include <QDialog>
#include <QKeyEvent>
#include <QElapsedTimer>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "config/app_state.h"
#include "seams/widget_style.h"
#include "config/settings.h"
#include "files/input_line.h"
#include "nctools/tool_progress.h"
#include "platform/message_service.h"
#include "platform/screen_saver.h"

class QComboBox;
class QLabel;
class QProgressBar;

namespace wexal {

// What the NC tool dialogs use of the main window.
struct NcToolContext {
    QWidget* mainWindow = nullptr;
    Settings* settings = nullptr;
    AppState* state = nullptr;
    MessageService* messages = nullptr;
    ScreenSaver* screenSaver = nullptr;
    std::filesystem::path programFolder;  // Div_Sub.ini and the history lists
    // The platform's folder browser: caption and start in, the choice out.
    std::function<std::optional<std::string>(const std::string&, const std::string&)> browseFolder;
    std::function<void(unsigned flags)> refreshList;  // RefreshFileList
    std::function<void()> restoreHelpLine;            // Label1 := the normal line
    std::function<void()> showAborted;                // "操作中止!!" in the message line
};

// The dialog over the middle of the main window.
void CentreOnMainWindow(QDialog& dialog, const QWidget* mainWindow);

// A key or an input method's text in a dialog's history box: Enter with a
// text runs onEnter, a character the rule refuses is named in a box and
// dropped (from a committed text, the rest goes in). True when the event
// was taken.
bool HistoryBoxInput(QEvent& event, const QComboBox& box, const CharRule& rule,
                     MessageService& messages, const std::function<void()>& onEnter);

// An editable combo box that has the focus hands the keyboard's keys to its
// line without passing the line's event filters: the filter watches both.
void WatchHistoryBoxKeys(QComboBox& box, QObject* filter);
bool IsHistoryBox(const QObject* watched, const QComboBox& box);

// A dialog's editable history box under its caption: typed text is never
// added as an item, the typed characters are guarded, and the keys and the
// input method's text reach the dialog's own filter.
QComboBox* AddHistoryBox(QDialog& dialog, const ControlPlace& place, QLabel& caption);

// The frame the tool dialogs share: fixed size, title and close box only,
// modal for the whole program, the monospaced font.
void SetUpToolDialog(QDialog& dialog, const char* objectName, const QString& title,
                     QSize size);

// The history entries as the box's items; the typed text stays.
void ShowHistory(QComboBox& box, const std::vector<std::string>& entries);

// The range of a bar that follows the bytes a tool read.
inline constexpr int kProgressSteps = 1000;

// A tool's run inside a dialog: the bar follows the lines, the window keeps
// painting and taking keys, and Esc or ｷｬﾝｾﾙ cancels (Cancel()).
class DialogProgress : public ToolProgress {
public:
    explicit DialogProgress(QProgressBar& bar) : bar_(bar) {}
    bool Step(std::size_t line) override;
    // Once a tool reports the bytes it read, the bar shows them in tenths of
    // a percent rather than lines.
    void Reached(std::uint64_t done, std::uint64_t total) override;
    void Cancel() { cancelled_ = true; }
    bool cancelled() const { return cancelled_; }

private:
    QProgressBar& bar_;
    QElapsedTimer sinceEvents_;
    bool cancelled_ = false;
    int byBytes_ = -1;  // the bar's value from Reached, -1 before
};

}  // namespace wexal
