#include "CloudCellDelegate.h"
#include "CloudItemTableCell.h"

#include <QCheckBox>
#include <gtest/gtest.h>

namespace {
struct Recorder : CloudCellDelegate {
    void cloudItemCheckChanged(int state, const QString& id, const QString& path) override
    {
        calls.append(QStringLiteral("%1 %2 %3").arg(state).arg(id, path));
    }
    QStringList calls;
};
} // namespace

TEST(CloudItemTableCellTest, ReportsOnlyTheUsersClicks)
{
    CloudItemTableCell cell;
    EXPECT_FALSE(cell.cloudItemCheckbox->isChecked());
    cell.id = "id:1";
    cell.path = "/Docs/a.txt";

    cell.cloudItemCheckbox->click(); // no delegate: the box changes, nobody hears
    EXPECT_TRUE(cell.cloudItemCheckbox->isChecked());

    Recorder recorder;
    cell.cloudDelegete = &recorder;
    cell.cloudItemCheckbox->setChecked(false); // the picker drawing the row
    EXPECT_TRUE(recorder.calls.isEmpty());
    cell.cloudItemCheckbox->click();
    cell.cloudItemCheckbox->click();
    EXPECT_EQ(recorder.calls, QStringList({"1 id:1 /Docs/a.txt", "0 id:1 /Docs/a.txt"}));
}

TEST(CloudItemTableCellTest, DrawsAPictureForEveryKindOfFile)
{
    CloudItemTableCell cell;
    for (const QString type : {"pdf", "jpg", "mp4", "zip", "", "nosuchtype"}) {
        cell.showFileImage(type);
        EXPECT_FALSE(CloudItemTableCell::fileTypePixmap(type).isNull()) << type.toStdString();
    }
    cell.showFolderImage();
    EXPECT_EQ(cell.imageKind(), "folder");
    EXPECT_FALSE(CloudItemTableCell::folderPixmap().isNull());
}
