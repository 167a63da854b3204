#include "CloudClients.h"
#include "CloudProgressViewController.h"
#include "CloudViewController.h"
#include "DropboxWorker.h"
#include "GoogleDriveWorker.h"
#include "OneDriveWorker.h"
#include "PageRegistry.h"
#include "WindowFactory.h"

#include <QPointer>
#include <gtest/gtest.h>
#include <memory>

// The cloud pages work with the clients the application owns; the clients go with their
// owner, and no cloud page is made after them.
TEST(PageRegistry, CloudPagesUseTheApplicationsClientsAndAreNotMadeAfterThem)
{
    auto clients = std::make_unique<CloudClients>();
    const QPointer<DropboxWorker> dropbox(&clients->dropbox());
    const QPointer<GoogleDriveWorker> google(&clients->google());
    const QPointer<OneDriveWorker> onedrive(&clients->onedrive());
    PageRegistry::registerPages(*clients);

    std::unique_ptr<QWidget> page(WindowFactory::create("CloudContainerSegue"));
    auto* cloud = qobject_cast<CloudViewController*>(page.get());
    ASSERT_NE(cloud, nullptr);
    EXPECT_EQ(cloud->dropbox(), dropbox.data());
    EXPECT_EQ(cloud->google(), google.data());
    EXPECT_EQ(cloud->onedrive(), onedrive.data());
    std::unique_ptr<QWidget> run(WindowFactory::create("CloudProgressContainerSegue"));
    ASSERT_NE(qobject_cast<CloudProgressViewController*>(run.get()), nullptr);
    page.reset();
    run.reset();

    clients.reset();
    EXPECT_TRUE(dropbox.isNull() && google.isNull() && onedrive.isNull());
    EXPECT_EQ(WindowFactory::create("CloudContainerSegue"), nullptr);
    EXPECT_EQ(WindowFactory::create("CloudProgressContainerSegue"), nullptr);
}
