#include "tools/render-visuals/UpdateDialogVisuals.h"

#include "i18n/Localization.h"
#include "update/UpdateDialog.h"

#include <QEventLoop>
#include <QTextStream>
#include <QTimer>

QStringList renderUpdateDialogs(const QString &folder, const QString &suffix, const QString &scheme)
{
    using State = UpdateChecker::State;
    UpdateFeed feed;
    feed.version = QStringLiteral("1.2.0");
    feed.date = QStringLiteral("2024-05-01");
    feed.size = QStringLiteral("12.5 MB");
    feed.changes = {QStringLiteral("Downloads resume after the computer wakes from sleep."),
                    QStringLiteral("Large files start sooner."),
                    QStringLiteral("Fixes a crash when a finished download is removed.")};
    const struct
    {
        const char *name;
        State state;
    } shots[] = {{"checking", State::Checking},
                 {"up-to-date", State::UpToDate},
                 {"available", State::UpdateAvailable},
                 {"failed", State::Failed}};

    QStringList written;
    for (const QString &language : {QStringLiteral("en"), QStringLiteral("ja")}) {
        Localization::setLanguage(language);
        const QString tail = language == QLatin1String("en") ? QString() : QLatin1Char('-') + language;
        for (const auto &shot : shots) {
            UpdateDialog dialog(nullptr);
            dialog.display(shot.state, shot.state == State::UpdateAvailable ? feed : UpdateFeed(),
                           shot.state == State::Failed ? QStringLiteral("Host example.com not found")
                                                       : QString());
            dialog.show();
            QEventLoop settle;
            QTimer::singleShot(300, &settle, &QEventLoop::quit);
            settle.exec();
            const QString path =
                folder +
                QStringLiteral("/update-%1-%2%3%4.png").arg(QLatin1String(shot.name), scheme, tail, suffix);
            if (!dialog.grab().save(path))
                QTextStream(stderr) << "Could not write " << path << '\n';
            written << path;
        }
    }
    Localization::setLanguage(QStringLiteral("en"));
    return written;
}
