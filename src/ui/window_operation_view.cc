#include "ui/window_operation_view.h"

#include <QFileDialog>
#include <QMessageBox>

#include "ui/block_diagram.h"
#include "ui/main_window.h"
#include "ui/progress_box.h"
#include "ui/top_bar.h"

namespace veltrane {
namespace {

QString FromUtf8(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QString StatusText(StatusNote note, int number) {
  switch (note) {
    case StatusNote::kNotConnected:
      return QStringLiteral("Not connected to a processor");
    case StatusNote::kFileLoaded:
      return QStringLiteral("Load File: done");
    case StatusNote::kGroupSaved:
      return QStringLiteral("save 20-group to PC: done");
    case StatusNote::kGroupLoaded:
      return QStringLiteral("load 20-group to DV: done");
    case StatusNote::kDeviceNumberChanged:
      return QStringLiteral("Change Device ID: done, now talking to device %1").arg(number);
  }
  return {};
}

}  // namespace

WindowOperationView::WindowOperationView(MainWindow& main) : main_(main) {}

void WindowOperationView::ShowMessage(std::string_view text) { main_.ShowMessage(text); }

void WindowOperationView::AskYesNo(std::string_view text, std::string_view caption,
                                   std::function<void(bool yes)> answer) {
  if (question_handler_) {
    answer(question_handler_(FromUtf8(text), FromUtf8(caption)));
    return;
  }
  auto* box = new QMessageBox(QMessageBox::Warning, FromUtf8(caption), FromUtf8(text),
                              QMessageBox::Yes | QMessageBox::No, &main_);
  box->setDefaultButton(QMessageBox::No);
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->setWindowModality(Qt::ApplicationModal);
  // The answer comes back through the event loop; the caller has long returned.
  connect(box, &QMessageBox::finished, box, [box, answer = std::move(answer)](int) {
    answer(box->clickedButton() == box->button(QMessageBox::Yes));
  });
  box->show();
}

void WindowOperationView::ChooseFile(const FileDialogRequest& dialog,
                                     std::function<void(std::optional<std::string> path)> chosen) {
  if (file_handler_) {
    const std::optional<QString> path = file_handler_(dialog);
    chosen(path ? std::optional<std::string>(path->toStdString()) : std::nullopt);
    return;
  }
  auto* box = new QFileDialog(&main_);
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->setWindowModality(Qt::ApplicationModal);
  box->setAcceptMode(dialog.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  box->setFileMode(dialog.save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  // The filter names the kind of file; it shows every file, and no suffix is added.
  box->setNameFilter(FromUtf8(dialog.filter) + QStringLiteral(" (*)"));
  box->setDefaultSuffix(QString());
  if (!dialog.default_name.empty()) box->selectFile(FromUtf8(dialog.default_name));
  auto shared =
      std::make_shared<std::function<void(std::optional<std::string>)>>(std::move(chosen));
  connect(box, &QFileDialog::fileSelected, box,
          [shared](const QString& file) { (*shared)(file.toStdString()); });
  connect(box, &QFileDialog::rejected, box, [shared] { (*shared)(std::nullopt); });
  box->show();
}

void WindowOperationView::ShowTransferBox(bool shown) {
  main_.TransferBox()->setVisible(shown);
  if (shown) main_.TransferBox()->raise();
}

void WindowOperationView::SetTransferProgress(int percent) {
  main_.TransferBox()->SetPercent(percent);
}

void WindowOperationView::SetOperationPanelsEnabled(bool enabled) {
  main_.Bar()->setEnabled(enabled);
  main_.Diagram()->setEnabled(enabled);
  if (enabled) main_.GraphArea()->setEnabled(true);
}

void WindowOperationView::HideDetailWindow() { main_.HideDetailWindow(); }

void WindowOperationView::ShowStatus(StatusNote note, int number) {
  main_.ShowStatusText(StatusText(note, number));
}

}  // namespace veltrane
