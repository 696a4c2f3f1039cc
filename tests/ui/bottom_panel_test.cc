// The bottom panel's preset and device-number rows, the lock dialogs and "Lock panel…",
// with the real windows, the features and the simulated processor on a virtual clock.

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>
#include <memory>

#include "protocol/engine.h"
#include "protocol/virtual_clock.h"
#include "sim/sim_link.h"
#include "sim/simulator.h"
#include "ui/block_diagram.h"
#include "ui/detail_window.h"
#include "ui/editor_features.h"
#include "ui/lock_dialogs.h"
#include "ui/main_window.h"
#include "ui/progress_box.h"
#include "ui/top_bar.h"
#include "ui/window_operation_view.h"
#include "wired_editor.h"

namespace veltrane {
namespace {

struct Editor : test::WiredEditor {
  explicit Editor(SimOptions options = {.demo_content = true}) : WiredEditor(std::move(options)) {
    features->Operations().SetQuestionHandler([this](const QString& text, const QString&) {
      questions << text;
      return true;
    });
    features->Lock().SetQuitHandler([this] { ++quits; });
    engine.Start();
  }

  template <typename T>
  T* Find(const QString& name) const {
    return window.findChild<T*>(name);
  }
  void Click(const char* button) { QTest::mouseClick(Find<QPushButton>(button), Qt::LeftButton); }
  void Connect() {
    engine.ConnectButtonClicked();
    clock.Advance(1000);
    QVERIFY(engine.Connected() && !engine.Connecting());
  }

  QStringList questions;
  int quits = 0;
};

// Key presses that type characters QTest's key table does not know.
void Type(QWidget* widget, const QString& text) {
  for (const QChar c : text) {
    QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
    QApplication::sendEvent(widget, &press);
    QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, QString(c));
    QApplication::sendEvent(widget, &release);
  }
}

}  // namespace

class BottomPanelTest : public QObject {
  Q_OBJECT

 private slots:
  void listsFollowTheNamesAndSettingsReplies() {
    Editor e({.demo_content = true, .device_number = 5});
    e.sim.state().set_settings({.current_preset = 7, .device_number = 5});
    e.engine.SetDeviceId(4);
    e.Connect();
    const QComboBox* list = e.Find<QComboBox>("RzComboBox85");
    QCOMPARE(list->count(), 20);
    QCOMPARE(list->itemText(0), QStringLiteral("Pre1:") + e.sim.PresetName(1).c_str());
    QCOMPARE(list->currentText(), QStringLiteral("Pre7:") + e.sim.PresetName(7).c_str());
    QCOMPARE(e.window.DeviceIdList()->currentText(), QStringLiteral("5"));
    QCOMPARE(e.Find<QComboBox>("cbb4")->currentText(), QStringLiteral("05"));
    QCOMPARE(e.engine.DeviceId(), 4);
    // The name box shows the selector's slot, and follows the selector.
    auto* name = e.Find<QLineEdit>("edt1");
    QCOMPARE(name->text().toStdString(), e.sim.PresetName(1));
    e.Find<QComboBox>("RzComboBox84")->setCurrentIndex(2);
    QCOMPARE(name->text().toStdString(), e.sim.PresetName(3));
  }

  // The status line beside "Change" says why a button did nothing and what finished.
  void statusLineSaysWhyAndWhatIsDone() {
    Editor e;
    QLabel* status = e.window.StatusLine();
    QVERIFY(status->text().isEmpty());
    for (const char* button : {"StorePresetButton", "LoadPresetButton", "Save20GroupButton",
                               "Load20GroupButton", "ChangeButton"}) {
      status->clear();
      e.Click(button);
      QCOMPARE(status->text(), QStringLiteral("Not connected to a processor"));
    }
    QVERIFY(e.questions.isEmpty());

    e.Connect();
    e.clock.Advance(200);  // the lamp refresh tells the window
    QVERIFY(status->text().isEmpty());
    e.Find<QComboBox>("cbb4")->setCurrentIndex(4);
    e.Click("ChangeButton");
    QCOMPARE(status->text(), QStringLiteral("Change Device ID: done, now talking to device 5"));
    QVERIFY(e.messages.isEmpty());
  }

