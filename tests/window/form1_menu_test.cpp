// The window's context menu: its sections keep their order whoever adds
// first, and Shift+F10 opens it from the button and the log. (Qt's X11
// plugin maps the Menu key, which the offscreen one does not: the AT-SPI
// test on a display compares the two.)
#include "test_window.h"

#include "echowatch/window/log_actions.h"

#include <QAction>
#include <QApplication>
#include <QListView>
#include <QMenu>
#include <QPushButton>
#include <QtTest>

class Form1MenuTest : public QObject
{
    Q_OBJECT

private slots:
    void sectionsKeepTheirOrder()
    {
        TestWindow test;
        auto *alert = new QAction(QStringLiteral("alert"), &test.window);
        auto *file = new QAction(QStringLiteral("file"), &test.window);
        auto *view = new QAction(QStringLiteral("view"), &test.window);
        test.window.addContextAction(window::MenuSection::Alerts, alert);
        test.window.addContextAction(window::MenuSection::Files, file);
        new window::LogActions(test.window);
        test.window.addContextAction(window::MenuSection::Views, view);
        QStringList captions;
        for (const QAction *action : test.window.contextMenu()->actions())
            captions += action->text();
        QCOMPARE(captions, (QStringList{"view", "Follow new lines", "Copy log", "file", "alert"}));
    }

    void shiftF10OpensTheMenu_data()
    {
        QTest::addColumn<QString>("control");
        QTest::newRow("button") << "Command1";
        QTest::newRow("log") << "List1";
    }

    void shiftF10OpensTheMenu()
    {
        QFETCH(QString, control);
        TestWindow test;
        new window::LogActions(test.window);
        test.window.show();
        QVERIFY(QTest::qWaitForWindowActive(&test.window));
        auto *target = test.window.findChild<QWidget *>(control);
        target->setFocus();
        QTRY_VERIFY(target->hasFocus());
        QMenu *menu = test.window.contextMenu();
        QVERIFY(!menu->isVisible());
        QTest::keyClick(test.window.windowHandle(), Qt::Key_F10, Qt::ShiftModifier);
        QTRY_VERIFY(menu->isVisible());
        menu->hide();
    }

    void withoutFeaturesShiftF10OpensNothing()
    {
        TestWindow test;
        test.window.show();
        QVERIFY(QTest::qWaitForWindowActive(&test.window));
        test.window.Command1->setFocus();
        QTest::keyClick(test.window.windowHandle(), Qt::Key_F10, Qt::ShiftModifier);
        QVERIFY(!test.window.contextMenu()->isVisible());
        QCOMPARE(QApplication::activePopupWidget(), nullptr);
    }
};

QTEST_MAIN(Form1MenuTest)
#include "form1_menu_test.moc"
