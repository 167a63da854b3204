// The real SG_IO path, with umockdev standing in for the kernel's SCSI generic driver.
#include "BridgeFwUpdate_Lib.h"
#include "SgIoTransport.h"
#include "UsbLocationId.h"

#include <gtest/gtest.h>

#include <umockdev.h>

#include <cerrno>
#include <cstddef>
#include <mutex>

namespace {

// Plays a 2105 bridge: answers INQUIRY and the version register read.
struct SgBridge {
    std::mutex lock;
    QStringList cdbs;

    static gboolean handle(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self)
    {
        return static_cast<SgBridge*>(self)->ioctl(client);
    }

    gboolean ioctl(UMockdevIoctlClient* client)
    {
        std::lock_guard<std::mutex> guard(lock);
        if (umockdev_ioctl_client_get_request(client) != SG_IO) {
            umockdev_ioctl_client_complete(client, -1, ENOTTY);
            return TRUE;
        }
        UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
        UMockdevIoctlData* hdrData = umockdev_ioctl_data_resolve(arg, 0, sizeof(sg_io_hdr_t), nullptr);
        auto* hdr = reinterpret_cast<sg_io_hdr_t*>(hdrData->data);
        UMockdevIoctlData* cmd = umockdev_ioctl_data_resolve(hdrData, offsetof(sg_io_hdr_t, cmdp), hdr->cmd_len, nullptr);
        const QByteArray cdb(reinterpret_cast<const char*>(cmd->data), hdr->cmd_len);
        cdbs << QString::fromLatin1(cdb.toHex(' '));

        QByteArray answer;
        if (cdb.startsWith('\x12')) {
            answer = QByteArray(38, '\0');
            answer[36] = '\x05';
            answer[37] = '\x21';
        } else if (cdb == QByteArray::fromHex("e40700 07f000")) {
            answer = QByteArray::fromHex("15111300ff0407");
        }
        if (hdr->dxfer_direction == SG_DXFER_FROM_DEV && hdr->dxfer_len > 0) {
            UMockdevIoctlData* data =
                umockdev_ioctl_data_resolve(hdrData, offsetof(sg_io_hdr_t, dxferp), hdr->dxfer_len, nullptr);
            const int n = std::min(int(hdr->dxfer_len), int(answer.size()));
            umockdev_ioctl_data_update(data, 0, reinterpret_cast<guint8*>(answer.data()), n);
            hdr->resid = int(hdr->dxfer_len) - n;
            g_object_unref(data);
        }
        hdr->status = answer.isEmpty() ? 0x02 : 0x00; // anything else: CHECK CONDITION
        hdr->host_status = 0;
        hdr->driver_status = 0;
        g_object_unref(cmd);
        g_object_unref(hdrData);
        umockdev_ioctl_client_complete(client, 0, 0);
        return TRUE;
    }
};

void addDevice(UMockdevTestbed* testbed, const QByteArray& text)
{
    ASSERT_TRUE(umockdev_testbed_add_from_string(testbed, text.constData(), nullptr)) << text.constData();
}

} // namespace

TEST(SgIoTestbedTest, BridgeAnswersInquiryAndRegisterReadThroughSgIo)
{
    if (!qgetenv("LD_PRELOAD").contains("libumockdev-preload"))
        GTEST_SKIP() << "needs the umockdev preload library (run through ctest or umockdev-wrapper)";
    UMockdevTestbed* testbed = umockdev_testbed_new();
    SgBridge bridge;
    UMockdevIoctlBase* handler = umockdev_ioctl_base_new();
    g_signal_connect_after(handler, "handle-ioctl", G_CALLBACK(SgBridge::handle), &bridge);
    ASSERT_TRUE(umockdev_testbed_attach_ioctl(testbed, "/dev/sg2", handler, nullptr));

    // usb device -> interface -> SCSI host -> target -> LUN -> scsi_generic/sg2
    const QByteArray usb = "/devices/pci0000:00/usb2/2-1";
    addDevice(testbed, "P: " + usb + "\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\nA: idVendor=4d5a\\n\nA: idProduct=7000\\n"
                                     "\nA: product=Zorvi Disk\\n\nA: serial=ZV0001\\n\nA: busnum=2\\n\nA: devnum=3\\n\nA: devpath=1\\n"
                                     "\nA: removable=removable\\n\n");
    const QByteArray iface = usb + "/2-1:1.0";
    addDevice(testbed, "P: " + iface + "\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_interface\n");
    addDevice(testbed, "P: " + iface + "/host3\nE: SUBSYSTEM=scsi\nE: DEVTYPE=scsi_host\n");
    addDevice(testbed, "P: " + iface + "/host3/target3:0:0\nE: SUBSYSTEM=scsi\nE: DEVTYPE=scsi_target\n");
    const QByteArray lun = iface + "/host3/target3:0:0/3:0:0:0";
    addDevice(testbed, "P: " + lun + "\nE: SUBSYSTEM=scsi\nE: DEVTYPE=scsi_device\n");
    addDevice(testbed, "P: " + lun + "/scsi_generic/sg2\nN: sg2\nE: SUBSYSTEM=scsi_generic\nE: DEVNAME=/dev/sg2\n");

    SgIoTransport scsi;
    EXPECT_TRUE(scsi.driverLoaded());
    const QList<ScsiBridgeNode> nodes = scsi.bridges();
    ASSERT_EQ(nodes.size(), 1);
    EXPECT_EQ(nodes[0].devnode, QStringLiteral("/dev/sg2"));
    EXPECT_EQ(nodes[0].locationId, UsbLocationId::fromSysfs(2, QStringLiteral("1")));

    quint8 version[7] = {};
    ASSERT_EQ(BridgeFwUpdate_Lib::GetFwVersion_Fun(scsi, version, 0), 0);
    EXPECT_EQ(QByteArray(reinterpret_cast<char*>(version), 7), QByteArray::fromHex("15111300ff0407"));
    EXPECT_LT(BridgeFwUpdate_Lib::ResetCPU_Fun(scsi, 0), -10); // the bridge refuses what it does not know
    {
        std::lock_guard<std::mutex> guard(bridge.lock);
        EXPECT_EQ(bridge.cdbs, (QStringList { "12 00 00 00 26 00", "e4 07 00 07 f0 00", "12 00 00 00 26 00", "e8 00 00 00 00 00" }));
    }
    EXPECT_TRUE(BridgeFwUpdate_Lib::getUSBProperty().contains(QStringLiteral("idProduct = 0x7000\n    Built-In = No")));

    umockdev_testbed_detach_ioctl(testbed, "/dev/sg2", nullptr);
    g_object_unref(handler);
    g_object_unref(testbed);
}
