#pragma once

#include <filesystem>
#include <string>

#include "files/delete_entries.h"

namespace wexal {

class TForm1;
class TFindForm;
class TRNameForm;
class TRNameAForm;
class TRevisionsForm;
class TCompareForm;
struct RevisionRow;

// D (F3), R, F, V (F8), U and W of the file list, with the rename, find,
// revision history and comparison dialogs created once with the main window.
class FileCommands {
public:
    FileCommands(TForm1& form, MoveToTrash moveToTrash);

    void DeleteEntries(bool onMarkedFiles);  // D, F3
    void RenameEntries(bool onMarkedFiles);  // R
    void OpenFind();                         // F
    void ViewFile();                         // V, F8
    void OpenRevisions();                    // U
    // W: the two marked files, else the cursor file's newest revision
    // against the file.
    void CompareFiles(bool onMarkedFiles);

    TRNameForm& RNameForm() { return *rname_; }
    TRNameAForm& RNameAForm() { return *rnameA_; }
    TFindForm& FindForm() { return *find_; }
    TRevisionsForm& RevisionsForm() { return *revisions_; }
    TCompareForm& CompareForm() { return *compare_; }

private:
    void RenameMarkedFiles();
    void RenameCursorEntry();
    // The file view (read-only) on folder/name, as V opens it; false when
    // the file could not be read (the message line says why).
    bool ShowInFileView(const std::string& folder, const std::string& name);
    void ShowRevisionRow(const RevisionRow& row);
    void CompareRevision(const std::string& name, const std::filesystem::path& file,
                         const RevisionRow& row);

    TForm1& form_;
    MoveToTrash moveToTrash_;
    TRNameForm* rname_ = nullptr;  // children of the main window
    TRNameAForm* rnameA_ = nullptr;
    TFindForm* find_ = nullptr;
    TRevisionsForm* revisions_ = nullptr;
    TCompareForm* compare_ = nullptr;
};

// The desktop trash (QFile::moveToTrash). A path that Qt cannot name
// exactly (bytes that are not UTF-8) is left to the permanent delete.
MoveToTrash DesktopTrash();

}  // namespace wexal
