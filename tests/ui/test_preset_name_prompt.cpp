#include "ui/PresetNamePrompt.h"

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

class TestPresetNamePrompt : public QObject {
    Q_OBJECT

    /// Runs `act` on the prompt once it is shown.
    static void whenShown(std::function<void(QDialog&)> act)
    {
        QTimer::singleShot(0, [act] {
            for (QWidget* widget : QApplication::topLevelWidgets())
                if (auto* dialog = qobject_cast<QDialog*>(widget); dialog && dialog->isVisible())
                    act(*dialog);
        });
    }

private Q_SLOTS:
    void typedNameIsReturned()
    {
        whenShown([](QDialog& dialog) {
            auto* field = dialog.findChild<QLineEdit*>("name");
            QCOMPARE(field->placeholderText(), QStringLiteral("z. B. Sprache säubern"));
            QStringList texts;
            for (auto* label : dialog.findChildren<QLabel*>())
                texts << label->text();
            QVERIFY(texts.contains(QStringLiteral("Unter welchem Namen?")));
            QTest::keyClicks(field, "Sprache");
            field->insert(QStringLiteral(" säubern"));
            QTest::keyClick(field, Qt::Key_Return); // the default button
        });
        QCOMPARE(tolvex::ui::PresetNamePrompt().askName(),
                 std::optional<QString>("Sprache säubern"));
    }

    void cancelGivesNothing()
    {
        whenShown([](QDialog& dialog) {
            for (auto* button : dialog.findChildren<QPushButton*>())
                if (button->text() == QStringLiteral("Abbrechen"))
                    button->click();
        });
        QVERIFY(!tolvex::ui::PresetNamePrompt().askName());
    }
};

QTEST_MAIN(TestPresetNamePrompt)
#include "test_preset_name_prompt.moc"
