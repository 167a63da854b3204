#include "BridgeFwUpdate_Lib.h"
#include "CommandRunner.h"
#include "FakeScsiTransport.h"
#include "MailboxDiskSource.h"

#include <gtest/gtest.h>

namespace {

struct RecordingRunner : CommandRunner {
    QList<QStringList> calls; // program first
    std::function<void()> effect;
    int exitCode = 0;
    int run(const QString& program, const QStringList& arguments) override
    {
        calls << (QStringList { program } + arguments);
        if (effect)
            effect();
        return exitCode;
    }
};

struct CountingDisks : MailboxDiskSource {
    int sweeps = 0;
    QStringList disks() override
    {
        ++sweeps;
        return {};
    }
    std::unique_ptr<SectorReader> open(const QString&) override { return nullptr; }
};

} // namespace

TEST(BridgeFacadeTest, TextHelpers)
{
    EXPECT_EQ(BridgeFwUpdate_Lib::getTargetIdx(QStringLiteral("abc"), QStringLiteral("c")), 2);
    EXPECT_EQ(BridgeFwUpdate_Lib::getTargetIdx(QStringLiteral("abc"), QStringLiteral("x")), -1);
    EXPECT_EQ(BridgeFwUpdate_Lib::getTargetIdx(QStringLiteral("abc"), QString()), -1);

    const QString block = QStringLiteral("  {\n    idProduct  0x7000 \n   Built-In = No\n  }");
    EXPECT_EQ(BridgeFwUpdate_Lib::getStringBetween(block, QStringLiteral("idProduct"), QStringLiteral("Built-In")),
              QStringLiteral("0x7000"));
    EXPECT_EQ(BridgeFwUpdate_Lib::getStringBetween(block, QStringLiteral("idVendor"), QStringLiteral("Built-In")),
              std::nullopt);
    EXPECT_EQ(BridgeFwUpdate_Lib::getStringBetween(block, QStringLiteral("idProduct"), QStringLiteral("bcdUSB")),
              std::nullopt);
    // The end marker counts only after the start marker.
    EXPECT_EQ(BridgeFwUpdate_Lib::getStringBetween(block, QStringLiteral("Built-In"), QStringLiteral("idProduct")),
              std::nullopt);

    EXPECT_EQ(BridgeFwUpdate_Lib::getLibVersion(), QStringLiteral("1.0.1.4a1"));
    EXPECT_FALSE(BridgeFwUpdate_Lib::getToolTitle().isEmpty());
}

TEST(BridgeFacadeTest, DriverLoadAsksPolkitWithoutPassword)
{
    FakeScsiTransport scsi;
    RecordingRunner runner;
    CountingDisks disks;

    scsi.loaded = false;
    runner.effect = [&] { scsi.loaded = true; };
    EXPECT_EQ(BridgeFwUpdate_Lib::LoadKext_Fun(scsi, runner, disks), 0);
    ASSERT_EQ(runner.calls.size(), 1);
    EXPECT_EQ(runner.calls[0], (QStringList { "pkexec", "modprobe", "sg" }));
    EXPECT_EQ(disks.sweeps, 1);

    // Refused or cancelled at the polkit prompt.
    scsi.loaded = false;
    runner.effect = nullptr;
    runner.exitCode = 126;
    EXPECT_EQ(BridgeFwUpdate_Lib::LoadKext_Fun(scsi, runner, disks), -1);
    EXPECT_EQ(disks.sweeps, 1);

    // Already loaded: nothing to ask for.
    scsi.loaded = true;
    runner.calls.clear();
    EXPECT_EQ(BridgeFwUpdate_Lib::LoadKext_Fun(scsi, runner, disks), 0);
    EXPECT_TRUE(runner.calls.isEmpty());

    EXPECT_EQ(BridgeFwUpdate_Lib::UnloadKext_Fun(disks), 0);
    EXPECT_EQ(disks.sweeps, 3);
}
