#include "dialogs/file_info_form.h"

#include <QCheckBox>
#include <QFile>
#include <QFileIconProvider>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeDatabase>
#include <QPushButton>
#include <algorithm>

#include "seams/field_keys.h"
#include "seams/widget_style.h"
#include "files/file_names.h"
#include "dialogs/tool_dialog.h"
#include "platform/message_service.h"

namespace wexal {

namespace {

constexpr std::string_view kDigits = "0123456789";

QString Text(std::string_view utf8) {
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

void SetLabel(QLabel* label, const QString& text) {
    label->setText(text);
    label->setAccessibleName(text);
}

}  // namespace

TFileInfoForm::TFileInfoForm(QWidget* mainWindow, MessageService& messages,
                             std::function<void()> refreshList)
    : QDialog(mainWindow),
      mainWindow_(mainWindow),
      messages_(messages),
      refreshList_(std::move(refreshList)) {
    CreateControls();
}

void TFileInfoForm::CreateControls() {
    SetUpToolDialog(*this, "FileInfoForm", QStringLiteral("ﾌｧｲﾙ情報"), {400, 300});

    Image1 = AddPlainLabel(this, "Image1", {16, 14, 32, 32}, QString());
    Label1 = AddPlainLabel(this, "Label1", {64, 20, 320, 20}, QString());
    Label2 = AddPlainLabel(this, "Label2", {16, 62, 368, 20}, QString());
    Label3 = AddPlainLabel(this, "Label3", {16, 86, 368, 20}, QString());
    Label4 = AddPlainLabel(this, "Label4", {16, 110, 368, 20}, QString());
    Label5 = AddPlainLabel(this, "Label5", {16, 146, 60, 20}, QStringLiteral("属性 :"));

    const struct {
        QCheckBox** box;
        const char* name;
        QString text;
        QRect at;
    } boxes[] = {
        {&CheckBox1, "CheckBox1", QStringLiteral("読み取り専用"), {84, 144, 140, 22}},
        {&CheckBox2, "CheckBox2", QStringLiteral("アーカイブ"), {236, 144, 140, 22}},
        {&CheckBox3, "CheckBox3", QStringLiteral("隠しファイル"), {84, 168, 140, 22}},
        {&CheckBox4, "CheckBox4", QStringLiteral("システム"), {236, 168, 140, 22}},
    };
    for (const auto& b : boxes) {
        *b.box = AddTextControl<QCheckBox>(this, QString::fromLatin1(b.name), b.at, b.text);
    }
    // POSIX has no archive or system bit, and hidden is the name's leading
    // dot: shown, not changeable here.
    for (QCheckBox* box : {CheckBox2, CheckBox3, CheckBox4}) box->setEnabled(false);

    Label6 = AddPlainLabel(this, "Label6", {16, 210, 84, 20}, QStringLiteral("更新日時："));
    const struct {
        QLineEdit** edit;
        const char* name;
        int width;
        int maxLength;
        const char* after;  // the separator drawn after the field
        QString accessible;
    } edits[] = {
        {&Edit1, "Edit1", 44, 4, "/", QStringLiteral("更新日時 年")},
        {&Edit2, "Edit2", 28, 2, "/", QStringLiteral("更新日時 月")},
        {&Edit3, "Edit3", 28, 2, nullptr, QStringLiteral("更新日時 日")},
        {&Edit4, "Edit4", 28, 2, "：", QStringLiteral("更新日時 時")},
        {&Edit5, "Edit5", 28, 2, "：", QStringLiteral("更新日時 分")},
        {&Edit6, "Edit6", 28, 2, nullptr, QStringLiteral("更新日時 秒")},
    };
    int x = 100;
    int tag = 0;
    for (const auto& e : edits) {
        auto* edit = AddControl<QLineEdit>(
            this, {QString::fromLatin1(e.name), {x, 206, e.width, 26}, e.accessible});
        edit->setMaxLength(e.maxLength);
        edit->setAlignment(Qt::AlignRight);
        GuardField(edit);
        edit->installEventFilter(this);
        connect(edit, &QLineEdit::textChanged, this, [this] { Button1->setEnabled(true); });
        *e.edit = edit;
        fields_[static_cast<std::size_t>(tag++)] = edit;
        x += e.width;
        if (e.after != nullptr) {
            AddPlainLabel(this, "", {x, 210, 14, 20}, QString::fromUtf8(e.after))
                ->setAlignment(Qt::AlignCenter);
        }
        x += 14;
    }
    Label6->setBuddy(Edit1);

    Button1 =
        AddTextControl<QPushButton>(this, "Button1", {184, 254, 96, 30}, QStringLiteral("更新"));
    Button2 =
        AddTextControl<QPushButton>(this, "Button2", {288, 254, 96, 30}, QStringLiteral("終了"));

    connect(CheckBox1, &QCheckBox::clicked, this, [this] { Button1->setEnabled(true); });
    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    connect(Button2, &QPushButton::clicked, this, &TFileInfoForm::reject);
}

void TFileInfoForm::Open(const std::string& name, const std::string& path) {
    name_ = name;
    path_ = path;
    show();
}

void TFileInfoForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    FormShow();
}

void TFileInfoForm::FormShow() {
    CentreOnMainWindow(*this, mainWindow_);
    const EntryInfo info = ReadEntryInfo(path_, name_);
    SetLabel(Label1, Text(DisplayName(name_)));
    ShowTypeAndIcon(info);
    const std::string place = path_.substr(0, path_.size() - std::min(path_.size(), name_.size()));
    SetLabel(Label3, Text(std::string(kPlaceLinePrefix) + DisplayName(place)));
    SetLabel(Label4,
             Text(info.isFolder ? std::string(kFolderSizeLine) : FileInfoSizeLine(info.size)));

    for (QCheckBox* box : {CheckBox1, CheckBox2, CheckBox3, CheckBox4}) box->setChecked(false);
    CheckBox1->setChecked(info.readOnly);
    CheckBox3->setChecked(info.hidden);
    shownReadOnly_ = info.readOnly;

    shownTime_ = TimeFieldsOf(info.modified);
    for (std::size_t i = 0; i < fields_.size(); ++i) fields_[i]->setText(Text(shownTime_[i]));
    // Last, so that filling the fields does not count as a change.
    Button1->setEnabled(false);
    Button2->setFocus();
}

void TFileInfoForm::ShowTypeAndIcon(const EntryInfo& info) {
    QFileIconProvider provider;
    QIcon icon;
    std::string type;
    if (info.isFolder) {
        icon = provider.icon(QFileIconProvider::Folder);
        SetLabel(Label2, Text(kFolderTypeLine));
    } else {
        // By the name's extension alone, as for any file: the contents are
        // never read.
        const QMimeDatabase database;
        const QList<QMimeType> types =
            database.mimeTypesForFileName(QFile::decodeName(QByteArray::fromStdString(name_)));
        const QString ncType = Text(kNcProgramMimeType);
        // An NC program keeps its name even where the desktop calls *.nc
        // NetCDF; the name list decides where the desktop has no G-code type.
        const bool ncProgram =
            IsNcProgramName(name_) ||
            std::any_of(types.begin(), types.end(), [&](const QMimeType& t) { return t.name() == ncType; });
        const QMimeType mime = ncProgram ? database.mimeTypeForName(ncType)
                               : types.isEmpty() ? QMimeType()
                                                 : types.front();
        if (ncProgram) type = kNcProgramTypeText;
        else if (mime.isValid()) type = mime.comment().toStdString();
        if (mime.isValid()) {
            icon = QIcon::fromTheme(mime.iconName(), QIcon::fromTheme(mime.genericIconName()));
        }
        if (type.empty()) type = FallbackTypeText(name_);
        if (icon.isNull()) icon = provider.icon(QFileIconProvider::File);
        SetLabel(Label2, Text(std::string(kTypeLinePrefix) + type));
    }
    Image1->setPixmap(icon.pixmap(32, 32));
    Image1->setAccessibleName(Label2->text());
}

TimeFieldTexts TFileInfoForm::FieldTexts() const {
    TimeFieldTexts texts;
    for (std::size_t i = 0; i < fields_.size(); ++i) texts[i] = fields_[i]->text().toStdString();
    return texts;
}

bool TFileInfoForm::eventFilter(QObject* watched, QEvent* event) {
    for (std::size_t i = 0; i < fields_.size(); ++i) {
        if (watched != fields_[i]) continue;
        if (event->type() == QEvent::KeyPress) {
            const auto* key = static_cast<QKeyEvent*>(event);
            if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
                EditEnter(static_cast<int>(i) + 1);
                return true;
            }
        }
        // Digits and Backspace only; anything else is dropped without a word.
        if (FilterFieldInput(fields_[i], event, kDigits, false)) return true;
        break;
    }
    return QDialog::eventFilter(watched, event);
}

