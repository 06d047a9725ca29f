#include "queue/closing/CloseBehaviorMenu.h"

#include "i18n/Localization.h"
#include "queue/view/CloseRules.h"

#include <QActionGroup>
#include <QSettings>
#include <QSystemTrayIcon>

namespace {

// Entry texts (English, the translation keys) by the value each stores.
const QList<std::pair<QString, QString>> &entries()
{
    static const QList<std::pair<QString, QString>> list = {
        {CloseRules::ask, QStringLiteral("Ask every time")},
        {CloseRules::tray, QStringLiteral("Keep running in tray")},
        {CloseRules::quit, QStringLiteral("Quit Rushlet")},
    };
    return list;
}

} // namespace

CloseBehaviorMenu::CloseBehaviorMenu(QWidget *parent)
    : PopupMenu(parent)
    , choices(new QActionGroup(this))
{
    setObjectName(QStringLiteral("closeBehaviorMenu"));
    choices->setExclusive(true);
    for (const auto &[value, text] : entries()) {
        QAction *action = addAction(text);
        action->setData(value);
        action->setCheckable(true);
        choices->addAction(action);
    }
    connect(choices, &QActionGroup::triggered, this,
            [](QAction *action) { QSettings().setValue(CloseRules::settingKey, action->data().toString()); });
    connect(this, &QMenu::aboutToShow, this, &CloseBehaviorMenu::sync);
    retranslate();
    connect(Localization::instance(), &Localization::changed, this, &CloseBehaviorMenu::retranslate);
    sync();
}

void CloseBehaviorMenu::sync()
{
    const QString stored =
        CloseRules::normalizedBehavior(QSettings().value(CloseRules::settingKey).toString());
    for (QAction *action : choices->actions()) {
        const QString value = action->data().toString();
        action->setChecked(value == stored);
        action->setEnabled(value != CloseRules::tray || QSystemTrayIcon::isSystemTrayAvailable());
    }
}

void CloseBehaviorMenu::retranslate()
{
    setTitle(Localization::translate(QStringLiteral("When closing the window")));
    const QList<QAction *> actions = choices->actions();
    for (qsizetype i = 0; i < actions.size(); ++i)
        actions[i]->setText(Localization::translate(entries().at(i).second));
}
