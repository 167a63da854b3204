#include "CarosellView.h"

#include "CarosellCell.h"
#include "MakerProducts.h"
#include "ZorviImages.h"

#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

namespace {

QStringList shownNames(const CarosellView& view)
{
    QStringList names;
    for (const CarosellCell* cell : view.existViews)
        names << cell->deviceName;
    return names;
}

// Turns once and waits for the turn to end.
void turn(CarosellView& view, bool toRight)
{
    QSignalSpy done(&view, &CarosellView::rotationFinished);
    view.rotate(toRight);
    ASSERT_TRUE(done.wait(3000));
}

// Shown at the page's size, turning in a moment instead of 0.7 s. A hidden widget hears of
// its size only when shown.
void prepare(CarosellView& view)
{
    view.setRotationDuration(20);
    view.resize(620, 250);
    view.show();
}

int cardsOnScreen(const CarosellView& view)
{
    int count = 0;
    for (const CarosellCell* cell : view.findChildren<CarosellCell*>())
        count += cell->isHidden() ? 0 : 1;
    return count;
}

} // namespace

TEST(CarosellView, ModelsHaveTheirPictures)
{
    const QStringList& names = MakerProducts::modelNames();
    ASSERT_EQ(names.size(), 7);
    EXPECT_EQ(names.at(1).count(QLatin1Char('/')), 2);
    for (const QString& name : names) {
        SCOPED_TRACE(name.toStdString());
        const QString picture = MakerProducts::modelPictureName(name);
        EXPECT_FALSE(picture.contains(QLatin1Char('/')));
        EXPECT_TRUE(ZorviImages::exists(picture));
        EXPECT_TRUE(ZorviImages::exists(QStringLiteral("OTB_") + picture));
        EXPECT_TRUE(ZorviImages::exists(QStringLiteral("OTB_") + picture + QStringLiteral("_2")));
        // The ring is laid over the picture: both must have one size.
        EXPECT_EQ(ZorviImages::defaultSize(QStringLiteral("OTB_") + picture + QStringLiteral("_2")),
                  ZorviImages::defaultSize(QStringLiteral("OTB_") + picture));
    }
    EXPECT_TRUE(ZorviImages::exists(QStringLiteral("img_otb_success")));
}

TEST(CarosellView, SevenRightTurnsComeBackToTheStart)
{
    CarosellView view;
    prepare(view);
    const QStringList& names = view.deviceName;
    EXPECT_EQ(shownNames(view), (QStringList { names[0], names[1], names[2] }));
    EXPECT_EQ(view.deviceIndex, 1);
    EXPECT_EQ(view.existViews[1]->borderWidth(), 3);
    EXPECT_EQ(view.existViews[1]->imageName, "VelkanDuoPro");
    EXPECT_EQ(view.existViews[1]->geometry(), QRect(200, 15, 220, 220));

    turn(view, true);
    EXPECT_EQ(view.deviceIndex, 2);
    EXPECT_EQ(shownNames(view), (QStringList { names[1], names[2], names[3] }));
    for (int i = 1; i < 7; ++i)
        turn(view, true);
    EXPECT_EQ(view.deviceIndex, 1);
    EXPECT_EQ(shownNames(view), (QStringList { names[0], names[1], names[2] }));
    EXPECT_EQ(view.existViews[1]->borderWidth(), 3);
    EXPECT_EQ(view.existViews[0]->borderWidth(), 0);
    EXPECT_EQ(view.existViews[1]->geometry(), QRect(200, 15, 220, 220));
    EXPECT_TRUE(QTest::qWaitFor([&] { return cardsOnScreen(view) == 3; }, 2000));
}

TEST(CarosellView, LeftTurnAndATurnDuringATurn)
{
    CarosellView view;
    prepare(view);
    const QStringList& names = view.deviceName;
    QSignalSpy done(&view, &CarosellView::rotationFinished);
    view.rotate(false);
    EXPECT_TRUE(view.isAnimating);
    view.rotate(false);                   // dropped
    view.rotate(true);                    // dropped
    view.cellClicked(view.existViews[2]); // dropped too
    ASSERT_TRUE(done.wait(3000));
    EXPECT_FALSE(view.isAnimating);
    EXPECT_EQ(view.deviceIndex, 0); // one step only
    EXPECT_EQ(shownNames(view), (QStringList { names[6], names[0], names[1] }));
    EXPECT_EQ(view.existViews[1]->borderWidth(), 3);
}

TEST(CarosellView, ClicksTurnToTheSideCardOnly)
{
    CarosellView view;
    prepare(view);
    QSignalSpy done(&view, &CarosellView::rotationFinished);
    QTest::mouseClick(view.existViews[1], Qt::LeftButton);
    EXPECT_FALSE(view.isAnimating);
    EXPECT_EQ(view.existViews[1]->borderWidth(), 3);

    QTest::mouseClick(view.existViews[2], Qt::LeftButton);
    EXPECT_TRUE(view.isAnimating);
    ASSERT_TRUE(done.wait(3000));
    EXPECT_EQ(view.deviceIndex, 2);
    EXPECT_EQ(view.currentDeviceName(), view.deviceName[2]);
}

TEST(CarosellView, ResizeMovesTheSameCards)
{
    CarosellView view;
    prepare(view);
    turn(view, true);
    const QList<CarosellCell*> before = view.existViews;

    view.resize(800, 330);
    EXPECT_EQ(view.existViews, before);
    EXPECT_EQ(view.deviceIndex, 2);
    EXPECT_EQ(view.existViews[1]->geometry(), QRect(250, 15, 300, 300));
    EXPECT_EQ(view.existViews[0]->geometry(), QRect(75, 40, 250, 250));
    EXPECT_EQ(cardsOnScreen(view), 3);

    // A resize during a turn lays the cards out once the turn has ended.
    QSignalSpy done(&view, &CarosellView::rotationFinished);
    view.rotate(false);
    view.resize(620, 250);
    ASSERT_TRUE(done.wait(3000));
    EXPECT_EQ(view.deviceIndex, 1);
    EXPECT_EQ(view.existViews[1]->geometry(), QRect(200, 15, 220, 220));
    EXPECT_EQ(view.existViews[2]->geometry(), QRect(380, 40, 170, 170));
}
