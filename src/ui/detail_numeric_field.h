#pragma once

// The numeric edit boxes of the detail window (EQ and crossover) and their step buttons.
// All boxes share one saved text (EditorState): a box that is left or confirmed with Enter
// commits only when its text changed since it was entered, and invalid text is replaced by
// the saved text, so nothing but a valid number ever reaches the model.

#include <QLineEdit>
#include <QWidget>
#include <functional>

#include "ui/editor_state.h"

class QToolButton;

namespace veltrane {

class NumericField : public QLineEdit {
  Q_OBJECT

 public:
  enum class Sign { kPositive, kSigned };  // gain boxes take a minus sign, the rest do not

  NumericField(EditorState& state, Sign sign, QWidget* parent = nullptr);

  // Runs at the start of every commit, changed or not: the owner makes its band or channel
  // the current one.
  void SetOnActivate(std::function<void()> fn) { on_activate_ = std::move(fn); }
  // Runs with the typed number once the text is known to have changed and to be valid; the
  // owner stores the index and rewrites the text through ShowText.
  void SetOnCommit(std::function<void(double value)> fn) { on_commit_ = std::move(fn); }

  // Text written by the program. While the box has the focus it also becomes the saved
  // text, so leaving the box afterwards does not commit the same value a second time.
  void ShowText(const QString& text);

  // Whether the key filter lets a key through.
  static bool AcceptsKey(int key, const QString& text, Sign sign);

 protected:
  bool event(QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  void Commit(bool on_enter);

  EditorState& state_;
  Sign sign_;
  std::function<void()> on_activate_;
  std::function<void(double)> on_commit_;
};

// The pair of step buttons beside a box: left decreases, right increases. They never take
// the focus, so the box keeps it while the user steps.
class StepButtons : public QWidget {
  Q_OBJECT

 public:
  // Buttons are named `<field_name>Down` and `<field_name>Up`.
  StepButtons(const QString& field_name, QWidget* parent = nullptr);

  void SetOnStep(std::function<void(int delta)> fn) { on_step_ = std::move(fn); }
  QToolButton* Down() const { return down_; }
  QToolButton* Up() const { return up_; }

 private:
  QToolButton* down_ = nullptr;
  QToolButton* up_ = nullptr;
  std::function<void(int)> on_step_;
};

}  // namespace veltrane
