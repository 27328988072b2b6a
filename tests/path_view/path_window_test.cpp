// The Path window over a scripted path of three routers, opened from the
// window's context menu as the user opens it.
#include "echowatch/path_view/path_actions.h"
#include "echowatch/path_view/path_table_model.h"
#include "echowatch/path_view/path_window.h"
#include "late_echo_library.h"
#include "scripted_path.h"
#include "support/packet_builder.h"
#include "watched_window.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QTableView>
#include <QTest>

#include <atomic>
#include <memory>

namespace {

scripted::Path threeRouters()
{
    scripted::Path path;
    for (const char *router : {"192.0.2.1", "198.51.100.1", "198.51.100.2"})
        path.routers.push_back({testpackets::address(router)});
    return path;
}

// Lends the test's late library to the window's thread, and tells when that
// thread has let go of it.
struct LentLibrary final : net::IcmpEchoLibrary
{
    LentLibrary(LateEchoLibrary &late, std::shared_ptr<std::atomic<bool>> gone)
        : late(late), gone(std::move(gone))
    {}
    ~LentLibrary() override { *gone = true; }
    net::IcmpHandleOpening IcmpCreateFile() noexcept override { return late.IcmpCreateFile(); }

    LateEchoLibrary &late;
    std::shared_ptr<std::atomic<bool>> gone;
};

} // namespace

class PathWindowTest : public QObject
{
    Q_OBJECT

private:
    // The window, its Path action, and one probe to the scripted host.
    struct Opened
    {
        Opened()
            : actions(window.window, window.events(),
                      [] { return std::make_unique<scripted::ScriptedLibrary>(threeRouters()); })
        {
            window.window.Text1->setText(QStringLiteral("203.0.113.9"));
            window.window.ProbeTick();
        }

        WatchedWindow window;
        path_view::PathActions actions;
    };

private slots:
    // Text that is no address sends nothing; 0.0.0.0 is an address.
    void isOfferedOnceAnAddressWasProbed()
    {
        WatchedWindow window;
        path_view::PathActions actions(window.window, window.events(), [] {
            return std::make_unique<scripted::ScriptedLibrary>(threeRouters());
        });
        emit window.window.contextMenuOpening();
        QVERIFY(!actions.action()->isEnabled());
        window.window.Text1->setText(QStringLiteral("no address"));
        window.window.ProbeTick();
        emit window.window.contextMenuOpening();
        QVERIFY(!actions.action()->isEnabled());
        window.window.Text1->setText(QStringLiteral("0.0.0.0"));
        window.window.ProbeTick();
        emit window.window.contextMenuOpening();
        QVERIFY(actions.action()->isEnabled());
    }

    void showsEachHopAsTheRoundsFindIt()
    {
        Opened opened;
        opened.actions.action()->trigger();
        QPointer<path_view::PathWindow> path = opened.actions.pathWindow();
        QVERIFY(path);
        QVERIFY(path->isVisible());
        const auto &model = path->model();
        QTRY_COMPARE(model.rowCount(), 4);
        const QStringList expected{"192.0.2.1", "198.51.100.1", "198.51.100.2", "203.0.113.9"};
        for (int row = 0; row < 4; ++row) {
            QCOMPARE(model.cellText(row, path_view::PathTableModel::Address), expected[row]);
            QCOMPARE(model.cellText(row, path_view::PathTableModel::Loss), QStringLiteral("0.0"));
        }
        QCOMPARE(model.cellText(3, path_view::PathTableModel::Last), QStringLiteral("4.0"));
        QVERIFY(!path->findChild<QTableView *>(QStringLiteral("hops"))->accessibleName().isEmpty());
        QVERIFY(path->findChild<QLabel *>(QStringLiteral("reading"))
                    ->text()
                    .contains(QStringLiteral("rationing its answers")));
    }

    void copiesTheTableAsText()
    {
        Opened opened;
        opened.actions.action()->trigger();
        auto *path = opened.actions.pathWindow();
        QTRY_COMPARE(path->model().rowCount(), 4);
        path->copyAsText();
        const QStringList lines = QGuiApplication::clipboard()->text().split(QLatin1Char('\n'));
        QVERIFY(lines.size() >= 6);
        QVERIFY(lines[0].contains(QStringLiteral("203.0.113.9")));
        QVERIFY(lines[1].startsWith(QStringLiteral("Hop")));
        QVERIFY(lines[2].contains(QStringLiteral("192.0.2.1")));
        QVERIFY(lines[5].contains(QStringLiteral("203.0.113.9")));
    }

