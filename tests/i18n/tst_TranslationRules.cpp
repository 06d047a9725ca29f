#include "i18n/TranslationRules.h"

#include <QTest>

using TranslationRules::Table;

namespace {

QString row(const QString &english, const QString &prefix = QString())
{
    QStringList fields{english};
    for (qsizetype i = 1; i < TranslationRules::languageCodes().size(); ++i)
        fields.append(prefix + TranslationRules::languageCodes().at(i) + QLatin1Char(':') + english);
    return fields.join(QLatin1Char('\t'));
}

} // namespace

class TestTranslationRules : public QObject
{
    Q_OBJECT

private slots:
    void parseKeepsOnlyRowsOfTenFields()
    {
        const QString nine = QStringLiteral("Nine\ta\tb\tc\td\te\tf\tg\th");
        const QString eleven = row(QStringLiteral("Eleven")) + QStringLiteral("\textra");
        const Table table =
            TranslationRules::parseTable(nine + QLatin1Char('\n') + eleven + QLatin1Char('\n') +
                                         row(QStringLiteral("Ten")) + QLatin1Char('\n'));
        QCOMPARE(table.size(), 1);
        QVERIFY(table.contains(QStringLiteral("Ten")));
        QCOMPARE(table.value(QStringLiteral("Ten")).size(), 10);
    }

    void parseReadsLineEndingsAndLineBreaks()
    {
        const QString text = row(QStringLiteral("Crlf")) + QStringLiteral("\r\n") +
                             row(QStringLiteral("Two\\nlines")) + QStringLiteral("\n") +
                             row(QStringLiteral("Last line without a break"));
        const Table table = TranslationRules::parseTable(text);
        QCOMPARE(table.size(), 3);
        // A CR before the LF must not stick to the Russian text, the last field.
        QCOMPARE(table.value(QStringLiteral("Crlf")).constLast(), QStringLiteral("ru:Crlf"));
        const QString key = QStringLiteral("Two\nlines");
        QVERIFY(table.contains(key));
        QCOMPARE(table.value(key).at(7), QStringLiteral("de:Two\nlines"));
        QVERIFY(table.contains(QStringLiteral("Last line without a break")));
    }

    void parseLetsTheLaterDuplicateWin()
    {
        const Table table = TranslationRules::parseTable(row(QStringLiteral("Same"), QStringLiteral("old ")) +
                                                         QLatin1Char('\n') + row(QStringLiteral("Same")));
        QCOMPARE(table.size(), 1);
        QCOMPARE(table.value(QStringLiteral("Same")).at(3), QStringLiteral("ja:Same"));
    }

    void parseOfEmptyTextGivesEmptyTable()
    {
        QVERIFY(TranslationRules::parseTable(QString()).isEmpty());
        QVERIFY(TranslationRules::parseTable(QStringLiteral("\n\r\n\n")).isEmpty());
    }

    void lookupFindsTheColumnOfTheLanguage()
    {
        const Table table = TranslationRules::parseTable(row(QStringLiteral("Pause")));
        const QStringList &codes = TranslationRules::languageCodes();
        QCOMPARE(TranslationRules::lookup(table, QStringLiteral("Pause"), QStringLiteral("en")),
                 QStringLiteral("Pause"));
        for (qsizetype i = 1; i < codes.size(); ++i)
            QCOMPARE(TranslationRules::lookup(table, QStringLiteral("Pause"), codes.at(i)),
                     codes.at(i) + QStringLiteral(":Pause"));
        // Keys match exactly: case and surrounding spaces count.
        QCOMPARE(TranslationRules::lookup(table, QStringLiteral("pause"), QStringLiteral("de")),
                 QStringLiteral("pause"));
        QCOMPARE(TranslationRules::lookup(table, QStringLiteral("Pause "), QStringLiteral("de")),
                 QStringLiteral("Pause "));
    }

    void lookupWithoutRowOrLanguageGivesTheEnglishText()
    {
        const Table table = TranslationRules::parseTable(row(QStringLiteral("Pause")));
        for (const QString &code : TranslationRules::languageCodes())
            QCOMPARE(TranslationRules::lookup(table, QStringLiteral("Not in the table"), code),
                     QStringLiteral("Not in the table"));
        QCOMPARE(TranslationRules::lookup(table, QStringLiteral("Pause"), QStringLiteral("xx")),
                 QStringLiteral("Pause"));
        QCOMPARE(TranslationRules::lookup(Table(), QStringLiteral("Pause"), QStringLiteral("de")),
                 QStringLiteral("Pause"));
    }