  void nameBoxTakesWhatAPresetNameCanHold() {
    Editor e;
    auto* name = e.Find<QLineEdit>("edt1");
    name->clear();
    Type(name, QString::fromUtf8("Caf\u00e9 \u0142\u20ac"));
    QCOMPARE(name->text(), QString::fromUtf8("Caf\u00e9 \u20ac"));  // ł has no byte
    name->clear();
    QTest::keyClicks(name, QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZ"));
    QCOMPARE(name->text(), QStringLiteral("ABCDEFGHIJKLMNOPQRS"));
  }

  void storeAndRecallFromTheButtons() {
    Editor e;
    e.Connect();
    e.Find<QComboBox>("RzComboBox84")->setCurrentIndex(2);
    auto* name = e.Find<QLineEdit>("edt1");
    name->setText(QString::fromUtf8("Kick drum \u00e9"));
    e.Click("StorePresetButton");
    QCOMPARE(e.questions, QStringList{"Do you want to save this group?"});
    e.clock.Advance(600);
    QCOMPARE(e.sim.PresetName(3), std::string("Kick drum \xE9"));
    auto* list = e.Find<QComboBox>("RzComboBox85");
    QCOMPARE(list->currentText(), QString::fromUtf8("Pre3:Kick drum \u00e9"));
    QCOMPARE(e.messages, QStringList{"Successfully save."});

    e.sim.options().late_ms = 300;
    list->setCurrentIndex(0);
    e.Click("LoadPresetButton");
    e.clock.Advance(100);
    QVERIFY(!e.window.TransferBox()->isHidden());
    QCOMPARE(e.window.TransferBox()->pos(), QPoint(307, 317));
    QVERIFY(!e.window.Bar()->isEnabled());
    QVERIFY(!e.window.Diagram()->isEnabled());
    e.clock.Advance(1000);
    QVERIFY(e.window.TransferBox()->isHidden());
    QVERIFY(e.window.Bar()->isEnabled() && e.window.Diagram()->isEnabled());
    QCOMPARE(e.model, e.sim.LiveModel());
  }

  void passwordEditsTakeLettersAndDigitsAndEnterSends() {
    Editor e({.locked_at_start = true, .password = "a1B2c3"});
    e.Connect();
    PasswordEntry& unlock = e.features->Lock().UnlockDialog();
    QVERIFY(unlock.isVisible());
    QCOMPARE(unlock.objectName(), QStringLiteral("TForm7"));
    QVERIFY(!e.window.isEnabled());
    QVERIFY(!e.window.LockLabel()->isHidden());

    QTest::keyClicks(unlock.Edit(), QStringLiteral("a1 B-2_c!3d"));
    QCOMPARE(unlock.Edit()->text(), QStringLiteral("a1B2c3"));
    QTest::keyClick(unlock.Edit(), Qt::Key_Backspace);
    QCOMPARE(unlock.Edit()->text(), QStringLiteral("a1B2c"));
    QTest::keyClick(unlock.Edit(), Qt::Key_Return);
    QCOMPARE(e.messages, QStringList{"Please input six characters!"});
    QVERIFY(unlock.Edit()->text().isEmpty());

    QTest::keyClicks(unlock.Edit(), QStringLiteral("a1B2c4"));
    QVERIFY(unlock.Note()->isHidden());
    QTest::keyClick(unlock.Edit(), Qt::Key_Enter);
    e.clock.Advance(600);
    QVERIFY(unlock.Edit()->text().isEmpty());  // wrong: emptied for another try
    QVERIFY(unlock.isVisible());
    QVERIFY(!unlock.Note()->isHidden());
    QCOMPARE(unlock.Note()->text(), QStringLiteral("Wrong password"));
    QTest::keyClicks(unlock.Edit(), QStringLiteral("a"));
    QVERIFY(unlock.Note()->isHidden());
    unlock.Edit()->clear();
    QTest::keyClicks(unlock.Edit(), QStringLiteral("a1B2c3"));
    QTest::mouseClick(unlock.OkButton(), Qt::LeftButton);
    e.clock.Advance(600);
    QVERIFY(!unlock.isVisible());
    QVERIFY(e.window.isEnabled());
    QVERIFY(e.window.LockLabel()->isHidden());
    QVERIFY(!e.sim.Locked());

    // Escape leaves the unlock dialog in place; "Quit" ends the editor.
    e.features->PanelLockFeature().ShowUnlock();
    QTest::keyClick(unlock.Edit(), Qt::Key_Escape);
    QVERIFY(unlock.isVisible());
    QTest::mouseClick(unlock.SecondButton(), Qt::LeftButton);
    QCOMPARE(e.quits, 1);
  }

  // A keyboard user reaches every control of the lock dialog and cancels it with Escape;
  // the password is masked unless "Show" is ticked.
  void lockDialogTakesTabAndEscapeAndMasksThePassword() {
    Editor e;
    e.Connect();
    e.features->Lock().LockAction()->trigger();
    PasswordEntry& lock = e.features->Lock().LockDialog();
    QVERIFY(QTest::qWaitForWindowActive(&lock));
    QCOMPARE(lock.Edit()->echoMode(), QLineEdit::Password);
    QTest::keyClicks(lock.Edit(), QStringLiteral("ab"));
    QTest::keyClick(lock.Edit(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), lock.ShowToggle());
    QTest::keyClick(lock.ShowToggle(), Qt::Key_Space);
    QCOMPARE(lock.Edit()->echoMode(), QLineEdit::Normal);
    QTest::keyClick(lock.ShowToggle(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), lock.OkButton());
    QTest::keyClick(lock.OkButton(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), lock.SecondButton());
    QTest::keyClick(lock.SecondButton(), Qt::Key_Backtab, Qt::ShiftModifier);
    QTest::keyClick(lock.OkButton(), Qt::Key_Backtab, Qt::ShiftModifier);
    QTest::keyClick(lock.ShowToggle(), Qt::Key_Backtab, Qt::ShiftModifier);
    QCOMPARE(QApplication::focusWidget(), lock.Edit());
    QCOMPARE(lock.Edit()->text(), QStringLiteral("ab"));

    QTest::keyClick(lock.Edit(), Qt::Key_Escape);  // Cancel
    QVERIFY(!lock.isVisible());
    QVERIFY(e.window.isEnabled());
    QVERIFY(!e.sim.Locked());
  }

  void lockPanelOnlyWhileConnected() {
    Editor e;
    e.window.show();
    QVERIFY(QTest::qWaitForWindowActive(&e.window));
    QAction* action = e.features->Lock().LockAction();
    QCOMPARE(action->text(), QString::fromUtf8("Lock panel\u2026"));
    QCOMPARE(action->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_L));
    QVERIFY(e.window.actions().contains(action));
    QVERIFY(!action->isEnabled());
    QTest::keySequence(&e.window, QKeySequence(Qt::CTRL | Qt::Key_L));
    QVERIFY(!e.features->Lock().LockDialog().isVisible());

    e.Connect();
    e.clock.Advance(200);  // the lamp refresh tells the window
    QVERIFY(action->isEnabled());
    QTest::keySequence(&e.window, QKeySequence(Qt::CTRL | Qt::Key_L));
    PasswordEntry& lock = e.features->Lock().LockDialog();
    QVERIFY(lock.isVisible());
    QCOMPARE(lock.objectName(), QStringLiteral("TForm8"));
    QVERIFY(!e.window.isEnabled());
    QTest::mouseClick(lock.SecondButton(), Qt::LeftButton);  // Cancel
    QVERIFY(!lock.isVisible());
    QVERIFY(e.window.isEnabled());

    action->trigger();
    QTest::keyClicks(lock.Edit(), QStringLiteral("Zz9Zz9"));
    QTest::keyClick(lock.Edit(), Qt::Key_Return);
    e.clock.Advance(600);
    QVERIFY(e.sim.Locked());
    QVERIFY(!lock.isVisible());
    QVERIFY(e.features->Lock().UnlockDialog().isVisible());
    QVERIFY(!e.window.isEnabled());

    e.engine.ConnectButtonClicked();
    e.clock.Advance(300);
    QVERIFY(!action->isEnabled());
  }
};

}  // namespace veltrane

QTEST_MAIN(veltrane::BottomPanelTest)
#include "bottom_panel_test.moc"
