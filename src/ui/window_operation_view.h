#pragma once

// The windows as the operations on the processor see them: messages, Yes/No questions
// and file dialogs that answer later (never a nested event loop), the transfer box, and
// the main window's panels. Tests answer questions and dialogs through handlers.

#include <QObject>
#include <QString>
#include <functional>
#include <optional>

#include "protocol/view.h"

namespace veltrane {

class MainWindow;

class WindowOperationView : public QObject, public OperationView {
  Q_OBJECT

 public:
  using QuestionHandler = std::function<bool(const QString& text, const QString& caption)>;
  using FileHandler = std::function<std::optional<QString>(const FileDialogRequest& dialog)>;

  explicit WindowOperationView(MainWindow& main);

  void SetQuestionHandler(QuestionHandler handler) { question_handler_ = std::move(handler); }
  void SetFileHandler(FileHandler handler) { file_handler_ = std::move(handler); }

  void ShowMessage(std::string_view text) override;
  void AskYesNo(std::string_view text, std::string_view caption,
                std::function<void(bool yes)> answer) override;
  void ChooseFile(const FileDialogRequest& dialog,
                  std::function<void(std::optional<std::string> path)> chosen) override;
  void ShowTransferBox(bool shown) override;
  void SetTransferProgress(int percent) override;
  void SetOperationPanelsEnabled(bool enabled) override;
  void HideDetailWindow() override;
  void ShowStatus(StatusNote note, int number) override;

 private:
  MainWindow& main_;
  QuestionHandler question_handler_;
  FileHandler file_handler_;
};

}  // namespace veltrane
