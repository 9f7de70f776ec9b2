#include "dialogs/tool_dialog.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>

#include "seams/field_keys.h"
#include "seams/widget_style.h"
#include "config/option_settings.h"

namespace wexal {

namespace {

// Events are processed this often at most: each round costs far more than
// a line, and a tenth of this is still too fast to see.
constexpr qint64 kEventsEveryMs = 40;

}  // namespace

void CentreOnMainWindow(QDialog& dialog, const QWidget* mainWindow) {
    if (mainWindow == nullptr) return;
    const QRect main = mainWindow->frameGeometry();
    const QRect own = dialog.frameGeometry();
    const Placement at =
        CentreOver(main.x(), main.y(), main.width(), main.height(), own.width(), own.height());
    dialog.move(at.left, at.top);
}

void ShowHistory(QComboBox& box, const std::vector<std::string>& entries) {
    const QString text = box.currentText();
    box.clear();
    for (const std::string& entry : entries) box.addItem(QString::fromStdString(entry));
    box.setEditText(text);
}

bool DialogProgress::Step(std::size_t line) {
    if (!sinceEvents_.isValid() || sinceEvents_.elapsed() >= kEventsEveryMs) {
        bar_.setValue(byBytes_ >= 0 ? byBytes_
                                    : static_cast<int>(std::min<std::size_t>(line, INT32_MAX)));
        QCoreApplication::processEvents();
        sinceEvents_.start();
    }
    return !cancelled_;
}

void DialogProgress::Reached(std::uint64_t done, std::uint64_t total) {
    byBytes_ = total == 0 ? kProgressSteps
                          : static_cast<int>(std::min(done, total) * kProgressSteps / total);
}

void SetUpToolDialog(QDialog& dialog, const char* objectName, const QString& title,
                     QSize size) {
    dialog.setObjectName(QString::fromLatin1(objectName));
    dialog.setWindowTitle(title);
    dialog.setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint);
    dialog.setWindowModality(Qt::ApplicationModal);
    dialog.setFixedSize(size);
    dialog.setFont(MonoFont(13));
}

void WatchHistoryBoxKeys(QComboBox& box, QObject* filter) {
    box.installEventFilter(filter);
    box.lineEdit()->installEventFilter(filter);
}

QComboBox* AddHistoryBox(QDialog& dialog, const ControlPlace& place, QLabel& caption) {
    // Editable before it is placed, so that its line is laid out at once.
    auto* box = new QComboBox(&dialog);
    box->setEditable(true);
    box->setInsertPolicy(QComboBox::NoInsert);
    Place(*box, place);
    caption.setBuddy(box);
    GuardField(box->lineEdit());
    // Folder and file names may be Japanese: the input method stays on, and
    // what it commits passes the same character rule as the keys.
    box->lineEdit()->setAttribute(Qt::WA_InputMethodEnabled, true);
    WatchHistoryBoxKeys(*box, &dialog);
    return box;
}

bool IsHistoryBox(const QObject* watched, const QComboBox& box) {
    return watched == &box || watched == box.lineEdit();
}

namespace {

// Text an input method commits, less what the rule refuses; the first
// refused character is named in a box.
bool FilterCommittedText(QInputMethodEvent& event, const QComboBox& box, const CharRule& rule,
                         MessageService& messages) {
    const QString commit = event.commitString();
    QString kept;
    bool told = false;
    for (const char32_t c : commit.toUcs4()) {
        if (const auto refused = RefusedChar(rule, c)) {
            if (!told) refused->Show(messages);
            told = true;
            continue;
        }
        kept += QString::fromUcs4(&c, 1);
    }
    if (!told) return false;
    QInputMethodEvent filtered(event.preeditString(), event.attributes());
    filtered.setCommitString(kept, event.replacementStart(), event.replacementLength());
    QCoreApplication::sendEvent(box.lineEdit(), &filtered);
    return true;
}

}  // namespace

bool HistoryBoxInput(QEvent& event, const QComboBox& box, const CharRule& rule,
                     MessageService& messages, const std::function<void()>& onEnter) {
    if (event.type() == QEvent::InputMethod) {
        return FilterCommittedText(static_cast<QInputMethodEvent&>(event), box, rule, messages);
    }
    if (event.type() != QEvent::KeyPress) return false;
    const auto& key = static_cast<const QKeyEvent&>(event);
    if (key.key() == Qt::Key_Return || key.key() == Qt::Key_Enter) {
        if (!box.currentText().isEmpty()) onEnter();
        return true;
    }
    if (const std::optional<char32_t> c = TypedChar(key)) {
        if (const auto refused = RefusedChar(rule, *c)) {
            refused->Show(messages);
            return true;
        }
    }
    return false;
}

}  // namespace wexal
