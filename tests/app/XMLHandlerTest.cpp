#include "XMLHandler.h"

#include "../platform/usb/FakeSystemTree.h"
#include "UsbDeviceReport.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

const char* kPretty = R"(<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0">
<array>
	<dict>
		<key>_name</key>
		<string>  Drive One
</string>
		<key>count</key>
		<integer>5</integer>
		<key>ok</key>
		<true/>
		<key>no</key>
		<false/>
		<key>nested</key>
		<dict>
			<key>list</key>
			<array>
				<string>a</string>
				<integer>7</integer>
				<dict>
					<key>deep</key>
					<string>x</string>
				</dict>
			</array>
		</dict>
	</dict>
	<dict>
		<key>_name</key>
		<string>Drive Two</string>
	</dict>
</array>
</plist>
)";

QByteArray compact(QByteArray xml)
{
    xml.replace('\t', "");
    xml.replace("\n<", "<");
    xml.replace(">\n", ">");
    return xml;
}

} // namespace

TEST(XMLHandlerTest, PrettyAndCompactPlistsGiveTheSameNestedValues)
{
    for (const QByteArray& xml : {QByteArray(kPretty), compact(kPretty)}) {
        SCOPED_TRACE(xml.left(200).toStdString());
        XMLHandler handler;
        const QList<QVariantMap> result = handler.parseData(xml);
        ASSERT_EQ(result.size(), 2);

        const QVariantMap& one = result.at(0);
        EXPECT_EQ(one.value("_name"), QVariant(QStringLiteral("Drive One")));
        // Every leaf is text.
        EXPECT_EQ(one.value("count"), QVariant(QStringLiteral("5")));
        // Booleans have no text; nothing of the neighbouring key leaks in.
        EXPECT_EQ(one.value("ok"), QVariant(QString()));
        EXPECT_EQ(one.value("no"), QVariant(QString()));

        const QVariantList list = one.value("nested").toMap().value("list").toList();
        ASSERT_EQ(list.size(), 3);
        EXPECT_EQ(list.at(0), QVariant(QStringLiteral("a")));
        EXPECT_EQ(list.at(1), QVariant(QStringLiteral("7")));
        EXPECT_EQ(list.at(2).toMap().value("deep"), QVariant(QStringLiteral("x")));

        EXPECT_EQ(result.at(1).value("_name"), QVariant(QStringLiteral("Drive Two")));
    }
}

TEST(XMLHandlerTest, TextSplitByEntitiesIsKeptWhole)
{
    XMLHandler handler;
    const auto result = handler.parseData(
        "<plist><array><dict><key>k&amp;ey</key><string> a &amp; b &lt;c&gt; &#x41;<![CDATA[ d ]]></string>"
        "<key></key><string>empty key</string></dict></array></plist>");
    ASSERT_EQ(result.size(), 1);
    EXPECT_EQ(result.at(0).value("k&ey"), QVariant(QStringLiteral("a & b <c> A d")));
    EXPECT_EQ(result.at(0).value(""), QVariant(QStringLiteral("empty key")));
}

TEST(XMLHandlerTest, OnlyAnArrayOfDictsIsAResult)
{
    const QList<QByteArray> inputs{
        "<plist><dict><key>a</key><string>b</string></dict></plist>",
        "<plist><array><dict/><string>b</string></array></plist>",
        "<plist><string>b</string></plist>",
        "",
        "not xml at all",
        "<plist><array></array></plist>",
    };
    for (const QByteArray& xml : inputs) {
        XMLHandler handler;
        EXPECT_TRUE(handler.parseData(xml).isEmpty()) << xml.toStdString();
    }
}

TEST(XMLHandlerTest, TruncatedInputKeepsTheDictsCompletedBeforeTheCut)
{
    const QByteArray full(kPretty);
    const qsizetype cut = full.indexOf("</dict>\n</array>") + 7;
    XMLHandler handler;
    const auto two = handler.parseData(full.left(cut) + "\n\t<dict><key>third</key><str");
    ASSERT_EQ(two.size(), 2);
    EXPECT_EQ(two.at(1).value("_name"), QVariant(QStringLiteral("Drive Two")));

    // Cut inside the first dict: nothing complete.
    EXPECT_TRUE(XMLHandler().parseData(full.left(full.indexOf("<key>count"))).isEmpty());
    // A handler can be used again; the second parse starts from scratch.
    EXPECT_EQ(handler.parseData(kPretty).size(), 2);
}