    // The form each language's grammar asks for, on the counts where the rules part (Russian's
    // teens and fours, French zero); forms are named by their number so that a row reads as the rule.
    void countedTexts_data()
    {
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("forms");
        QTest::addColumn<QString>("expected");
        const QString two = QStringLiteral("%n:one|%n:other");
        QTest::newRow("en") << QStringLiteral("en") << two
                            << QStringLiteral("0:other 1:one 2:other 4:other 5:other 11:other 12:other "
                                              "14:other 21:other 22:other 111:other");
        QTest::newRow("fr: zero is one") << QStringLiteral("fr") << two
                                         << QStringLiteral("0:one 1:one 2:other 4:other 5:other 11:other "
                                                           "12:other 14:other 21:other 22:other 111:other");
        QTest::newRow("ru: one, few, many")
            << QStringLiteral("ru") << QStringLiteral("%n:one|%n:few|%n:many")
            << QStringLiteral(
                   "0:many 1:one 2:few 4:few 5:many 11:many 12:many 14:many 21:one 22:few 111:many");
        QTest::newRow("ru, a cell short of forms: the last")
            << QStringLiteral("ru") << two
            << QStringLiteral("0:other 1:one 2:other 4:other 5:other 11:other 12:other 14:other 21:one "
                              "22:other 111:other");
    }

    void countedTexts()
    {
        QFETCH(QString, language);
        QFETCH(QString, forms);
        QFETCH(QString, expected);
        QStringList texts;
        for (const int count : {0, 1, 2, 4, 5, 11, 12, 14, 21, 22, 111})
            texts << TranslationRules::countedText(forms, language, count);
        QCOMPARE(texts.join(QLatin1Char(' ')), expected);
        // Other placeholders stay for the caller's arguments.
        QCOMPARE(TranslationRules::countedText(QStringLiteral("%1: %n item|%1: %n items"),
                                               QStringLiteral("en"), 3),
                 QStringLiteral("%1: 3 items"));
    }

    void storedChoice_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("choice");
        QTest::newRow("absent") << QString() << QStringLiteral("system");
        QTest::newRow("system") << QStringLiteral("system") << QStringLiteral("system");
        QTest::newRow("code") << QStringLiteral("zh_TW") << QStringLiteral("zh_TW");
        QTest::newRow("unknown code") << QStringLiteral("xx") << QStringLiteral("system");
        QTest::newRow("wrong case") << QStringLiteral("DE") << QStringLiteral("system");
        QTest::newRow("tag separator") << QStringLiteral("pt-BR") << QStringLiteral("system");
    }

    void storedChoice()
    {
        QFETCH(QString, stored);
        QFETCH(QString, choice);
        QCOMPARE(TranslationRules::storedChoice(stored), choice);
    }

    void languageForTag_data()
    {
        QTest::addColumn<QString>("tag");
        QTest::addColumn<QString>("language");
        QTest::newRow("Hong Kong") << QStringLiteral("zh-HK") << QStringLiteral("zh_TW");
        QTest::newRow("Macao") << QStringLiteral("zh-MO") << QStringLiteral("zh_TW");
        QTest::newRow("Taiwan with script") << QStringLiteral("zh-Hant-TW") << QStringLiteral("zh_TW");
        QTest::newRow("Singapore") << QStringLiteral("zh-SG") << QStringLiteral("zh_CN");
        QTest::newRow("bare Chinese") << QStringLiteral("zh") << QStringLiteral("zh_CN");
        QTest::newRow("Simplified in Hong Kong") << QStringLiteral("zh-Hans-HK") << QStringLiteral("zh_CN");
        QTest::newRow("Portugal") << QStringLiteral("pt-PT") << QStringLiteral("pt_BR");
        QTest::newRow("Brazil") << QStringLiteral("pt-BR") << QStringLiteral("pt_BR");
        QTest::newRow("Latin American Spanish") << QStringLiteral("es-419") << QStringLiteral("es");
        QTest::newRow("Canadian French") << QStringLiteral("fr-CA") << QStringLiteral("fr");
        QTest::newRow("Swiss German") << QStringLiteral("de-CH") << QStringLiteral("de");
        QTest::newRow("Japanese") << QStringLiteral("ja-JP") << QStringLiteral("ja");
        QTest::newRow("Korean") << QStringLiteral("ko-KR") << QStringLiteral("ko");
        QTest::newRow("Russian in Ukraine") << QStringLiteral("ru-UA") << QStringLiteral("ru");
        QTest::newRow("British English") << QStringLiteral("en-GB") << QStringLiteral("en");
        QTest::newRow("Norwegian") << QStringLiteral("nb-NO") << QStringLiteral("en");
        QTest::newRow("POSIX C") << QStringLiteral("C") << QStringLiteral("en");
        QTest::newRow("nonsense") << QStringLiteral("qq-ZZ") << QStringLiteral("en");
    }

    void languageForTag()
    {
        QFETCH(QString, tag);
        QFETCH(QString, language);
        QCOMPARE(TranslationRules::languageForTag(tag), language);
    }
};

QTEST_GUILESS_MAIN(TestTranslationRules)
#include "tst_TranslationRules.moc"
