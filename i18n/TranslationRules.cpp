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

int pluralFormCount(const QString &language)
{
    if (language == QLatin1String("ru"))
        return 3;
    if (language == QLatin1String("zh_CN") || language == QLatin1String("zh_TW") ||
        language == QLatin1String("ja") || language == QLatin1String("ko"))
        return 1;
    return 2;
}

int pluralForm(const QString &language, qint64 count)
{
    const qint64 n = count < 0 ? -count : count;
    switch (pluralFormCount(language)) {
    case 1:
        return 0;
    case 3: {
        const qint64 last = n % 10;
        const qint64 lastTwo = n % 100;
        if (last == 1 && lastTwo != 11)
            return 0;
        if (last >= 2 && last <= 4 && (lastTwo < 12 || lastTwo > 14))
            return 1;
        return 2;
    }
    default:
        if (language == QLatin1String("fr") || language == QLatin1String("pt_BR"))
            return n <= 1 ? 0 : 1;
        return n == 1 ? 0 : 1;
    }
}

QString countedText(const QString &forms, const QString &language, qint64 count)
{
    const QStringList split = forms.split(QLatin1Char('|'));
    QString text = split.at(std::min<qsizetype>(pluralForm(language, count), split.size() - 1));
    return text.replace(QLatin1String("%n"), QString::number(count));
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
