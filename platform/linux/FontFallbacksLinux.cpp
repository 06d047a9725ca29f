#include "platform/FontFallbacks.h"

#include <QApplication>
#include <QFontInfo>

namespace FontFallbacks {

namespace {

const QString japanese = QStringLiteral("Noto Sans CJK JP");
const QString simplifiedChinese = QStringLiteral("Noto Sans CJK SC");
const QString traditionalChinese = QStringLiteral("Noto Sans CJK TC");

bool isCjkLanguage(const QString &language)
{
    return language == QLatin1String("ja") || language == QLatin1String("zh_CN") ||
           language == QLatin1String("zh_TW");
}

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

void apply(const QString &effectiveLanguage)
{
    if (qobject_cast<QApplication *>(QCoreApplication::instance()) == nullptr)
        return;
    // The desktop's own interface family, as fontconfig resolved it before the first change.
    static const QString desktopFamily = QFontInfo(QApplication::font()).family();

    // Qt caches a font's engine, fallbacks included, under its first family only, so the list
    // of a running program cannot be swapped behind the same first family. Chinese and Japanese
    // therefore lead with their own CJK family (which carries Latin letters as well); every
    // other language shares one list behind the desktop family, so that list never changes.
    QStringList families;
    if (isCjkLanguage(effectiveLanguage))
        families = {hanFamily(effectiveLanguage), desktopFamily, kanaFamily()};
    else
        families = {desktopFamily, hanFamily(effectiveLanguage), kanaFamily()};
    families.removeDuplicates();

    QFont font = QApplication::font();
    if (font.families() == families)
        return;
    font.setFamilies(families);
    QApplication::setFont(font);
}

} // namespace FontFallbacks
