#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTranslator>

class QMenu;
class QWidget;

// The process-wide translator. Every visible text is written in English in the code and passed
// through translate() when shown; the English text is the key of the table built into the
// program. The user's choice ("system" or a language code) is kept in the setting "language".
//
// The operations are static so that both Localization::translate(...) and
// Localization::instance()->translate(...) read naturally; they all act on the single object.
// GUI thread only, apart from the first call of instance().
class Localization : public QObject
{
    Q_OBJECT

public:
    static Localization *instance();

    // The text in the language in force; texts without a row come back unchanged. Arguments are
    // filled in after the lookup: translate("Version %1").arg(version).
    static QString translate(const QString &english);
    // The same with `arguments` filled into its %1, %2… in order, for rules that hand a sentence
    // and its values apart.
    static QString translate(const QString &english, const QStringList &arguments);
    // A counted text, "%n item|%n items" in English, in the form the count takes in the language
    // in force, with %n filled in; other arguments follow as with translate().
    static QString translateCount(const QString &english, qint64 count);

    // Keeps the static texts of `root` and all its descendants in the language in force: window
    // titles, tool tips, label/button/action texts and line-edit placeholders that are table keys
    // when bound, and every list widget item, table header, tab and combo box item. Call it once
    // the tree holds its English texts. Owners that later relabel a bound widget refresh it in a
    // slot connected to changed() after this call.
    static void bind(QWidget *root);

    // "system" or one of the language codes; anything else is ignored.
    static void setLanguage(const QString &code);

    // The stored choice: "system" or a language code.
    static QString language();
    // The code in force.
    static QString effectiveLanguage();
    // The code that "system" currently resolves to.
    static QString systemLanguage();

    // Adds the "Language" submenu to `parent`.
    static void populateLanguageMenu(QMenu *parent);

signals:
    // After a real change of the stored choice.
    void changed();

private:
    Localization();

    static QString effectiveLanguageOf(const QString &choice);
    // Qt's own texts (key names such as "Ctrl", standard buttons, the file dialog) in the language
    // in force, from the translations installed with Qt.
    void loadQtTexts();

    QString choice;
    // Resolved when the choice is made: asking the system for its languages costs microseconds,
    // far too much for a lookup that runs for every cell of a refreshed list.
    QString effective;
    QTranslator qtTexts;
};
