#include "volumes.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QStorageInfo>
#include <QTemporaryDir>

namespace {

using volumes::DriveType;

TEST(Volumes, DriveLetterPaths) {
  EXPECT_TRUE(volumes::HasDriveLetter("C:\\Music\\a.mp3"));
  EXPECT_TRUE(volumes::HasDriveLetter("c:/music/a.mp3"));
  EXPECT_TRUE(volumes::HasDriveLetter("z:\\"));
  EXPECT_TRUE(volumes::HasDriveLetter("D:"));
  EXPECT_FALSE(volumes::HasDriveLetter("C:relative.txt"));
  EXPECT_FALSE(volumes::HasDriveLetter("1:\\x"));
  EXPECT_FALSE(volumes::HasDriveLetter("CD:\\x"));
  EXPECT_FALSE(volumes::HasDriveLetter("/home/ann/C:\\x"));
  EXPECT_FALSE(volumes::HasDriveLetter("\\\\server\\share\\x"));
  EXPECT_FALSE(volumes::HasDriveLetter(""));
  EXPECT_FALSE(volumes::HasDriveLetter("C"));

  EXPECT_EQ(volumes::RootOf("c:\\data\\file.txt"), "C:\\");
  EXPECT_EQ(volumes::RootOf("D:/music/album/a.mp3"), "D:\\");
  EXPECT_EQ(volumes::RootOf("e:"), "E:\\");
}

TEST(Volumes, NetworkSharePaths) {
  EXPECT_EQ(volumes::RootOf("\\\\nas\\music\\album\\a.mp3"), "\\\\nas\\music\\");
  EXPECT_EQ(volumes::RootOf("\\\\nas\\music"), "\\\\nas\\music\\");
  EXPECT_EQ(volumes::RootOf("\\\\nas\\music\\"), "\\\\nas\\music\\");
  // No share named: not a volume.
  EXPECT_EQ(volumes::RootOf("\\\\nas"), "");
  EXPECT_EQ(volumes::RootOf("\\\\nas\\"), "");
}

TEST(Volumes, OtherPathsHaveNoRootUnlessAbsolute) {
  EXPECT_EQ(volumes::RootOf(""), "");
  EXPECT_EQ(volumes::RootOf("   "), "");
  EXPECT_EQ(volumes::RootOf("docs/a.txt"), "");
}

#ifndef _WIN32

TEST(Volumes, PosixPathsAreRootedAtTheirMountPoint) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString mount = QStorageInfo(dir.path()).rootPath();
  ASSERT_FALSE(mount.isEmpty());
  EXPECT_EQ(volumes::RootOf(dir.path()), mount);
  // A file that is gone still belongs to the volume of its nearest folder.
  EXPECT_EQ(volumes::RootOf(dir.path() + "/gone/deeper/file.txt"), mount);
  EXPECT_EQ(volumes::RootOf("/"), "/");

  EXPECT_TRUE(volumes::IsReady(mount));
  EXPECT_NE(volumes::TypeOf(mount), DriveType::NoRootDir);
  EXPECT_TRUE(volumes::Roots().startsWith("/"));
}

TEST(Volumes, DriveLettersAndSharesAreNoVolumesHere) {
  for (const QString& root : {QString("C:\\"), QString("\\\\nas\\music\\"), QString()}) {
    EXPECT_EQ(volumes::TypeOf(root), DriveType::NoRootDir) << root.toStdString();
    EXPECT_FALSE(volumes::IsReady(root)) << root.toStdString();
    EXPECT_EQ(volumes::Label(root), "") << root.toStdString();
  }
  QTemporaryDir dir;
  const QString gone = dir.path() + "/not-mounted";
  EXPECT_EQ(volumes::TypeOf(gone), DriveType::NoRootDir);
  EXPECT_FALSE(volumes::IsReady(gone));
}

