#include "ui/channel_dialogs.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "model/tables.h"

namespace veltrane {
namespace {

QString Text(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QString Caption(int channel) { return Text(kChannelCaptions[channel]); }

QString Number(double value) { return QString::fromStdString(FormatShortest(value)); }

QString Arrow(const QString& requested, const QString& applied, bool changed) {
  return changed ? requested + QStringLiteral(" → ") + applied : applied;
}

}  // namespace

CopySettingsDialog::CopySettingsDialog(int source, QWidget* parent)
    : QDialog(parent), source_(source) {
  setObjectName(QStringLiteral("CopySettingsDialog"));
  setWindowTitle(QStringLiteral("Copy %1 settings").arg(Caption(source)));
  setMinimumWidth(300);  // room for the title
  auto* layout = new QVBoxLayout(this);

  auto* to = new QGroupBox(QStringLiteral("Copy %1's settings to").arg(Caption(source)), this);
  auto* to_layout = new QVBoxLayout(to);
  for (int channel : kShownChannels) {
    if (channel == source) continue;
    targets_[channel] = new QCheckBox(Caption(channel), to);
    targets_[channel]->setObjectName(QStringLiteral("CopyTo%1").arg(channel));
    to_layout->addWidget(targets_[channel]);
  }
  layout->addWidget(to);

  auto* parts = new QGroupBox(QStringLiteral("Settings"), this);
  auto* parts_layout = new QVBoxLayout(parts);
  const auto add = [&](const char* text, const char* name) {
    auto* box = new QCheckBox(QString::fromUtf8(text), parts);
    box->setObjectName(QLatin1String(name));
    parts_layout->addWidget(box);
    return box;
  };
  eq_ = add("EQ bands and bypass", "CopyEq");
  crossover_ = add("Crossover", "CopyCrossover");
  gain_delay_ = add("Gain and delay", "CopyGainDelay");
  limiter_ = add("Limiter (outputs only)", "CopyLimiter");
  limiter_->setEnabled(IsOutput(source));
  eq_->setChecked(true);
  layout->addWidget(parts);

  buttons_ = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons_->button(QDialogButtonBox::Ok)->setText(QStringLiteral("Copy"));
  connect(buttons_, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons_, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons_);
  // Every box exists before the button follows them.
  for (QCheckBox* box : findChildren<QCheckBox*>()) {
    connect(box, &QCheckBox::toggled, this, &CopySettingsDialog::UpdateButton);
  }
  UpdateButton();
}

CopyRequest CopySettingsDialog::Request() const {
  CopyRequest request;
  for (int channel : kShownChannels) {
    if (targets_[channel] != nullptr && targets_[channel]->isChecked()) {
      request.targets.push_back(channel);
    }
  }
  request.parts = {.eq = eq_->isChecked(),
                   .crossover = crossover_->isChecked(),
                   .gain_delay = gain_delay_->isChecked(),
                   .limiter = limiter_->isEnabled() && limiter_->isChecked()};
  return request;
}

void CopySettingsDialog::UpdateButton() {
  const CopyRequest request = Request();
  buttons_->button(QDialogButtonBox::Ok)
      ->setEnabled(!request.targets.empty() && request.parts.Any());
}

ImportRowText ImportRow(const ImportedFilter& f) {
  const ListedFilter& asked = f.requested;
  ImportRowText row;
  row.band = QString::number(f.band + 1);
  row.filter = QString::fromStdString(asked.label);
  row.changed = {f.slope_changed, f.freq_rounded, f.gain_rounded, f.q_rounded};
  row.type = Arrow(QString::fromStdString(asked.type_text), Text(kEqTypeNames[asked.type]),
                   f.slope_changed);
  row.frequency = Arrow(Number(asked.freq_hz), Number(f.freq_hz), f.freq_rounded);
  row.gain = Arrow(Number(asked.gain_db), QString::fromStdString(FormatOneDecimal(f.gain_db)),
                   f.gain_rounded);
  const QString asked_q = asked.q ? Number(*asked.q) : QString();
  if (f.q) {
    row.q = Arrow(asked_q, QString::fromStdString(FormatOneDecimal(*f.q)), f.q_rounded);
  } else {
    row.q = Arrow(asked_q, QStringLiteral("none (shelf)"), f.q_rounded);
  }
  return row;
}

QStringList ImportNotes(const FilterImport& plan) {
  QStringList notes;
  const int n = static_cast<int>(plan.imported.size());
  if (n == 0) {
    notes << QStringLiteral(
        "No filter in the list is switched on: all 8 bands will be flat (0 dB).");
  } else if (plan.flat_bands > 0) {
    notes << QStringLiteral("%1 filters become bands 1 to %1; bands %2 to 8 will be flat (0 dB).")
                 .arg(n)
                 .arg(n + 1);
  } else {
    notes << QStringLiteral("8 filters become bands 1 to 8.");
  }
  notes << QStringLiteral(
      "Values snap to the processor's steps; changed values show "
      "requested → applied.");
  for (const FilterProblem& problem : plan.problems) {
    notes << QStringLiteral("Not imported, line %1: %2")
                 .arg(problem.line)
                 .arg(QString::fromStdString(problem.text));
  }
  if (plan.preamp_db) {
    notes << QStringLiteral(
                 "The file's preamp of %1 dB is not applied: set the channel's gain "
                 "if you need it.")
                 .arg(Number(*plan.preamp_db));
  }
  return notes;
}

FilterImportDialog::FilterImportDialog(int channel, const FilterImport& plan, QWidget* parent)
    : QDialog(parent) {
  setObjectName(QStringLiteral("FilterImportDialog"));
  setWindowTitle(QStringLiteral("Import EQ filters into %1").arg(Caption(channel)));
  auto* layout = new QVBoxLayout(this);
  auto* notes = new QLabel(ImportNotes(plan).join(QLatin1Char('\n')), this);
  notes->setObjectName(QStringLiteral("ImportNotes"));
  notes->setWordWrap(true);
  layout->addWidget(notes);

  const QStringList heads = {QStringLiteral("Band"),      QStringLiteral("Filter"),
                             QStringLiteral("Type"),      QStringLiteral("Frequency (Hz)"),
                             QStringLiteral("Gain (dB)"), QStringLiteral("Q")};
  table_ = new QTableWidget(static_cast<int>(plan.imported.size()), heads.size(), this);
  table_->setObjectName(QStringLiteral("ImportTable"));
  table_->setHorizontalHeaderLabels(heads);
  table_->verticalHeader()->hide();
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->setSelectionMode(QAbstractItemView::NoSelection);
  for (int r = 0; r < table_->rowCount(); ++r) {
    const ImportRowText row = ImportRow(plan.imported[r]);
    const QString cells[] = {row.band, row.filter, row.type, row.frequency, row.gain, row.q};
    for (int c = 0; c < heads.size(); ++c) {
      auto* item = new QTableWidgetItem(cells[c]);
      if (c >= 2 && row.changed[c - 2]) {
        QFont bold = item->font();
        bold.setBold(true);
        item->setFont(bold);
      }
      table_->setItem(r, c, item);
    }
  }
  table_->resizeColumnsToContents();
  table_->horizontalHeader()->setStretchLastSection(true);
  table_->setMinimumWidth(560);
  layout->addWidget(table_);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("Import"));
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);
}

}  // namespace veltrane