void TFileInfoForm::EditEnter(int tag) {
    QLineEdit* field = fields_[static_cast<std::size_t>(tag - 1)];
    if (field->text().isEmpty()) return;
    if (const auto message = CheckTimeField(tag, field->text().toStdString())) {
        messages_.Tell(*message, kInputErrorCaption, MessageIcon::Error);
        field->setFocus();
        return;
    }
    if (tag < 6) {
        fields_[static_cast<std::size_t>(tag)]->setFocus();
    } else {
        (Button1->isEnabled() ? Button1 : Button2)->setFocus();
    }
}

bool TFileInfoForm::CheckFields() {
    for (std::size_t i = 0; i < fields_.size(); ++i) {
        const auto message =
            CheckTimeField(static_cast<int>(i) + 1, fields_[i]->text().toStdString());
        if (message) {
            fields_[i]->setFocus();
            messages_.Tell(*message, kInputErrorCaption, MessageIcon::Error);
            return false;
        }
    }
    return true;
}

void TFileInfoForm::Button1Click() {
    if (!CheckFields()) return;
    EntryChange change;
    const TimeFieldTexts texts = FieldTexts();
    if (texts != shownTime_) {
        int badTag = 3;
        change.modified = LocalTimeOfFields(texts, &badTag);
        if (!change.modified) {
            // Nothing is changed, the attributes neither.
            fields_[static_cast<std::size_t>(badTag - 1)]->setFocus();
            messages_.Tell(NoSuchTimeMessage(texts), kInputErrorCaption, MessageIcon::Error);
            return;
        }
    }
    if (CheckBox1->isChecked() != shownReadOnly_) change.readOnly = CheckBox1->isChecked();
    const Status applied = ApplyEntryChange(path_, change);
    if (!applied)
        messages_.Tell(applied.message, DefaultCaption(MessageIcon::Error), MessageIcon::Error);
    if (refreshList_) refreshList_();
    accept();
}

}  // namespace wexal
