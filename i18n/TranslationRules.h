#pragma once

#include <QHash>
#include <QLocale>
#include <QString>
#include <QStringList>

// The rules of the translation table and of the language choice, free of any object or
// resource so that they can be checked on their own.
namespace TranslationRules {

// English text -> the ten texts of its row, in the order of languageCodes() (index 0 is English).
using Table = QHash<QString, QStringList>;

// The supported languages; the order is also the column order of the table file.
const QStringList &languageCodes();
// The languages' own names, as the Language menu shows them in every language.
const QStringList &languageNames();

bool isLanguageCode(const QString &code);

// The stored choice "language" as the program uses it: "system" or a code. Anything else, an
// absent value included, means "system".
QString storedChoice(const QString &value);

// Reads the table file's text: one row per line (CR characters dropped), ten TAB-separated fields,
// backslash + n standing for a line break. Rows with another number of fields are skipped; a
// later row replaces an earlier one with the same English text.
Table parseTable(const QString &text);

// The text of `english` in `language`, or `english` itself when the table has no row for it.
QString lookup(const Table &table, const QString &english, const QString &language);

// Counted texts: a row whose English text holds "|" gives, in every column, that language's forms
// of the text separated by "|", with %n standing for the count ("%n item|%n items"). Languages
// differ in how many forms they have: one in Chinese, Japanese and Korean, two in English,
// Spanish, French, German and Portuguese, three in Russian.
int pluralFormCount(const QString &language);
// Which form (from 0) a count takes in `language`, by that language's grammar: French and
// Brazilian Portuguese say "0 fichier" like "1 fichier"; Russian takes 1, 21, 101 (one), 2–4, 22–24
// (few) and the rest (many).
int pluralForm(const QString &language, qint64 count);
// The form of `forms` that `count` takes, with %n replaced by the count. A cell with fewer forms
// than the language has gives its last one.
QString countedText(const QString &forms, const QString &language, qint64 count);

// The supported language for a locale: Chinese by script (Traditional Han -> zh_TW, else zh_CN),
// every Portuguese as pt_BR, otherwise the locale's language when supported, else English.
QString languageForLocale(const QLocale &locale);
// The same for a locale tag such as "zh-Hant-TW", "pt-PT" or "C".
QString languageForTag(const QString &tag);

} // namespace TranslationRules
