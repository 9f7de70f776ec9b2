#include "dialogs/find_form.h"

#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "seams/field_keys.h"
#include "seams/widget_style.h"
#include "files/find_pattern.h"
#include "files/history_list.h"
#include "dialogs/tool_dialog.h"

namespace wexal {

TFindForm::TFindForm(FindContext context, QWidget* parent)
    : QDialog(parent), context_(std::move(context)) {
    SetUpToolDialog(*this, "FindForm", QStringLiteral("絞り込み・検索"), {340, 130});
    Label1 =
        AddControl<QLabel>(this, {"Label1", {12, 10, 316, 18}}, QStringLiteral("検索・絞り込み名"));
    ComboBox1 = AddHistoryBox(*this, {"ComboBox1", {12, 32, 316, 26}, Label1->text()}, *Label1);
    Button1 =
        AddTextControl<QPushButton>(this, "Button1", {116, 84, 100, 30}, QStringLiteral("ＯＫ"));
    Button2 =
        AddTextControl<QPushButton>(this, "Button2", {228, 84, 100, 30}, QStringLiteral("ｷｬﾝｾﾙ"));
    for (QPushButton* button : {Button1, Button2}) button->setAutoDefault(false);
    connect(ComboBox1, &QComboBox::editTextChanged, this,
            [this](const QString& text) { Button1->setEnabled(!text.isEmpty()); });
    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    connect(Button2, &QPushButton::clicked, this, &TFindForm::reject);
}

void TFindForm::Open() {
    ComboBox1->setEditText(QString());
    show();
}

void TFindForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    CentreOnMainWindow(*this, context_.mainWindow);
    Button1->setEnabled(false);
    history_.clear();
    if (auto entries = ReadHistoryList(context_.programFolder / kFindHistoryFile)) {
        history_ = std::move(*entries);
    }
    ShowHistory(*ComboBox1, history_);
    ComboBox1->setFocus();
}

bool TFindForm::eventFilter(QObject* watched, QEvent* event) {
    if (IsHistoryBox(watched, *ComboBox1) &&
        HistoryBoxInput(*event, *ComboBox1,
                      FindCharRule(context_.settings->AllFiles), *context_.messages,
                      [this] { Button1Click(); })) {
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void TFindForm::Button1Click() {
    const std::string text = ComboBox1->currentText().toStdString();
    if (text.empty()) {
        reject();
        return;
    }
    const Settings& settings = *context_.settings;
    ConfirmHistoryEntry(history_, text);
    ShowHistory(*ComboBox1, history_);
    // A pasted or hand-edited entry gets the check the keys get: a "/"
    // would list another folder under this one's name.
    if (const auto refused = RefusedFindText(text, settings.AllFiles)) {
        refused->Show(*context_.messages);
        ComboBox1->setFocus();
        return;
    }
    context_.narrow(FindSearchPattern(settings.DirPath, text, settings.AllFiles, settings.Mask));
    accept();
}

void TFindForm::done(int result) {
    if (context_.restoreHelpLine) context_.restoreHelpLine();
    if (Status saved = WriteHistoryList(context_.programFolder / kFindHistoryFile, history_);
        !saved) {
        context_.messages->Tell(saved.message, DefaultCaption(MessageIcon::Error),
                                MessageIcon::Error);
    }
    QDialog::done(result);
}

}  // namespace wexal
