// The upper pages in the window (offscreen): one grab per page proving its
// place and that its captions fit, and the controls against the simulated unit.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QTest>
#include <QThread>
#include <QTreeWidget>
#include <cmath>
#include <functional>

#include "link/texts.h"
#include "pages/counters/counters_view.h"
#include "pages/rtc/rtc_view.h"
#include "protocol/catalogue.h"
#include "sim/sim_server.h"
#include "sim/unit_bits.h"
#include "support/caption.h"
#include "support/fresh_dir.h"
#include "support/qt_pump.h"
#include "ui/main/geometry.h"
#include "ui/main/main_window.h"
#include "ui/pages/counters/counters_page.h"
#include "ui/pages/escrow/escrow_page.h"
#include "ui/pages/identity/factory_page.h"
#include "ui/pages/identity/rev_id_page.h"
#include "ui/pages/rtc/rtc_page.h"
#include "ui/pages/setup/setup_page.h"

namespace halvek::ui {
namespace {

using namespace std::chrono_literals;

using halvek::test::caption;
using halvek::test::pumpUntil;

std::string tempDir() { return halvek::test::freshDir("halvek-upper-"); }

// Where a grab is kept for a look by eye: the test's own temporary folder.
QString grabPath(const QString& name) { return QString::fromStdString(tempDir()) + "/" + name + ".png"; }

// The window with COM 1 on a simulated unit, its messages recorded.
struct WindowRig {
    explicit WindowRig(sim::SimOptions options = {}) : sim(options) {
        sim.start();
        WindowOptions o;
        o.comPaths = {{1, sim.devicePath()}};
        o.settingsPath = tempDir() + "/halvek.ini";
        window = std::make_unique<MainWindow>(o);
        window->setMessageHook([this](const Message& m) {
            messages.push_back(m);
            return Answer::Ok;
        });
        window->show();
    }
    LinkController& link() { return window->controller(); }
    Stores& stores() { return window->host().stores; }
    void connectAndStart() {
        window->controller().setPollInterval(100);
        window->pressConnect();
        ASSERT_TRUE(pumpUntil([&] { return link().linkConnected() && link().startupCountdown() == 0; }));
        ASSERT_TRUE(pumpUntil([&] { return link().repliesTaken(cmd::ReadSetup) > 0; }));
    }
    template <typename Page>
    Page* show(int index) {
        showTab(index);
        return window->centralWidget()->findChild<Page*>(QString(), Qt::FindDirectChildrenOnly);
    }
    // The page of the tab, with the one it replaces gone.
    void showTab(int index) {
        window->upperTabs()->setCurrentIndex(index);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
    }
    uint8_t unitSetup() {
        return sim.withModel([](sim::ValidatorModel& m) { return m.setupByte(); });
    }
    bool answered(uint8_t code, uint32_t before) { return link().repliesTaken(code) > before; }

