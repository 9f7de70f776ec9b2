#include "main_window/transfer_panel.h"

#include <QCoreApplication>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QTimer>

#include "programs/program_text.h"
#include "main_window/mainunit1.h"
#include "main_window/program_view.h"
#include "seams/qt_transfer_host.h"
#include "main_window/file_list_box.h"
#include "platform/text_codec.h"

namespace wexal {

namespace {

constexpr const char* kFooter = "                         F3 :中止(Esc)";
constexpr const char* kAbortedLine = "操作中止!!";
constexpr int kViewTop = 20;
constexpr int kViewHeight = 222;
constexpr int kQueueWidth = 150;
// Label16's band that acts as F3.
constexpr int kFooterBandLeft = 220;
constexpr int kFooterBandRight = 340;
constexpr const char* kQueueName = "送信ファイル";
constexpr const char* kProgramListName = "プログラム番号";

QLabel* MakePanelLabel(QWidget* parent, const char* name, const QFont& font) {
    auto* label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setFont(font);
    label->setTextFormat(Qt::PlainText);
    QPalette pal = label->palette();
    pal.setColor(QPalette::WindowText, Qt::white);
    label->setPalette(pal);
    return label;
}

}  // namespace

TransferPanel::TransferPanel(TForm1& form, QtTransferHost& host)
    : QObject(&form), form_(form), host_(host) {
    QGroupBox* box = form_.GroupBox2;
    QPlainTextEdit* view = form_.RichEdit1;
    // One block is one line, so scrolling by lines is scrolling by blocks.
    view->setLineWrapMode(QPlainTextEdit::NoWrap);
    view->setAccessibleName(box->title());

    ListBox2 = new QListWidget(box);
    ListBox2->setObjectName(QStringLiteral("ListBox2"));
    ListBox2->setFont(view->font());
    ListBox2->setFocusPolicy(Qt::NoFocus);
    ListBox2->setAccessibleName(QString::fromUtf8(kQueueName));
    ListBox2->hide();

    Label17 = MakePanelLabel(box, "Label17", view->font());
    Label16 = MakePanelLabel(box, "Label16", view->font());
    Label16->setText(QString::fromUtf8(kFooter));
    Label16->setCursor(Qt::PointingHandCursor);

    ProgramView1 = new ProgramView(box);
    ProgramView1->setObjectName(QStringLiteral("ProgramView1"));
    ProgramView1->setFont(view->font());
    ProgramView1->setGeometry(view->geometry());
    ProgramView1->hide();
    connect(ProgramView1, &ProgramView::FileTrouble, this,
            [this](const QString& text) { TellFileTrouble(text); });

    view->installEventFilter(this);
    ProgramView1->installEventFilter(this);
    Label16->installEventFilter(this);
    box->installEventFilter(this);
    connect(form_.Timer2, &QTimer::timeout, this, [this] { form_.Timer2Timer(); });
    connect(&host_, &QtTransferHost::Refresh, this, [this] { ShowPendingLines(); });
}

void TransferPanel::Show(const char* caption, Place place, const QColor& colour, bool withQueue) {
    QGroupBox* box = form_.GroupBox2;
    box->setTitle(QString::fromUtf8(caption));
    box->setGeometry(place.left, place.top, place.width, box->height());
    QPalette pal = box->palette();
    pal.setColor(QPalette::Window, colour);
    box->setPalette(pal);
    const int inner = place.width - 16;
    const int viewLeft = withQueue ? 8 + kQueueWidth + 6 : 8;
    ListBox2->setGeometry(8, kViewTop, kQueueWidth, kViewHeight);
    ListBox2->setVisible(withQueue);
    form_.RichEdit1->setGeometry(viewLeft, kViewTop, place.width - 8 - viewLeft, kViewHeight);
    form_.RichEdit1->setAccessibleName(box->title());
    ProgramView1->setGeometry(form_.RichEdit1->geometry());
    ProgramView1->setAccessibleName(box->title());
    Label17->setGeometry(8, kViewTop + kViewHeight + 4, inner, 18);
    Label16->setGeometry(8, kViewTop + kViewHeight + 24, inner, 18);
    box->show();
    box->raise();
}

void TransferPanel::OpenForTransfer(const char* caption, Place place, const QColor& colour,
                                    const std::vector<std::string>& queue) {
    form_.ListBox1->setEnabled(false);
    form_.RichEdit1->setReadOnly(true);
    ListBox2->clear();
    ListBox2->setAccessibleName(QString::fromUtf8(kQueueName));
    for (const std::string& name : queue) ListBox2->addItem(QString::fromStdString(name));
    if (!queue.empty()) ListBox2->setCurrentRow(0);
    Label17->clear();
    Label17->show();
    ShowProgramView(true);
    Show(caption, place, colour, !queue.empty());
    ProgramView1->setFocus();
}

void TransferPanel::ShowProgramView(bool program) {
    ProgramView1->setVisible(program);
    form_.RichEdit1->setVisible(!program);
}

void TransferPanel::OpenViewer(const char* caption, const std::string& text) {
    form_.ListBox1->setEnabled(false);
    form_.RichEdit1->setReadOnly(true);
    Label17->hide();
    ShowProgramView(false);
    Show(caption, {328, 100, 350}, QColor(0x00, 0x80, 0x80), false);
    form_.RichEdit1->setPlainText(QString::fromStdString(text));
    form_.SetStatusPanel(3, QString::fromUtf8(caption));
    form_.RichEdit1->setFocus();
}

void TransferPanel::OpenProgramViewer(const char* caption) {
    form_.ListBox1->setEnabled(false);
    Label17->hide();
    ProgramView1->Clear();
    ShowProgramView(true);
    Show(caption, {328, 100, 350}, QColor(0x00, 0x80, 0x80), false);
    form_.SetStatusPanel(3, QString::fromUtf8(caption));
    ProgramView1->setFocus();
}

void TransferPanel::ShowProgram(std::shared_ptr<const ProgramText> program) {
    ProgramView1->SetProgram(std::move(program));
    ProgramView1->ShowTop();
}

void TransferPanel::TellFileTrouble(const QString& text) {
    // During a send the engine itself stops on a changed file and says so.
    if (!ViewerOpen() || running_) return;
    form_.SetMessage(QString(text).replace(QLatin1Char('\n'), QLatin1Char(' ')), true);
}

bool TransferPanel::ViewerOpen() const {
    if (!form_.GroupBox2->isVisible()) return false;
    const QString caption = form_.GroupBox2->title();
    return caption == QString::fromUtf8(kTransferLogCaption) ||
           caption == QString::fromUtf8(kFileViewCaption);
}

void TransferPanel::BeginTransfer() {
    running_ = true;
    stop_ = false;
    closeAfter_ = false;
    // F3 or Esc pressed before the transfer (leaving a view, say) is no abort.
    host_.ReleaseAbortKeys();
}

bool TransferPanel::EndTransfer() {
    running_ = false;
    stop_ = false;
    host_.ReleaseAbortKeys();
    const bool close = closeAfter_;
    closeAfter_ = false;
    return close;
}

void TransferPanel::RequestStop() {
    closeAfter_ = true;
    if (stop_) return;
    stop_ = true;
    host_.RequestStop();
}

bool TransferPanel::StopRequested() {
    // The engine now takes its abort path, whose DC4 must not be held up by
    // the press that stood for the stop.
    if (stop_) host_.ReleaseAbortKeys();
    return stop_;
}

void TransferPanel::CloseMainWindow() { closeAfter_ = true; }

void TransferPanel::ShowView(const SendView& view) {
    ProgramView1->SetProgram(view.program());
    sentPath_ = view.program() ? view.program()->file().path() : std::string();
}

void TransferPanel::ClearView() {
    pendingLines_.clear();
    form_.RichEdit1->clear();
    ProgramView1->Clear();
}

void TransferPanel::ShowViewTop() { ProgramView1->ShowTop(); }

void TransferPanel::HighlightLine(std::size_t index) {
    ProgramView1->HighlightLine(index);
    emit LineSent(sentPath_, index);
}

void TransferPanel::HighlightQueueEntry(int position) { ListBox2->setCurrentRow(position - 1); }

void TransferPanel::SetRemainingLine(const std::string& text) {
    Label17->setText(QString::fromStdString(text));
}

void TransferPanel::ShowRemainingLine() { Label17->show(); }

void TransferPanel::HideTransferPanel() { form_.GroupBox2->hide(); }

void TransferPanel::EnableFileList() {
    form_.ListBox1->setEnabled(true);
    form_.ListBox1->setFocus();
}

void TransferPanel::Repaint() {
    if (ProgramView1->isVisible()) {
        ProgramView1->viewport()->repaint();
    } else {
        form_.RichEdit1->repaint();
    }
    form_.StatusBar2->repaint();
    form_.Label7->repaint();
}

void TransferPanel::StartEstimateTimer() { form_.Timer2->start(10000); }

void TransferPanel::StopEstimateTimer() { form_.Timer2->stop(); }

void TransferPanel::StartIdleTimer(std::chrono::milliseconds delay) {
    form_.Timer1->start(static_cast<int>(delay.count()));
}

void TransferPanel::ShowReceivePanel() {
    form_.RichEdit1->setReadOnly(true);
    ShowProgramView(false);
    ListBox2->clear();
    ListBox2->setAccessibleName(QString::fromUtf8(kProgramListName));
    Label17->hide();
    // The program list stands beside the view from the start, empty until
    // the first program number arrives.
    Show(kReceivePanelCaption, {kReceivePanelLeft, kReceivePanelTop, kReceivePanelWidth},
         QColor::fromRgb(kReceivePanelColour), true);
}

void TransferPanel::HideReceivePanel() {
    ShowPendingLines();
    form_.GroupBox2->hide();
}

void TransferPanel::DisableInputLine() {
    form_.Edit1->clear();
    form_.Edit1->setEnabled(false);
}

void TransferPanel::FocusView() {
    form_.RichEdit1->setFocus();
    form_.RichEdit1->repaint();
    form_.StatusBar2->repaint();
    form_.Label6->repaint();
}

void TransferPanel::AddViewLine(const std::string& line) {
    // Received lines hold only the accepted characters, all of them ASCII.
    pendingLines_.append(QString::fromLatin1(line.data(), static_cast<qsizetype>(line.size())));
    host_.ScheduleRefresh();
}

void TransferPanel::ShowPendingLines() {
    if (pendingLines_.isEmpty()) return;
    form_.RichEdit1->appendPlainText(pendingLines_.join(QLatin1Char('\n')));
    pendingLines_.clear();
}

void TransferPanel::AddProgramLine(const std::string& line) {
    ListBox2->addItem(QString::fromLatin1(line.data(), static_cast<qsizetype>(line.size())));
    ListBox2->setCurrentRow(ListBox2->count() - 1);
    ListBox2->repaint();
}

void TransferPanel::StartIdleTimer(int milliseconds, bool refreshList) {
    if (refreshList) form_.listRefreshPending = true;
    form_.Timer1->start(milliseconds);
}

bool TransferPanel::CloseRequested() { return stop_; }

bool TransferPanel::eventFilter(QObject* watched, QEvent* event) {
    if ((watched == form_.RichEdit1 || watched == ProgramView1) &&
        event->type() == QEvent::KeyPress) {
        return RichEdit1KeyDown(*static_cast<QKeyEvent*>(event));
    }
    // The panel put away lets go of the file on show, however it was put away.
    if (watched == form_.GroupBox2 && event->type() == QEvent::Hide && form_.GroupBox2->isHidden()) {
        ProgramView1->Clear();
    }
    if (watched == Label16 && event->type() == QEvent::MouseButtonPress) {
        Label16Click(static_cast<QMouseEvent*>(event)->position().toPoint().x());
        return true;
    }
    return QObject::eventFilter(watched, event);
}

bool TransferPanel::RichEdit1KeyDown(const QKeyEvent& event) {
    if (event.key() != Qt::Key_F3 && event.key() != Qt::Key_Escape) return false;
    // During a transfer the same keys abort it; the engine sees them itself.
    if (running_ || !ViewerOpen()) return false;
    form_.RichEdit1->clear();
    ProgramView1->Clear();
    form_.GroupBox2->hide();
    form_.SetMessage(QString::fromUtf8(kAbortedLine), true);
    form_.Timer1->start(1000);
    EnableFileList();
    form_.SetStatusPanel(2, QString());
    host_.ReleaseAbortKeys();
    return true;
}

void TransferPanel::Label16Click(int x) {
    if (x < kFooterBandLeft || x > kFooterBandRight) return;
    // A press and its release: the press is remembered until the engine asks,
    // and no key stays held that nobody will let go.
    QWidget* target = ProgramView1->isVisible() ? static_cast<QWidget*>(ProgramView1)
                                                : static_cast<QWidget*>(form_.RichEdit1);
    QCoreApplication::postEvent(target,
                                new QKeyEvent(QEvent::KeyPress, Qt::Key_F3, Qt::NoModifier));
    QCoreApplication::postEvent(target,
                                new QKeyEvent(QEvent::KeyRelease, Qt::Key_F3, Qt::NoModifier));
}

}  // namespace wexal