TEST(XMLHandlerTest, MisplacedElementsAreDroppedWithoutHarm)
{
    XMLHandler handler;
    const auto result = handler.parseData(
        "<plist><string>stray</string><array><dict><dict><key>x</key><string>y</string></dict>"
        "<key>a</key><string>b</string><unknown>z</unknown><key>c</key><string><string>d</string></string>"
        "</dict></array></plist>");
    ASSERT_EQ(result.size(), 1);
    EXPECT_EQ(result.at(0).value("a"), QVariant(QStringLiteral("b")));
    EXPECT_FALSE(result.at(0).contains("x"));
}

TEST(XMLHandlerTest, NoExternalEntityOrDtdIsLoaded)
{
    QTemporaryDir dir;
    const QString secret = dir.path() + "/secret.txt";
    QFile file(secret);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("TOPSECRET");
    file.close();

    const QByteArray xml = "<?xml version=\"1.0\"?>\n<!DOCTYPE plist SYSTEM \"file://" + secret.toUtf8()
        + "\" [<!ENTITY ext SYSTEM \"file://" + secret.toUtf8() + "\"><!ENTITY in \"inner\">]>"
          "<plist><array><dict><key>a</key><string>[&ext;]</string><key>b</key><string>&in;</string>"
          "</dict></array></plist>";
    XMLHandler handler;
    const auto result = handler.parseData(xml);
    ASSERT_EQ(result.size(), 1);
    // The external reference adds nothing; an internal entity is expanded.
    EXPECT_EQ(result.at(0).value("a"), QVariant(QStringLiteral("[]")));
    EXPECT_EQ(result.at(0).value("b"), QVariant(QStringLiteral("inner")));

    // Exponential entity expansion is cut off instead of exhausting memory.
    QByteArray bomb = "<?xml version=\"1.0\"?><!DOCTYPE plist [<!ENTITY a0 \"xxxxxxxxxx\">";
    for (int i = 1; i < 10; ++i)
        bomb += QStringLiteral("<!ENTITY a%1 \"&a%2;&a%2;&a%2;&a%2;&a%2;&a%2;&a%2;&a%2;&a%2;&a%2;\">").arg(i).arg(i - 1).toUtf8();
    bomb += "]><plist><array><dict><key>k</key><string>&a9;</string></dict></array></plist>";
    EXPECT_TRUE(XMLHandler().parseData(bomb).isEmpty());
}

// The USB report takes the same path as in discovery: generated, then parsed here.
TEST(XMLHandlerTest, ReadsTheUsbReportIntoTheKeysDiscoveryWalks)
{
    FakeSystemTree tree;
    tree.buildMakerTree();
    const auto report = XMLHandler().parseData(UsbDeviceReport(tree.roots()).xml());
    ASSERT_EQ(report.size(), 1);

    const QVariantMap bus = report.at(0).value("_items").toList().value(0).toMap();
    EXPECT_TRUE(bus.value("host_controller").typeId() == QMetaType::QString);
    EXPECT_TRUE(bus.value("pci_vendor").typeId() == QMetaType::QString);
    EXPECT_FALSE(bus.contains("product_id"));

    const QVariantMap hub = bus.value("_items").toList().value(0).toMap();
    const QVariantMap drive = hub.value("_items").toList().value(0).toMap();
    EXPECT_EQ(drive.value("_name").toString(), "Zorvi Test Disk");
    EXPECT_EQ(drive.value("product_id").toString(), "0x7000");
    EXPECT_EQ(drive.value("vendor_id").toString(), "0x4d5a");
    EXPECT_EQ(drive.value("manufacturer").toString(), "Morvantek");
    EXPECT_EQ(drive.value("location_id").toString().section(" / ", 0, 0), "0x01120000");

    const QVariantList volumes = drive.value("Media").toList().value(0).toMap().value("volumes").toList();
    ASSERT_EQ(volumes.size(), 2);
    EXPECT_EQ(volumes.at(0).toMap().value("bsd_name").toString(), "sdb1");
    EXPECT_EQ(volumes.at(0).toMap().value("mount_point").toString(), tree.path("media/ZORVI DISK"));
    EXPECT_EQ(volumes.at(1).toMap().value("bsd_name").toString(), "sdb2");
    EXPECT_EQ(volumes.at(0).toMap().value("size_in_bytes").toString(), QString::number(62000000LL * 512));
}