    sim::SimServer sim;
    std::unique_ptr<MainWindow> window;
    std::vector<Message> messages;
};

// Every text of the page fits its control, and no two buttons overlap.
void expectCaptionsFit(QWidget* page) {
    const auto buttons = page->findChildren<QAbstractButton*>();
    for (QAbstractButton* b : buttons) {
        const int room = b->width() - (qobject_cast<QPushButton*>(b) ? 6 : 18);
        EXPECT_LE(b->fontMetrics().horizontalAdvance(b->text()), room) << b->text().toStdString();
        EXPECT_TRUE(page->rect().contains(b->geometry())) << b->text().toStdString();
        for (QAbstractButton* other : buttons)
            if (other != b) {
                EXPECT_FALSE(b->geometry().intersects(other->geometry())) << b->text().toStdString();
            }
    }
    for (QLabel* l : page->findChildren<QLabel*>())
        EXPECT_LE(l->fontMetrics().horizontalAdvance(l->text()), l->width()) << l->text().toStdString();
    for (QGroupBox* g : page->findChildren<QGroupBox*>()) EXPECT_TRUE(page->rect().contains(g->geometry()));
}

QStringList captions(QWidget* page) {
    QStringList out;
    for (QAbstractButton* b : page->findChildren<QAbstractButton*>()) out << b->text();
    for (QGroupBox* g : page->findChildren<QGroupBox*>()) out << g->title();
    for (QLabel* l : page->findChildren<QLabel*>()) out << l->text();
    return out;
}

TEST(UpperPagesWindow, EachPageSitsBesideTheBillListWithItsCaptions) {
    WindowRig rig;
    rig.connectAndStart();
    struct Case {
        int index;
        const char* name;
        std::vector<const char*> texts;
    };
    const Case cases[] = {
        {page::Setup,
         "setup",
         {"Stacker", "Note orient.", "Inhibit", "System mode", "required", "open", "2 sides", "2 ways", "normal",
          "un-inhib.", "polling", "escrow on", "Save Setup as :", "CURRENT  settings", "DEFAULT   settings"}},
        {page::RevId,
         "rev_id",
         {"Program Revision: ", "Get Revision", "System Id", "Get Asset Nr", "Get Sys Id", "Set Sys Id", "L8VQA034",
          "000000000000", "0000"}},
        {page::Escrow,
         "escrow",
         {"Escrow action:", "Accept", "Return", "Auto Acc.", "Credit Limit", "Reset",
          "Expiration Time:", "Default 10 sec", "Unlimited", "no bill in escrow"}},
        {page::Counters,
         "counters",
         {"Select Count:", "QRV bill cnt", "Life count", "Last Five", "Read Count", "Clear Count", "CLEAR ALL"}},
        {page::Factory,
         "factory",
         {"Factory Settings :", "set fact num", "get fact num", "set prod date", "get prod date", "get burn cycle",
          "wk", "yr", "0000", "wk 01/of 00", "0"}},
        {page::Rtc,
         "rtc",
         {"Local PC Time", "Validator's Time", "Synchronize", "Set new RTC", "Read RTC",
          "SUN, 00-00-00,          00:00:00"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        rig.showTab(c.index);
        QWidget* page = nullptr;
        for (QWidget* w : rig.window->centralWidget()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            if (dynamic_cast<PageView*>(w) && w->isVisible()) page = w;
        ASSERT_NE(page, nullptr);
        EXPECT_EQ(page->geometry(), dluRect(164, 15, 248, 70));
        const QStringList shown = captions(page);
        // The window gives buttons Alt letters ('&'); the captions are compared without them.
        QStringList plain;
        for (const QString& s : shown) plain.append(QString(s).remove('&'));
        for (const char* t : c.texts) EXPECT_TRUE(plain.contains(QString::fromLatin1(t))) << t;
        expectCaptionsFit(page);
        const QImage whole = rig.window->grab().toImage();
        EXPECT_TRUE(whole.save(grabPath(c.name)));
        if (c.index == page::Counters) {
            // The list's dark background and yellow counts.
            const QImage img = page->grab().toImage();
            auto* list = page->findChild<QTreeWidget*>();
            const QRect cell = list->visualItemRect(list->topLevelItem(0));
            const QPoint at = list->viewport()->mapTo(page, cell.topLeft()) + QPoint(2, 1);
            EXPECT_EQ(img.pixelColor(at), QColor(68, 68, 68));
            EXPECT_EQ(list->topLevelItem(0)->foreground(1).color(), QColor(255, 255, 0));
            EXPECT_EQ(list->topLevelItem(0)->text(0), " 01  ");
            EXPECT_EQ(list->columnWidth(0), 40);
            EXPECT_EQ(list->columnWidth(1), 75);
        }
    }
}

TEST(UpperPagesWindow, SwitchesFlippedInTheWindowReadBackChanged) {
    WindowRig rig;
    rig.connectAndStart();
    auto* setup = rig.show<SetupPage>(page::Setup);
    ASSERT_NE(setup, nullptr);
    // Stacker (below the read's code) and inhibit (above it): both are read back after they went out.
    for (SetupSwitch which : {SetupSwitch::Stacker, SetupSwitch::Inhibit, SetupSwitch::Ways}) {
        const uint32_t before = rig.link().repliesTaken(cmd::ReadSetup);
        QTest::mouseClick(setup->switchButton(which), Qt::LeftButton);
        ASSERT_TRUE(pumpUntil([&] { return rig.answered(cmd::ReadSetup, before); }));
    }
    EXPECT_EQ(caption(setup->switchButton(SetupSwitch::Stacker)), "optional");
    EXPECT_EQ(caption(setup->switchButton(SetupSwitch::Inhibit)), "inhibit");
    EXPECT_EQ(caption(setup->switchButton(SetupSwitch::Ways)), "1 way");
    EXPECT_TRUE(setup->switchButton(SetupSwitch::Inhibit)->isChecked());
    const uint8_t unit = rig.unitSetup();
    EXPECT_TRUE(unit & sim::setupbit::StackerOptional);
    EXPECT_TRUE(unit & sim::setupbit::Inhibit);
    EXPECT_TRUE(unit & sim::setupbit::Ways);

    // The orientation reaches no unit: only the page's flag and caption change.
    const uint32_t reads = rig.link().repliesTaken(cmd::ReadSetup);
    QTest::mouseClick(setup->switchButton(SetupSwitch::Orientation), Qt::LeftButton);
    EXPECT_EQ(caption(setup->switchButton(SetupSwitch::Orientation)), "reverse");
    EXPECT_EQ(rig.link().requestState(cmd::ReadSetup), RequestState::Idle);
    EXPECT_EQ(rig.link().repliesTaken(cmd::ReadSetup), reads);

    // DEFAULT restores the unit's set-up and the start-up reads show it.
    QTest::mouseClick(setup->defaultButton(), Qt::LeftButton);
    ASSERT_TRUE(pumpUntil([&] { return rig.answered(cmd::ReadSetup, reads); }));
    EXPECT_EQ(caption(setup->switchButton(SetupSwitch::Stacker)), "required");
    EXPECT_EQ(caption(setup->switchButton(SetupSwitch::Inhibit)), "un-inhib.");
}

TEST(UpperPagesWindow, SystemModeSwitchChangesTheControllerAndItsCaption) {
    WindowRig rig;
    rig.connectAndStart();
    auto* setup = rig.show<SetupPage>(page::Setup);
    const uint32_t before = rig.link().repliesTaken(cmd::ReadSetup);
    QTest::mouseClick(setup->switchButton(SetupSwitch::SystemMode), Qt::LeftButton);
    EXPECT_TRUE(rig.link().interruptMode());  // at once, before the unit confirms
    ASSERT_TRUE(pumpUntil([&] { return rig.answered(cmd::ReadSetup, before); }));
    EXPECT_TRUE(rig.unitSetup() & sim::setupbit::Interrupt);
    EXPECT_TRUE(rig.link().interruptMode());  // as the unit now reports it
    EXPECT_EQ(caption(setup->switchButton(SetupSwitch::SystemMode)), "interrupt");
}

TEST(UpperPagesWindow, IdentityPagesWriteReadBackAndCheckOnlyWhatTheySend) {
    WindowRig rig;
    rig.connectAndStart();
    auto* rev = rig.show<RevIdPage>(page::RevId);
    ASSERT_NE(rev, nullptr);
    EXPECT_EQ(rev->revision()->text(), "L8VQA034");
    EXPECT_TRUE(pumpUntil([&] { return rev->systemId()->text() == "1234"; }));
    EXPECT_TRUE(pumpUntil([&] { return rev->assetNumber()->text() == "A50000001001"; }));
    rev->systemIdEntry()->setText("10000");
    QTest::mouseClick(rev->setSystemIdButton(), Qt::LeftButton);
    ASSERT_EQ(rig.messages.size(), 1u);
    EXPECT_EQ(rig.messages[0].text, "Please enter an integer between 0 and 9999.");
    EXPECT_EQ(rig.link().requestState(cmd::SetSysId), RequestState::Idle);
    rev->systemIdEntry()->setText("1958");
    uint32_t before = rig.link().repliesTaken(cmd::ReadSystemId);
    QTest::mouseClick(rev->setSystemIdButton(), Qt::LeftButton);
    ASSERT_TRUE(pumpUntil([&] { return rig.answered(cmd::ReadSystemId, before); }));
    EXPECT_EQ(rev->systemId()->text(), "1958");

    rig.messages.clear();
    auto* factory = rig.show<FactoryPage>(page::Factory);
    ASSERT_NE(factory, nullptr);
    // Opened on a connected unit, the page asks for what it shows and shows the unit's data.
    EXPECT_TRUE(pumpUntil([&] { return factory->productionDate()->text() == "wk 23/of 26"; }))
        << factory->productionDate()->text().toStdString();
    // A week the entry refuses stops only the button that sends it.
    factory->weekEntry()->setText("53");
    before = rig.link().repliesTaken(cmd::ReadFactNum);
    QTest::mouseClick(factory->getFactoryButton(), Qt::LeftButton);
    factory->factoryEntry()->setText("77");
    QTest::mouseClick(factory->setFactoryButton(), Qt::LeftButton);
    EXPECT_TRUE(rig.messages.empty());
    ASSERT_TRUE(pumpUntil([&] { return rig.answered(cmd::ReadFactNum, before); }));
    EXPECT_EQ(factory->factoryNumber()->text(), "0077");
    QTest::mouseClick(factory->setDateButton(), Qt::LeftButton);
    ASSERT_EQ(rig.messages.size(), 1u);
    EXPECT_EQ(rig.messages[0].text, "Please enter an integer between 1 and 52.");
    factory->weekEntry()->setText("9");
    factory->yearEntry()->setText("24");
    before = rig.link().repliesTaken(cmd::ReadProdDate);
    QTest::mouseClick(factory->setDateButton(), Qt::LeftButton);
    ASSERT_TRUE(pumpUntil([&] { return rig.answered(cmd::ReadProdDate, before); }));
    EXPECT_EQ(factory->productionDate()->text(), "wk 09/of 24");
    before = rig.link().repliesTaken(cmd::ReadBurnCycles);
    QTest::mouseClick(factory->burnButton(), Qt::LeftButton);
    ASSERT_TRUE(pumpUntil([&] { return rig.answered(cmd::ReadBurnCycles, before); }));
    EXPECT_EQ(factory->burnCycles()->text(), "3");
    const QImage whole = rig.window->grab().toImage();
    whole.save(grabPath("factory-filled"));
}

TEST(UpperPagesWindow, RtcSetFromThePcReadsBackWithinASecond) {
    WindowRig rig;
    rig.connectAndStart();
    rig.sim.withModel([](sim::ValidatorModel& m) {
        m.memory().rtcOffsetSeconds = 7 * 86400;
        return 0;
    });
    auto* rtc = rig.show<RtcPage>(page::Rtc);
    ASSERT_NE(rtc, nullptr);
    EXPECT_TRUE(rtc->timer().isActive());
    EXPECT_NE(rtc->pcTime()->text(), rtctext::kInitial);
    const uint32_t before = rig.link().repliesTaken(cmd::ReadRtc);
    QTest::mouseClick(rtc->setButton(), Qt::LeftButton);
    ASSERT_TRUE(pumpUntil([&] { return rig.answered(cmd::ReadRtc, before); }));
    const RtcRecord& r = rig.stores().rtc;
    auto dec = [](uint8_t b) { return (b >> 4) * 10 + (b & 0x0F); };
    std::tm t{};
    t.tm_year = 100 + dec(r[0]);
    t.tm_mon = dec(r[1]) - 1;
    t.tm_mday = dec(r[2]);
    t.tm_hour = dec(r[4]);
    t.tm_min = dec(r[5]);
    t.tm_sec = dec(r[6]);
    t.tm_isdst = -1;
    EXPECT_LE(std::fabs(std::difftime(time(nullptr), mktime(&t))), 1.0);
    EXPECT_EQ(rtc->unitTime()->text().toStdString(), rtcText(r));
    rig.window->grab().toImage().save(grabPath("rtc-read"));
}

TEST(UpperPagesWindow, RtcPageOfAUnitWithoutAClock) {
    sim::SimOptions options;
    options.unitType = 'L';
    WindowRig rig(options);
    rig.connectAndStart();
    auto* rtc = rig.show<RtcPage>(page::Rtc);
    ASSERT_NE(rtc, nullptr);
    EXPECT_FALSE(rtc->setButton()->isEnabled());
    EXPECT_FALSE(rtc->readButton()->isEnabled());
    EXPECT_EQ(rtc->unitTime()->text(), "Real Time Clock not available");
}

TEST(UpperPagesWindow, CountersReadClearAndTheirSelections) {
    WindowRig rig;
    rig.connectAndStart();
    ASSERT_EQ(rig.sim.execute("insert 3"), "");
    ASSERT_TRUE(
        pumpUntil([&] { return rig.sim.withModel([](sim::ValidatorModel& m) { return m.lifeCount(); }) == 1; }));
    auto* counters = rig.show<CountersPage>(page::Counters);
    ASSERT_NE(counters, nullptr);
    uint32_t before = rig.link().repliesTaken(cmd::ReadQrvBillCount);
    QTest::mouseClick(counters->readButton(), Qt::LeftButton);
    ASSERT_TRUE(pumpUntil([&] { return rig.answered(cmd::ReadQrvBillCount, before); }));
    QTreeWidget* list = counters->list();
    EXPECT_EQ(list->topLevelItem(2)->text(1), "00000001");
    QTest::mouseClick(counters->selector(CounterSelection::Life), Qt::LeftButton);
    before = rig.link().repliesTaken(cmd::ReadBillCounter);
    QTest::mouseClick(counters->readButton(), Qt::LeftButton);
    ASSERT_TRUE(pumpUntil([&] { return rig.answered(cmd::ReadBillCounter, before); }));
    EXPECT_EQ(list->topLevelItem(0)->text(0), "count");
    EXPECT_EQ(list->topLevelItem(0)->text(1), "00000001");
    EXPECT_EQ(list->topLevelItem(2)->text(1), "xxxxxxxx");
    EXPECT_EQ(list->topLevelItem(5)->text(1), "");
    EXPECT_EQ(list->topLevelItem(0)->foreground(1).color(), QColor(255, 255, 255));
    before = rig.link().repliesTaken(cmd::ReadBillCounter);
    QTest::mouseClick(counters->clearAllButton(), Qt::LeftButton);
    ASSERT_TRUE(pumpUntil([&] { return rig.answered(cmd::ReadBillCounter, before); }));
    EXPECT_EQ(list->topLevelItem(0)->text(1), "00000000");
    EXPECT_EQ(rig.sim.withModel([](sim::ValidatorModel& m) { return m.lifeCount(); }), 0u);
    QTest::mouseClick(counters->selector(CounterSelection::LastFive), Qt::LeftButton);
    before = rig.link().repliesTaken(cmd::ReadLastFive);
    QTest::mouseClick(counters->readButton(), Qt::LeftButton);
    ASSERT_TRUE(pumpUntil([&] { return rig.answered(cmd::ReadLastFive, before); }));
    EXPECT_EQ(list->topLevelItem(0)->text(0), "last->");
    EXPECT_EQ(list->topLevelItem(0)->text(1), "type 03");
    EXPECT_EQ(list->topLevelItem(0)->foreground(1).color(), QColor(0, 255, 255));
    rig.window->grab().toImage().save(grabPath("counters-last-five"));
}

TEST(UpperPagesWindow, EscrowAcceptOnlyForABillInEscrowAndTheKeepAlive) {
    WindowRig rig;
    rig.connectAndStart();
    auto* escrow = rig.show<EscrowPage>(page::Escrow);
    ASSERT_NE(escrow, nullptr);
    EXPECT_FALSE(escrow->acceptButton()->isEnabled());  // auto-accept is on
    QTest::mouseClick(escrow->autoAcceptBox(), Qt::LeftButton);
    EXPECT_FALSE(rig.stores().escrow.autoAccept);
    EXPECT_FALSE(escrow->acceptButton()->isEnabled());  // nothing in escrow
    // Even a forced click with no bill asks for nothing and credits nothing.
    rig.stores().escrow.creditLimitOn = true;
    rig.stores().escrow.escrowValue = 50;
    escrow->acceptButton()->click();
    EXPECT_EQ(rig.link().requestState(cmd::EscrowAccept), RequestState::Idle);
    EXPECT_EQ(rig.stores().escrow.creditTotal, 0);
    rig.stores().escrow.creditLimitOn = false;

    // "Unlimited" keeps a bill in escrow past the unit's time-out, by restarts.
    QTest::mouseClick(escrow->unlimitedButton(), Qt::LeftButton);
    EXPECT_TRUE(escrow->keepAliveTimer().isActive());
    ASSERT_EQ(rig.sim.execute("insert 4"), "");
    ASSERT_TRUE(pumpUntil([&] { return escrow->acceptButton()->isEnabled(); }));
    EXPECT_EQ(escrow->billInEscrow()->text(), "in escrow: 50");
    escrow->keepAlive();
    EXPECT_EQ(rig.link().requestState(cmd::RestartEscrow), RequestState::Requested);
    QTest::mouseClick(escrow->acceptButton(), Qt::LeftButton);
    ASSERT_TRUE(
        pumpUntil([&] { return rig.sim.withModel([](sim::ValidatorModel& m) { return m.lifeCount(); }) == 1; }));
    ASSERT_TRUE(pumpUntil([&] { return !escrow->acceptButton()->isEnabled(); }));
    EXPECT_EQ(escrow->billInEscrow()->text(), "no bill in escrow");

    // Reopening the tab sets the credit limit back to 9999.
    rig.stores().escrow.creditLimit = 100;
    rig.show<SetupPage>(page::Setup);
    escrow = rig.show<EscrowPage>(page::Escrow);
    EXPECT_EQ(rig.stores().escrow.creditLimit, 9999);
    EXPECT_EQ(escrow->limitBox()->text(), "9999");
    EXPECT_TRUE(escrow->unlimitedButton()->isChecked());
    EXPECT_EQ(escrow->keepAliveTimer().interval(), 5000);
}

// A bill that comes while the user looks at another tab brings the Escrow page up,
// and the decision for it keeps the limit the user set: limit 40, a 50 is returned.
TEST(UpperPagesWindow, ABillArrivingOnAnotherTabIsJudgedByTheUsersLimit) {
    WindowRig rig;
    rig.connectAndStart();
    auto* escrow = rig.show<EscrowPage>(page::Escrow);
    ASSERT_NE(escrow, nullptr);
    QTest::mouseClick(escrow->creditLimitBox(), Qt::LeftButton);
    escrow->limitBox()->setText("40");
    rig.show<SetupPage>(page::Setup);
    EXPECT_EQ(rig.stores().escrow.creditLimit, 40);

    ASSERT_EQ(rig.sim.execute("insert 4"), "");  // a 50
    ASSERT_TRUE(pumpUntil([&] {
        return rig.link().requestState(cmd::EscrowReturn) != RequestState::Idle ||
               rig.link().requestState(cmd::EscrowAccept) != RequestState::Idle;
    }));
    EXPECT_EQ(rig.link().requestState(cmd::EscrowAccept), RequestState::Idle);
    EXPECT_EQ(rig.window->upperTabs()->currentIndex(), page::Escrow);
    escrow = rig.window->centralWidget()->findChild<EscrowPage*>(QString(), Qt::FindDirectChildrenOnly);
    ASSERT_NE(escrow, nullptr);
    EXPECT_EQ(escrow->limitBox()->text(), "40");
    EXPECT_EQ(rig.stores().escrow.creditTotal, 0);
}

}  // namespace
}  // namespace halvek::ui
