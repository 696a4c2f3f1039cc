#include "ui/lock_dialogs.h"

#include <QAction>
#include <QCheckBox>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QScreen>
#include <QTimer>

#include "ui/focus_ring.h"
#include "ui/main_window.h"
#include "ui/widget_colors.h"

namespace veltrane {
namespace {

const QColor kDialogBlue(0, 69, 138);

bool IsLetterOrDigit(QChar c) {
  return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
}

}  // namespace

PasswordEntry::PasswordEntry(const QString& prompt, const QString& second_caption,
                             bool escape_is_second)
    : QDialog(nullptr, Qt::Dialog | Qt::FramelessWindowHint), escape_is_second_(escape_is_second) {
  setFixedSize(320, 148);
  SetFillColor(this, kDialogBlue);
  QPalette white = palette();
  white.setColor(QPalette::WindowText, Qt::white);
  auto* label = new QLabel(prompt, this);
  label->setGeometry(24, 16, 280, 20);
  label->setPalette(white);

  edit_ = new QLineEdit(this);
  edit_->setObjectName(QStringLiteral("PasswordEdit"));
  edit_->setGeometry(24, 44, 200, 24);
  edit_->setMaxLength(static_cast<int>(kPasswordLength));
  edit_->setEchoMode(QLineEdit::Password);
  // Pasted text obeys the same rule as typed keys.
  edit_->setValidator(new QRegularExpressionValidator(
      QRegularExpression(QStringLiteral("[0-9A-Za-z]{0,6}")), edit_));
  edit_->installEventFilter(this);
  show_ = new QCheckBox(QStringLiteral("Show"), this);
  show_->setObjectName(QStringLiteral("ShowPasswordToggle"));
  show_->setGeometry(236, 44, 70, 24);
  show_->setPalette(white);
  connect(show_, &QCheckBox::toggled, edit_, [this](bool shown) {
    edit_->setEchoMode(shown ? QLineEdit::Normal : QLineEdit::Password);
  });
  note_ = new QLabel(QStringLiteral("Wrong password"), this);
  note_->setObjectName(QStringLiteral("WrongPasswordNote"));
  note_->setGeometry(24, 72, 272, 18);
  QPalette yellow = white;
  yellow.setColor(QPalette::WindowText, QColor(255, 220, 80));
  note_->setPalette(yellow);
  note_->hide();
  connect(edit_, &QLineEdit::textEdited, note_, &QWidget::hide);  // a new try under way

  ok_ = new QPushButton(QStringLiteral("OK"), this);
  ok_->setObjectName(QStringLiteral("OkButton"));
  ok_->setGeometry(60, 104, 80, 26);
  ok_->setAutoDefault(false);
  second_ = new QPushButton(second_caption, this);
  second_->setObjectName(second_caption + QStringLiteral("Button"));
  second_->setGeometry(180, 104, 80, 26);
  second_->setAutoDefault(false);
  setTabOrder(edit_, show_);
  setTabOrder(show_, ok_);
  setTabOrder(ok_, second_);
  new FocusRing(this);
  connect(ok_, &QPushButton::clicked, this, [this] { emit Confirmed(edit_->text()); });
  connect(second_, &QPushButton::clicked, this, &PasswordEntry::SecondClicked);
}

void PasswordEntry::ClearAndFocus() {
  edit_->clear();
  edit_->setFocus();
  note_->hide();
}

void PasswordEntry::ShowNote(bool shown) { note_->setVisible(shown); }

// Escape must not hide the unlock dialog: the main window would stay disabled with no
// way out but closing the program.
void PasswordEntry::reject() {
  if (escape_is_second_) emit SecondClicked();
}

bool PasswordEntry::eventFilter(QObject* watched, QEvent* event) {
  if (watched == edit_ && event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
      emit Confirmed(edit_->text());
      return true;
    }
    // Keys that type a character: only letters and digits get through. Keys whose text is
    // a control character (Backspace, Tab, Escape) keep their work: moving the focus, Cancel.
    const QString text = key->text();
    if (!text.isEmpty() && text[0].isPrint() && !(text.size() == 1 && IsLetterOrDigit(text[0]))) {
      return true;
    }
  }
  if (watched == edit_ && event->type() == QEvent::MouseButtonPress) {
    QTimer::singleShot(0, edit_, &QLineEdit::selectAll);  // a click selects the whole text
  }
  return QDialog::eventFilter(watched, event);
}

