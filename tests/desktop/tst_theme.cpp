#include "common/testdata.h"
#include "desktop/theme.h"

#include <QApplication>
#include <QStyle>
#include <QtTest>

class TestTheme : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void remembersAndRestoresThePlatformStyle();
    void automaticBeforeAnyOtherChangesNothing();
    void brokenConfigChangesNothing();

private:
    static QString styleName() { return QApplication::style()->name().toLower(); }
};

// The offscreen platform's own style is Fusion, which would hide a missing restore:
// every case starts from Windows, standing in for a platform style other than Fusion.
void TestTheme::init()
{
    QApplication::setStyle(QStringLiteral("Windows"));
    QCOMPARE(styleName(), QString("windows"));
}

void TestTheme::remembersAndRestoresThePlatformStyle()
{
    TestDataDir data;
    Config config(false);
    QVERIFY(config.ok);

    applyTheme(config, "Sistem");   // nothing remembered yet: no change, but the style is remembered
    QCOMPARE(styleName(), QString("windows"));
    QCOMPARE(config.defaultStyle.toLower(), QString("windows"));

    applyTheme(config, "Fusion");
    QCOMPARE(styleName(), QString("fusion"));
    QCOMPARE(config.defaultStyle.toLower(), QString("windows"));   // still the platform's, not Fusion
    applyTheme(config, "Bilinmeyen");   // unknown names select nothing
    QCOMPARE(styleName(), QString("fusion"));
    applyTheme(config, "otomatik");   // names are compared exactly
    QCOMPARE(styleName(), QString("fusion"));
    applyTheme(config, "Otomatik");
    QCOMPARE(styleName(), QString("windows"));
    QCOMPARE(config.localUser.theme, QString("Otomatik"));
}

void TestTheme::automaticBeforeAnyOtherChangesNothing()
{
    TestDataDir data;
    Config config(false);
    QVERIFY(config.ok);
    config.localUser.theme = "Otomatik";
    applyTheme(config);
    QCOMPARE(styleName(), QString("windows"));   // no fallback to some other style
}

void TestTheme::brokenConfigChangesNothing()
{
    TestDataDir data(true, false);   // no name table: the store never becomes ready
    Config config(false);
    QVERIFY(!config.ok);
    applyTheme(config, "Fusion");
    QCOMPARE(styleName(), QString("windows"));
    QVERIFY(config.defaultStyle.isEmpty());
}

QTEST_MAIN(TestTheme)
#include "tst_theme.moc"
