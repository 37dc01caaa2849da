#include "theme.h"

#include "config/config.h"

#include <QApplication>
#include <QStyle>
#include <QStyleFactory>

void applyTheme(Config &config)
{
    if (!config.ok)
        return;
    const QString theme = config.localUser.theme;
    QString styleName;
    if (theme == QLatin1String("Otomatik") || theme == QLatin1String("Sistem"))
        styleName = config.defaultStyle;
    else if (theme == QLatin1String("Fusion") || theme == QLatin1String("Windows"))
        styleName = theme;
    if (config.defaultStyle.isEmpty() && QApplication::style())
        config.defaultStyle = QApplication::style()->name();
    if (styleName.isEmpty())
        return;
    if (QStyle *style = QStyleFactory::create(styleName))
        QApplication::setStyle(style);
}

void applyTheme(Config &config, const QString &theme)
{
    config.localUser.theme = theme;
    applyTheme(config);
}
