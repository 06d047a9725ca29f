#include "i18n/TranslationRules.h"

#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>
#include <QTest>

namespace {

QString sourceDir()
{
    return qEnvironmentVariable("RUSHLET_SOURCE_DIR");
}

QString readText(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// The shipped file as text, read from the sources so that a broken row is seen before the loader
// silently drops it.
QStringList shippedLines()
{
    QStringList lines = readText(sourceDir() + QStringLiteral("/resources/ui.tsv")).split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.constLast().isEmpty())
        lines.removeLast();
    return lines;
}

QString unescapeCpp(const QString &literal)
{
    QString text;
    for (qsizetype i = 0; i < literal.size(); ++i) {
        const QChar c = literal.at(i);
        if (c != QLatin1Char('\\') || i + 1 == literal.size()) {
            text.append(c);
            continue;
        }
        const QChar next = literal.at(++i);
        if (next == QLatin1Char('n'))
            text.append(QLatin1Char('\n'));
        else if (next == QLatin1Char('t'))
            text.append(QLatin1Char('\t'));
        else
            text.append(next);
    }
    return text;
}

struct Call
{
    QString file;
    int line = 0;
    QString text;
};

// Every string literal handed straight to a translate(...) call of the program's own sources; the
// tests pass texts that are not keys on purpose, and QCoreApplication::translate is another thing.
QList<Call> literalsPassedToTranslate()
{
    static const QRegularExpression call(
        QStringLiteral(R"re((?<!QCoreApplication::)(?<!QApplication::)(?<!QObject::)\btranslate)re"
                       R"re((?:Count)?\(\s*)re"
                       R"re((?:QStringLiteral\(|QString::fromUtf8\(|QString\(|QLatin1String\(|u8?)?)re"
                       R"re(((?:"(?:[^"\\]|\\.)*"\s*)+))re"));
    static const QRegularExpression piece(QStringLiteral(R"re("((?:[^"\\]|\\.)*)")re"));
    // Tests pass non-keys on purpose; vendored code has its own texts.
    const QStringList skipped = {QStringLiteral("tests"), QStringLiteral(".git"),
                                 QStringLiteral("third_party"), QStringLiteral("3rdparty"),
                                 QStringLiteral("external")};

    QList<Call> calls;
    QDirIterator it(sourceDir(), {QStringLiteral("*.cpp"), QStringLiteral("*.h")}, QDir::Files,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString relative = path.mid(sourceDir().size() + 1);
        const QString top = relative.section(QLatin1Char('/'), 0, 0);
        if (skipped.contains(top) || top.startsWith(QLatin1String("build")) ||
            !relative.contains(QLatin1Char('/')))
            continue;
        const QString source = readText(path);
        auto matches = call.globalMatch(source);
        while (matches.hasNext()) {
            const QRegularExpressionMatch match = matches.next();
            QString text;
            auto pieces = piece.globalMatch(match.captured(1));
            while (pieces.hasNext())
                text += unescapeCpp(pieces.next().captured(1));
            calls.append(
                {relative, int(source.left(match.capturedStart()).count(QLatin1Char('\n'))) + 1, text});
        }
    }
    return calls;
}

QStringList placeholders(const QString &text)
{
    static const QRegularExpression pattern(QStringLiteral("%[0-9]+"));
    QStringList found;
    auto matches = pattern.globalMatch(text);
    while (matches.hasNext())
        found.append(matches.next().captured());
    found.sort();
    return found;
}

// Mnemonic markers: single ampersands, a doubled one being a literal "&".
int mnemonicCount(QString text)
{
    text.remove(QLatin1String("&&"));
    return int(text.count(QLatin1Char('&')));
}

} // namespace

class TestTranslationTable : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY2(!sourceDir().isEmpty(), "RUSHLET_SOURCE_DIR is not set"); }

    void everyRowIsComplete()
    {
        const QStringList lines = shippedLines();
        QVERIFY(lines.size() >= 149);
        QStringList problems;
        QSet<QString> keys;
        for (qsizetype i = 0; i < lines.size(); ++i) {
            const QString where = QStringLiteral("line %1: ").arg(i + 1);
            if (lines.at(i).contains(QLatin1Char('\r')))
                problems.append(where + QStringLiteral("carriage return"));
            const QStringList fields = lines.at(i).split(QLatin1Char('\t'));
            if (fields.size() != TranslationRules::languageCodes().size()) {
                problems.append(where + QStringLiteral("%1 fields").arg(fields.size()));
                continue;
            }
            const QString &english = fields.constFirst();
            if (keys.contains(english))
                problems.append(where + QStringLiteral("duplicate of an earlier row"));
            keys.insert(english);
            for (qsizetype column = 0; column < fields.size(); ++column) {
                const QString &field = fields.at(column);
                const QString cell =
                    where + TranslationRules::languageCodes().at(column) + QStringLiteral(": ");
                if (field.trimmed().isEmpty())
                    problems.append(cell + QStringLiteral("empty"));
                else if (field != field.trimmed())
                    problems.append(cell + QStringLiteral("leading or trailing space"));
                if (english.contains(QLatin1Char('|'))) {
                    // A counted text: as many forms as the language has, each with the count and
                    // the other placeholders of English.
                    const QStringList forms = field.split(QLatin1Char('|'));
                    bool fits = forms.size() == TranslationRules::pluralFormCount(
                                                    TranslationRules::languageCodes().at(column));
                    for (const QString &form : forms)
                        fits = fits && form.contains(QLatin1String("%n")) &&
                               placeholders(form) == placeholders(english.section(QLatin1Char('|'), 0, 0));
                    if (!fits)
                        problems.append(cell + QStringLiteral("counted forms differ from the language's"));
                } else if (placeholders(field) != placeholders(english)) {
                    problems.append(cell + QStringLiteral("placeholders differ from English"));
                }
                if (field.count(QLatin1String("\\n")) != english.count(QLatin1String("\\n")))
                    problems.append(cell + QStringLiteral("line breaks differ from English"));
                if (mnemonicCount(field) != mnemonicCount(english))
                    problems.append(cell + QStringLiteral("mnemonic markers differ from English"));
            }
        }
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1Char('\n'))));
    }

    void everyTranslatedLiteralIsAKey()
    {
        const TranslationRules::Table table =
            TranslationRules::parseTable(shippedLines().join(QLatin1Char('\n')));
        const QList<Call> calls = literalsPassedToTranslate();
        // The Language menu alone passes two; a scan that finds nothing is itself broken.
        QVERIFY(calls.size() >= 2);
        QStringList missing;
        for (const Call &call : calls) {
            if (!table.contains(call.text))
                missing.append(QStringLiteral("%1:%2: \"%3\"").arg(call.file).arg(call.line).arg(call.text));
        }
        QVERIFY2(missing.isEmpty(), qPrintable(QStringLiteral("Texts without a row in resources/ui.tsv:\n") +
                                               missing.join(QLatin1Char('\n'))));
    }
};

QTEST_GUILESS_MAIN(TestTranslationTable)
#include "tst_TranslationTable.moc"