LockScreen::LockScreen(MainWindow& main)
    : main_(main),
      unlock_(std::make_unique<PasswordEntry>(QStringLiteral("Please enter the unlock password:"),
                                              QStringLiteral("Quit"), false)),
      lock_(std::make_unique<PasswordEntry>(QStringLiteral("Please enter the Lock Panel password:"),
                                            QStringLiteral("Cancel"), true)) {
  unlock_->setObjectName(QStringLiteral("TForm7"));
  lock_->setObjectName(QStringLiteral("TForm8"));
  lock_action_ = new QAction(QStringLiteral("Lock panel\u2026"), &main_);
  lock_action_->setObjectName(QStringLiteral("LockPanelAction"));
  lock_action_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
  lock_action_->setEnabled(false);
  main_.addAction(lock_action_);
  main_.setContextMenuPolicy(Qt::ActionsContextMenu);
  connect(&main_, &MainWindow::ConnectionShown, lock_action_, &QAction::setEnabled);
}

LockScreen::~LockScreen() = default;

void LockScreen::Attach(PanelLock& lock) {
  connect(unlock_.get(), &PasswordEntry::Confirmed, this,
          [&lock](const QString& text) { lock.SendUnlock(text.toStdString()); });
  connect(unlock_.get(), &PasswordEntry::SecondClicked, this, [&lock] { lock.Quit(); });
  connect(lock_.get(), &PasswordEntry::Confirmed, this,
          [&lock](const QString& text) { lock.SendLock(text.toStdString()); });
  connect(lock_.get(), &PasswordEntry::SecondClicked, this, [&lock] { lock.CancelLockDialog(); });
  connect(lock_action_, &QAction::triggered, this, [&lock] { lock.OpenLockDialog(); });
}

PasswordEntry& LockScreen::Entry(PasswordDialog dialog) const {
  return dialog == PasswordDialog::kUnlock ? *unlock_ : *lock_;
}

void LockScreen::SetMainWindowEnabled(bool enabled) { main_.setEnabled(enabled); }

void LockScreen::ShowLockLabel(bool shown) {
  main_.LockLabel()->setVisible(shown);
  if (shown) main_.LockLabel()->raise();
}

void LockScreen::ShowPasswordDialog(PasswordDialog dialog) {
  PasswordEntry& entry = Entry(dialog);
  // The unlock dialog over the main window, the lock dialog in the middle of the screen.
  QRect area = main_.frameGeometry();
  if (dialog == PasswordDialog::kLock) {
    if (const QScreen* screen = main_.screen()) area = screen->availableGeometry();
  }
  entry.move(area.center() - QPoint(entry.width() / 2, entry.height() / 2));
  entry.show();
  entry.raise();
  entry.activateWindow();
  entry.Edit()->setFocus();
  entry.ShowNote(false);
}

void LockScreen::ClosePasswordDialog(PasswordDialog dialog) { Entry(dialog).hide(); }

void LockScreen::ClearPassword(PasswordDialog dialog) { Entry(dialog).ClearAndFocus(); }

void LockScreen::ShowWrongPassword() { unlock_->ShowNote(true); }

void LockScreen::QuitEditor() {
  if (quit_handler_) {
    quit_handler_();
    return;
  }
  // exit(), not quit(): quit() first asks every window to close, and the unlock dialog
  // refuses to close, which would abandon the quit and leave the editor running unseen.
  QCoreApplication::exit(0);
}

}  // namespace veltrane