// A fake /sys laid out as the kernel lays it out: the disks live under
// devices/, block/<disk> and class/block/<disk or partition> link into them.
class FakeSys : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(tmp_.isValid());
    root_ = tmp_.path() + "/sys";
    volumes::SetSysRootForTesting(root_);
  }
  void TearDown() override { volumes::SetSysRootForTesting(QString()); }

  void Write(const QString& relative, const QString& text) {
    const QString path = root_ + "/" + relative;
    ASSERT_TRUE(QDir().mkpath(QFileInfo(path).absolutePath()));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(text.toLatin1() + "\n");
  }

  void Link(const QString& relative, const QString& target) {
    const QString path = root_ + "/" + relative;
    ASSERT_TRUE(QDir().mkpath(QFileInfo(path).absolutePath()));
    ASSERT_TRUE(QFile::link(target, path)) << relative.toStdString();
  }

  // A disk under devices/<bus>, with its partitions and attributes.
  void Disk(const QString& bus, const QString& disk, bool removable,
            const QStringList& partitions = {}, const QString& type = QString()) {
    const QString dev = "devices/" + bus + "/block/" + disk;
    Write(dev + "/removable", removable ? "1" : "0");
    if (!type.isEmpty()) Write(dev + "/device/type", type);
    Link("block/" + disk, "../" + dev);
    Link("class/block/" + disk, "../../" + dev);
    for (const QString& part : partitions) {
      Write(dev + "/" + part + "/partition", "1");
      Link("class/block/" + part, "../../" + dev + "/" + part);
    }
  }

  // A mapped device (dm-N) built on the given block devices.
  void Mapped(const QString& dm, const QStringList& slaves) {
    const QString dev = "devices/virtual/block/" + dm;
    Write(dev + "/removable", "0");
    QDir().mkpath(root_ + "/" + dev + "/slaves");
    Link("block/" + dm, "../" + dev);
    Link("class/block/" + dm, "../../" + dev);
    for (const QString& s : slaves) Link(dev + "/slaves/" + s, "../../../../../class/block/" + s);
  }

  QTemporaryDir tmp_;
  QString root_;
};

TEST_F(FakeSys, PartitionsResolveToTheirDisk) {
  Disk("usb1", "sdb", true, {"sdb1"});
  Disk("pci/nvme", "nvme0n1", false, {"nvme0n1p1", "nvme0n1p2"});
  Disk("mmc", "mmcblk0", false, {"mmcblk0p1"});
  Write("block/sda/removable", "0");  // no class links: found by name

  EXPECT_EQ(volumes::DiskOf("sdb1"), "sdb");
  EXPECT_EQ(volumes::DiskOf("sdb"), "sdb");
  EXPECT_EQ(volumes::DiskOf("nvme0n1p2"), "nvme0n1");
  EXPECT_EQ(volumes::DiskOf("mmcblk0p1"), "mmcblk0");
  EXPECT_EQ(volumes::DiskOf("sda3"), "sda");
  EXPECT_EQ(volumes::DiskOf("sdz1"), "");
  EXPECT_EQ(volumes::DiskOf("../block/sdb"), "");
  EXPECT_EQ(volumes::DiskOf(".."), "");
  EXPECT_EQ(volumes::DiskOf(""), "");
}

