#include "i18n/Localization.h"
#include "i18n/TranslationRules.h"
#include "platform/FontFallbacks.h"
#include "tests/support/TestEnvironment.h"
#include "ui/PopupMenu.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QGlyphRun>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QRawFont>
#include <QSettings>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>
#include <QTextLayout>
#include <QVBoxLayout>

namespace {

constexpr int probeLimitMs = 30000;

QString storedSetting()
{
    return QSettings().value(QStringLiteral("language")).toString();
}

// The families `font` really draws `text` with, fallbacks included.
QStringList familiesDrawing(const QString &text, const QFont &font = QApplication::font())
{
    QTextLayout layout(text, font);
    layout.beginLayout();
    layout.createLine();
    layout.endLayout();
    QStringList families;
    for (const QGlyphRun &run : layout.glyphRuns())
        families.append(run.rawFont().familyName());
    return families;
}

QAction *actionFor(QMenu *menu, const QString &code)
{
    for (QAction *action : menu->actions()) {
        if (action->data().toString() == code)
            return action;
    }
    return nullptr;
}

QStringList checkedCodes(QMenu *menu)
{
    QStringList codes;
    for (QAction *action : menu->actions()) {
        if (action->isChecked())
            codes.append(action->data().toString());
    }
    return codes;
}

} // namespace

// The process runs under a German system locale (set in main before Qt reads it), and starts
// with a stored choice that is no language at all.
class TestLocalization : public QObject
{
    Q_OBJECT

public:
    TestEnvironment environment;

private slots:
    void invalidStoredChoiceStartsInSystemModeWithoutRewriting()
    {
        QCOMPARE(Localization::language(), QStringLiteral("system"));
        QCOMPARE(storedSetting(), QStringLiteral("xx"));
        QCOMPARE(Localization::systemLanguage(), QStringLiteral("de"));
        QCOMPARE(Localization::effectiveLanguage(), QStringLiteral("de"));
    }

    void translateUsesTheBuiltInTable()
    {
        QCOMPARE(Localization::translate(QStringLiteral("&File")), QStringLiteral("&Datei"));
        QCOMPARE(
            Localization::instance()->translate(QStringLiteral("Version %1")).arg(QStringLiteral("1.1.0")),
            QStringLiteral("Version 1.1.0"));
        QCOMPARE(Localization::translate(QStringLiteral("Not a key")), QStringLiteral("Not a key"));
        Localization::setLanguage(QStringLiteral("ja"));
        QCOMPARE(Localization::translate(QStringLiteral("Pause")), QStringLiteral("一時停止"));
        QCOMPARE(Localization::translate(QStringLiteral("Not a key")), QStringLiteral("Not a key"));
        Localization::setLanguage(QStringLiteral("system"));
    }

    void setLanguageWritesAndSignalsOnlyRealChanges()
    {
        QSignalSpy changed(Localization::instance(), &Localization::changed);
        const QString stored = storedSetting();
        Localization::setLanguage(QStringLiteral("system"));
        Localization::setLanguage(QStringLiteral("xx"));
        Localization::setLanguage(QStringLiteral("DE"));
        QCOMPARE(changed.count(), 0);
        QCOMPARE(storedSetting(), stored);

        Localization::setLanguage(QStringLiteral("de"));
        QCOMPARE(changed.count(), 1);
        QCOMPARE(storedSetting(), QStringLiteral("de"));
        Localization::setLanguage(QStringLiteral("de"));
        QCOMPARE(changed.count(), 1);

        // The system also speaks German, yet the stored choice changes.
        Localization::setLanguage(QStringLiteral("system"));
        QCOMPARE(changed.count(), 2);
        QCOMPARE(storedSetting(), QStringLiteral("system"));
        QCOMPARE(Localization::effectiveLanguage(), QStringLiteral("de"));
    }

