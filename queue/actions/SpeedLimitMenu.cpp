#include "queue/actions/SpeedLimitMenu.h"

#include "engine/SpeedLimitRules.h"
#include "i18n/Localization.h"
#include "queue/actions/TextEntryDialog.h"
#include "queue/list/DownloadList.h"
#include "queue/view/TransferExtras.h"
#include "ui/ModalDialogs.h"

#include <QActionGroup>

namespace {

QString translated(const char *english)
{
    return Localization::translate(QString::fromUtf8(english));
}

} // namespace

SpeedLimitMenu::SpeedLimitMenu(QWidget *parent)
    : PopupMenu(parent)
    , entries(new QActionGroup(this))
{
    setObjectName(QStringLiteral("speedLimitMenu"));
    off = addAction(QString());
    off->setData(qint64(0));
    addSeparator();
    for (const qint64 preset : SpeedLimitRules::presets()) {
        QAction *action = addAction(TransferExtras::formatLimit(preset));
        action->setData(preset);
        presetActions.append(action);
    }
    addSeparator();
    custom = addAction(QString());
    for (QAction *action : actions()) {
        if (!action->isSeparator()) {
            action->setCheckable(true);
            entries->addAction(action);
        }
    }
    connect(this, &QMenu::triggered, this, [this](QAction *action) {
        if (action == custom)
            emit customChosen();
        else if (limitOf(action) >= 0)
            emit limitChosen(limitOf(action));
    });
    retranslate();
    connect(Localization::instance(), &Localization::changed, this, &SpeedLimitMenu::retranslate);
}

SpeedLimitMenu *SpeedLimitMenu::overall(DownloadList &list, QWidget *parent)
{
    auto *menu = new SpeedLimitMenu(parent);
    menu->setObjectName(QStringLiteral("overallSpeedLimitMenu"));
    menu->showLimit(list.overallSpeedLimit());
    connect(menu, &QMenu::aboutToShow, menu, [menu, &list] { menu->showLimit(list.overallSpeedLimit()); });
    connect(menu, &SpeedLimitMenu::limitChosen, &list, &DownloadList::setOverallSpeedLimit);
    connect(menu, &SpeedLimitMenu::customChosen, menu, [menu, &list] {
        // Over the window the menus belong to, not over a menu that has closed.
        QWidget *owner = menu->parentWidget();
        while (qobject_cast<QMenu *>(owner))
            owner = owner->parentWidget();
        const qint64 chosen = askCustomLimit(owner ? owner->window() : nullptr, list.overallSpeedLimit());
        if (chosen > 0)
            list.setOverallSpeedLimit(chosen);
        menu->showLimit(list.overallSpeedLimit());
    });
    return menu;
}

void SpeedLimitMenu::showLimit(qint64 bytesPerSecond)
{
    shown = std::max<qint64>(0, bytesPerSecond);
    QAction *match = shown == 0 ? off : custom;
    for (QAction *action : std::as_const(presetActions)) {
        if (action->data().toLongLong() == shown)
            match = action;
    }
    match->setChecked(true);
    retranslate();
}

qint64 SpeedLimitMenu::limitOf(const QAction *action) const
{
    if (action == off || presetActions.contains(action))
        return action->data().toLongLong();
    return -1;
}

qint64 SpeedLimitMenu::askCustomLimit(QWidget *parent, qint64 current)
{
    const TextEntryDialog::Texts texts{
        translated("Custom speed limit"),
        translated("Bytes per second, or with the unit K, M or G (multiples of 1024): for example 500K, 1.5M "
                   "or 2G."),
        QStringLiteral("1.5M"), translated("Set limit")};
    TextEntryDialog dialog(parent, QStringLiteral("speedLimitDialog"), texts,
                           current > 0 ? SpeedLimitRules::rateText(current) : QString(),
                           [](const QString &text) {
                               qint64 rate = 0;
                               QString problem;
                               QStringList arguments;
                               if (SpeedLimitRules::parseRate(text, &rate, &problem, &arguments))
                                   return QString();
                               return Localization::translate(problem, arguments);
                           });
    if (ModalDialogs::run(dialog) != QDialog::Accepted)
        return -1;
    qint64 rate = 0;
    QString problem;
    return SpeedLimitRules::parseRate(dialog.text(), &rate, &problem) ? rate : -1;
}

void SpeedLimitMenu::retranslate()
{
    setTitle(translated("Speed limit"));
    off->setText(translated("Off"));
    const bool customShown = shown > 0 && custom->isChecked();
    custom->setText(customShown ? translated("Custom (%1)…").arg(TransferExtras::formatLimit(shown))
                                : translated("Custom…"));
}
