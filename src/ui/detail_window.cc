#include "ui/detail_window.h"

#include <QComboBox>
#include <QGroupBox>
#include <QHideEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QShortcut>
#include <QShowEvent>
#include <QTabWidget>
#include <QVBoxLayout>

#include "ui/detail_channel_page.h"
#include "ui/detail_crossover_box.h"
#include "ui/detail_eq_row.h"
#include "ui/detail_level_pages.h"
#include "ui/detail_slider_wheel.h"
#include "ui/focus_ring.h"
#include "ui/progress_box.h"
#include "ui/tab_order.h"
#include "ui/widget_colors.h"

namespace veltrane {

namespace {

constexpr char kShowAll[] = "show all";

QString Caption(int channel) {
  const std::string_view caption = kChannelCaptions[channel];
  return QString::fromLatin1(caption.data(), static_cast<qsizetype>(caption.size()));
}

bool AskYesNo(QWidget* parent, const QString& caption, const QString& text) {
  QMessageBox box(QMessageBox::Warning, caption, text, QMessageBox::Yes | QMessageBox::No, parent);
  box.setDefaultButton(QMessageBox::No);
  return box.exec() == QMessageBox::Yes;
}

}  // namespace

QPoint DetailWindowPosition(const QRect& graph, const QSize& frame, const QRect& available) {
  const auto inside = [&frame, &available](int x, int y) {
    QRect place(QPoint(x, y), frame);
    if (place.right() > available.right()) place.moveRight(available.right());
    if (place.bottom() > available.bottom()) place.moveBottom(available.bottom());
    // A frame larger than the area keeps its title bar on screen.
    if (place.left() < available.left()) place.moveLeft(available.left());
    if (place.top() < available.top()) place.moveTop(available.top());
    return place;
  };
  const QRect places[] = {
      inside(graph.right() + 1 + kDetailWindowGap, graph.top()),
      inside(graph.left() - kDetailWindowGap - frame.width(), graph.top()),
      inside(graph.left(), graph.bottom() + 1 + kDetailWindowGap),
      inside(graph.left(), graph.top() - kDetailWindowGap - frame.height()),
  };
  const auto covered = [&graph](const QRect& place) {
    const QRect common = place.intersected(graph);
    return common.isEmpty() ? 0 : common.width() * common.height();
  };
  const QRect* best = &places[0];
  for (const QRect& place : places) {
    if (covered(place) < covered(*best)) best = &place;
  }
  return best->topLeft();
}

DetailWindow::DetailWindow(ParameterModel& model, TimerHost& timers, EditorState& state,
                           QWidget* parent)
    : QWidget(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                          Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint),
      context_(model, state) {
  setObjectName(QStringLiteral("Form5"));
  setFixedSize(715, 364);
  // Closing the main window ends the program even while this window is open.
  setAttribute(Qt::WA_QuitOnClose, false);
  confirm_ = [this](const QString& caption, const QString& text) {
    return AskYesNo(this, caption, text);
  };

  BuildPages();

  reset_box_ = new ProgressBox(QString::fromLatin1(kTransferCaption), this);
  reset_box_->setObjectName(QStringLiteral("ResetProgressBox"));
  reset_timer_ = timers.CreateTimer("detail_reset", kResetTickMs, [this] { OnResetTick(); });

  StyleControls();
  wheel_ = new SliderWheel(this);
  wheel_->WatchWindow();

  // Escape closes the window wherever the focus is, a field's own key handling included.
  // A shortcut, not an action: the window's actions are its context menu.
  auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
  escape->setObjectName(QStringLiteral("CloseDetailShortcut"));
  connect(escape, &QShortcut::activated, this, &QWidget::close);
  new FocusRing(this);
  ShowPageInTitle();
}

// "H_OUT – VELTRANE PROCESSOR": two of these windows' titles would otherwise be the same.
void DetailWindow::ShowPageInTitle() {
  const QString page = pages_->tabText(pages_->currentIndex()).trimmed();
  setWindowTitle(page + QStringLiteral(" \u2013 VELTRANE PROCESSOR"));
}

DetailWindow::~DetailWindow() {
  // A box that still has the focus commits while the widgets are torn down; by then the
  // graph and the engine may be gone, so nothing may reach them any more.
  context_.sink = nullptr;
  context_.graph = nullptr;
  panels_ = nullptr;
}

void DetailWindow::BuildPages() {
  pages_ = new QTabWidget(this);
  pages_->setObjectName(QStringLiteral("PageControl"));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(pages_);

  mixer_page_ = new MixerPage(context_, pages_);
  gain_page_ = new SliderPage(context_, LevelSlider::Kind::kGain, pages_);
  delay_page_ = new SliderPage(context_, LevelSlider::Kind::kDelay, pages_);
  limiter_page_ = new LimiterPage(context_, pages_);
  pages_->addTab(mixer_page_, QStringLiteral("Mixer"));
  pages_->addTab(gain_page_, QStringLiteral("Gain"));
  pages_->addTab(delay_page_, QStringLiteral(" Delay "));
  pages_->addTab(limiter_page_, QStringLiteral("Limiters"));
  for (int channel = 0; channel < kChannelCount; ++channel) {
    channel_pages_[channel] = new ChannelPage(context_, channel, pages_);
    channel_pages_[channel]->SetOnResetClicked([this](int c) { OnResetClicked(c); });
    pages_->addTab(channel_pages_[channel], Caption(channel));
  }
  // Select before hiding tabs, so hiding the current tab cannot move the selection, and
  // before listening, so start-up runs no page change.
  pages_->setCurrentIndex(kGainPage);
  for (int page : {kMixerPage, ChannelPageIndex(kInB), ChannelPageIndex(kOut4)}) {
    pages_->setTabVisible(page, false);
  }
  connect(pages_, &QTabWidget::currentChanged, this, &DetailWindow::OnPageChanged);
}

void DetailWindow::StyleControls() {
  const auto arial = [](QWidget* widget) {
    QFont font = widget->font();
    font.setFamily(QStringLiteral("Arial"));
    widget->setFont(font);
  };
  const auto silver = [](QWidget* widget) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Base, kSilver);
    palette.setColor(QPalette::Button, kSilver);
    for (QPalette::ColorRole role : {QPalette::Text, QPalette::WindowText, QPalette::ButtonText}) {
      palette.setColor(QPalette::Disabled, role, kDisabledFieldText);
    }
    widget->setPalette(palette);
  };
  for (QLabel* label : findChildren<QLabel*>()) arial(label);
  for (QGroupBox* group : findChildren<QGroupBox*>()) arial(group);
  for (QLineEdit* edit : findChildren<QLineEdit*>()) {
    arial(edit);
    silver(edit);
    edit->setAlignment(Qt::AlignCenter);
  }
  for (QComboBox* list : findChildren<QComboBox*>()) {
    arial(list);
    silver(list);
  }
}