    // Qt's own texts (a shortcut's and a key's names, a standard button) come from the translations
    // installed with Qt, and go back to English.
    void qtTextsFollowTheLanguage()
    {
        const auto qtTexts = [] {
            const QDialogButtonBox buttons(QDialogButtonBox::Cancel);
            return QStringList({QKeySequence(QStringLiteral("Ctrl+N")).toString(QKeySequence::NativeText),
                                QKeySequence(QKeySequence::Delete).toString(QKeySequence::NativeText),
                                buttons.button(QDialogButtonBox::Cancel)->text()});
        };
        Localization::setLanguage(QStringLiteral("de"));
        QCOMPARE(qtTexts(), QStringList({QStringLiteral("Strg+N"), QStringLiteral("Entf"),
                                         QStringLiteral("Abbrechen")}));
        Localization::setLanguage(QStringLiteral("en"));
        QCOMPARE(qtTexts(),
                 QStringList({QStringLiteral("Ctrl+N"), QStringLiteral("Del"), QStringLiteral("Cancel")}));
    }

    void bindKeepsAWidgetTreeTranslated()
    {
        Localization::setLanguage(QStringLiteral("en"));
        QWidget root;
        root.setWindowTitle(QStringLiteral("Add download"));
        auto *layout = new QVBoxLayout(&root);
        auto *label = new QLabel(QStringLiteral("File &name"));
        label->setToolTip(QStringLiteral("Remove"));
        auto *url = new QLabel(QStringLiteral("https://example.com/Pause"));
        auto *button = new QPushButton(QStringLiteral("Cancel"));
        auto *placeholder = new QLineEdit;
        placeholder->setPlaceholderText(QStringLiteral("Filled automatically from the link"));
        auto *freeText = new QLineEdit;
        freeText->setPlaceholderText(QStringLiteral("Pause all downloads"));
        auto *list = new QListWidget;
        list->addItems({QStringLiteral("All files"), QStringLiteral("Completed"), QStringLiteral("Custom")});
        list->setCurrentRow(1);
        auto *table = new QTableWidget(0, 3);
        table->setHorizontalHeaderItem(0, new QTableWidgetItem(QStringLiteral("File name")));
        table->setHorizontalHeaderItem(2, new QTableWidgetItem(QStringLiteral("Status")));
        auto *tabs = new QTabWidget;
        tabs->addTab(new QWidget, QStringLiteral("Transfer"));
        tabs->addTab(new QWidget, QStringLiteral("File details"));
        auto *combo = new QComboBox;
        combo->addItems({QStringLiteral("Immediately"), QStringLiteral("Add to queue")});
        combo->setCurrentIndex(1);
        auto *menu = new PopupMenu(QStringLiteral("&File"), &root);
        QAction *pause = menu->addAction(QStringLiteral("Pause"));
        QAction *remove = menu->addAction(QStringLiteral("Remove"));
        remove->setToolTip(QStringLiteral("Remove from list"));
        auto *doomed = new QLabel(QStringLiteral("Cancel"));
        for (QWidget *widget : std::initializer_list<QWidget *>{label, url, button, placeholder, freeText,
                                                                list, table, tabs, combo, doomed})
            layout->addWidget(widget);

        Localization::bind(&root);
        // An owner relabelling a bound action refreshes it after the binding's own closures.
        bool resumable = false;
        connect(Localization::instance(), &Localization::changed, pause, [&] {
            if (resumable)
                pause->setText(Localization::translate(QStringLiteral("Resume")));
        });
        delete doomed;

        QSignalSpy comboIndex(combo, &QComboBox::currentIndexChanged);
        QSignalSpy comboText(combo, &QComboBox::currentTextChanged);
        QSignalSpy listRow(list, &QListWidget::currentRowChanged);
        QSignalSpy listText(list, &QListWidget::currentTextChanged);
        QSignalSpy listItem(list, &QListWidget::itemChanged);

        Localization::setLanguage(QStringLiteral("de"));
        QCOMPARE(root.windowTitle(), QStringLiteral("Download hinzufügen"));
        QCOMPARE(label->text(), QStringLiteral("Datei&name"));
        QCOMPARE(label->toolTip(), QStringLiteral("Entfernen"));
        QCOMPARE(url->text(), QStringLiteral("https://example.com/Pause"));
        QCOMPARE(button->text(), QStringLiteral("Abbrechen"));
        QCOMPARE(placeholder->placeholderText(), QStringLiteral("Wird automatisch aus dem Link übernommen"));
        QCOMPARE(freeText->placeholderText(), QStringLiteral("Pause all downloads"));
        QCOMPARE(list->item(0)->text(), QStringLiteral("Alle Dateien"));
        QCOMPARE(list->item(1)->text(), QStringLiteral("Abgeschlossen"));
        QCOMPARE(list->item(2)->text(), QStringLiteral("Custom"));
        QCOMPARE(table->horizontalHeaderItem(0)->text(), QStringLiteral("Dateiname"));
        QVERIFY(table->horizontalHeaderItem(1) == nullptr);
        QCOMPARE(table->horizontalHeaderItem(2)->text(), QStringLiteral("Status"));
        QCOMPARE(tabs->tabText(0), QStringLiteral("Übertragung"));
        QCOMPARE(tabs->tabText(1), QStringLiteral("Dateidetails"));
        QCOMPARE(combo->itemText(0), QStringLiteral("Sofort"));
        QCOMPARE(combo->currentText(), QStringLiteral("Zur Warteschlange hinzufügen"));
        QCOMPARE(menu->title(), QStringLiteral("&Datei"));
        QCOMPARE(pause->text(), QStringLiteral("Pausieren"));
        // A tip of the action's own is translated; a tip that only shows the text follows it.
        QCOMPARE(remove->toolTip(), QStringLiteral("Aus der Liste entfernen"));
        QCOMPARE(pause->toolTip(), QStringLiteral("Pausieren"));
        QCOMPARE(comboIndex.count() + comboText.count(), 0);
        QCOMPARE(listRow.count() + listText.count() + listItem.count(), 0);
        QCOMPARE(combo->currentIndex(), 1);
        QCOMPARE(list->currentRow(), 1);

        resumable = true;
        Localization::setLanguage(QStringLiteral("fr"));
        QCOMPARE(pause->text(), QStringLiteral("Reprendre"));
        QCOMPARE(pause->toolTip(), QStringLiteral("Reprendre"));
        QCOMPARE(combo->itemText(1), QStringLiteral("Ajouter à la file d’attente"));

        Localization::setLanguage(QStringLiteral("en"));
        QCOMPARE(root.windowTitle(), QStringLiteral("Add download"));
        QCOMPARE(label->text(), QStringLiteral("File &name"));
        QCOMPARE(list->item(1)->text(), QStringLiteral("Completed"));
        QCOMPARE(combo->itemText(0), QStringLiteral("Immediately"));
        QCOMPARE(menu->title(), QStringLiteral("&File"));
        QCOMPARE(comboIndex.count() + comboText.count(), 0);
        QCOMPARE(listRow.count() + listText.count() + listItem.count(), 0);
    }

