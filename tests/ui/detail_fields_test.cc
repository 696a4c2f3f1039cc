// The numeric box shared by the EQ and crossover editors: key filter, the saved-text
// commit rules, and its step buttons.

#include <QApplication>
#include <QLineEdit>
#include <QTest>
#include <QToolButton>
#include <QVBoxLayout>
#include <vector>

#include "ui/detail_context.h"
#include "ui/detail_numeric_field.h"
#include "ui/editor_state.h"

namespace veltrane {
namespace {

// A field in a window of its own, with a second box to move the focus to. The owner's side
// of a commit is played by the recorder: it keeps the value and rewrites the text as "0.0".
struct FieldRig {
  explicit FieldRig(NumericField::Sign sign, const QString& start = QStringLiteral("1.0")) {
    auto* layout = new QVBoxLayout(&host);
    field = new NumericField(state, sign, &host);
    other = new QLineEdit(&host);
    layout->addWidget(field);
    layout->addWidget(other);
    field->setText(start);
    field->SetOnActivate([this] { ++activations; });
    field->SetOnCommit([this](double value) {
      commits.push_back(value);
      field->ShowText(OneDecimal(value));
    });
    host.show();
    host.activateWindow();
  }
  bool Active() { return QTest::qWaitForWindowActive(&host); }
  void Enter() { field->setFocus(Qt::OtherFocusReason); }
  void Leave() { other->setFocus(Qt::OtherFocusReason); }
  void Retype(const QString& text) {
    field->selectAll();
    QTest::keyClick(field, Qt::Key_Backspace);
    QTest::keyClicks(field, text);
  }

  // Declared before the window: closing it moves the focus out of the field, which still
  // commits into these.
  EditorState state;
  int activations = 0;
  std::vector<double> commits;
  QWidget host;
  NumericField* field = nullptr;
  QLineEdit* other = nullptr;
};

}  // namespace

class DetailFieldsTest : public QObject {
  Q_OBJECT

 private slots:
  void KeyFilter_data() {
    QTest::addColumn<bool>("signed_field");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("shown");
    QTest::newRow("frequency drops minus and letters") << false << "-12a,5.0e"
                                                       << "125.0";
    QTest::newRow("gain keeps minus") << true << "-12a,5.0e"
                                      << "-125.0";
    QTest::newRow("space and plus are discarded") << true << "+1 2"
                                                  << "12";
  }
  void KeyFilter() {
    QFETCH(bool, signed_field);
    QFETCH(QString, typed);
    QFETCH(QString, shown);
    FieldRig rig(signed_field ? NumericField::Sign::kSigned : NumericField::Sign::kPositive,
                 QString());
    QVERIFY(rig.Active());
    rig.Enter();
    QTest::keyClicks(rig.field, typed);
    QCOMPARE(rig.field->text(), shown);
    QTest::keyClick(rig.field, Qt::Key_Backspace);
    QCOMPARE(rig.field->text(), shown.chopped(1));
  }

  void EnterCommitsOnceAndLeavingAfterwardsDoesNothing() {
    FieldRig rig(NumericField::Sign::kPositive);
    QVERIFY(rig.Active());
    rig.Enter();
    rig.Retype(QStringLiteral("7"));
    QTest::keyClick(rig.field, Qt::Key_Return);
    QCOMPARE(rig.commits, std::vector<double>{7.0});
    QCOMPARE(rig.field->text(), QStringLiteral("7.0"));
    QCOMPARE(rig.state.saved_field_text, QStringLiteral("7.0"));
    QVERIFY(!rig.state.save_on_enter);
    rig.Leave();
    QCOMPARE(rig.commits.size(), std::size_t{1});
    QVERIFY(rig.state.save_on_enter);
    QCOMPARE(rig.activations, 2);  // the band is made current on both attempts
  }

