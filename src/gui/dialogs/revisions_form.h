#pragma once

#include <QDialog>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "revisions/revision_rows.h"

class QLabel;
class QListWidget;

namespace wexal {

class MessageService;
struct Settings;

// What the revision history uses of the main window.
struct RevisionsContext {
    QWidget* mainWindow = nullptr;
    const Settings* settings = nullptr;  // KeepRevisions
    MessageService* messages = nullptr;
    std::function<void()> refreshList;  // RefreshFileList with the cursor kept
    // The row's file in the main window's file view.
    std::function<void(const RevisionRow&)> showInView;
    // W: the row's revision (left) against the file as it is (right).
    std::function<void(const std::string& name, const std::filesystem::path& file,
                       const RevisionRow&)>
        compareWithFile;
};

// "版の履歴" (U): the current file and its kept revisions, newest first, one
// text row each. Enter shows a row in the file view, R puts a revision back
// after a question, W compares a revision with the file, Esc closes. Rows and key rules come from the core.
class TRevisionsForm : public QDialog {
    Q_OBJECT

public:
    TRevisionsForm(RevisionsContext context, QWidget* parent);

    // U on a file row: its exact name and full path; shows the dialog.
    void Open(const std::string& name, const std::filesystem::path& file);

    QLabel* Label1 = nullptr;         // the file's name
    QListWidget* ListBox1 = nullptr;  // the rows

    const std::vector<RevisionRow>& Rows() const { return rows_; }

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void CreateControls();
    // Reads the rows again; the cursor goes to the row of keepOn, else stays
    // at its place.
    void ReadRows(const std::filesystem::path& keepOn);
    void ListBox1Key(RevisionKey key);
    void Restore(const RevisionRow& row);

    RevisionsContext context_;
    std::string name_;
    std::filesystem::path file_;
    std::vector<RevisionRow> rows_;
};

}  // namespace wexal