    void bindOutlivedByTheTranslatorIsHarmless()
    {
        Localization::setLanguage(QStringLiteral("en"));
        {
            QWidget root;
            root.setWindowTitle(QStringLiteral("Add download"));
            new QLabel(QStringLiteral("Cancel"), &root);
            Localization::bind(&root);
        }
        QSignalSpy changed(Localization::instance(), &Localization::changed);
        Localization::setLanguage(QStringLiteral("ko"));
        QCOMPARE(changed.count(), 1);
    }

    void languageMenuShowsAndChangesTheChoice()
    {
        Localization::setLanguage(QStringLiteral("system"));
        QMenu view(QStringLiteral("&View"));
        Localization::populateLanguageMenu(&view);
        auto *menu = view.findChild<PopupMenu *>(QStringLiteral("languageMenu"));
        QVERIFY(menu != nullptr);
        QCOMPARE(view.actions().size(), 1);
        QCOMPARE(view.actions().constFirst()->menu(), menu);

        const QList<QAction *> actions = menu->actions();
        QCOMPARE(actions.size(), 12);
        QVERIFY(actions.at(1)->isSeparator());
        QCOMPARE(actions.at(0)->data().toString(), QStringLiteral("system"));
        for (int i = 0; i < 10; ++i) {
            QCOMPARE(actions.at(i + 2)->data().toString(), TranslationRules::languageCodes().at(i));
            QCOMPARE(actions.at(i + 2)->text(), TranslationRules::languageNames().at(i));
        }
        QCOMPARE(menu->title(), QStringLiteral("Sprache"));
        QCOMPARE(actions.at(0)->text(), QStringLiteral("Systemstandard (Deutsch)"));
        QCOMPARE(checkedCodes(menu), QStringList{QStringLiteral("system")});

        actionFor(menu, QStringLiteral("ja"))->trigger();
        QCOMPARE(Localization::language(), QStringLiteral("ja"));
        QCOMPARE(storedSetting(), QStringLiteral("ja"));
        QCOMPARE(checkedCodes(menu), QStringList{QStringLiteral("ja")});
        QCOMPARE(menu->title(), QStringLiteral("言語"));
        QCOMPARE(actions.at(0)->text(), QStringLiteral("システムの既定 (Deutsch)"));
        QCOMPARE(actionFor(menu, QStringLiteral("de"))->text(), QStringLiteral("Deutsch"));

        // Picking the checked entry again changes nothing.
        QSignalSpy changed(Localization::instance(), &Localization::changed);
        actionFor(menu, QStringLiteral("ja"))->trigger();
        QCOMPARE(changed.count(), 0);
        QCOMPARE(checkedCodes(menu), QStringList{QStringLiteral("ja")});

        // A change made elsewhere shows in the menu too.
        Localization::setLanguage(QStringLiteral("pt_BR"));
        QCOMPARE(checkedCodes(menu), QStringList{QStringLiteral("pt_BR")});
        QCOMPARE(actions.at(0)->text(), QStringLiteral("Padrão do sistema (Deutsch)"));

        actions.at(0)->trigger();
        QCOMPARE(Localization::language(), QStringLiteral("system"));
        QCOMPARE(checkedCodes(menu), QStringList{QStringLiteral("system")});
    }