void DetailWindow::OpenGainPage() { OpenOn(kGainPage, /*show_first=*/true); }
void DetailWindow::OpenDelayPage() { OpenOn(kDelayPage, /*show_first=*/false); }
void DetailWindow::OpenLimiterPage() { OpenOn(kLimiterPage, /*show_first=*/false); }
void DetailWindow::OpenMixerPage() { OpenOn(kMixerPage, /*show_first=*/false); }

void DetailWindow::OpenOn(int page, bool show_first) {
  if (!show_first) pages_->setCurrentIndex(page);
  show();
  raise();
  activateWindow();
  if (show_first) pages_->setCurrentIndex(page);
}

void DetailWindow::OpenChannelPage(int channel) {
  if (channel < 0 || channel >= kChannelCount) return;
  show();
  raise();
  activateWindow();
  EditorState& state = context_.state;
  state.shown_channel = channel + 1;
  if (context_.graph != nullptr) context_.graph->SetTitle(Caption(channel));
  state.selected_band = BandId(channel, 0);
  context_.UpdateBandPoint(context_.model.bands[state.selected_band].type);
  pages_->setCurrentIndex(ChannelPageIndex(channel));
}

void DetailWindow::OnPageChanged(int index) {
  ShowPageInTitle();
  if (isVisible()) ApplyReadingTabOrder(this);
  if (quiet_page_change_) return;
  EditorState& state = context_.state;
  if (index >= ChannelPageIndex(0) && index < ChannelPageIndex(kChannelCount)) {
    const int channel = index - ChannelPageIndex(0);
    if (context_.graph != nullptr) context_.graph->SetTitle(Caption(channel));
    state.shown_channel = channel + 1;
    state.selected_band = BandId(channel, 0);
    context_.UpdateBandPoint(context_.model.bands[state.selected_band].type);
  } else if (index == kGainPage) {
    state.shown_channel = 7;
    if (context_.graph != nullptr) context_.graph->SetTitle(QString::fromLatin1(kShowAll));
    context_.RedrawAllCurves();
  }
}

void DetailWindow::ApplyModelToControls() {
  ApplyBandsAndCrossovers();
  ApplySlidersAndLists();
}

