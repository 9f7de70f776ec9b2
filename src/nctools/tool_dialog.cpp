#include "nctools/tool_dialog.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>

#include "app/field_keys.h"
#include "app/widget_style.h"
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
        bar_.setValue(static_cast<int>(std::min<std::size_t>(line, INT32_MAX)));
        QCoreApplication::processEvents();
        sinceEvents_.start();
    }
    return !cancelled_;
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
    // Typed text would otherwise reach the line past the filter through an
    // input method.
    box.setAttribute(Qt::WA_InputMethodEnabled, false);
}

QComboBox* AddHistoryBox(QDialog& dialog, const ControlPlace& place, QLabel& caption) {
    // Editable before it is placed, so that its line is laid out at once.
    auto* box = new QComboBox(&dialog);
    box->setEditable(true);
    box->setInsertPolicy(QComboBox::NoInsert);
    Place(*box, place);
    caption.setBuddy(box);
    GuardField(box->lineEdit());
    WatchHistoryBoxKeys(*box, &dialog);
    return box;
}

bool IsHistoryBox(const QObject* watched, const QComboBox& box) {
    return watched == &box || watched == box.lineEdit();
}

bool HistoryBoxKey(const QKeyEvent& key, const QComboBox& box, const CharRule& rule,
                   MessageService& messages, const std::function<void()>& onEnter) {
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