    void hanCharactersFollowTheLanguage_data()
    {
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("hanFamily");
        QTest::newRow("Japanese") << QStringLiteral("ja") << QStringLiteral("Noto Sans CJK JP");
        QTest::newRow("Traditional Chinese") << QStringLiteral("zh_TW") << QStringLiteral("Noto Sans CJK TC");
        QTest::newRow("Simplified Chinese") << QStringLiteral("zh_CN") << QStringLiteral("Noto Sans CJK SC");
        QTest::newRow("German") << QStringLiteral("de") << QStringLiteral("Noto Sans CJK SC");
        QTest::newRow("Korean") << QStringLiteral("ko") << QStringLiteral("Noto Sans CJK SC");
        QTest::newRow("back to Japanese") << QStringLiteral("ja") << QStringLiteral("Noto Sans CJK JP");
    }

    void hanCharactersFollowTheLanguage()
    {
        QFETCH(QString, language);
        QFETCH(QString, hanFamily);
        QVERIFY2(QFontDatabase::families().contains(QStringLiteral("Noto Sans CJK JP")),
                 "the CJK fonts are missing; scripts/install-deps.sh installs them");
        QCOMPARE(FontFallbacks::hanFamily(language), hanFamily);
        QLabel shownBefore;
        Localization::setLanguage(language);
        // The same character is drawn with the shapes of the language in force, even after the
        // font has been used under another language, and widgets that exist already follow.
        QCOMPARE(familiesDrawing(QStringLiteral("語")), QStringList{hanFamily});
        QTRY_COMPARE_WITH_TIMEOUT(familiesDrawing(QStringLiteral("語"), shownBefore.font()),
                                  QStringList{hanFamily}, 30000);
        if (language == QLatin1String("ja"))
            QCOMPARE(familiesDrawing(QStringLiteral("ひらがなカタカナ")),
                     QStringList{FontFallbacks::kanaFamily()});
        // Latin letters keep the desktop's family in every language.
        QCOMPARE(familiesDrawing(QStringLiteral("Rushlet 1.1")), QStringList{FontFallbacks::desktopFamily()});
    }

