#include "platform/FontFallbacks.h"

#include <QApplication>
#include <QFontInfo>

namespace FontFallbacks {

namespace {

const QString japanese = QStringLiteral("Noto Sans CJK JP");
const QString simplifiedChinese = QStringLiteral("Noto Sans CJK SC");
const QString traditionalChinese = QStringLiteral("Noto Sans CJK TC");

} // namespace

QString kanaFamily()
{
    return japanese;
}

QString hanFamily(const QString &effectiveLanguage)
{
    if (effectiveLanguage == QLatin1String("ja"))
        return japanese;
    if (effectiveLanguage == QLatin1String("zh_TW"))
        return traditionalChinese;
    return simplifiedChinese;
}

QString desktopFamily()
{
    // As fontconfig resolved the application font before the first change.
    static const QString family = QFontInfo(QApplication::font()).family();
    return family;
}

void apply(const QString &effectiveLanguage)
{
    if (qobject_cast<QApplication *>(QCoreApplication::instance()) == nullptr)
        return;
    // The desktop's family leads in every language, so Latin letters, digits and punctuation
    // keep the desktop's look; the CJK families behind it draw only what it lacks.
    QStringList families = {desktopFamily(), hanFamily(effectiveLanguage), kanaFamily()};
    families.removeDuplicates();

    // Qt caches a font's engine, fallbacks included, under a key that holds the first family
    // but not the ones behind it, so a running program that swaps only the fallbacks would keep
    // drawing Han characters with the shapes of the language it started in. The style strategy
    // is part of that key; each fallback list gets a strategy of its own that changes nothing
    // for scalable fonts (both prefer-flags only choose among bitmap sizes), so each list has an
    // engine of its own.
    QFont::StyleStrategy strategy = QFont::PreferDefault;
    if (hanFamily(effectiveLanguage) == japanese)
        strategy = QFont::PreferQuality;
    else if (hanFamily(effectiveLanguage) == traditionalChinese)
        strategy = QFont::PreferMatch;

    QFont font = QApplication::font();
    if (font.families() == families && font.styleStrategy() == strategy)
        return;
    font.setFamilies(families);
    font.setStyleStrategy(strategy);
    QApplication::setFont(font);
}

} // namespace FontFallbacks
