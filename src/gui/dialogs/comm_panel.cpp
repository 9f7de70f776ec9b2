#include "dialogs/comm_panel.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QCompleter>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QTimer>

#include "seams/field_keys.h"
#include "main_window/mainunit1.h"
#include "seams/widget_style.h"
#include "main_window/file_list_box.h"
#include "serial/port_probe.h"

namespace wexal {

namespace {

// Long enough for any port that answers at all; a device whose open hangs
// costs the panel this much and is left out.
constexpr std::chrono::milliseconds kProbeTime{300};

QString FromUtf8(const std::string& text) { return QString::fromStdString(text); }

std::vector<std::string> ItemsOf(const QComboBox* combo) {
    std::vector<std::string> items;
    for (int i = 0; i < combo->count(); ++i) items.push_back(combo->itemText(i).toStdString());
    return items;
}

QLabel* MakeCaption(QWidget* parent, const QString& text, QRect geometry, int pixels) {
    auto* label = new QLabel(text, parent);
    label->setGeometry(geometry);
    label->setFont(MonoFont(pixels));
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    return label;
}

}  // namespace

CommPanel::CommPanel(TForm1& form) : QObject(&form), form_(form) { CreateControls(); }

void CommPanel::CreateControls() {
    QGroupBox* box = form_.GroupBox1;
    Label12 = MakeCaption(box, QString(), {8, 18, 190, 16}, 14);
    Label12->setObjectName(QStringLiteral("Label12"));
    Label15 = MakeCaption(box, QString::fromUtf8(kSpeedHint), {3, 35, 196, 12}, 10);
    Label15->setObjectName(QStringLiteral("Label15"));
    Label13 = MakeCaption(box, QString(), {8, 76, 190, 16}, 14);
    Label13->setObjectName(QStringLiteral("Label13"));

    const std::pair<QComboBox**, int> combos[] = {{&ComboBox1, 48}, {&ComboBox2, 94}};
    for (int i = 0; i < 2; ++i) {
        auto* combo = new QComboBox(box);
        *combos[i].first = combo;
        const CommFieldSpec& definition = CommField(kSpeedTag + i);
        combo->setObjectName(QString::fromLatin1(definition.control));
        combo->setGeometry(8, combos[i].second, 130, 24);
        combo->setFont(MonoFont(14));
        combo->setEditable(true);
        combo->setInsertPolicy(QComboBox::NoInsert);
        combo->setCompleter(nullptr);  // the panel completes in its own way
        // The combo box has the focus and hands the keys to its line; the
        // mouse reaches the line itself.
        GuardField(combo->lineEdit());
        combo->setAttribute(Qt::WA_InputMethodEnabled, false);
        Paint(combo, Qt::black, Qt::white);
        // The list drops down under the field while the keys still go to it.
        auto* dropDown = new QCompleter(combo->model(), combo);
        dropDown->setWidget(combo->lineEdit());
        dropDown->setCompletionMode(QCompleter::UnfilteredPopupCompletion);
        dropDown->setCaseSensitivity(Qt::CaseInsensitive);
        dropDown->setMaxVisibleItems(12);
        for (auto signal : {QOverload<const QString&>::of(&QCompleter::highlighted),
                            QOverload<const QString&>::of(&QCompleter::activated)}) {
            connect(dropDown, signal, combo, &QComboBox::setEditText);
        }
        dropDowns_[static_cast<std::size_t>(i)] = dropDown;
        const int tag = kSpeedTag + i;
        connect(combo->lineEdit(), &QLineEdit::textEdited, this,
                [this, tag] { CompleteTyping(tag); });
    }
    for (const std::string& item : SpeedItems()) ComboBox1->addItem(FromUtf8(item));

    QLineEdit** letters[] = {&Edit4, &Edit6, &Edit9, &Edit8};
    for (int i = 0; i < 4; ++i) {
        const CommFieldSpec& definition = CommField(kSignalTag + i);
        const int top = 126 + i * 58;
        // The runs of blanks in the captions end their first line: each label is
        // just wide enough for its longer line and no wider.
        const int width = definition.tag == kSignalTag ? 138 : 150;
        QLabel* caption =
            MakeCaption(box, QString::fromUtf8(definition.caption), {8, top, width, 34}, 12);
        auto* edit = new QLineEdit(box);
        *letters[i] = edit;
        edit->setObjectName(QString::fromLatin1(definition.control));
        edit->setGeometry(162, top + 6, 28, 24);
        edit->setFont(MonoFont(16));
        edit->setMaxLength(definition.maxLength);
        edit->setAlignment(Qt::AlignCenter);
        edit->setAccessibleName(caption->text());
        caption->setBuddy(edit);
        GuardField(edit);
        Paint(edit, Qt::black, Qt::white);
    }

    Label14 = MakeCaption(box, QString::fromUtf8(kCommFooter), {0, 366, 200, 18}, 16);
    Label14->setObjectName(QStringLiteral("Label14"));
    Label14->setWordWrap(false);
    Label14->setCursor(Qt::PointingHandCursor);
    Label14->setProperty("hint",
                         QStringLiteral("各項目に対応するファンクションキーを押してください。"));
    // Installed last: the filter looks at every field.
    Label14->installEventFilter(this);
    for (int tag = kSpeedTag; tag <= kCodeTag; ++tag) {
        Field(tag)->installEventFilter(this);
        if (Entry(tag) != Field(tag)) Entry(tag)->installEventFilter(this);
    }
    for (QCompleter* dropDown : dropDowns_) dropDown->popup()->installEventFilter(this);
}

QWidget* CommPanel::Field(int tag) const {
    switch (tag) {
        case kSpeedTag:
            return ComboBox1;
        case kPortTag:
            return ComboBox2;
        default:
            return Entry(tag);
    }
}

QLineEdit* CommPanel::Entry(int tag) const {
    const std::array<QLineEdit*, kCommFieldCount> entries = {
        ComboBox1->lineEdit(), ComboBox2->lineEdit(), Edit4, Edit6, Edit9, Edit8};
    return entries.at(static_cast<std::size_t>(tag - 1));
}

int CommPanel::TagOf(QObject* watched) const {
    for (int tag = kSpeedTag; tag <= kCodeTag; ++tag) {
        if (watched == Entry(tag) || watched == Field(tag)) return tag;
    }
    for (int i = 0; i < 2; ++i) {
        if (watched == dropDowns_[static_cast<std::size_t>(i)]->popup()) return kSpeedTag + i;
    }
    return 0;
}

void CommPanel::Open() {
    const Settings& settings = form_.settings_;
    form_.ListBox1->setEnabled(false);
    form_.Edit1->setEnabled(false);
    Label12->setText(FromUtf8(SpeedCaption(settings)));
    Label13->setText(FromUtf8(PortCaption(settings)));
    ComboBox1->setAccessibleName(Label12->text());
    ComboBox2->setAccessibleName(Label13->text());

    // Each probe works on its own copies: it may outlive this call.
    const std::filesystem::path folder = form_.files_.folder;
    ComboBox2->clear();
    for (const std::string& port : ListUsablePorts(
             [settings, folder](int number) { return IsPortUsable(number, settings, folder); },
             kProbeTime)) {
        ComboBox2->addItem(FromUtf8(port));
    }
    ComboBox1->setEditText(FromUtf8(settings.Speed));
    ComboBox2->setEditText(FromUtf8(settings.Port));
    Edit4->setText(FromUtf8(settings.Signal));
    Edit6->setText(FromUtf8(settings.StartChar));
    Edit8->setText(FromUtf8(settings.Code));
    Edit9->setText(FromUtf8(settings.EndChar));
    form_.GroupBox1->show();
    form_.GroupBox1->raise();
    FocusField(kSpeedTag);
}

void CommPanel::FocusField(int tag) {
    Field(tag)->setFocus();
    Entry(tag)->selectAll();
}

bool CommPanel::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Label14) {
        if (event->type() == QEvent::MouseButtonPress) {
            const int x = static_cast<QMouseEvent*>(event)->position().toPoint().x();
            const FieldKey key = Label14ClickKey(x);
            if (key == FieldKey::F1) form_.SimulateKey(Qt::Key_F1);
            if (key == FieldKey::F2) form_.SimulateKey(Qt::Key_F2);
            return true;
        }
        return false;
    }
    const int tag = TagOf(watched);
    if (tag == 0) return QObject::eventFilter(watched, event);
    if (event->type() == QEvent::KeyPress && FieldKeyDown(tag, static_cast<QKeyEvent*>(event))) {
        return true;
    }
    return FilterFieldInput(Entry(tag), event, CommField(tag).allowed, tag >= kSignalTag);
}

