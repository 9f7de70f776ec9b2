#include "dialogs/option.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>

#include "seams/field_keys.h"
#include "seams/widget_style.h"
#include "platform/program_folder.h"

namespace wexal {

namespace {

constexpr int kColumnWidth = 268;
constexpr int kRowHeight = 54;

// Beside three fields of the send tab: what their numbers mean.
struct FieldHint {
    const char* control;
    const char* text;
};
constexpr FieldHint kHints[] = {
    {"LabeledEdit13", "(0:標準 1:ｽﾍﾟｰｽ 2:ﾀｲﾏｰ)"},
    {"LabeledEdit8", "(1:%+LF 2:%%+LF 3:% * 4:% 5:%%)"},
    {"LabeledEdit9", "(1:% 2:%% 3:%+LF 4:%%+LF)"},
};

int EditWidth(const OptionFieldSpec& definition) {
    if (definition.maxLength == 0) return 220;
    return 24 + 10 * definition.maxLength;
}

}  // namespace

TOptionForm::TOptionForm(QWidget* mainWindow, Settings& settings, MessageService& messages,
                         OptionTakeHost& host, LauncherTrust& trust)
    : QDialog(mainWindow),
      mainWindow_(mainWindow),
      settings_(settings),
      messages_(messages),
      host_(host),
      trust_(trust) {
    CreateControls();
}

void TOptionForm::CreateControls() {
    setObjectName(QStringLiteral("OptionForm"));
    setWindowTitle(QStringLiteral("ｵﾌﾟｼｮﾝ設定"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setWindowModality(Qt::ApplicationModal);
    setFixedSize(568, 330);
    setFont(MonoFont(13));

    PageControl1 = AddControl<QTabWidget>(this, {"PageControl1", {8, 8, 552, 272}});
    std::array<QWidget*, kOptionTabCount> pages{};
    for (int tab = 0; tab < kOptionTabCount; ++tab) {
        pages[tab] = new QWidget(PageControl1);
        pages[tab]->setObjectName(QStringLiteral("TabSheet%1").arg(tab + 1));
        PageControl1->addTab(pages[tab], QString::fromUtf8(kOptionTabNames[tab]));
    }

    const auto& definitions = OptionFieldSpecs();
    for (std::size_t i = 0; i < definitions.size(); ++i) {
        const OptionFieldSpec& definition = definitions[i];
        // Four rows to a column; the last tab leaves room for the launcher.
        const int rows = definition.tab == 3 ? 2 : 4;
        const int left = 12 + ((definition.tag - 1) / rows) * kColumnWidth;
        const int top = 8 + ((definition.tag - 1) % rows) * kRowHeight;
        auto* caption = new QLabel(QString::fromUtf8(definition.caption), pages[definition.tab]);
        caption->setGeometry(left, top, kColumnWidth - 8, 16);
        caption->setTextFormat(Qt::PlainText);
        auto* edit =
            AddCaptionedEdit(pages[definition.tab], QString::fromLatin1(definition.control),
                             {left, top + 18, EditWidth(definition), 24}, *caption);
        if (definition.maxLength > 0) edit->setMaxLength(definition.maxLength);
        if (definition.allowed[0] != '\0') GuardField(edit);
        edit->installEventFilter(this);
        const int index = static_cast<int>(i);
        connect(edit, &QLineEdit::textEdited, this, [this, index](const QString& text) {
            entries_.Edit(index, text.toStdString());
            Button1->setEnabled(true);
        });
        Fields[i] = edit;
        for (const FieldHint& hint : kHints) {
            if (std::string_view(hint.control) != definition.control) continue;
            auto* label = new QLabel(QString::fromUtf8(hint.text), pages[definition.tab]);
            label->setGeometry(left + EditWidth(definition) + 8, top + 22, 220, 16);
            label->setTextFormat(Qt::PlainText);
        }
    }

    auto* shortcut = new QLabel(QStringLiteral("ﾃﾞｨｽｸﾄｯﾌﾟにｼｮｰﾄｶｯﾄを作成"), pages[3]);
    shortcut->setGeometry(12, 136, 260, 16);
    Button3 = AddControl<QPushButton>(pages[3], {"Button3", {12, 156, 90, 28}, shortcut->text()},
                                      QStringLiteral("作成"));
    connect(Button3, &QPushButton::clicked, this, [this] { Button3Click(); });

    Button1 =
        AddControl<QPushButton>(this, {"Button1", {344, 290, 100, 30}}, QStringLiteral("変更"));
    Button2 =
        AddControl<QPushButton>(this, {"Button2", {456, 290, 100, 30}}, QStringLiteral("戻る"));
    for (QPushButton* button : {Button1, Button2, Button3}) button->setAutoDefault(false);
    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    connect(Button2, &QPushButton::clicked, this, &TOptionForm::reject);
    connect(PageControl1, &QTabWidget::currentChanged, this,
            [this](int tab) { FocusField(OptionFieldAt(tab, 1)); });
}

QLineEdit* TOptionForm::FieldNamed(const char* control) const {
    const std::optional<int> index = OptionFieldIndex(control);
    return index ? Fields[static_cast<std::size_t>(*index)] : nullptr;
}

void TOptionForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    FormShow();
}

void TOptionForm::FormShow() {
    if (mainWindow_ != nullptr) {
        const QRect main = mainWindow_->frameGeometry();
        const QRect own = frameGeometry();
        const Placement at =
            CentreOver(main.x(), main.y(), main.width(), main.height(), own.width(), own.height());
        move(at.left, at.top);
    }
    entries_.Fill(settings_);
    for (int i = 0; i < kOptionFieldCount; ++i) {
        Fields[static_cast<std::size_t>(i)]->setText(QString::fromStdString(entries_.Text(i)));
    }
    Button1->setEnabled(false);
    FocusField(OptionFieldAt(PageControl1->currentIndex(), 1));
}

void TOptionForm::FocusField(int index) {
    if (index < 0) return;
    QLineEdit* edit = Fields[static_cast<std::size_t>(index)];
    PageControl1->setCurrentIndex(OptionFieldSpecs()[static_cast<std::size_t>(index)].tab);
    edit->setFocus();
    edit->selectAll();
}

bool TOptionForm::eventFilter(QObject* watched, QEvent* event) {
    for (int i = 0; i < kOptionFieldCount; ++i) {
        QLineEdit* edit = Fields[static_cast<std::size_t>(i)];
        if (watched != edit) continue;
        if (event->type() == QEvent::KeyPress && FieldKeyDown(i, static_cast<QKeyEvent*>(event))) {
            return true;
        }
        return FilterFieldInput(edit, event,
                                OptionFieldSpecs()[static_cast<std::size_t>(i)].allowed, true);
    }
    return QDialog::eventFilter(watched, event);
}

bool TOptionForm::FieldKeyDown(int index, QKeyEvent* event) {
    QLineEdit* edit = Fields[static_cast<std::size_t>(index)];
    const OptionKeyResult result = OptionFieldKey(ToFieldKey(*event), edit->text().isEmpty());
    const OptionFieldSpec& definition = OptionFieldSpecs()[static_cast<std::size_t>(index)];
    const int count = OptionTabSize(definition.tab);
    switch (result.action) {
        case OptionKeyAction::PassOn:
            return false;
        case OptionKeyAction::Ignore:
            return true;
        case OptionKeyAction::Next:
            if (result.upperCase && edit->text() != edit->text().toUpper()) {
                edit->setText(edit->text().toUpper());
                entries_.Edit(index, edit->text().toStdString());
                Button1->setEnabled(true);
            }
            FocusField(OptionFieldAt(definition.tab, NextInRing(definition.tag, count)));
            return true;
        case OptionKeyAction::Previous:
            FocusField(OptionFieldAt(definition.tab, PreviousInRing(definition.tag, count)));
            return true;
    }
    return false;
}

bool TOptionForm::Button1Click() {
    if (const std::optional<int> refused = entries_.Take(settings_, host_)) {
        messages_.Tell(OptionNumberErrorText(*refused), kInputErrorCaption, MessageIcon::Error);
        // The value in force goes back into the field; the other changes stay untaken.
        OptionEntries inForce;
        inForce.Fill(settings_);
        entries_.Edit(*refused, inForce.Text(*refused));
        Fields[static_cast<std::size_t>(*refused)]->setText(
            QString::fromStdString(inForce.Text(*refused)));
        FocusField(*refused);
        return false;
    }
    Button1->setEnabled(false);
    return true;
}

void TOptionForm::reject() {
    if (Button1->isEnabled()) {
        const bool discard =
            messages_.AskYesNo(kOptionCloseQuestion, kOptionCaption, MessageIcon::Information);
        // An answer given for the operator while the program ends is no choice.
        if (!discard && !messages_.Interrupted() && !Button1Click()) return;
    }
    QDialog::reject();
}

void TOptionForm::Button3Click() { CreateDesktopShortcut(ExecutablePath(), trust_); }

}  // namespace wexal
