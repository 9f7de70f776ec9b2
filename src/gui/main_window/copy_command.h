#pragma once

#include <QObject>
#include <optional>
#include <string>
#include <vector>

namespace wexal {

class TForm1;
class TPlusCopyForm;

// Copy and move from the file list: C, F4, M and Shift+F3 with their dialog,
// the single-file copy of the input line, rows dragged onto folder rows, and
// files dropped onto the list from the desktop.
class CopyCommand : public QObject {
    Q_OBJECT

public:
    explicit CopyCommand(TForm1& form);

    // true for copying, false for moving; the dialog's captions and the
    // final message follow it.
    bool CopyMode() const { return copyMode_; }
    TPlusCopyForm& PlusCopyForm() { return *dialog_; }

    // C, F4 (copy) and M, Shift+F3 (move); the key's preconditions hold.
    void OpenCopyMoveDialog(bool copy, bool onMarkedFiles);
    // Enter in the input line in its copy mode ("4") with the typed name.
    void CopyNameEntered(const std::string& typed);
    // Copies or moves (CopyMode) full paths into a folder, with a progress
    // dialog, the replace question and the completion box; true when it ran
    // to its end.
    bool ShellCopyOrMove(const std::vector<std::string>& sources, const std::string& destination);

private:
    // Where a drop onto the row would go; nullopt where it is refused.
    std::optional<std::string> DragTargetOf(int row) const;
    void ListBox1DragOver(int row);
    void ListBox1DragDrop(int row);
    void FilesDropped(const std::vector<std::string>& paths);
    // A single copy that failed: the message line names the file until the
    // next key, a box says why.
    void ReportCopyFailure(const std::string& name, const std::string& path,
                           const std::string& reason);

    TForm1& form_;
    TPlusCopyForm* dialog_ = nullptr;  // a child of the main window
    bool copyMode_ = true;
    std::string copySource_;  // the cursor file of the single-file copy
};

}  // namespace wexal
