#include "ui/PresetNamePrompt.h"

#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

class TestPresetNamePrompt : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void answer_data()
    {
        QTest::addColumn<QString>("press"); // a button's text, or empty for Return
        QTest::addColumn<std::optional<QString>>("name");
        QTest::newRow("Return") << QString() << std::optional<QString>("Sprache säubern");
        QTest::newRow("Abbrechen") << "Abbrechen" << std::optional<QString>();
    }

    void answer()
    {
        QFETCH(QString, press);
        QTimer::singleShot(0, [press] {
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            auto* field = dialog->findChild<QLineEdit*>("name");
            QTest::keyClicks(field, "Sprache");
            field->insert(QStringLiteral(" säubern"));
            if (press.isEmpty())
                QTest::keyClick(field, Qt::Key_Return); // the default button
            for (auto* button : dialog->findChildren<QPushButton*>())
                if (button->text() == press)
                    button->click();
        });
        QTEST(tolvex::ui::PresetNamePrompt().askName(), "name");
    }
};

QTEST_MAIN(TestPresetNamePrompt)
#include "test_preset_name_prompt.moc"