    void systemLanguageFollowsTheRealLocale_data()
    {
        QTest::addColumn<QString>("lang");
        QTest::addColumn<QString>("languageList");
        QTest::addColumn<QString>("expected");
        QTest::newRow("Hong Kong") << QStringLiteral("zh_HK.UTF-8") << QString() << QStringLiteral("zh_TW");
        QTest::newRow("Taiwan") << QStringLiteral("zh_TW.UTF-8") << QString() << QStringLiteral("zh_TW");
        QTest::newRow("Singapore first in LANGUAGE")
            << QStringLiteral("en_US.UTF-8") << QStringLiteral("zh_SG:en_GB") << QStringLiteral("zh_CN");
        QTest::newRow("Portugal") << QStringLiteral("pt_PT.UTF-8") << QString() << QStringLiteral("pt_BR");
        QTest::newRow("Mexico") << QStringLiteral("es_MX.UTF-8") << QString() << QStringLiteral("es");
        QTest::newRow("Norway") << QStringLiteral("nb_NO.UTF-8") << QString() << QStringLiteral("en");
        QTest::newRow("C") << QStringLiteral("C") << QString() << QStringLiteral("en");
        QTest::newRow("Japan") << QStringLiteral("ja_JP.UTF-8") << QString() << QStringLiteral("ja");
    }

    void systemLanguageFollowsTheRealLocale()
    {
        QFETCH(QString, lang);
        QFETCH(QString, languageList);
        QFETCH(QString, expected);
        QProcessEnvironment env = environment.processEnvironment();
        for (const char *name : {"LC_ALL", "LC_MESSAGES", "LANGUAGE"})
            env.remove(QString::fromLatin1(name));
        env.insert(QStringLiteral("LANG"), lang);
        if (!languageList.isEmpty())
            env.insert(QStringLiteral("LANGUAGE"), languageList);

        QProcess probe;
        probe.setProcessEnvironment(env);
        probe.start(QCoreApplication::applicationDirPath() + QStringLiteral("/i18n_system_language"), {});
        QVERIFY(probe.waitForStarted(probeLimitMs));
        if (!probe.waitForFinished(probeLimitMs)) {
            probe.kill();
            probe.waitForFinished(probeLimitMs);
            QFAIL("the probe did not finish");
        }
        QCOMPARE(probe.exitCode(), 0);
        QCOMPARE(QString::fromUtf8(probe.readAllStandardOutput()).trimmed(), expected);
    }
};

int main(int argc, char *argv[])
{
    // Qt reads the system locale from these once; the process plays a German desktop.
    qunsetenv("LC_ALL");
    qunsetenv("LC_MESSAGES");
    qputenv("LANG", "de_DE.UTF-8");
    qputenv("LANGUAGE", "de_DE");
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Rushlet"));
    QCoreApplication::setApplicationName(QStringLiteral("Rushlet"));

    TestLocalization test;
    if (!test.environment.isValid())
        return 1;
    test.environment.applyToCurrentProcess();
    QSettings().setValue(QStringLiteral("language"), QStringLiteral("xx"));
    return QTest::qExec(&test, argc, argv);
}

#include "tst_Localization.moc"