TEST_F(FakeSys, TypesOfLocalDevices) {
  Disk("usb1", "sdb", true, {"sdb1"});
  Disk("ata2", "sr0", true, {}, "5");
  Disk("ata3", "hdc", false, {}, "5");  // an optical drive by its SCSI type
  Disk("pci/nvme", "nvme0n1", false, {"nvme0n1p2"});
  Disk("mmc0", "mmcblk0", false, {"mmcblk0p1"}, "SD");
  Disk("mmc1", "mmcblk1", false, {"mmcblk1p1"}, "MMC");
  Disk("virtual", "zram0", false);

  EXPECT_EQ(volumes::TypeFromDevice("/dev/sdb1", "vfat"), DriveType::Removable);
  EXPECT_EQ(volumes::TypeFromDevice("/dev/sr0", "iso9660"), DriveType::CDRom);
  EXPECT_EQ(volumes::TypeFromDevice("/dev/hdc", "udf"), DriveType::CDRom);
  EXPECT_EQ(volumes::TypeFromDevice("/dev/nvme0n1p2", "ext4"), DriveType::Fixed);
  EXPECT_EQ(volumes::TypeFromDevice("/dev/mmcblk0p1", "exfat"), DriveType::Removable);
  EXPECT_EQ(volumes::TypeFromDevice("/dev/mmcblk1p1", "ext4"), DriveType::Fixed);
  EXPECT_EQ(volumes::TypeFromDevice("/dev/zram0", "ext2"), DriveType::RamDisk);
  // Not known under /sys: a disc image by its file system, else a local disk.
  EXPECT_EQ(volumes::TypeFromDevice("/dev/sr7", "iso9660"), DriveType::CDRom);
  EXPECT_EQ(volumes::TypeFromDevice("/dev/sdz1", "ext4"), DriveType::Fixed);
}

TEST_F(FakeSys, MappedDevicesTakeTheKindOfTheDisksBelow) {
  Disk("usb2", "sdc", true, {"sdc1"});
  Disk("pci/nvme", "nvme0n1", false, {"nvme0n1p3"});
  Mapped("dm-0", {"sdc1"});       // an encrypted USB stick
  Mapped("dm-1", {"nvme0n1p3"});  // an encrypted internal disk
  Mapped("dm-2", {"dm-0"});       // a volume on top of the stick's mapping
  Mapped("dm-7", {"dm-8"});       // a broken loop of mappings must end
  Mapped("dm-8", {"dm-7"});

  EXPECT_EQ(volumes::DiskOf("dm-0"), "dm-0");
  EXPECT_EQ(volumes::TypeFromDevice("/dev/dm-0", "ext4"), DriveType::Removable);
  EXPECT_EQ(volumes::TypeFromDevice("/dev/dm-1", "ext4"), DriveType::Fixed);
  EXPECT_EQ(volumes::TypeFromDevice("/dev/dm-2", "xfs"), DriveType::Removable);
  EXPECT_EQ(volumes::TypeFromDevice("/dev/dm-7", "ext4"), DriveType::Fixed);

  // /dev/mapper/<name> is a link to the dm-N node.
  const QString devDir = tmp_.path() + "/dev";
  ASSERT_TRUE(QDir().mkpath(devDir + "/mapper"));
  QFile node(devDir + "/dm-0");
  ASSERT_TRUE(node.open(QIODevice::WriteOnly));
  node.close();
  ASSERT_TRUE(QFile::link("../dm-0", devDir + "/mapper/stick"));
  EXPECT_EQ(volumes::TypeFromDevice(devDir + "/mapper/stick", "ext4"), DriveType::Removable);
}

TEST_F(FakeSys, NetworkMemoryAndKernelFileSystems) {
  EXPECT_EQ(volumes::TypeFromDevice("nas:/export/music", "nfs4"), DriveType::Remote);
  EXPECT_EQ(volumes::TypeFromDevice("//nas/music", "cifs"), DriveType::Remote);
  EXPECT_EQ(volumes::TypeFromDevice("//nas/music", "smb3"), DriveType::Remote);
  EXPECT_EQ(volumes::TypeFromDevice("ann@host:/srv", "fuse.sshfs"), DriveType::Remote);
  EXPECT_EQ(volumes::TypeFromDevice("host0", "9p"), DriveType::Remote);
  EXPECT_EQ(volumes::TypeFromDevice("tmpfs", "tmpfs"), DriveType::RamDisk);
  EXPECT_EQ(volumes::TypeFromDevice("none", "ramfs"), DriveType::RamDisk);
  EXPECT_EQ(volumes::TypeFromDevice("proc", "proc"), DriveType::Unknown);
  EXPECT_EQ(volumes::TypeFromDevice("overlay", "overlay"), DriveType::Fixed);
}

#endif  // !_WIN32

}  // namespace
