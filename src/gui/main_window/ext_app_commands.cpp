#include "main_window/ext_app_commands.h"

#include <QAction>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPainter>

#include "main_window/mainunit1.h"
#include "seams/widget_style.h"
#include "dialogs/appopen.h"
#include "dialogs/editapp.h"
#include "extapps/launch_command.h"
#include "dialogs/outapp.h"
#include "main_window/file_list_box.h"
#include "platform/launch_program.h"
#include "platform/path_rules.h"

namespace wexal {

namespace {

constexpr int kFirstTag = 2;
// Fourteen lines of the 16-pixel font fill the overview; the font's own line
// spacing would leave the last ones out.
constexpr int kOverviewLinePitch = 16;

// A column of the overview: its lines drawn kOverviewLinePitch apart.
class OverviewLabel : public QLabel {
public:
    using QLabel::QLabel;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setFont(font());
        painter.setPen(palette().color(QPalette::WindowText));
        int baseline = QFontMetrics(font()).ascent();
        for (const QString& line : text().split(QLatin1Char('\n'))) {
            painter.drawText(0, baseline, line);
            baseline += kOverviewLinePitch;
        }
    }
};

QLabel* MakeOverviewLabel(QWidget* parent, const char* name, QRect geometry) {
    auto* label = new OverviewLabel(parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setGeometry(geometry);
    label->setFont(MonoFont(16));
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Paint(label, Qt::white, Qt::black);
    return label;
}

}  // namespace

ExtAppCommands::ExtAppCommands(TForm1& form) : form_(form) {
    QGroupBox* box = form_.GroupBox5;
    box->setAccessibleName(QStringLiteral("外部ｱﾌﾟﾘ"));
    Label30 = MakeOverviewLabel(box, "Label30", {8, 4, 250, 14 * kOverviewLinePitch});
    Label31 = MakeOverviewLabel(box, "Label31",
                                {262, 4 + kOverviewLinePitch, 248, 13 * kOverviewLinePitch});

    PopupMenu1 = new QMenu(&form_);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    for (int i = 0; i < static_cast<int>(Menu_out.size()); ++i) {
        const QChar letter('A' + i);
        auto* item = new QAction(QStringLiteral("外部ｱﾌﾟﾘ") + letter, PopupMenu1);
        item->setObjectName(QStringLiteral("Menu_out") + letter.toLower());
        item->setShortcut(QKeySequence(Qt::ALT | static_cast<Qt::Key>(Qt::Key_A + i)));
        // Only while the list has the focus, as a menu of the list.
        item->setShortcutContext(Qt::WidgetShortcut);
        item->setData(kFirstTag + i);
        connect(item, &QAction::triggered, this,
                [this, item] { Menu_outaClick(item->data().toInt()); });
        PopupMenu1->addAction(item);
        Menu_out[static_cast<std::size_t>(i)] = item;
    }

    outAppForm_ = new TOutAppForm(
        &form_, [this](const std::vector<std::string>& argv) { Start(argv); },
        [this] { StepAside(); });
    appopenForm_ = new TAppopenForm(&form_, form_.settings_, [this] { StepAside(); });
    editAppForm_ = new TEditAppForm(&form_, form_.settings_);

    // Installed after the list's own key handler, so this one sees a key first.
    form_.ListBox1->installEventFilter(this);
}

ExtAppCommands::~ExtAppCommands() = default;

bool ExtAppCommands::eventFilter(QObject* watched, QEvent* event) {
    if (watched == form_.ListBox1) {
        if (event->type() == QEvent::KeyPress &&
            static_cast<QKeyEvent*>(event)->key() == Qt::Key_Alt && !altPanelShown_) {
            ShowAltPanel();
        } else if (event->type() == QEvent::KeyRelease) {
            HideAltPanel();
        }
    }
    return QObject::eventFilter(watched, event);
}

void ExtAppCommands::ShowAltPanel() {
    const Settings& settings = form_.settings_;
    Label30->setText(QString::fromStdString(AltOverviewLeft(settings)));
    Label31->setText(QString::fromStdString(AltOverviewRight(settings)));
    for (QLabel* label : {Label30, Label31}) label->setAccessibleName(label->text());
    form_.GroupBox5->raise();
    form_.GroupBox5->show();
    for (QAction* item : Menu_out) form_.ListBox1->addAction(item);
    altPanelShown_ = true;
}

void ExtAppCommands::HideAltPanel() {
    form_.GroupBox5->hide();
    for (QAction* item : Menu_out) form_.ListBox1->removeAction(item);
    altPanelShown_ = false;
}

void ExtAppCommands::Menu_outaClick(int tag) {
    const int index = tag - kFirstTag;
    if (index < 0 || index >= static_cast<int>(Menu_out.size())) return;
    LaunchExternalApp(static_cast<char>('A' + index));
}

std::optional<std::string> ExtAppCommands::SelectedFile() const {
    const FileListModel& list = form_.fileList_;
    const int cursor = list.Cursor();
    if (list.KindOfRow(cursor) != RowKind::File) return std::nullopt;
    return PathRules::Join(form_.settings_.DirPath, list.FileNameOfRow(cursor));
}

void ExtAppCommands::ShowSelectOneFile() const {
    // The box E gives on any row but a file.
    CheckCommand(ListCommand::Editor, RowKind::None, 0, false).box.Show(*form_.messages_);
}

void ExtAppCommands::Report(const Status& started) {
    if (started) return;
    const std::string& message = started.message;
    const std::string firstLine = message.substr(0, message.find('\n'));
    form_.SetMessage(QString::fromStdString(firstLine), true);
}

void ExtAppCommands::Start(const std::vector<std::string>& argv) {
    if (argv.empty()) return;
    Report(LaunchProgram(argv.front(), {argv.begin() + 1, argv.end()}));
}

void ExtAppCommands::StepAside() {
    form_.GroupBox1->hide();
    HideAltPanel();
}

void ExtAppCommands::OpenInEditor() {
    const std::optional<std::string> file = SelectedFile();
    if (!file) {
        ShowSelectOneFile();
        return;
    }
    const std::string& editor = form_.settings_.EditApp;
    if (FindProgram(editor)) {
        Report(LaunchProgram(editor, {*file}));
    } else {
        // The desktop's own choice for the file, its text editor as a rule.
        Report(OpenWithAssociation(*file));
    }
}

void ExtAppCommands::OpenWithShell() {
    if (const std::optional<std::string> file = SelectedFile()) {
        Report(OpenWithAssociation(*file));
    }
}

void ExtAppCommands::LaunchExternalApp(char letter) {
    HideAltPanel();
    const std::optional<std::string> file = SelectedFile();
    if (!file) {
        ShowSelectOneFile();
        return;
    }
    const OutAppEntry& entry = form_.settings_.OutApp[static_cast<std::size_t>(letter - 'A')];
    const std::string program = CommandProgram(entry.Command);
    if (!FindProgram(program)) return;
    if (PassesFile(entry)) {
        const FileListModel& list = form_.fileList_;
        const FilePlaceholders values =
            PlaceholdersOf(form_.settings_.DirPath, list.FileNameOfRow(list.Cursor()));
        outAppForm_->Open(entry.Name, entry.Command, PrefillArgument(entry.Command, values));
    } else {
        Report(LaunchProgram(program, {}));
    }
}

void ExtAppCommands::OpenEditorSettings() {
    HideAltPanel();
    editAppForm_->show();
}

void ExtAppCommands::OpenExtAppSettings() {
    HideAltPanel();
    appopenForm_->show();
}

}  // namespace wexal
