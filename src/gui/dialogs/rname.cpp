#include "dialogs/rname.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <array>

#include "seams/widget_style.h"
#include "files/file_names.h"
#include "dialogs/tool_dialog.h"

namespace wexal {

namespace {

constexpr const char* kCaption = "名前変更";
constexpr std::array<const char*, 5> kChoiceTexts = {
    "名前を変更", "半角英文字を大文字に", "半角英文字を小文字に", "半角英文字の先頭のみ大文字に",
    "個々に名前を変更"};

QRadioButton* MakeChoice(QDialog* dialog, int number, int top) {
    return AddTextControl<QRadioButton>(dialog, QStringLiteral("RadioButton%1").arg(number),
                                        {20, top, dialog->width() - 40, 22},
                                        QString::fromUtf8(kChoiceTexts[number - 1]));
}

QPushButton* MakeButton(QDialog* dialog, const char* name, const char* text, int left, int top) {
    auto* button = AddTextControl<QPushButton>(dialog, QString::fromLatin1(name),
                                               {left, top, 100, 30}, QString::fromUtf8(text));
    // Enter belongs to the edit, which decides on an empty text itself.
    button->setAutoDefault(false);
    return button;
}

// Only ASCII letters change, so the text keeps its length and the caret its place.
QString ConvertText(const QString& text, RenameChoice choice) {
    return QString::fromStdString(ApplyCaseChoice(text.toStdString(), choice));
}

}  // namespace

TRNameForm::TRNameForm(QWidget* mainWindow) : QDialog(mainWindow), mainWindow_(mainWindow) {
    CreateControls();
}

void TRNameForm::CreateControls() {
    SetUpToolDialog(*this, "RNameForm", QString::fromUtf8(kCaption), {380, 250});
    Label1 = AddControl<QLabel>(this, {"Label1", {12, 10, 356, 20}});
    Label1->setTextFormat(Qt::PlainText);
    EditLabel1 = AddControl<QLabel>(this, {"EditLabel1", {12, 36, 356, 18}},
                                    QStringLiteral("新しい名前を入力"));
    LabeledEdit1 = AddCaptionedEdit(this, "LabeledEdit1", {12, 56, 356, 26}, *EditLabel1);
    RadioButton1 = MakeChoice(this, 1, 92);
    RadioButton2 = MakeChoice(this, 2, 116);
    RadioButton3 = MakeChoice(this, 3, 140);
    RadioButton4 = MakeChoice(this, 4, 164);
    Button1 = MakeButton(this, "Button1", "OK", 156, 206);
    Button2 = MakeButton(this, "Button2", "ｷｬﾝｾﾙ", 268, 206);

    const std::array<std::pair<QRadioButton*, RenameChoice>, 4> choices = {
        {{RadioButton1, RenameChoice::Keep},
         {RadioButton2, RenameChoice::Upper},
         {RadioButton3, RenameChoice::Lower},
         {RadioButton4, RenameChoice::Capitalize}}};
    for (const auto& [button, choice] : choices) {
        button->installEventFilter(this);
        // toggled, not clicked: the arrow keys move the choice too.
        connect(button, &QRadioButton::toggled, this, [this, choice = choice](bool checked) {
            if (checked) RadioButtonClick(choice);
        });
    }
    connect(LabeledEdit1, &QLineEdit::textChanged, this, [this] { LabeledEdit1Change(); });
    connect(LabeledEdit1, &QLineEdit::cursorPositionChanged, this, [this](int, int now) {
        if (choice_ == RenameChoice::Capitalize && now == 0 && !LabeledEdit1->text().isEmpty()) {
            LabeledEdit1->setCursorPosition(1);
        }
    });
    connect(LabeledEdit1, &QLineEdit::returnPressed, this, [this] {
        if (!LabeledEdit1->text().isEmpty()) Button1Click();
    });
    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    connect(Button2, &QPushButton::clicked, this, &QDialog::reject);
}

bool TRNameForm::Execute(const std::string& name) {
    original_ = name;
    shown_ = QString::fromStdString(DisplayName(name));
    newName_.clear();
    choice_ = RenameChoice::Keep;
    Label1->setText(shown_);
    Label1->setAccessibleName(shown_);
    LabeledEdit1->setText(shown_);
    RadioButton1->setChecked(true);
    CentreOnMainWindow(*this, mainWindow_);
    LabeledEdit1->setFocus();
    return exec() == QDialog::Accepted;
}

void TRNameForm::RadioButtonClick(RenameChoice choice) {
    choice_ = choice;
    LabeledEdit1Change();
    // Queued: a choice made with an arrow key would otherwise take the focus
    // back to its button, where Enter does nothing.
    QTimer::singleShot(0, LabeledEdit1, [this] { LabeledEdit1->setFocus(); });
}

bool TRNameForm::eventFilter(QObject* watched, QEvent* event) {
    // Enter typed right behind an arrow key reaches the choice before the
    // focus is back in the edit; it is the edit's Enter all the same.
    if (event->type() == QEvent::KeyPress && qobject_cast<QRadioButton*>(watched) != nullptr) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            if (!LabeledEdit1->text().isEmpty()) Button1Click();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TRNameForm::LabeledEdit1Change() {
    if (applying_ || choice_ == RenameChoice::Keep) return;
    const QString text = LabeledEdit1->text();
    const QString converted = ConvertText(text, choice_);
    if (converted == text) return;
    applying_ = true;
    const int caret = LabeledEdit1->cursorPosition();
    LabeledEdit1->setText(converted);
    LabeledEdit1->setCursorPosition(caret);
    applying_ = false;
}

void TRNameForm::Button1Click() {
    const QString text = LabeledEdit1->text();
    newName_ = text.toStdString();
    // The shown text of a name that is not UTF-8 (or holds a control
    // character) is not the name: left as it was, or only with its case
    // changed, it stands for the name's own bytes.
    if (text == shown_) {
        newName_ = original_;
    } else {
        for (RenameChoice choice :
             {RenameChoice::Upper, RenameChoice::Lower, RenameChoice::Capitalize}) {
            if (text == ConvertText(shown_, choice)) {
                newName_ = ApplyCaseChoice(original_, choice);
                break;
            }
        }
    }
    accept();
}

TRNameAForm::TRNameAForm(QWidget* mainWindow) : QDialog(mainWindow), mainWindow_(mainWindow) {
    SetUpToolDialog(*this, "RNameAForm", QString::fromUtf8(kCaption), {320, 200});
    RadioButton1 = MakeChoice(this, 1, 12);
    RadioButton2 = MakeChoice(this, 2, 36);
    RadioButton3 = MakeChoice(this, 3, 60);
    RadioButton4 = MakeChoice(this, 4, 84);
    RadioButton5 = MakeChoice(this, 5, 108);
    Button1 = MakeButton(this, "Button1", "OK", 96, 152);
    Button2 = MakeButton(this, "Button2", "ｷｬﾝｾﾙ", 208, 152);
    Button1->setAutoDefault(true);
    Button1->setDefault(true);
    int number = 1;
    for (QRadioButton* button :
         {RadioButton1, RadioButton2, RadioButton3, RadioButton4, RadioButton5}) {
        const auto choice = static_cast<RenameChoice>(number++);
        connect(button, &QRadioButton::toggled, this, [this, choice](bool checked) {
            if (checked) choice_ = choice;
        });
    }
    connect(Button1, &QPushButton::clicked, this, &QDialog::accept);
    connect(Button2, &QPushButton::clicked, this, &QDialog::reject);
}

bool TRNameAForm::Execute() {
    choice_ = RenameChoice::Keep;
    RadioButton1->setChecked(true);
    CentreOnMainWindow(*this, mainWindow_);
    RadioButton1->setFocus();
    return exec() == QDialog::Accepted;
}

}  // namespace wexal
