#include "ZorviImages.h"

#include <QImage>
#include <gtest/gtest.h>

TEST(ZorviImages, EveryNamedImageLoads)
{
    const QStringList names {
        "ic_log_info", "ic_log_fail", "ic_log_success", "ic_log_backup", "ic_log_restore",
        "ic_log_encrypt", "ic_log_dencrypt", "ic_log_lable",
        "ic_page_add_gery", "ic_page_add_lightgery", "ic_page_add_blue",
        "ic_page_delete_gery", "ic_page_delete_lightgery", "ic_page_delete_blue",
        "ic_page_modify_gery", "ic_page_modify_lightgery", "ic_page_modify_blue",
        "ic_page_backup_grey", "ic_page_backup_blue", "ic_back_grey", "ic_back_blue",
        "ic_sync_folderpath_enable_grey", "ic_sync_folderpath_enable_blue", "ic_main_eject",
        "ic_tab_moredetail_down_grey", "ic_tab_moredetail_down_blue",
        "ic_tab_moredetail_right_grey", "ic_tab_moredetail_right_blue",
        "ic_newtask_addfiles_grey", "ic_newtask_addfiles_blue",
        "ic_newtask_destination_grey", "ic_newtask_destination_blue",
        "img_newtask_normal", "img_newtask_select",
    };
    for (const QString& name : names) {
        SCOPED_TRACE(name.toStdString());
        ASSERT_TRUE(ZorviImages::exists(name));
        const QPixmap pm = ZorviImages::pixmap(name, QSize(32, 32));
        ASSERT_FALSE(pm.isNull());
        // Something was drawn, not just a transparent square.
        const QImage img = pm.toImage();
        bool painted = false;
        for (int y = 0; y < img.height() && !painted; ++y)
            for (int x = 0; x < img.width() && !painted; ++x)
                painted = qAlpha(img.pixel(x, y)) > 0;
        EXPECT_TRUE(painted);
        EXPECT_FALSE(ZorviImages::icon(name).isNull());
        EXPECT_FALSE(ZorviImages::defaultSize(name).isEmpty());
    }
}

TEST(ZorviImages, UnknownAndEmptyNamesGiveNothing)
{
    EXPECT_FALSE(ZorviImages::exists(QString()));
    EXPECT_FALSE(ZorviImages::exists(QStringLiteral("ic_no_such_image")));
    EXPECT_TRUE(ZorviImages::pixmap(QString()).isNull());
    EXPECT_TRUE(ZorviImages::icon(QStringLiteral("ic_no_such_image")).isNull());
}

TEST(ZorviImages, TintRecoloursTheShapes)
{
    const QImage img = ZorviImages::tinted(QStringLiteral("ic_main_eject"), QColor(0, 122, 255), QSize(24, 24)).toImage();
    ASSERT_FALSE(img.isNull());
    const QColor centre = img.pixelColor(img.width() / 2, img.height() / 2);
    EXPECT_EQ(centre.rgb(), QColor(0, 122, 255).rgb());
}
