#pragma once

// The two small dialogs of the channel menus: which channels and which parts a copy goes
// to, and what a filter list import will do to a channel's bands. Both are shown with
// open() and answer through their accepted / rejected signals.

#include <QDialog>
#include <array>
#include <vector>

#include "model/channel_copy.h"
#include "model/channels.h"
#include "storage/eq_filter_text.h"

class QCheckBox;
class QDialogButtonBox;
class QTableWidget;

namespace veltrane {

// The channels the windows show, in strip order; copies go between these.
inline constexpr std::array<int, 4> kShownChannels = {kInA, kOut1, kOut2, kOut3};

struct CopyRequest {
  std::vector<int> targets;
  CopyParts parts;
};

class CopySettingsDialog : public QDialog {
  Q_OBJECT

 public:
  CopySettingsDialog(int source, QWidget* parent = nullptr);

  int Source() const { return source_; }
  CopyRequest Request() const;

 private:
  void UpdateButton();

  int source_;
  std::array<QCheckBox*, kChannelCount> targets_{};  // null for the source and hidden ones
  QCheckBox* eq_ = nullptr;
  QCheckBox* crossover_ = nullptr;
  QCheckBox* gain_delay_ = nullptr;
  QCheckBox* limiter_ = nullptr;
  QDialogButtonBox* buttons_ = nullptr;
};

// Rows of the import dialog as text: band, filter, type, frequency, gain, Q. A value that
// rounding or the processor's filter changed reads "requested → applied".
struct ImportRowText {
  QString band, filter, type, frequency, gain, q;
  std::array<bool, 4> changed{};  // type, frequency, gain, Q
};
ImportRowText ImportRow(const ImportedFilter& filter);
// The lines above the table: how many bands, what was left out, the preamp.
QStringList ImportNotes(const FilterImport& plan);

class FilterImportDialog : public QDialog {
  Q_OBJECT

 public:
  FilterImportDialog(int channel, const FilterImport& plan, QWidget* parent = nullptr);

  QTableWidget* Table() const { return table_; }

 private:
  QTableWidget* table_ = nullptr;
};

}  // namespace veltrane