  void InvalidTextIsReplacedBySavedText_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("by_enter");
    QTest::newRow("empty, Enter") << "" << true;
    QTest::newRow("two points, leaving") << "1.2.3" << false;
    QTest::newRow("point only, Enter") << "." << true;
  }
  void InvalidTextIsReplacedBySavedText() {
    QFETCH(QString, typed);
    QFETCH(bool, by_enter);
    FieldRig rig(NumericField::Sign::kPositive, QStringLiteral("51.1"));
    QVERIFY(rig.Active());
    rig.Enter();
    rig.Retype(typed);
    if (by_enter) {
      QTest::keyClick(rig.field, Qt::Key_Enter);
    } else {
      rig.Leave();
    }
    QCOMPARE(rig.field->text(), QStringLiteral("51.1"));
    QVERIFY(rig.commits.empty());
  }

  void UnchangedTextCommitsNothing() {
    FieldRig rig(NumericField::Sign::kPositive, QStringLiteral("500"));
    QVERIFY(rig.Active());
    rig.Enter();
    QCOMPARE(rig.state.saved_field_text, QStringLiteral("500"));
    rig.Leave();
    QVERIFY(rig.commits.empty());
    QCOMPARE(rig.field->text(), QStringLiteral("500"));
  }

  void LeavingCommitsTypedText() {
    FieldRig rig(NumericField::Sign::kSigned, QStringLiteral("0.0"));
    QVERIFY(rig.Active());
    rig.Enter();
    rig.Retype(QStringLiteral("-3.25"));
    rig.Leave();
    QCOMPARE(rig.commits, std::vector<double>{-3.25});
    // Entering the next box saves its own text.
    rig.Enter();
    QCOMPARE(rig.state.saved_field_text, rig.field->text());
  }

  void ProgramTextWhileFocusedBecomesSavedText() {
    // A step button rewrites the box that keeps the focus; leaving it must not commit the
    // same value again.
    FieldRig rig(NumericField::Sign::kPositive, QStringLiteral("1.0"));
    QVERIFY(rig.Active());
    rig.Enter();
    rig.field->ShowText(QStringLiteral("1.2"));
    rig.Leave();
    QVERIFY(rig.commits.empty());
  }

  void DisabledWhileFocusedRestoresNothing() {
    FieldRig rig(NumericField::Sign::kPositive, QStringLiteral("1.0"));
    QVERIFY(rig.Active());
    rig.Enter();
    rig.field->ShowText(QString());
    rig.field->setEnabled(false);  // a Q box whose band became a shelf
    QVERIFY(!rig.field->hasFocus());
    QCOMPARE(rig.field->text(), QString());
    QVERIFY(rig.commits.empty());
    QVERIFY(rig.state.save_on_enter);
  }

  void ClickSelectsWholeText() {
    FieldRig rig(NumericField::Sign::kPositive, QStringLiteral("2997"));
    QVERIFY(rig.Active());
    QTest::mouseClick(rig.field, Qt::LeftButton, {}, QPoint(5, rig.field->height() / 2));
    QCOMPARE(rig.field->selectedText(), QStringLiteral("2997"));
  }

  void StepButtonsAreNamedAfterTheirFieldAndReportDirection() {
    StepButtons steps(QStringLiteral("RzEdit73"));
    std::vector<int> deltas;
    steps.SetOnStep([&](int delta) { deltas.push_back(delta); });
    QCOMPARE(steps.Down()->objectName(), QStringLiteral("RzEdit73Down"));
    QCOMPARE(steps.Up()->objectName(), QStringLiteral("RzEdit73Up"));
    QCOMPARE(steps.Up()->focusPolicy(), Qt::NoFocus);
    steps.Down()->click();
    steps.Up()->click();
    QCOMPARE(deltas, (std::vector<int>{-1, +1}));
  }
};

}  // namespace veltrane

QTEST_MAIN(veltrane::DetailFieldsTest)
#include "detail_fields_test.moc"
