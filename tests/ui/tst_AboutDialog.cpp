#include "i18n/Localization.h"
#include "tests/support/TestEnvironment.h"
#include "ui/AboutDialog.h"

#include <QApplication>
#include <QDate>
#include <QLabel>
#include <QTest>
#include <QTextDocument>

namespace {

QLabel *labelWithText(const QWidget &root, const QString &text)
{
    const QList<QLabel *> labels = root.findChildren<QLabel *>();
    for (QLabel *label : labels)
        if (label->text() == text)
            return label;
    return nullptr;
}

} // namespace

class TestAboutDialog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(environment.isValid());
        environment.applyToCurrentProcess();
        TestEnvironment::useProgramNames();
    }

    void init() { Localization::setLanguage(QStringLiteral("en")); }

    void namesTitleAndLines()
    {
        AboutDialog dialog;
        QCOMPARE(dialog.objectName(), QStringLiteral("rushletAbout"));
        QCOMPARE(dialog.windowTitle(), QStringLiteral("About Rushlet"));
        QVERIFY(!dialog.windowIcon().isNull());
        QVERIFY(!dialog.windowFlags().testFlag(Qt::WindowContextHelpButtonHint));

        QLabel *version = labelWithText(dialog, QStringLiteral("Version ") + QStringLiteral(RUSHLET_VERSION));
        QVERIFY(version);
        QCOMPARE(version->property("secondary").toBool(), true);

        const QString year = QString::number(QDate::currentDate().year());
        const QString copyright =
            Localization::translate(copyrightTemplate).arg(year, AboutDialog::makerName());
        QLabel *notice = labelWithText(dialog, copyright);
        QVERIFY2(notice, qPrintable(copyright));
        QCOMPARE(notice->property("secondary").toBool(), true);
        QCOMPARE(notice->font().pointSize(), 8);

        // The dialog cannot be resized: its size is what its contents need.
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QCOMPARE(dialog.minimumSize(), dialog.maximumSize());
        QCOMPARE(dialog.size(), dialog.sizeHint());
    }

    void linkShowsThePageWithoutScheme_data()
    {
        QTest::addColumn<QColor>("window");
        QTest::addColumn<QString>("accent");
        QTest::addColumn<QString>("surface");
        QTest::newRow("light") << QColor(0xf0, 0xf0, 0xf0) << QStringLiteral("#1765d1")
                               << QStringLiteral("#ffffff");
        QTest::newRow("dark") << QColor(0x30, 0x30, 0x30) << QStringLiteral("#70b7ff")
                              << QStringLiteral("#252b33");
    }

    void linkShowsThePageWithoutScheme()
    {
        QFETCH(QColor, window);
        QFETCH(QString, accent);
        QFETCH(QString, surface);
        // A dialog is a window: its palette is the application's, as the platform theme gives it.
        const QPalette original = QApplication::palette();
        QPalette palette = original;
        palette.setColor(QPalette::Window, window);
        QApplication::setPalette(palette);
        AboutDialog dialog;
        QApplication::setPalette(original);
        QVERIFY(
            dialog.styleSheet().contains(QStringLiteral("QDialog#rushletAbout { background: ") + surface));

        auto *website = dialog.findChild<QLabel *>(QStringLiteral("aboutWebsite"));
        QVERIFY(website);
        const QString page = AboutDialog::productPage();
        QVERIFY(page.startsWith(QLatin1String("https://")));
        QVERIFY(page.endsWith(QLatin1String("/rushlet/")));
        QVERIFY(website->text().contains(QStringLiteral("href=\"%1\"").arg(page)));
        QVERIFY(website->text().contains(QStringLiteral("color: %1;").arg(accent)));
        QTextDocument shown;
        shown.setHtml(website->text());
        QCOMPARE(shown.toPlainText(), page.mid(8));
        QVERIFY(website->openExternalLinks());
        QCOMPARE(website->textInteractionFlags(), Qt::TextBrowserInteraction);
    }

    void followsALanguageSwitch()
    {
        AboutDialog dialog;
        Localization::setLanguage(QStringLiteral("de"));
        const QString title = Localization::translate(QStringLiteral("About Rushlet"));
        QVERIFY(title != QStringLiteral("About Rushlet"));
        QCOMPARE(dialog.windowTitle(), title);
        // Texts formatted after translation are built again, not left in the old language.
        const QString version =
            Localization::translate(QStringLiteral("Version %1")).arg(QStringLiteral(RUSHLET_VERSION));
        QVERIFY(labelWithText(dialog, version));
        const QString copyright =
            Localization::translate(copyrightTemplate)
                .arg(QString::number(QDate::currentDate().year()), AboutDialog::makerName());
        QVERIFY(labelWithText(dialog, copyright));
        QVERIFY(copyright !=
                QString(copyrightTemplate)
                    .arg(QString::number(QDate::currentDate().year()), AboutDialog::makerName()));
    }

private:
    TestEnvironment environment;
    const QString copyrightTemplate = QStringLiteral("© %1 %2. All rights reserved.");
};

QTEST_MAIN(TestAboutDialog)
#include "tst_AboutDialog.moc"
