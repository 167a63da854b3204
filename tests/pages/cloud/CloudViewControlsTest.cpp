// The Cloud Backup page's tile and its click blocker.
#include "CloudBoxButton.h"
#include "CloudTempBlockView.h"
#include "ControlStyle.h"

#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

namespace {

void moveTo(QWidget* w, QPoint at)
{
    QMouseEvent move(QEvent::MouseMove, at, w->mapToGlobal(at), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(w, &move);
}

bool titleIs(const CloudBoxButton& tile, const QColor& colour)
{
    return tile.titleView()->styleSheet().contains(ControlStyle::css(colour));
}

} // namespace

TEST(CloudViewControls, TileRedrawsOnlyOnEntryAndExitAndTracksInsideItsInset)
{
    CloudBoxButton tile;
    tile.show();
    EXPECT_EQ(tile.titleView()->text(), "Test");

    tile.boxBtnTitle = "Select Files";
    tile.boxBtnImageName = "ic_cloud_onedrive";
    EXPECT_EQ(tile.titleView()->text(), "Test"); // nothing changes until the pair
    for (int i = 0; i < 5; ++i) {
        tile.mouseEntered();
        tile.mouseExited();
    }
    EXPECT_EQ(tile.findChildren<QLabel*>("100").size(), 1);
    EXPECT_EQ(tile.findChildren<QLabel*>("101").size(), 1);
    EXPECT_EQ(tile.titleView()->text(), "Select Files");
    EXPECT_TRUE(titleIs(tile, ControlStyle::greyText()));
    EXPECT_EQ(tile.faceImage(), "img_security_normal");

    // The outer 15 px do not count as over the tile.
    moveTo(&tile, QPoint(CloudBoxButton::inset - 5, tile.height() / 2));
    EXPECT_FALSE(tile.isHovered());
    moveTo(&tile, QPoint(CloudBoxButton::inset + 5, tile.height() / 2));
    EXPECT_TRUE(tile.isHovered());
    EXPECT_TRUE(titleIs(tile, ControlStyle::accentBlue()));
    EXPECT_EQ(tile.faceImage(), "img_security_select");
    moveTo(&tile, QPoint(tile.width() - 3, tile.height() / 2));
    EXPECT_FALSE(tile.isHovered());

    // A picture that does not exist leaves the title alone.
    tile.boxBtnImageName = "no such picture";
    tile.mouseExited();
    EXPECT_EQ(tile.pictureView(), nullptr);
    EXPECT_NE(tile.titleView(), nullptr);
}

TEST(CloudViewControls, BlockViewSwallowsClicksMeantForControlsUnderIt)
{
    QWidget parent;
    parent.resize(200, 100);
    auto* button = new QPushButton("Under", &parent);
    button->setGeometry(0, 0, 200, 100);
    auto* block = new CloudTempBlockView(&parent);
    block->setGeometry(0, 0, 200, 100);
    parent.show();
    QSignalSpy clicked(button, &QPushButton::clicked);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&parent));
    // Through the window, as a real click: it lands on whatever is on top there.
    QTest::mouseClick(parent.windowHandle(), Qt::LeftButton, Qt::NoModifier, QPoint(100, 50));
    EXPECT_EQ(clicked.count(), 0);
    block->hide();
    QTest::mouseClick(parent.windowHandle(), Qt::LeftButton, Qt::NoModifier, QPoint(100, 50));
    EXPECT_EQ(clicked.count(), 1);
}