bool CommPanel::FieldKeyDown(int tag, QKeyEvent* event) {
    QLineEdit* entry = Entry(tag);
    const CommKeyResult result = CommPanelKey(tag, ToFieldKey(*event), entry->text().isEmpty());
    skipCompletion_ = result.skipCompletion;
    if (result.action != CommKeyAction::OpenDropDown && tag <= kPortTag) {
        if (result.action != CommKeyAction::PassOn) dropDowns_[tag - 1]->popup()->hide();
    }
    switch (result.action) {
        case CommKeyAction::PassOn:
            return false;
        case CommKeyAction::Ignore:
            return true;
        case CommKeyAction::MoveFocus:
            if (result.upperCase) entry->setText(entry->text().toUpper());
            FocusField(result.focusTag);
            return true;
        case CommKeyAction::Apply:
            ApplyCommunicationSettings();
            return true;
        case CommKeyAction::Cancel:
            CancelCommunicationSettings();
            return true;
        case CommKeyAction::CloseWindow:
            form_.close();
            return true;
        case CommKeyAction::OpenDropDown: {
            // The arrow that drops the list down goes no further (the combo
            // box would step through its items); the open list takes the next.
            const int key = event->key();
            return OpenDropDown(tag) && (key == Qt::Key_Up || key == Qt::Key_Down);
        }
    }
    return false;
}

