#include "i18n/Localization.h"

#include <QCoreApplication>
#include <QTextStream>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream(stdout) << Localization::systemLanguage() << '\n';
    return 0;
}
