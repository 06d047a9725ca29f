// The translation table file (ten TAB-separated texts per line, backslash + n for a line break) and
// the rules that map a locale tag to a supported language. Input: the table's text; its first line
// also serves as a locale tag.

#include "i18n/TranslationRules.h"
#include "tests/fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QString text = QString::fromUtf8(fuzzBytes(data, size));
    const QStringList &codes = TranslationRules::languageCodes();

    const TranslationRules::Table table = TranslationRules::parseTable(text);
    for (auto row = table.cbegin(); row != table.cend(); ++row) {
        FUZZ_REQUIRE(row->size() == codes.size());
        FUZZ_REQUIRE(row->constFirst() == row.key());
        for (qsizetype i = 0; i < codes.size(); ++i) {
            FUZZ_REQUIRE(!row->at(i).contains(QLatin1Char('\r')) && !row->at(i).contains(QLatin1Char('\t')));
            FUZZ_REQUIRE(TranslationRules::lookup(table, row.key(), codes.at(i)) == row->at(i));
        }
    }
    const QString untranslated = text + QStringLiteral("\t");
    FUZZ_REQUIRE(TranslationRules::lookup(table, untranslated, QStringLiteral("de")) == untranslated);

    const QString tag = text.section(QLatin1Char('\n'), 0, 0);
    FUZZ_REQUIRE(codes.contains(TranslationRules::languageForTag(tag)));
    FUZZ_REQUIRE(TranslationRules::isLanguageCode(TranslationRules::storedChoice(tag)) ||
                 TranslationRules::storedChoice(tag) == QLatin1String("system"));
    return 0;
}