bool CommPanel::OpenDropDown(int tag) {
    QCompleter* dropDown = dropDowns_[static_cast<std::size_t>(tag - 1)];
    if (dropDown->popup()->isVisible()) return false;
    QLineEdit* entry = Entry(tag);
    dropDown->setCompletionPrefix(entry->text().left(entry->cursorPosition()));
    dropDown->popup()->setMinimumWidth(Field(tag)->width());
    dropDown->complete();
    return true;
}

void CommPanel::CompleteTyping(int tag) {
    if (skipCompletion_) return;
    QLineEdit* entry = Entry(tag);
    const QString text = entry->text();
    const std::size_t caret = text.left(entry->cursorPosition()).toUtf8().size();
    const Completion done =
        CompleteTyped(text.toStdString(), caret, ItemsOf(static_cast<QComboBox*>(Field(tag))));
    const QString newText = FromUtf8(done.text);
    const int caretChars = FromUtf8(done.text.substr(0, done.caret)).size();
    if (newText != text) entry->setText(newText);
    if (done.selectionLength > 0) {
        entry->setSelection(caretChars, newText.size() - caretChars);
    } else {
        entry->setCursorPosition(caretChars);
    }
    QCompleter* dropDown = dropDowns_[static_cast<std::size_t>(tag - 1)];
    dropDown->setCompletionPrefix(newText.left(caretChars));
    if (dropDown->popup()->isVisible()) dropDown->complete();
}

CommFields CommPanel::Fields() const {
    return {ComboBox1->currentText().toStdString(),
            ComboBox2->currentText().toStdString(),
            Edit4->text().toStdString(),
            Edit6->text().toStdString(),
            Edit9->text().toStdString(),
            Edit8->text().toStdString()};
}

void CommPanel::ClearFields() {
    for (int tag = kSpeedTag; tag <= kCodeTag; ++tag) Entry(tag)->clear();
}

void CommPanel::Close() {
    for (QCompleter* dropDown : dropDowns_) dropDown->popup()->hide();
    ClearFields();
    form_.GroupBox1->hide();
    form_.ListBox1->setEnabled(true);
    form_.ListBox1->setFocus();
}

void CommPanel::ApplyCommunicationSettings() {
    Settings& settings = form_.settings_;
    if (!::wexal::ApplyCommunicationSettings(Fields(), settings)) {
        form_.messages_->TellWithYes(kCommInputError, kInputErrorCaption, MessageIcon::Error);
        FocusField(kSpeedTag);
        return;
    }
    Close();
    form_.SetStatusPanel(4, FromUtf8(settings.Speed));
    form_.SetStatusPanel(5, FromUtf8(settings.Port));
    form_.SetStatusPanel(6, FromUtf8(settings.Signal));
}

void CommPanel::CancelCommunicationSettings() {
    if (CommFieldsChanged(Fields(), form_.settings_) &&
        !form_.messages_->AskYesNo(kCommCancelQuestion, kCommCaption, MessageIcon::Information) &&
        !form_.messages_->Interrupted()) {  // an answer given while the program ends is no choice
        ApplyCommunicationSettings();
        return;
    }
    Close();
    form_.SetMessage(QString::fromUtf8(kAbortedMessage), true);
    form_.Timer1->start(1000);
}

}  // namespace wexal
