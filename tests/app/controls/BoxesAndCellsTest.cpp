#include "AddTaskBoxButton.h"
#include "AddTaskSmallBoxButton.h"
#include "BoxPathTableCell.h"
#include "ElidedLabel.h"
#include "HoverEvents.h"
#include "ImageTextHyperLink.h"
#include "VerticallyAlignedTextFieldCell.h"

#include <QLabel>
#include <gtest/gtest.h>

namespace {
int countTagged(QWidget* w, int tag)
{
    int n = 0;
    for (QObject* child : w->children())
        n += child->property("tag").toInt() == tag ? 1 : 0;
    return n;
}
} // namespace

TEST(AddTaskBoxButton, SourceAndOtherIdentifiers)
{
    AddTaskBoxButton source(QStringLiteral("Source"));
    EXPECT_EQ(source.labelText(), QStringLiteral("Add Files"));
    EXPECT_EQ(source.iconName(), QStringLiteral("ic_newtask_addfiles_grey"));
    EXPECT_EQ(source.imageName(), QStringLiteral("img_newtask_normal"));
    EXPECT_EQ(source.textColor(), QColor(142, 142, 147));

    for (const QString& id : { QString(), QStringLiteral("Destination"), QStringLiteral("source") }) {
        AddTaskBoxButton other(id);
        EXPECT_EQ(other.labelText(), QStringLiteral("Destination"));
        EXPECT_EQ(other.iconName(), QStringLiteral("ic_newtask_destination_grey"));
    }
}

TEST(AddTaskBoxButton, HoverAndManyRedrawsLeaveOnePictureAndOneLabel)
{
    AddTaskBoxButton box(QStringLiteral("Source"));
    sendEnter(&box);
    EXPECT_EQ(box.iconName(), QStringLiteral("ic_newtask_addfiles_blue"));
    EXPECT_EQ(box.imageName(), QStringLiteral("img_newtask_select"));
    EXPECT_EQ(box.textColor(), QColor(0, 122, 255));
    for (int i = 0; i < 20; ++i) {
        sendLeave(&box);
        sendEnter(&box);
    }
    sendLeave(&box);
    EXPECT_EQ(countTagged(&box, AddTaskBoxButton::pictureTag), 1);
    EXPECT_EQ(countTagged(&box, AddTaskBoxButton::textTag), 1);
    EXPECT_EQ(box.imageName(), QStringLiteral("img_newtask_normal"));
    EXPECT_EQ(box.findChildren<QLabel*>().size(), 2);
}

TEST(AddTaskSmallBoxButton, OutlineOnlyUnderTheMouse)
{
    AddTaskSmallBoxButton b(QStringLiteral("Add File"));
    EXPECT_FALSE(b.borderColor().isValid());
    EXPECT_EQ(b.backgroundColor(), QColor(142, 142, 147));
    sendEnter(&b);
    EXPECT_EQ(b.borderColor(), QColor(0, 122, 255));
    sendLeave(&b);
    EXPECT_FALSE(b.borderColor().isValid());
}

TEST(ImageTextHyperLink, LongTextIsElidedWithFullToolTip)
{
    ImageTextHyperLink link;
    const QString longPath = QStringLiteral("/media/user/DRIVE/") + QString(200, QLatin1Char('x'));
    link.setLabelText(longPath);
    EXPECT_EQ(link.toolTip(), longPath);
    EXPECT_NE(link.displayedText(), longPath);
    EXPECT_TRUE(link.displayedText().endsWith(QChar(0x2026)));

    link.setLabelText(QStringLiteral("/media/user/DRIVE"));
    EXPECT_EQ(link.displayedText(), QStringLiteral("/media/user/DRIVE"));

    link.setLabelText(QString());
    EXPECT_TRUE(link.toolTip().isEmpty());
}

TEST(ImageTextHyperLink, HoverSwitchesPictureAndColour)
{
    ImageTextHyperLink link;
    link.setLabelText(QStringLiteral("/media/user/DRIVE"));
    EXPECT_EQ(link.imageName(), QStringLiteral("ic_sync_folderpath_enable_grey"));
    EXPECT_EQ(link.textColor(), QColor(51, 51, 51));
    sendEnter(&link);
    EXPECT_EQ(link.imageName(), QStringLiteral("ic_sync_folderpath_enable_blue"));
    EXPECT_EQ(link.textColor(), QColor(0, 122, 255));
    EXPECT_EQ(link.toolTip(), QStringLiteral("/media/user/DRIVE"));
    sendLeave(&link);
    EXPECT_EQ(link.imageName(), QStringLiteral("ic_sync_folderpath_enable_grey"));
    EXPECT_EQ(countTagged(&link, ImageTextHyperLink::pictureTag), 1);
    EXPECT_EQ(countTagged(&link, ImageTextHyperLink::textTag), 1);
}

TEST(BoxPathTableCell, ToolTipFollowsTheLabelAfterDrawing)
{
    BoxPathTableCell cell;
    cell.resize(160, 28);
    const QString path = QStringLiteral("/home/user/Documents/a rather long folder name/with/more/levels");
    cell.boxCellLabel->setText(path);
    cell.grab();
    EXPECT_EQ(cell.toolTip(), path);
    EXPECT_TRUE(cell.boxCellLabel->isElided());

    cell.boxCellLabel->setText(QStringLiteral("/tmp"));
    cell.grab();
    EXPECT_EQ(cell.toolTip(), QStringLiteral("/tmp"));
    EXPECT_FALSE(cell.boxCellLabel->isElided());
}

TEST(VerticallyAlignedTextFieldCell, BandIsCentred)
{
    EXPECT_EQ(VerticallyAlignedTextFieldCell::drawingRectForBounds(QRect(5, 7, 120, 100)), QRect(0, 6, 120, 88));
    EXPECT_EQ(VerticallyAlignedTextFieldCell::drawingRectForBounds(QRect(0, 0, 120, 60)), QRect(0, -14, 120, 88));
}
