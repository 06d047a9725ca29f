#include "i18n/Localization.h"

#include "i18n/TranslationRules.h"
#include "platform/FontFallbacks.h"
#include "ui/PopupMenu.h"

#include <QAbstractButton>
#include <QAction>
#include <QActionGroup>
#include <QComboBox>
#include <QCoreApplication>
#include <QFile>
#include <QLabel>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPointer>
#include <QSettings>
#include <QSignalBlocker>
#include <QTabWidget>
#include <QTableWidget>

#include <functional>
#include <vector>

namespace {

const QString settingKey = QStringLiteral("language");
const QString systemChoice = QStringLiteral("system");

const TranslationRules::Table &table()
{
    static const TranslationRules::Table loaded = [] {
        QFile file(QStringLiteral(":/rushlet/translations/ui.tsv"));
        if (!file.open(QIODevice::ReadOnly))
            return TranslationRules::Table();
        return TranslationRules::parseTable(QString::fromUtf8(file.readAll()));
    }();
    return loaded;
}

bool isKey(const QString &text)
{
    return !text.isEmpty() && table().contains(text);
}

using Closure = std::function<void()>;

// Every object of the tree in depth-first child order, the root first.
void collect(QObject *object, QList<QObject *> &objects)
{
    objects.append(object);
    for (QObject *child : object->children())
        collect(child, objects);
}

// A closure restoring a property to the translation of the key it holds now. An object deleted
// before its root simply drops out.
void addPropertyClosure(std::vector<Closure> &closures, QObject *object, const char *property)
{
    const QString english = object->property(property).toString();
    if (!isKey(english))
        return;
    closures.push_back([target = QPointer<QObject>(object), property, english] {
        if (target)
            target->setProperty(property, Localization::translate(english));
    });
}

// An action without a tool tip of its own shows its text; a copy of that would freeze the tip at
// bind time and no longer follow the text when the owner relabels the action.
bool hasOwnToolTip(const QAction *action)
{
    QString implicit = action->text();
    implicit.replace(QLatin1String("&&"), QLatin1String("\x01"));
    implicit.remove(QLatin1Char('&'));
    implicit.replace(QLatin1Char('\x01'), QLatin1Char('&'));
    implicit.replace(QLatin1String("..."), QString());
    return action->toolTip() != implicit.trimmed();
}

void addClosures(std::vector<Closure> &closures, QObject *object)
{
    addPropertyClosure(closures, object, "windowTitle");
    auto *action = qobject_cast<QAction *>(object);
    if (action == nullptr || hasOwnToolTip(action))
        addPropertyClosure(closures, object, "toolTip");
    if (action != nullptr || qobject_cast<QLabel *>(object) != nullptr ||
        qobject_cast<QAbstractButton *>(object) != nullptr)
        addPropertyClosure(closures, object, "text");
    if (qobject_cast<QLineEdit *>(object) != nullptr)
        addPropertyClosure(closures, object, "placeholderText");

    // Item texts are bound whatever they hold: lists and combo boxes carry fixed vocabularies.
    if (auto *list = qobject_cast<QListWidget *>(object)) {
        for (int i = 0; i < list->count(); ++i) {
            closures.push_back([target = QPointer<QListWidget>(list), i, english = list->item(i)->text()] {
                if (!target || i >= target->count())
                    return;
                const QSignalBlocker blocker(target);
                target->item(i)->setText(Localization::translate(english));
            });
        }
    } else if (auto *tableWidget = qobject_cast<QTableWidget *>(object)) {
        for (int column = 0; column < tableWidget->columnCount(); ++column) {
            const QTableWidgetItem *header = tableWidget->horizontalHeaderItem(column);
            if (header == nullptr)
                continue;
            closures.push_back(
                [target = QPointer<QTableWidget>(tableWidget), column, english = header->text()] {
                    if (!target)
                        return;
                    if (QTableWidgetItem *item = target->horizontalHeaderItem(column))
                        item->setText(Localization::translate(english));
                });
        }
    } else if (auto *tabs = qobject_cast<QTabWidget *>(object)) {
        for (int i = 0; i < tabs->count(); ++i) {
            closures.push_back([target = QPointer<QTabWidget>(tabs), i, english = tabs->tabText(i)] {
                if (target && i < target->count())
                    target->setTabText(i, Localization::translate(english));
            });
        }
    } else if (auto *combo = qobject_cast<QComboBox *>(object)) {
        for (int i = 0; i < combo->count(); ++i) {
            closures.push_back([target = QPointer<QComboBox>(combo), i, english = combo->itemText(i)] {
                if (!target || i >= target->count())
                    return;
                const QSignalBlocker blocker(target);
                target->setItemText(i, Localization::translate(english));
            });
        }
    }
}

} // namespace

