#pragma once

#include <QObject>
#include <array>
#include <optional>
#include <string>
#include <vector>

#include "platform/status.h"

class QAction;
class QLabel;
class QMenu;

namespace wexal {

class TForm1;
class TOutAppForm;
class TAppopenForm;
class TEditAppForm;

// E, X and F9, G, Y and the Alt keys of the file list: the editor, the
// desktop's association, the 26 external applications with their overview
// GroupBox5, and the dialogs that set them up.
class ExtAppCommands : public QObject {
    Q_OBJECT

public:
    explicit ExtAppCommands(TForm1& form);
    ~ExtAppCommands() override;

    void OpenInEditor();                  // E
    void OpenWithShell();                 // X, F9
    void LaunchExternalApp(char letter);  // Alt+A ... Alt+Z
    void OpenEditorSettings();            // G
    void OpenExtAppSettings();            // Y

    // The overview shows while Alt is held in the list, and with it the
    // shortcuts Alt+A to Alt+Z.
    void ShowAltPanel();
    void HideAltPanel();
    bool AltPanelShown() const { return altPanelShown_; }

    TOutAppForm& OutAppForm() { return *outAppForm_; }
    TAppopenForm& AppopenForm() { return *appopenForm_; }
    TEditAppForm& EditAppForm() { return *editAppForm_; }

    QLabel* Label30 = nullptr;  // editor and A to M
    QLabel* Label31 = nullptr;  // N to Z
    QMenu* PopupMenu1 = nullptr;
    std::array<QAction*, 26> Menu_out{};  // Menu_outa ... Menu_outz, tags 2 ... 27

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Menu_outaClick(int tag);
    // The full path of the cursor file; nullopt on any other row.
    std::optional<std::string> SelectedFile() const;
    void ShowSelectOneFile() const;
    // A program or document that did not start is said in the message line;
    // its first line (which program) is what fits there.
    void Report(const Status& started);
    void Start(const std::vector<std::string>& argv);
    // What a dialog of this group does to the main window as it shows.
    void StepAside();

    TForm1& form_;
    TOutAppForm* outAppForm_ = nullptr;  // children of the main window
    TAppopenForm* appopenForm_ = nullptr;
    TEditAppForm* editAppForm_ = nullptr;
    bool altPanelShown_ = false;
};

}  // namespace wexal
