#pragma once

// The main window (TForm1): connection controls, the response graph, the block diagram
// with the channel strips, and the bottom panel. It is the protocol engine's view of the
// windows and the panels the detail window's Reset locks.

#include <QString>
#include <QWidget>
#include <functional>
#include <memory>

#include "model/edit_history.h"
#include "model/parameter_model.h"
#include "protocol/timer.h"
#include "protocol/view.h"
#include "ui/channel_strip.h"
#include "ui/editor_state.h"

class QComboBox;
class QLabel;
class QListWidget;

namespace veltrane {

class BlockDiagram;
class DetailWindow;
class ProgressBox;
class ProtocolEngine;
class ResponseGraph;
class ResponseViews;
class GraphViewBar;
class TopBar;

class MainWindow : public QWidget, public ConnectionView, public MainPanels {
  Q_OBJECT

 public:
  MainWindow(ParameterModel& model, TimerHost& timers, EditorState& state,
             QWidget* parent = nullptr);
  ~MainWindow() override;

  // The engine is created after the window, which is its view.
  void AttachEngine(ProtocolEngine* engine);
  void AttachDetailWindow(DetailWindow* detail);
  // The strips' buttons, the graph's drags and the detail window's controls report their
  // edits to it; null detaches.
  void AttachEditHistory(EditHistory* history);
  // Messages go to a modal box unless a handler takes them (tests record them).
  void SetMessageHandler(std::function<void(const QString&)> handler);

  // ConnectionView
  void ShowMessage(std::string_view text) override;
  void ShowMessageWithNote(std::string_view text, std::string_view note) override;
  void SetConnectCaption(std::string_view caption) override;
  void SetLamp(bool connected) override;
  void ShowConnectingBox(bool shown) override;
  void SetConnectingProgress(int percent) override;
  void SetPanelsEnabled(bool enabled) override;
  void SetPortListsEnabled(bool enabled) override;
  void HideDetailWindow() override;
  void ApplyModelToControls() override;
  void ResetEditingState() override;

  // MainPanels
  void SetResetLock(bool locked) override;

  // For the link layer and later features.
  QComboBox* PortList() const;
  QComboBox* DeviceIdList() const;
  QLabel* HidStatusLabel() const { return hid_status_; }
  QListWidget* HistoryList() const { return history_list_; }
  QListWidget* DeviceList() const { return device_list_; }
  ResponseGraph* Graph() const { return graph_; }
  GraphViewBar* ViewBar() const { return view_bar_; }
  QLabel* LockLabel() const { return lock_label_; }
  ProgressBox* TransferBox() const { return transfer_box_; }
  TopBar* Bar() const { return top_bar_; }
  BlockDiagram* Diagram() const { return diagram_; }
  TimerHost& Timers() const { return timers_; }
  EditorState& State() const { return state_; }
  DetailWindow* Detail() const { return detail_; }
  QWidget* GraphArea() const { return graph_area_; }
  // One line beside "Change" on the bottom panel: why a button did nothing, what finished.
  QLabel* StatusLine() const { return status_line_; }
  void ShowStatusText(const QString& text);

 signals:
  // The status lamp changed: a connection was opened or closed.
  void ConnectionShown(bool connected);

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void BuildGraphArea();
  void BuildHiddenLists();
  void BuildProgressBoxes();
  void WireControls();
  void CentreOnScreen();
  void OnStripClicked(int channel, StripButton button);
  void PlaceDetailWindow();
  void ToggleMute(int channel);
  void TogglePolarity(int channel);
  void ShowStripsFromModel();

  ParameterModel& model_;
  TimerHost& timers_;
  EditorState& state_;
  ProtocolEngine* engine_ = nullptr;
  DetailWindow* detail_ = nullptr;
  EditHistory* history_ = nullptr;
  std::function<void(const QString&)> message_handler_;

  TopBar* top_bar_ = nullptr;
  QWidget* graph_area_ = nullptr;
  ResponseGraph* graph_ = nullptr;
  std::unique_ptr<ResponseViews> views_;
  GraphViewBar* view_bar_ = nullptr;
  QLabel* title_label_ = nullptr;
  QLabel* lock_label_ = nullptr;
  BlockDiagram* diagram_ = nullptr;
  ProgressBox* connecting_box_ = nullptr;
  ProgressBox* transfer_box_ = nullptr;
  QListWidget* history_list_ = nullptr;
  QListWidget* device_list_ = nullptr;
  QLabel* hid_status_ = nullptr;
  QLabel* status_line_ = nullptr;
  bool lamp_connected_ = false;
};

}  // namespace veltrane
