#pragma once

#include <memory>

namespace wexal {

class TForm1;
class TDividesForm;
class TBai2Form;
class TPlusForm;
struct NcToolContext;

// B, H and K of the file list: the NC tool dialogs, created once with the
// main window, and what each command does before its dialog opens.
class NcToolCommands {
public:
    explicit NcToolCommands(TForm1& form);
    ~NcToolCommands();

    void Split();       // B, Shift+F9
    void AxisDouble();  // H
    void Join();        // K, Shift+F4

    TDividesForm& DividesForm() { return *divides_; }
    TBai2Form& Bai2Form() { return *bai2_; }
    TPlusForm& PlusForm() { return *plus_; }

    // What the tool dialogs, and the copy dialog built on them, use of the
    // main window.
    static NcToolContext ToolContext(TForm1& form);

private:
    std::string CursorFileName() const;

    TForm1& form_;
    TDividesForm* divides_ = nullptr;  // children of the main window
    TBai2Form* bai2_ = nullptr;
    TPlusForm* plus_ = nullptr;
};

}  // namespace wexal
