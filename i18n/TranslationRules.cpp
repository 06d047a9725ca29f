#include "i18n/TranslationRules.h"

namespace TranslationRules {

const QStringList &languageCodes()
{
    static const QStringList codes = {QStringLiteral("en"), QStringLiteral("zh_CN"), QStringLiteral("zh_TW"),
                                      QStringLiteral("ja"), QStringLiteral("ko"),    QStringLiteral("es"),
                                      QStringLiteral("fr"), QStringLiteral("de"),    QStringLiteral("pt_BR"),
                                      QStringLiteral("ru")};
    return codes;
}

const QStringList &languageNames()
{
    static const QStringList names = {
        QStringLiteral("English"),  QStringLiteral("简体中文"), QStringLiteral("繁體中文"),
        QStringLiteral("日本語"),   QStringLiteral("한국어"),   QStringLiteral("Español"),
        QStringLiteral("Français"), QStringLiteral("Deutsch"),  QStringLiteral("Português (Brasil)"),
        QStringLiteral("Русский")};
    return names;
}

bool isLanguageCode(const QString &code)
{
    return languageCodes().contains(code);
}

QString storedChoice(const QString &value)
{
    return isLanguageCode(value) ? value : QStringLiteral("system");
}

Table parseTable(const QString &text)
{
    const qsizetype fieldCount = languageCodes().size();
    Table table;
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (QString line : lines) {
        line.remove(QLatin1Char('\r'));
        QStringList fields = line.split(QLatin1Char('\t'));
        if (fields.size() != fieldCount)
            continue;
        for (QString &field : fields)
            field.replace(QLatin1String("\\n"), QLatin1String("\n"));
        const QString key = fields.constFirst();
        table.insert(key, fields);
    }
    return table;
}

QString lookup(const Table &table, const QString &english, const QString &language)
{
    const auto row = table.constFind(english);
    if (row == table.constEnd())
        return english;
    const qsizetype index = languageCodes().indexOf(language);
    if (index < 0 || index >= row->size())
        return english;
    return row->at(index);
}

QString languageForLocale(const QLocale &locale)
{
    if (locale.language() == QLocale::Chinese)
        return locale.script() == QLocale::TraditionalHanScript ? QStringLiteral("zh_TW")
                                                                : QStringLiteral("zh_CN");
    if (locale.language() == QLocale::Portuguese)
        return QStringLiteral("pt_BR");
    const QString language = locale.name().section(QLatin1Char('_'), 0, 0);
    return isLanguageCode(language) ? language : QStringLiteral("en");
}

QString languageForTag(const QString &tag)
{
    return languageForLocale(QLocale(tag));
}

} // namespace TranslationRules
