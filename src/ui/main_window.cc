#include "ui/main_window.h"

#include <QComboBox>
#include <QFont>
#include <QGuiApplication>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QSignalBlocker>

#include "model/blocks.h"
#include "protocol/engine.h"
#include "ui/about_box.h"
#include "ui/block_diagram.h"
#include "ui/detail_window.h"
#include "ui/focus_ring.h"
#include "ui/progress_box.h"
#include "ui/response_graph.h"
#include "ui/response_views.h"
#include "ui/tab_order.h"
#include "ui/top_bar.h"
#include "ui/widget_colors.h"

namespace veltrane {
namespace {

// Client area that gives the 985 x 694 outer size with a single border and a caption.
constexpr int kClientWidth = 977;
constexpr int kClientHeight = 665;
constexpr int kOuterWidth = 985;
constexpr int kOuterHeight = 694;

QString FromView(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

MainWindow::MainWindow(ParameterModel& model, TimerHost& timers, EditorState& state,
                       QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint),
      model_(model),
      timers_(timers),
      state_(state) {
  setObjectName(QStringLiteral("TForm1"));
  setWindowTitle(QStringLiteral("VELTRANE PROCESSOR"));
  setFixedSize(kClientWidth, kClientHeight);
  SetFillColor(this, kWindowGrey);
  QPalette text = palette();
  text.setColor(QPalette::WindowText, Qt::white);
  setPalette(text);

  top_bar_ = new TopBar(this);
  top_bar_->setGeometry(0, 0, kClientWidth, 73);
  BuildGraphArea();
  diagram_ = new BlockDiagram(this);
  diagram_->setGeometry(0, 368, 969, 369);

  BuildHiddenLists();
  BuildProgressBoxes();
  AddAboutAction(this);

  status_line_ = new QLabel(this);
  status_line_->setObjectName(QStringLiteral("StatusLine"));
  status_line_->setGeometry(392, 632, 570, 24);
  new FocusRing(this);

  WireControls();
  CentreOnScreen();
}

// The link layer's bookkeeping: never shown, kept where support can find it.
void MainWindow::BuildHiddenLists() {
  history_list_ = new QListWidget(this);
  history_list_->setObjectName(QStringLiteral("HistoryListBox"));
  history_list_->hide();
  device_list_ = new QListWidget(this);
  device_list_->setObjectName(QStringLiteral("DevListBox"));
  device_list_->hide();
  hid_status_ = new QLabel(QStringLiteral("接到回复数据时显示已连上"), this);
  hid_status_->setObjectName(QStringLiteral("HidStatusLabel"));
  hid_status_->hide();
}

void MainWindow::BuildProgressBoxes() {
  connecting_box_ = new ProgressBox(QString::fromLatin1(kConnectingCaption), this);
  connecting_box_->setObjectName(QStringLiteral("ConnectingBox"));
  connecting_box_->move((kClientWidth - connecting_box_->width()) / 2,
                        (kClientHeight - connecting_box_->height()) / 2);
  transfer_box_ = new ProgressBox(QString::fromLatin1(kTransferCaption), this);
  transfer_box_->setObjectName(QStringLiteral("TransferBox"));
  transfer_box_->move(307, 317);
}

// The strips, the legend and the top bar's connect and device controls.
void MainWindow::WireControls() {
  for (int channel = 0; channel < kChannelCount; ++channel) {
    connect(diagram_->Strip(channel), &ChannelStrip::Clicked, this, &MainWindow::OnStripClicked);
  }
  connect(top_bar_->Legend(), &ChannelLegend::CurveToggled, graph_,
          &ResponseGraph::SetCurveVisible);
  connect(graph_, &ResponseGraph::LegendEnabledChanged, top_bar_->Legend(),
          &ChannelLegend::SetBoxesEnabled);
  connect(top_bar_->ConnectButton(), &QPushButton::clicked, this, [this] {
    if (engine_ != nullptr) engine_->ConnectButtonClicked();
  });
  // Only a user's pick changes DeviceId; a settings reply selects without it.
  connect(top_bar_->DeviceIdList(), &QComboBox::activated, this, [this](int index) {
    if (engine_ != nullptr && index >= 0) engine_->SetDeviceId(static_cast<std::uint8_t>(index));
  });
}

void MainWindow::CentreOnScreen() {
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect desktop = screen->availableGeometry();
    // The frame is not known before the first show, so centre the size it will have:
    // centring the client area alone leaves the window low and to the right.
    move(desktop.center() - QPoint(kOuterWidth / 2, kOuterHeight / 2));
  }
}

MainWindow::~MainWindow() = default;

void MainWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  ApplyReadingTabOrder(this);
}

void MainWindow::BuildGraphArea() {
  graph_area_ = new QWidget(this);
  graph_area_->setObjectName(QStringLiteral("GraphPanel"));
  graph_area_->setGeometry(8, 76, 961, 287);

  graph_ = new ResponseGraph(model_, state_, graph_area_);
  graph_->move(10, 24);

  title_label_ = new QLabel(graph_->Title(), graph_area_);
  title_label_->setObjectName(QStringLiteral("TitleLabel"));
  title_label_->setGeometry(10, 1, kGraphWidth, 22);
  title_label_->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
  QFont title_font(QStringLiteral("Arial"));
  title_font.setPixelSize(16);
  title_label_->setFont(title_font);
  QPalette red = title_label_->palette();
  red.setColor(QPalette::WindowText, kActiveRed);
  title_label_->setPalette(red);
  connect(graph_, &ResponseGraph::TitleChanged, title_label_, &QLabel::setText);

  lock_label_ = new QLabel(QStringLiteral("LOCK"), graph_area_);
  lock_label_->setObjectName(QStringLiteral("LockLabel"));
  lock_label_->setGeometry(10, 24, kGraphWidth, kGraphHeight);
  lock_label_->setAlignment(Qt::AlignCenter);
  QFont lock_font(QStringLiteral("Arial"));
  lock_font.setPixelSize(72);
  lock_font.setBold(true);
  lock_label_->setFont(lock_font);
  lock_label_->setPalette(red);
  lock_label_->hide();

  // Left of the title, above the graph's level labels.
  views_ = std::make_unique<ResponseViews>();
  graph_->SetViews(views_.get());
  view_bar_ = new GraphViewBar(*views_, graph_area_);
  view_bar_->setGeometry(10, 0, 360, 24);
  view_bar_->raise();
  connect(view_bar_, &GraphViewBar::Changed, graph_, &ResponseGraph::RefreshView);
}

void MainWindow::AttachEngine(ProtocolEngine* engine) {
  engine_ = engine;
  graph_->SetSlotSink(engine);
  if (detail_ != nullptr) detail_->AttachSink(engine);
  if (engine_ != nullptr) {
    engine_->SetDeviceId(static_cast<std::uint8_t>(top_bar_->DeviceIdList()->currentIndex()));
  }
}

void MainWindow::AttachDetailWindow(DetailWindow* detail) {
  detail_ = detail;
  graph_->SetBandFieldSink(detail);
  if (detail_ != nullptr) {
    detail_->AttachGraph(graph_);
    detail_->AttachMainPanels(this);
    detail_->AttachSink(engine_);
    detail_->AttachEditHistory(history_);
  }
}

void MainWindow::AttachEditHistory(EditHistory* history) {
  history_ = history;
  graph_->SetEditHistory(history);
  if (detail_ != nullptr) detail_->AttachEditHistory(history);
}

void MainWindow::SetMessageHandler(std::function<void(const QString&)> handler) {
  message_handler_ = std::move(handler);
}

void MainWindow::ShowStatusText(const QString& text) { status_line_->setText(text); }

void MainWindow::ShowMessage(std::string_view text) { ShowMessageWithNote(text, {}); }

void MainWindow::ShowMessageWithNote(std::string_view text, std::string_view note) {
  const QString message = FromView(text);
  if (message_handler_) {
    message_handler_(message);
    return;
  }
  // Modal for the user, but not a nested event loop: the message is asked for from inside
  // the protocol's handlers, which must not be re-entered while the box is open.
  auto* box = new QMessageBox(QMessageBox::NoIcon, windowTitle(), message, QMessageBox::Ok, this);
  if (!note.empty()) {
    box->setInformativeText(FromView(note));
    // A smaller second line under the fixed text. The box takes its width from the main
    // text, which would squeeze the note into a narrow column.
    if (auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel"))) {
      QFont smaller = label->font();
      if (smaller.pointSizeF() > 0) smaller.setPointSizeF(smaller.pointSizeF() * 0.9);
      label->setFont(smaller);
      label->setMinimumWidth(360);
    }
  }
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->setWindowModality(Qt::ApplicationModal);
  box->show();
}

void MainWindow::SetConnectCaption(std::string_view caption) {
  top_bar_->ConnectButton()->setText(FromView(caption));
}

void MainWindow::SetLamp(bool connected) {
  top_bar_->SetLamp(connected);
  if (connected != lamp_connected_) {
    lamp_connected_ = connected;
    status_line_->clear();  // what it said was about the connection before
    emit ConnectionShown(connected);
  }
}

void MainWindow::ShowConnectingBox(bool shown) {
  connecting_box_->setVisible(shown);
  if (shown) connecting_box_->raise();
}

void MainWindow::SetConnectingProgress(int percent) { connecting_box_->SetPercent(percent); }

void MainWindow::SetPanelsEnabled(bool enabled) {
  graph_area_->setEnabled(enabled);
  top_bar_->setEnabled(enabled);
  diagram_->setEnabled(enabled);
}

void MainWindow::SetPortListsEnabled(bool enabled) {
  top_bar_->PortList()->setEnabled(enabled);
  top_bar_->DeviceIdList()->setEnabled(enabled);
}

void MainWindow::HideDetailWindow() {
  if (detail_ != nullptr) detail_->hide();
}

void MainWindow::ApplyModelToControls() {
  // Band and crossover fields, the graph, sliders and lists, then the strips. Each part
  // only reads the model, so none sees another half-refreshed. Nothing here queues a
  // frame: the detail window sets its controls without their change handlers, and the
  // graph and the strips never send.
  if (detail_ != nullptr) detail_->ApplyBandsAndCrossovers();
  graph_->FullRecompute();
  if (detail_ != nullptr) detail_->ApplySlidersAndLists();
  ShowStripsFromModel();
}

void MainWindow::ResetEditingState() {
  if (detail_ != nullptr) detail_->ResetSelectedChannel();
  graph_->EndDrag();
}

void MainWindow::SetResetLock(bool locked) {
  graph_area_->setEnabled(!locked);
  top_bar_->setEnabled(!locked);
  diagram_->setEnabled(!locked);
}

QComboBox* MainWindow::PortList() const { return top_bar_->PortList(); }
QComboBox* MainWindow::DeviceIdList() const { return top_bar_->DeviceIdList(); }

void MainWindow::OnStripClicked(int channel, StripButton button) {
  switch (button) {
    case StripButton::kMute:
      ToggleMute(channel);
      return;
    case StripButton::kPolarity:
      TogglePolarity(channel);
      return;
    default:
      break;
  }
  if (detail_ == nullptr) return;
  if (!detail_->isVisible()) PlaceDetailWindow();
  switch (button) {
    case StripButton::kGain:
      detail_->OpenGainPage();
      break;
    case StripButton::kDelay:
      detail_->OpenDelayPage();
      break;
    case StripButton::kEq:
    case StripButton::kXOver:
      detail_->OpenChannelPage(channel);
      break;
    case StripButton::kLimiter:
      detail_->OpenLimiterPage();
      break;
    case StripButton::kMixer:
      detail_->OpenMixerPage();
      break;
    default:
      break;
  }
}

void MainWindow::PlaceDetailWindow() {
  const QRect graph(graph_->mapToGlobal(QPoint(0, 0)), graph_->size());
  const QScreen* screen = QGuiApplication::screenAt(graph.center());
  if (screen == nullptr) screen = this->screen();
  if (screen == nullptr) return;
  // Before its first show the detail window knows no frame of its own; this window's is
  // the closest guess.
  QSize frame = detail_->frameGeometry().size();
  if (frame == detail_->size()) frame += frameGeometry().size() - size();
  detail_->move(DetailWindowPosition(graph, frame, screen->availableGeometry()));
}

void MainWindow::ToggleMute(int channel) {
  const EditHistory::Scope edit(history_);
  ChannelParams& params = model_.channels[channel];
  // Any value but 0 counts as muted here, so an odd value from an image unmutes.
  if (params.mute != 0) {
    diagram_->Strip(channel)->ShowMuteColor(kSilver);
    params.mute = 0;
  } else {
    diagram_->Strip(channel)->ShowMuteColor(kActiveRed);
    params.mute = 1;
  }
  graph_->RefreshView();
  if (engine_ != nullptr) SendChannelBlock(model_, channel, *engine_);
}

void MainWindow::TogglePolarity(int channel) {
  const EditHistory::Scope edit(history_);
  ChannelParams& params = model_.channels[channel];
  // Only 1 counts as inverted here, so an odd value from an image inverts.
  const bool was_inverted = params.polarity == 1;
  diagram_->Strip(channel)->ShowPolarity(!was_inverted);
  params.polarity = was_inverted ? 0 : 1;
  graph_->RefreshView();
  if (engine_ != nullptr) SendChannelBlock(model_, channel, *engine_);
}

void MainWindow::ShowStripsFromModel() {
  for (int channel = 0; channel < kChannelCount; ++channel) {
    const ChannelParams& params = model_.channels[channel];
    ChannelStrip* strip = diagram_->Strip(channel);
    strip->ShowMuteColor(params.mute == 1 ? kActiveRed : kLightGrey);
    strip->ShowPolarity(params.polarity != 0);
  }
}

}  // namespace veltrane
