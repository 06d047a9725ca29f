#include "ui/AboutDialog.h"

#include "i18n/Localization.h"
#include "ui/ColourScheme.h"
#include "ui/RushletIcons.h"

#include <QDate>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace {

QLabel *secondaryLabel(QWidget *parent)
{
    auto *label = new QLabel(parent);
    // Translations and the maker's name are text, even where they contain angle brackets.
    label->setTextFormat(Qt::PlainText);
    label->setProperty("secondary", true);
    return label;
}

} // namespace

AboutDialog::AboutDialog(QWidget *parent)
    : QDialog(parent)
    , copyrightYear(QDate::currentDate().year())
{
    setObjectName(QStringLiteral("rushletAbout"));
    setWindowTitle(QStringLiteral("About Rushlet"));
    setWindowIcon(RushletIcons::appIcon());
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    const bool dark = ColourScheme::isDark(palette());
    const ColourScheme::DialogColours colours = ColourScheme::dialogColours(dark);
    setStyleSheet(QStringLiteral("QDialog#rushletAbout { background: %1; }"
                                 "QLabel { background: transparent; color: %2; }"
                                 "QLabel[secondary=true] { color: %3; }")
                      .arg(colours.surface, colours.primaryText, colours.secondaryText));

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(28, 28, 28, 28);
    layout->setSpacing(0);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    auto *header = new QHBoxLayout;
    header->setSpacing(18);
    auto *iconLabel = new QLabel(this);
    iconLabel->setFixedSize(64, 64);
    iconLabel->setPixmap(RushletIcons::appIcon().pixmap(QSize(64, 64), devicePixelRatio()));
    header->addWidget(iconLabel, 0, Qt::AlignVCenter);

    auto *titles = new QVBoxLayout;
    titles->setSpacing(3);
    auto *productLabel = new QLabel(QStringLiteral("Rushlet"), this);
    QFont productFont = font();
    productFont.setPointSize(22);
    productFont.setWeight(QFont::DemiBold);
    productLabel->setFont(productFont);
    titles->addWidget(productLabel);
    versionLabel = secondaryLabel(this);
    titles->addWidget(versionLabel);
    header->addLayout(titles, 1);
    layout->addLayout(header);

    layout->addSpacing(24);
    auto *description = new QLabel(
        QStringLiteral(
            "Rushlet speeds up downloads by splitting each file across parallel connections. Pause "
            "and resume without starting over, and send downloads straight from Chrome."),
        this);
    description->setWordWrap(true);
    description->setFixedWidth(464);
    layout->addWidget(description);

    layout->addSpacing(18);
    const QString page = productPage();
    auto *website = new QLabel(this);
    website->setObjectName(QStringLiteral("aboutWebsite"));
    website->setTextFormat(Qt::RichText);
    website->setText(QStringLiteral("<a href=\"%1\" style=\"color: %2; text-decoration: none;\">%3</a>")
                         .arg(page.toHtmlEscaped(), colours.accent,
                              page.mid(QStringLiteral("https://").size()).toHtmlEscaped()));
    website->setOpenExternalLinks(true);
    website->setTextInteractionFlags(Qt::TextBrowserInteraction);
    layout->addWidget(website);

    layout->addSpacing(6);
    copyrightLabel = secondaryLabel(this);
    QFont copyrightFont = font();
    copyrightFont.setPointSize(8);
    copyrightLabel->setFont(copyrightFont);
    layout->addWidget(copyrightLabel);

    retranslateFormattedTexts();
    Localization::bind(this);
    connect(Localization::instance(), &Localization::changed, this, &AboutDialog::retranslateFormattedTexts);
}

QString AboutDialog::productPage()
{
    return QStringLiteral(RUSHLET_PRODUCT_PAGE);
}

QString AboutDialog::makerName()
{
    return QStringLiteral(RUSHLET_MAKER_NAME);
}

void AboutDialog::retranslateFormattedTexts()
{
    versionLabel->setText(
        Localization::translate(QStringLiteral("Version %1")).arg(QStringLiteral(RUSHLET_VERSION)));
    copyrightLabel->setText(Localization::translate(QStringLiteral("© %1 %2. All rights reserved."))
                                .arg(QString::number(copyrightYear), makerName()));
}
