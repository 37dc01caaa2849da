#include "common/testdata.h"
#include "desktop/theme.h"

#include <QApplication>
#include <QStyle>
#include <QtTest>

class TestTheme : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void remembersAndRestoresThePlatformStyle();
};

void TestTheme::remembersAndRestoresThePlatformStyle()
{
    TestDataDir data;
    Config config(false);
    QVERIFY(config.ok);
    const QString platform = QApplication::style()->name();

    applyTheme(config, "Sistem");   // nothing remembered yet: no change, but the style is remembered
    QCOMPARE(QApplication::style()->name(), platform);
    QCOMPARE(config.defaultStyle, platform);

    applyTheme(config, "Fusion");
    QCOMPARE(QApplication::style()->name().toLower(), QString("fusion"));
    applyTheme(config, "Bilinmeyen");   // unknown names select nothing
    QCOMPARE(QApplication::style()->name().toLower(), QString("fusion"));
    applyTheme(config, "Otomatik");
    QCOMPARE(QApplication::style()->name(), platform);
}

QTEST_MAIN(TestTheme)
#include "tst_theme.moc"
