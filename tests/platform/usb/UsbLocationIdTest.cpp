#include "UsbLocationId.h"

#include <gtest/gtest.h>

TEST(UsbLocationIdTest, OneNibblePerPortAfterTheBus)
{
    EXPECT_EQ(UsbLocationId::fromSysfs(1, QStringLiteral("2.3")), 0x01230000u);
    EXPECT_EQ(UsbLocationId::fromSysfs(2, QStringLiteral("1")), 0x02100000u);
    EXPECT_EQ(UsbLocationId::fromSysfs(20, QStringLiteral("1.4.2.3")), 0x14142300u);
    EXPECT_EQ(UsbLocationId::fromSysfs(255, QStringLiteral("1.2.3.4.5.6")), 0xFF123456u);
    // A root hub has no ports.
    EXPECT_EQ(UsbLocationId::fromSysfs(3, QStringLiteral("0")), 0x03000000u);
}

TEST(UsbLocationIdTest, SyspathNamesGiveTheSameNumbers)
{
    EXPECT_EQ(UsbLocationId::fromSyspath(QStringLiteral("/sys/devices/pci0000:00/0000:00:14.0/usb1/1-2/1-2.3")),
              UsbLocationId::fromSysfs(1, QStringLiteral("2.3")));
    EXPECT_EQ(UsbLocationId::fromSyspath(QStringLiteral("/sys/devices/x/usb4/")), 0x04000000u);
    EXPECT_EQ(UsbLocationId::fromSyspath(QStringLiteral("3-1")), 0x03100000u);
    // Interfaces and other names are not devices.
    EXPECT_EQ(UsbLocationId::fromSyspath(QStringLiteral("1-2:1.0")), 0u);
    EXPECT_EQ(UsbLocationId::fromSyspath(QStringLiteral("sdb")), 0u);
}

TEST(UsbLocationIdTest, PortsAboveFifteenAndDeepPathsStayInTheirNibbles)
{
    // Port 16 must not spill into the bus byte or the next port's nibble.
    EXPECT_EQ(UsbLocationId::fromSysfs(1, QStringLiteral("16")), 0x01F00000u);
    EXPECT_EQ(UsbLocationId::fromSysfs(1, QStringLiteral("2.17.3")), 0x012F3000u);
    EXPECT_EQ(UsbLocationId::fromSysfs(1, QStringLiteral("1.2.3.4.5.6.7")), 0x01123456u);
    EXPECT_EQ(UsbLocationId::fromSysfs(300, QStringLiteral("1")), 0x2C100000u);
}

TEST(UsbLocationIdTest, TextIsEightUpperCaseHexDigits)
{
    EXPECT_EQ(UsbLocationId::toText(0x01230000u), QStringLiteral("0x01230000"));
    EXPECT_EQ(UsbLocationId::toText(0xFFABC000u), QStringLiteral("0xFFABC000"));
    EXPECT_EQ(UsbLocationId::toText(0), QStringLiteral("0x00000000"));
}
