#include "HoverEvents.h"
#include "MyTabButton.h"
#include "ProgressRing.h"
#include "circleButton.h"
#include "customizeButton.h"
#include "myDateBtn.h"
#include "myMoreInfoBtn.h"

#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

namespace {
const QColor kBlue(0, 122, 255);
const QColor kDark(51, 51, 51);
const QColor kFace(239, 239, 244);
}

TEST(CustomizeButton, HoverTurnsBlueAndLeaveRestores)
{
    customizeButton b(QStringLiteral("Backup"));
    EXPECT_EQ(b.backgroundColor(), kFace);
    EXPECT_EQ(b.borderColor(), kDark);
    EXPECT_EQ(b.titleColor(), kDark);

    sendEnter(&b);
    EXPECT_EQ(b.backgroundColor(), kBlue);
    EXPECT_EQ(b.borderColor(), kBlue);
    EXPECT_EQ(b.titleColor(), QColor(Qt::white));

    sendLeave(&b);
    EXPECT_EQ(b.backgroundColor(), kFace);
    EXPECT_EQ(b.titleColor(), kDark);
}

TEST(CustomizeButton, PointerLeftOverItByAClosingWindowShowsNoHoverUntilItMoves)
{
    customizeButton b(QStringLiteral("Cancel"));
    sendEnterUnmoved(&b);
    EXPECT_EQ(b.backgroundColor(), kFace) << "looks like a default button that Enter does not press";
    EXPECT_FALSE(b.autoDefault());
    QMouseEvent move(QEvent::MouseMove, QPointF(4, 4), QPointF(4, 4), QPointF(4, 4), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QCoreApplication::sendEvent(&b, &move);
    EXPECT_EQ(b.backgroundColor(), kBlue);
    sendLeave(&b);
    EXPECT_EQ(b.backgroundColor(), kFace);
}

TEST(CustomizeButton, DisabledShowsNoHoverButTakesNormalLookOnExit)
{
    customizeButton b(QStringLiteral("Done"));
    b.setEnabled(false);
    sendEnter(&b);
    EXPECT_EQ(b.backgroundColor(), kFace);
    sendLeave(&b);
    EXPECT_EQ(b.backgroundColor(), kFace);
    EXPECT_EQ(b.titleColor(), kDark);
}

TEST(CustomizeButton, LoadingHidesTitleAndRestoresItEvenWhenSetTwice)
{
    customizeButton b(QStringLiteral("Sign In"));
    b.setLoading(true);
    EXPECT_TRUE(b.text().isEmpty());
    EXPECT_FALSE(b.isEnabled());
    EXPECT_TRUE(b.progressRing->isVisibleTo(&b));

    b.setLoading(true); // must not save the empty title
    b.setLoading(false);
    EXPECT_EQ(b.text(), QStringLiteral("Sign In"));
    EXPECT_TRUE(b.isEnabled());
    EXPECT_FALSE(b.progressRing->isVisibleTo(&b));
    EXPECT_EQ(b.backgroundColor(), kFace);
}

TEST(CustomizeButton, FirstEntryAfterLoadingIsSwallowed)
{
    customizeButton b(QStringLiteral("Backup"));
    b.setLoading(true);
    b.setLoading(false);
    sendEnter(&b);
    EXPECT_EQ(b.backgroundColor(), kFace);
    EXPECT_FALSE(b.startLoading);
    sendLeave(&b);
    sendEnter(&b);
    EXPECT_EQ(b.backgroundColor(), kBlue);
}

TEST(CustomizeButton, RingIsCentred)
{
    customizeButton b(QStringLiteral("Backup"));
    b.resize(100, 40);
    b.show();
    EXPECT_EQ(b.progressRing->geometry(), QRect(42, 12, 16, 16));
}

TEST(MyTabButton, HoverLightensUnselectedTabOnly)
{
    MyTabButton tab(QStringLiteral("BACKUP"));
    EXPECT_EQ(tab.backgroundColor(), QColor(205, 205, 209));
    sendEnter(&tab);
    EXPECT_EQ(tab.backgroundColor(), QColor(230, 230, 235));
    sendLeave(&tab);
    EXPECT_EQ(tab.backgroundColor(), QColor(205, 205, 209));

    tab.setSelected(true);
    sendEnter(&tab);
    EXPECT_EQ(tab.backgroundColor(), QColor(255, 255, 255));
    sendLeave(&tab);
    EXPECT_EQ(tab.backgroundColor(), QColor(255, 255, 255));
    EXPECT_TRUE(tab.property("isSelected").toBool());
}

TEST(MyTabButton, DisabledTabsIgnoreTheMouseButTheCurrentOneStaysMarked)
{
    MyTabButton tab(QStringLiteral("BACKUP"));
    sendEnter(&tab);
    tab.setEnabled(false); // the drive went away under the mouse
    EXPECT_EQ(tab.backgroundColor(), MyTabButton::normalColor());
    sendLeave(&tab);
    sendEnter(&tab);
    EXPECT_EQ(tab.backgroundColor(), MyTabButton::normalColor());
    EXPECT_EQ(tab.titleColor(), MyTabButton::disabledTextColor());
    tab.setEnabled(true);
    EXPECT_EQ(tab.backgroundColor(), MyTabButton::hoverColor());

    MyTabButton current(QStringLiteral("MYDEVICE"));
    current.setSelected(true);
    current.setEnabled(false);
    EXPECT_EQ(current.backgroundColor(), MyTabButton::selectedColor());
    EXPECT_EQ(current.titleColor(), MyTabButton::textColor());
    EXPECT_FALSE(current.styleSheet().contains(QStringLiteral(":disabled")));
}

TEST(CircleButton, PicturesFollowTheIdentifierTable)
{
    circleButton add(QStringLiteral("add"));
    EXPECT_TRUE(add.isEnable);
    EXPECT_EQ(add.imageName(), QStringLiteral("ic_page_add_gery"));
    sendEnter(&add);
    EXPECT_EQ(add.imageName(), QStringLiteral("ic_page_add_blue"));
    sendLeave(&add);
    EXPECT_EQ(add.imageName(), QStringLiteral("ic_page_add_gery"));
    add.setEnable(false);
    EXPECT_EQ(add.imageName(), QStringLiteral("ic_page_add_lightgery"));
    sendEnter(&add);
    EXPECT_EQ(add.property("imageName").toString(), QStringLiteral("ic_page_add_lightgery"));
    EXPECT_FALSE(add.icon().isNull());

    circleButton doc(QStringLiteral("document"));
    sendEnter(&doc);
    EXPECT_EQ(doc.imageName(), QStringLiteral("ic_sync_folderpath_enable_blue"));
}

TEST(CircleButton, DisabledBackupKeepsItsPictureAndIgnoresHover)
{
    circleButton b(QStringLiteral("backup"));
    sendEnter(&b);
    EXPECT_EQ(b.imageName(), QStringLiteral("ic_page_backup_blue"));
    b.setEnable(false);
    EXPECT_EQ(b.imageName(), QStringLiteral("ic_page_backup_blue"));
    sendLeave(&b);
    EXPECT_EQ(b.imageName(), QStringLiteral("ic_page_backup_blue"));
}

TEST(CircleButton, DisabledBackIsHiddenAndEnablingDoesNotShowIt)
{
    QWidget page;
    auto* back = new circleButton(QStringLiteral("back"), &page);
    page.show();
    ASSERT_TRUE(back->isVisible());
    back->setEnable(false);
    EXPECT_FALSE(back->isVisible());
    back->setEnable(true);
    EXPECT_FALSE(back->isVisible());
    EXPECT_EQ(back->imageName(), QStringLiteral("ic_back_grey"));
}

TEST(CircleButton, UnknownOrMissingIdentifierChangesOnlyTheFlag)
{
    for (const QString& id : { QString(), QStringLiteral("share") }) {
        circleButton b(id);
        b.setEnable(false);
        EXPECT_FALSE(b.isEnable);
        b.setEnable(true);
        sendEnter(&b);
        EXPECT_TRUE(b.imageName().isEmpty()) << id.toStdString();
    }
}

TEST(CircleButton, EjectIsTintedInsteadOfSwapped)
{
    circleButton b(QStringLiteral("eject"));
    EXPECT_EQ(b.imageName(), QStringLiteral("ic_main_eject"));
    EXPECT_EQ(b.tintColor(), circleButton::systemGrey());
    sendEnter(&b);
    EXPECT_EQ(b.tintColor(), kBlue);
    EXPECT_EQ(b.imageName(), QStringLiteral("ic_main_eject"));
    sendLeave(&b);
    EXPECT_EQ(b.tintColor(), circleButton::systemGrey());
}

TEST(MyMoreInfoBtn, HoverPicksArrowForTheDetailsState)
{
    myMoreInfoBtn b(QStringLiteral("More Info"));
    EXPECT_EQ(b.imageName(), QStringLiteral("ic_tab_moredetail_right_grey"));
    sendEnter(&b);
    EXPECT_EQ(b.imageName(), QStringLiteral("ic_tab_moredetail_right_blue"));
    EXPECT_EQ(b.titleColor(), kBlue);
    b.btnClicked = true;
    sendLeave(&b);
    EXPECT_EQ(b.imageName(), QStringLiteral("ic_tab_moredetail_down_grey"));
    EXPECT_EQ(b.titleColor(), QColor(142, 142, 147));
    sendEnter(&b);
    EXPECT_EQ(b.imageName(), QStringLiteral("ic_tab_moredetail_down_blue"));
}

TEST(MyMoreInfoBtn, KeepsItsLookWhenHoverIsNotAllowed)
{
    myMoreInfoBtn b(QStringLiteral("More Info"));
    b.myEnable = false;
    sendEnter(&b);
    EXPECT_EQ(b.imageName(), QStringLiteral("ic_tab_moredetail_right_grey"));
    b.myEnable = true;
    b.setEnabled(false);
    sendEnter(&b);
    EXPECT_EQ(b.imageName(), QStringLiteral("ic_tab_moredetail_right_grey"));
}

TEST(MyDateBtn, ClickTogglesChosenLookWithoutClickSignal)
{
    myDateBtn day(QStringLiteral("12"));
    QSignalSpy clicked(&day, &QPushButton::clicked);
    day.show();
    EXPECT_FALSE(day.clickFlag);
    EXPECT_EQ(day.titleColor(), QColor(Qt::black));

    QTest::mouseClick(&day, Qt::LeftButton);
    EXPECT_TRUE(day.clickFlag);
    EXPECT_EQ(day.titleColor(), QColor(150, 0, 20));
    EXPECT_TRUE(day.titleBold());

    QTest::mouseClick(&day, Qt::LeftButton);
    EXPECT_FALSE(day.clickFlag);
    EXPECT_EQ(day.titleColor(), QColor(Qt::black));
    EXPECT_FALSE(day.titleBold());
    EXPECT_EQ(clicked.count(), 0);
}