    // A router that cannot reach the host: its row is marked as traceroute
    // marks it, and its error's time stands apart from the round trips.
    void marksTheRowAnErrorAnswered()
    {
        auto path = threeRouters();
        path.routers[2].kind = scripted::Router::Kind::Refuses;
        WatchedWindow window;
        path_view::PathActions actions(window.window, window.events(), [path] {
            return std::make_unique<scripted::ScriptedLibrary>(path);
        });
        window.window.Text1->setText(QStringLiteral("203.0.113.9"));
        window.window.ProbeTick();
        actions.action()->trigger();
        const auto &model = actions.pathWindow()->model();
        QTRY_COMPARE(model.rowCount(), 4);
        using Model = path_view::PathTableModel;
        QCOMPARE(model.cellText(2, Model::Address), QStringLiteral("198.51.100.2"));
        QCOMPARE(model.cellText(3, Model::Address), QStringLiteral("198.51.100.2 !H"));
        QCOMPARE(model.cellText(3, Model::ErrorAfter), QStringLiteral("1.0"));
        QCOMPARE(model.cellText(3, Model::Last), QString());
        QCOMPARE(model.cellText(3, Model::Loss), QStringLiteral("0.0"));
        QVERIFY(model.text().contains(QStringLiteral("198.51.100.2 !H")));
        QVERIFY(model.rowToolTip(3).contains(QStringLiteral("host unreachable")));
        QVERIFY(model.rowToolTip(3).contains(QStringLiteral("not round trips")));
    }

    // Every address that answered at a hop is in its row's tooltip with its
    // count; the row shows the one that answered most.
    void listsEveryResponderOfAHop()
    {
        path::PathTable table;
        table.hops.resize(1);
        auto &hop = table.hops[0];
        for (int answer = 0; answer < 3; ++answer)
            hop.noteAnswer(testpackets::address("192.0.2.1"), std::chrono::milliseconds(2), false);
        hop.noteAnswer(testpackets::address("192.0.2.5"), std::chrono::milliseconds(3), false);
        hop.noteLoss();
        path_view::PathTableModel model;
        model.show(table);
        QCOMPARE(model.cellText(0, path_view::PathTableModel::Address),
                 QStringLiteral("192.0.2.1"));
        QCOMPARE(model.cellText(0, path_view::PathTableModel::Loss), QStringLiteral("20.0"));
        const QString tip = model.data(model.index(0, 0), Qt::ToolTipRole).toString();
        QVERIFY2(tip.contains(QStringLiteral("192.0.2.1: 3 answers")), qPrintable(tip));
        QVERIFY2(tip.contains(QStringLiteral("192.0.2.5: 1 answer")), qPrintable(tip));
    }

    // One per main window: asking again brings the same window forward, and
    // Escape closes it, its rounds stopped and the window gone.
    void isOneWindowThatClosesFromTheKeyboard()
    {
        Opened opened;
        opened.actions.action()->trigger();
        QPointer<path_view::PathWindow> path = opened.actions.pathWindow();
        opened.actions.action()->trigger();
        QCOMPARE(opened.actions.pathWindow(), path.data());
        QTRY_COMPARE(path->model().rowCount(), 4);
        QTest::keyClick(path, Qt::Key_Escape);
        QTRY_VERIFY(!path);
    }

    // A hop that does not answer holds its request for the whole timeout;
    // closing the window then must not hold the main window with it.
    void closesWithoutWaitingForARequestUnderWay()
    {
        LateEchoLibrary late;
        auto gone = std::make_shared<std::atomic<bool>>(false);
        WatchedWindow window;
        path_view::PathActions actions(window.window, window.events(), [&late, gone] {
            return std::make_unique<LentLibrary>(late, gone);
        });
        window.window.Text1->setText(QStringLiteral("203.0.113.9"));
        window.window.ProbeTick();
        actions.action()->trigger();
        QPointer<path_view::PathWindow> path = actions.pathWindow();
        QTRY_VERIFY(late.begun() > 0);
        path->close();
        QTRY_VERIFY(!path);
        // Gone while its request is still under way, not let go.
        QCOMPARE(late.letGo(), 0);
        QVERIFY(!*gone);
        for (int request = 0; request < 64; ++request)
            late.answer();
        QTRY_VERIFY(*gone);
    }
};

QTEST_MAIN(PathWindowTest)
#include "path_window_test.moc"
