#include "seams/qt_transfer_host.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <thread>

#include "main_window/mainunit1.h"
#include "dialogs/autono.h"

namespace wexal {

namespace {

constexpr const char* kLampMark = " ●";
constexpr const char* kLampOff = " ○";
constexpr int kRefreshMs = 500;

// The width of the bar's filled part for a value, near enough to tell
// whether a step shows.
int FilledPixels(const QProgressBar* bar, int value) {
    const qint64 span = qint64(bar->maximum()) - bar->minimum();
    if (span <= 0) return 0;
    return static_cast<int>((qint64(value) - bar->minimum()) * bar->width() / span);
}

}  // namespace

void ShowDsrLamp(QLineEdit* lamp, bool on) {
    const QColor colour = on ? Qt::blue : Qt::red;
    if (lamp->text() != QString::fromUtf8(kLampMark)) lamp->setText(QString::fromUtf8(kLampMark));
    if (lamp->palette().color(QPalette::Text) == colour) return;
    QPalette pal = lamp->palette();
    pal.setColor(QPalette::Text, colour);
    lamp->setPalette(pal);
}

void ShowCtsLamp(QLineEdit* lamp, bool on) {
    const QString text = QString::fromUtf8(on ? kLampMark : kLampOff);
    if (lamp->text() != text) lamp->setText(text);
}

QtTransferHost::QtTransferHost(TForm1* form, MessageService& messages)
    : form_(form), messages_(messages) {
    qApp->installEventFilter(this);
    refreshTimer_.setSingleShot(true);
    refreshTimer_.setInterval(kRefreshMs);
    connect(&refreshTimer_, &QTimer::timeout, this, [this] {
        ShowProgress();
        emit Refresh();
    });
}

QtTransferHost::~QtTransferHost() {
    if (qApp) qApp->removeEventFilter(this);
}

QtTransferHost::KeyState* QtTransferHost::StateOf(int key) {
    if (key == Qt::Key_F3) return &f3_;
    if (key == Qt::Key_Escape) return &esc_;
    return nullptr;
}

bool QtTransferHost::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (type == QEvent::ApplicationDeactivate) {
        // A key let go in another window never reports its release here.
        f3_.held = esc_.held = false;
        f3_.swallow = esc_.swallow = false;
    }
    if (type != QEvent::KeyPress && type != QEvent::KeyRelease) {
        return QObject::eventFilter(watched, event);
    }
    auto* key = static_cast<QKeyEvent*>(event);
    KeyState* state = StateOf(key->key());
    if (!state) return QObject::eventFilter(watched, event);
    // One key event may pass here for several objects on its way; the
    // flags are the same each time.
    if (type == QEvent::KeyPress) {
        if (state->swallow) return true;
        state->held = true;
        if (!key->isAutoRepeat()) state->pressed = true;
        return false;
    }
    if (key->isAutoRepeat()) return state->swallow;
    state->held = false;
    if (state->swallow) {
        state->swallow = false;
        return true;
    }
    return false;
}

void QtTransferHost::ProcessPendingEvents() {
    // The engines ask once a byte. Each round may repaint the window, which
    // costs more than many bytes; 25 rounds a second still take a key or a
    // click as soon as a person could tell.
    constexpr qint64 kEventIntervalMs = 40;
    if (sinceEvents_.isValid() && sinceEvents_.elapsed() < kEventIntervalMs) return;
    QCoreApplication::processEvents();
    sinceEvents_.start();
}

bool QtTransferHost::AbortKeyDown() { return f3_.held || esc_.held; }

bool QtTransferHost::AbortKeyPressed() {
    const bool pressed = stopPending_ || f3_.held || esc_.held || f3_.pressed || esc_.pressed;
    f3_.pressed = esc_.pressed = false;
    return pressed;
}

void QtTransferHost::ReleaseAbortKeys() {
    stopPending_ = false;
    for (KeyState* state : {&f3_, &esc_}) {
        state->swallow = state->held;
        state->held = false;
        state->pressed = false;
    }
}

// The lamps are compared with what they show, not with what was last set
// here: the idle display sets them too, and a remembered state would keep
// an unchanged line from being drawn again after it.
void QtTransferHost::SetDsrLamp(bool on) { ShowDsrLamp(form_->LabeledEdit1, on); }

void QtTransferHost::SetCtsLamp(bool on) { ShowCtsLamp(form_->LabeledEdit2, on); }

void QtTransferHost::SetStatusPanel(int index, const std::string& text) {
    form_->SetStatusPanel(index, QString::fromStdString(text));
}

void QtTransferHost::SetProgressRange(int maximum) { form_->ProgressBar1->setRange(0, maximum); }

void QtTransferHost::SetProgressPosition(int position) {
    progress_ = position;
    // The start and the end of a range are shown at once.
    if (position == 0 || position >= form_->ProgressBar1->maximum()) {
        ShowProgress();
    } else {
        ScheduleRefresh();
    }
}

void QtTransferHost::ScheduleRefresh() {
    if (!refreshTimer_.isActive()) refreshTimer_.start();
}

void QtTransferHost::ShowProgress() {
    QProgressBar* bar = form_->ProgressBar1;
    if (bar->value() == progress_) return;
    // A step too small to show is not drawn (in a long send most are not);
    // one that shows is held back and painted with the rest of the window
    // rather than at once.
    if (FilledPixels(bar, bar->value()) == FilledPixels(bar, progress_)) {
        bar->setValue(progress_);
        return;
    }
    bar->setUpdatesEnabled(false);
    bar->setValue(progress_);
    bar->setUpdatesEnabled(true);
    bar->update();
}

void QtTransferHost::SetMessageLine(const std::string& text, MessageLineColour colour) {
    // Where no window can be seen, how the transfer ended is read here.
    if (messages_.Unattended()) PrintMessage(text, kProgramName, MessageIcon::None);
    form_->SetMessage(QString::fromStdString(text), colour == MessageLineColour::Red);
}

void QtTransferHost::Sleep(std::chrono::microseconds duration) {
    std::this_thread::sleep_for(duration);
}

std::optional<std::string> QtTransferHost::AskAutoSelectNumber() {
    // Nobody can type a number where no window can be shown.
    if (messages_.Unattended()) return std::nullopt;
    if (!autoForm_) autoForm_ = std::make_unique<TAutoForm>(form_, messages_);
    if (autoForm_->exec() != QDialog::Accepted) return std::nullopt;
    return autoForm_->number();
}

}  // namespace wexal
