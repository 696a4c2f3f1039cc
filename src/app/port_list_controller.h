#pragma once

// Fills the main window's port list and keeps it current: the `refurbish` timer reads the
// ports every 2000 ms while no connection is open and rebuilds the list only when the
// ports changed. The chosen entry is what the next connection opens.

#include <QComboBox>
#include <QObject>
#include <QPointer>
#include <functional>
#include <memory>
#include <string>

#include "link/port_list.h"
#include "protocol/timer.h"

namespace veltrane {

inline constexpr int kRefurbishIntervalMs = 2000;

class PortListController : public QObject {
  Q_OBJECT

 public:
  using ConnectedFn = std::function<bool()>;
  using SelectFn = std::function<void(const std::string& name, int number)>;

  // Reads the ports and fills `combo` at once; the timer runs from then on.
  PortListController(QComboBox* combo, TimerHost& timers, PortList::Enumerator enumerate,
                     ConnectedFn connected, SelectFn select);

  // The `refurbish` tick: nothing while connected or when the ports are unchanged.
  void Refresh();
  // Chooses the entry named `name` (the demo processor's terminal); false if not listed.
  bool Choose(const std::string& name);

  const PortList& List() const { return list_; }

 private:
  void Fill();
  void OnActivated(int index);

  QPointer<QComboBox> combo_;
  PortList list_;
  ConnectedFn connected_;
  SelectFn select_;
  std::unique_ptr<Timer> refurbish_;
};

}  // namespace veltrane