void DetailWindow::ApplyBandsAndCrossovers() {
  for (ChannelPage* page : channel_pages_) {
    for (int band = 0; band < kBandsPerChannel; ++band) page->Row(band)->ShowTexts();
  }
  for (ChannelPage* page : channel_pages_) {
    for (int band = 0; band < kBandsPerChannel; ++band) page->Row(band)->ShowQState();
  }
  for (ChannelPage* page : channel_pages_) {
    for (int band = 0; band < kBandsPerChannel; ++band) page->Row(band)->ShowType();
  }
  for (ChannelPage* page : channel_pages_) page->Crossover()->ShowTypes();
  for (ChannelPage* page : channel_pages_) page->Crossover()->ShowFrequencies();
  for (ChannelPage* page : channel_pages_) page->ShowBypass();
}

void DetailWindow::ApplySlidersAndLists() {
  delay_page_->ShowFromModel();
  gain_page_->ShowFromModel();
  limiter_page_->ShowFromModel();
  mixer_page_->ShowFromModel();
}

void DetailWindow::ResetSelectedChannel() {
  // While hidden nothing follows the page, so the graph is left as it is; while shown the
  // graph has to follow the page the window now shows.
  quiet_page_change_ = !isVisible();
  pages_->setCurrentIndex(ChannelPageIndex(kInA));
  quiet_page_change_ = false;
}

void DetailWindow::ShowDraggedBand(int band_id, const QString& frequency_text,
                                   const QString& gain_text) {
  if (band_id < 0 || band_id >= kBandCount) return;
  channel_pages_[ChannelOfBand(band_id)]
      ->Row(BandNumber(band_id))
      ->ShowDragged(frequency_text, gain_text);
}

bool DetailWindow::Resetting() const { return reset_timer_->Running(); }

void DetailWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  ApplyReadingTabOrder(this);        // the shown page is laid out by now
  if (event->spontaneous()) return;  // restored from the task bar: still the same view
  context_.state.single_channel_mode = true;
  if (context_.graph != nullptr) context_.graph->SetDetailShown(true);
}

void DetailWindow::hideEvent(QHideEvent* event) {
  QWidget::hideEvent(event);
  if (event->spontaneous()) return;  // minimised, not closed
  context_.state.single_channel_mode = false;
  if (context_.graph != nullptr) context_.graph->SetDetailShown(false);
}

void DetailWindow::OnResetClicked(int channel) {
  if (Resetting()) return;
  if (!confirm_ ||
      !confirm_(QString::fromLatin1(kResetCaption), QString::fromLatin1(kResetQuestion))) {
    return;
  }
  reset_ticks_ = 0;
  reset_box_->move(157, 128);
  reset_box_->SetPercent(0);
  reset_box_->show();
  reset_box_->raise();
  reset_timer_->Start();
  SetResetLock(true);
  channel_pages_[channel]->ResetBands();
}

void DetailWindow::OnResetTick() {
  ++reset_ticks_;
  reset_box_->SetPercent(5 * reset_ticks_);
  if (reset_ticks_ < kResetTicks) return;
  reset_timer_->Stop();
  reset_box_->hide();
  SetResetLock(false);
}

void DetailWindow::SetResetLock(bool locked) {
  pages_->setEnabled(!locked);
  if (panels_ != nullptr) panels_->SetResetLock(locked);
}

void DetailWindow::StepBandQ(int band_id, int delta) {
  if (band_id < 0 || band_id >= kBandCount) return;
  channel_pages_[ChannelOfBand(band_id)]->Row(BandNumber(band_id))->StepQ(delta);
}

void DetailWindow::ShowBlocks(const BlockSet& blocks) {
  bool limiters = false;
  for (int slot = 1; slot <= kParamSlotCount; ++slot) {
    if (!blocks.test(slot - 1)) continue;
    const auto [channel, block] = BlockOfSlot(slot);
    ChannelPage* page = channel_pages_[channel];
    switch (KindOfBlock(channel, block)) {
      case BlockKind::kChannel:
        gain_page_->Group(channel)->ShowFromModel();
        delay_page_->Group(channel)->ShowFromModel();
        page->ShowBypass();
        mixer_page_->ShowFromModel();
        break;
      case BlockKind::kCrossover:
        page->Crossover()->ShowTypes();
        page->Crossover()->ShowFrequencies();
        break;
      case BlockKind::kLimiter:
        limiters = true;
        break;
      case BlockKind::kEqBand: {
        EqBandRow* row = page->Row(block - FirstEqBlock(channel));
        row->ShowTexts();
        row->ShowQState();
        row->ShowType();
        break;
      }
    }
  }
  if (limiters) limiter_page_->ShowFromModel();
}

}  // namespace veltrane
