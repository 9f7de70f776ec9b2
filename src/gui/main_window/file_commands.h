#pragma once

#include "files/delete_entries.h"

namespace wexal {

class TForm1;
class TFindForm;
class TRNameForm;
class TRNameAForm;

// D (F3), R, F and V (F8) of the file list, with the rename and find dialogs
// created once with the main window.
class FileCommands {
public:
    FileCommands(TForm1& form, MoveToTrash moveToTrash);

    void DeleteEntries(bool onMarkedFiles);  // D, F3
    void RenameEntries(bool onMarkedFiles);  // R
    void OpenFind();                         // F
    void ViewFile();                         // V, F8

    TRNameForm& RNameForm() { return *rname_; }
    TRNameAForm& RNameAForm() { return *rnameA_; }
    TFindForm& FindForm() { return *find_; }

private:
    void RenameMarkedFiles();
    void RenameCursorEntry();

    TForm1& form_;
    MoveToTrash moveToTrash_;
    TRNameForm* rname_ = nullptr;  // children of the main window
    TRNameAForm* rnameA_ = nullptr;
    TFindForm* find_ = nullptr;
};

// The desktop trash (QFile::moveToTrash). A path that Qt cannot name
// exactly (bytes that are not UTF-8) is left to the permanent delete.
MoveToTrash DesktopTrash();

}  // namespace wexal