Localization::Localization()
    : choice(TranslationRules::storedChoice(QSettings().value(settingKey, systemChoice).toString()))
    , effective(effectiveLanguageOf(choice))
{
    FontFallbacks::apply(effective);
    loadQtTexts();
}

Localization *Localization::instance()
{
    // Lives to process exit; a function-local static is created once, safely across threads.
    static Localization object;
    return &object;
}

QString Localization::translate(const QString &english)
{
    return TranslationRules::lookup(table(), english, effectiveLanguage());
}

QString Localization::translate(const QString &english, const QStringList &arguments)
{
    QString sentence = translate(english);
    for (const QString &argument : arguments)
        sentence = sentence.arg(argument);
    return sentence;
}

QString Localization::translateCount(const QString &english, qint64 count)
{
    return TranslationRules::countedText(translate(english), effectiveLanguage(), count);
}

void Localization::bind(QWidget *root)
{
    if (root == nullptr)
        return;
    QList<QObject *> objects;
    collect(root, objects);
    std::vector<Closure> closures;
    for (QObject *object : std::as_const(objects))
        addClosures(closures, object);

    const auto retranslate = [closures = std::move(closures)] {
        for (const Closure &closure : closures)
            closure();
    };
    connect(instance(), &Localization::changed, root, retranslate);
    retranslate();
}

void Localization::setLanguage(const QString &code)
{
    if (code != systemChoice && !TranslationRules::isLanguageCode(code))
        return;
    Localization *self = instance();
    if (code == self->choice)
        return;
    self->choice = code;
    self->effective = effectiveLanguageOf(code);
    QSettings().setValue(settingKey, code);
    FontFallbacks::apply(self->effective);
    self->loadQtTexts();
    emit self->changed();
}

QString Localization::language()
{
    return instance()->choice;
}

QString Localization::effectiveLanguage()
{
    return instance()->effective;
}

QString Localization::systemLanguage()
{
    const QStringList uiLanguages = QLocale::system().uiLanguages();
    return TranslationRules::languageForTag(uiLanguages.isEmpty() ? QStringLiteral("en")
                                                                  : uiLanguages.constFirst());
}

void Localization::loadQtTexts()
{
    QCoreApplication::removeTranslator(&qtTexts);
    // English is the language Qt's texts are written in.
    if (effective != QLatin1String("en") && qtTexts.load(QStringLiteral("qtbase_") + effective,
                                                         QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(&qtTexts);
}

QString Localization::effectiveLanguageOf(const QString &choice)
{
    return choice == systemChoice ? systemLanguage() : choice;
}

void Localization::populateLanguageMenu(QMenu *parent)
{
    if (parent == nullptr)
        return;
    auto *menu = new PopupMenu(QStringLiteral("Language"), parent);
    menu->setObjectName(QStringLiteral("languageMenu"));
    parent->addMenu(menu);
    auto *group = new QActionGroup(menu);
    group->setExclusive(true);

    const auto addChoice = [menu, group](const QString &text, const QString &code) {
        QAction *action = menu->addAction(text);
        action->setData(code);
        action->setCheckable(true);
        group->addAction(action);
        connect(action, &QAction::triggered, instance(), [code] { setLanguage(code); });
        return action;
    };
    QAction *systemAction = addChoice(QString(), systemChoice);
    menu->addSeparator();
    const QStringList &codes = TranslationRules::languageCodes();
    const QStringList &names = TranslationRules::languageNames();
    for (qsizetype i = 0; i < codes.size(); ++i)
        addChoice(names.at(i), codes.at(i));

    const auto refresh = [menu, group, systemAction] {
        menu->setTitle(translate(QStringLiteral("Language")));
        const qsizetype systemIndex = TranslationRules::languageCodes().indexOf(systemLanguage());
        systemAction->setText(translate(QStringLiteral("System default (%1)"))
                                  .arg(TranslationRules::languageNames().value(systemIndex)));
        const QString stored = language();
        for (QAction *action : group->actions())
            action->setChecked(action->data().toString() == stored);
    };
    connect(instance(), &Localization::changed, menu, refresh);
    refresh();
}
