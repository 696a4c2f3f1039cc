#include "ui/detail_numeric_field.h"

#include <QFocusEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QToolButton>

#include "model/tables.h"
#include "ui/edit_binding.h"

namespace veltrane {

NumericField::NumericField(EditorState& state, Sign sign, QWidget* parent)
    : QLineEdit(parent), state_(state), sign_(sign) {
  setAlignment(Qt::AlignCenter);
  // Pasting from the context menu would bypass the key filter.
  setContextMenuPolicy(Qt::NoContextMenu);
}

void NumericField::ShowText(const QString& text) {
  setText(text);
  if (hasFocus()) state_.saved_field_text = text;
}

bool NumericField::AcceptsKey(int key, const QString& text, Sign sign) {
  switch (key) {
    case Qt::Key_Backspace:
    case Qt::Key_Return:
    case Qt::Key_Enter:
    // Moving the cursor changes no text, so it does not undermine the filter.
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Home:
    case Qt::Key_End:
      return true;
    default:
      break;
  }
  if (text.size() != 1) return false;
  const QChar c = text.front();
  if (c.isDigit() && c.unicode() < 0x80) return true;
  if (c == u'.') return true;
  return c == u'-' && sign == Sign::kSigned;
}

bool NumericField::event(QEvent* event) {
  if (event->type() == QEvent::ShortcutOverride) {
    const HistoryKey key = HistoryKeyOf(*static_cast<QKeyEvent*>(event));
    if (key != HistoryKey::kNone) {
      // Typed text not yet committed is what Ctrl+Z takes back first (keyPressEvent);
      // otherwise the windows' undo and redo take the keys.
      const bool typing = key == HistoryKey::kUndo && text() != state_.saved_field_text;
      event->setAccepted(typing);
      return true;
    }
  }
  return QLineEdit::event(event);
}

void NumericField::keyPressEvent(QKeyEvent* event) {
  if (HistoryKeyOf(*event) == HistoryKey::kUndo) {
    setText(state_.saved_field_text);
    selectAll();
    event->accept();
    return;
  }
  if (!AcceptsKey(event->key(), event->text(), sign_)) {
    event->accept();  // discarded
    return;
  }
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    event->accept();  // consumed: a dialog default button must not see it
    Commit(/*on_enter=*/true);
    return;
  }
  QLineEdit::keyPressEvent(event);
}

void NumericField::focusInEvent(QFocusEvent* event) {
  QLineEdit::focusInEvent(event);
  if (state_.save_on_enter) {
    state_.saved_field_text = text();
    state_.save_on_enter = false;
  }
}

void NumericField::focusOutEvent(QFocusEvent* event) {
  QLineEdit::focusOutEvent(event);
  // A popup taking the keyboard is not leaving the box.
  if (event->reason() == Qt::PopupFocusReason) return;
  if (!isEnabled()) {
    // Disabled while it had the focus (a Q box of a shelf band): its empty text is not
    // the user's, so there is nothing to commit or to restore.
    state_.save_on_enter = true;
    return;
  }
  Commit(/*on_enter=*/false);
}

void NumericField::mouseReleaseEvent(QMouseEvent* event) {
  QLineEdit::mouseReleaseEvent(event);
  selectAll();
}

void NumericField::Commit(bool on_enter) {
  if (!on_enter) state_.save_on_enter = true;
  if (on_activate_) on_activate_();
  if (text() == state_.saved_field_text) return;
  const auto value = ParseDecimal(text().toStdString());
  if (!value) {
    setText(state_.saved_field_text);
    return;
  }
  if (on_commit_) on_commit_(*value);
  if (on_enter) state_.saved_field_text = text();
}

StepButtons::StepButtons(const QString& field_name, QWidget* parent) : QWidget(parent) {
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  const auto make = [&](Qt::ArrowType arrow, const QString& suffix, int delta) {
    auto* button = new QToolButton(this);
    button->setObjectName(field_name + suffix);
    button->setArrowType(arrow);
    button->setFocusPolicy(Qt::NoFocus);
    button->setAutoRepeat(true);
    button->setFixedSize(15, 20);
    connect(button, &QToolButton::clicked, this, [this, delta] {
      if (on_step_) on_step_(delta);
    });
    layout->addWidget(button);
    return button;
  };
  down_ = make(Qt::LeftArrow, QStringLiteral("Down"), -1);
  up_ = make(Qt::RightArrow, QStringLiteral("Up"), +1);
}

}  // namespace veltrane
