#include "platform/Drives.h"

#include "platform/FileSystem.h"
#include "support/TempDrives.h"

#include <gtest/gtest.h>

namespace {

using namespace platform;

DriveTable TwoDrives() {
    Drive c;
    c.letter = u'C';
    c.hostRoot = "/";
    Drive d;
    d.letter = u'd';  // stored upper case
    d.hostRoot = "/media/usb/";
    return DriveTable({d, c});
}

TEST(DriveTable, ToHost) {
    const DriveTable table = TwoDrives();
    const std::pair<const char*, const char*> cases[] = {
        {"C:\\", "/"},
        {"C:", "/"},
        {"C:\\Data\\report.txt", "/Data/report.txt"},
        {"c:\\Data", "/Data"},
        {"C:\\\\Data\\\\Sub\\", "/Data/Sub"},
        {"D:\\", "/media/usb"},
        {"d:\\Photos\\x.jpg", "/media/usb/Photos/x.jpg"},
        {"D:\\..\\..\\etc", "/media/usb/etc"},  // ".." never leaves the drive
        {"C:\\Grüße\\ü.txt", "/Grüße/ü.txt"},
    };
    for (const auto& [in, out] : cases) {
        SCOPED_TRACE(in);
        EXPECT_EQ(table.toHost(QString::fromUtf8(in)), QByteArray(out));
    }
    const char* refused[] = {"E:\\Data", "\\\\server\\share\\x", "Data\\x", "", "C:rel", "7:\\"};
    for (const char* in : refused) {
        SCOPED_TRACE(in);
        EXPECT_FALSE(table.toHost(QString::fromUtf8(in)).has_value());
    }
    EXPECT_FALSE(table.toHost(QStringLiteral("C:\\a") + QChar(0) + QStringLiteral("b")));
    EXPECT_FALSE(table.toHost(QStringLiteral("C:\\a") + QChar(0xD800)));  // lone surrogate
}

TEST(DriveTable, FromHost) {
    const DriveTable table = TwoDrives();
    const std::pair<const char*, const char*> cases[] = {
        {"/", "C:\\"},
        {"/home/user", "C:\\home\\user"},
        {"//home//user/", "C:\\home\\user"},
        {"/media/usb", "D:\\"},
        {"/media/usb/Photos", "D:\\Photos"},
        {"/media/usbstick", "C:\\media\\usbstick"},  // a prefix, not a parent
    };
    for (const auto& [in, out] : cases) {
        SCOPED_TRACE(in);
        EXPECT_EQ(table.fromHost(QByteArray(in)), QString::fromUtf8(out));
    }
    EXPECT_FALSE(table.fromHost("relative/path").has_value());
    EXPECT_FALSE(table.fromHost("/data/back\\slash").has_value());
    EXPECT_FALSE(table.fromHost("/data/\xff\xfe").has_value());  // not UTF-8: no round trip

    Drive only;
    only.letter = u'E';
    only.hostRoot = "/srv";
    EXPECT_FALSE(DriveTable({only}).fromHost("/etc").has_value());
}

TEST(DriveTable, FindIgnoresCase) {
    const DriveTable table = TwoDrives();
    ASSERT_NE(table.find(u'd'), nullptr);
    EXPECT_EQ(table.find(u'd')->letter, QChar(u'D'));
    EXPECT_EQ(table.find(u'd')->hostRoot, "/media/usb");
    EXPECT_EQ(table.find(u'Q'), nullptr);
    EXPECT_EQ(table.drives().front().letter, QChar(u'C'));  // sorted by letter
}

const char kMountInfo[] =
    "22 27 0:21 / /proc rw,relatime - proc proc rw\n"
    "23 27 0:22 / /sys rw,relatime - sysfs sysfs rw\n"
    "24 27 0:6 / /dev rw,relatime - devtmpfs devtmpfs rw\n"
    "27 1 254:0 / / rw,relatime shared:1 - ext4 /dev/vda1 rw\n"
    "28 27 8:1 / /boot rw shared:2 - vfat /dev/vda15 rw\n"
    "29 27 0:30 / /run rw - tmpfs tmpfs rw\n"
    "30 29 0:31 / /run/user/1000 rw - tmpfs tmpfs rw\n"
    "31 27 7:0 / /snap/core/123 ro - squashfs /dev/loop0 ro\n"
    "32 27 0:40 / /sys/fs/cgroup rw - cgroup2 cgroup2 rw\n"
    "33 27 8:17 / /media/user/My\\040Stick rw - vfat /dev/sdb1 rw\n"
    "34 27 8:32 / /data rw shared:5 opt:7 - ext4 /dev/sdc rw\n"
    "35 27 0:50 / /mnt/share rw - cifs //fileserver/public rw\n"
    "36 27 0:51 / /home/user/nfs rw - nfs4 nas.local:/export/home rw\n"
    "37 27 11:0 / /media/cdrom ro - iso9660 /dev/sr0 ro\n"
    "38 27 0:52 / /mnt/ram rw - tmpfs tmpfs rw\n"
    "39 27 0:53 / /tmp rw - tmpfs tmpfs rw\n"
    "40 27 0:54 / /var/lib/docker/overlay2/x/merged rw - overlay overlay rw\n"
    "41 27 254:0 /etc/hosts /etc/hosts rw - ext4 /dev/vda1 rw\n"
    "42 27 0:55 / /home/user/remote rw - fuse.sshfs me@host.example:/srv/files rw\n"
    "44 27 254:0 /home/user/.bashrc /home/user/.bashrc rw - ext4 /dev/vda1 rw\n"
    "garbage line without separator\n"
    "43 27 8:33 / /data rw - xfs /dev/sdd rw\n";  // mounted over /data: hides the ext4

TEST(DriveTable, FromMountInfo) {
    VolumeProbe probe;
    probe.isRemovable = [](const QByteArray& source) { return source == "/dev/sdb1"; };
    probe.labelOf = [](const QByteArray& source) {
        return source == "/dev/vda1" ? QStringLiteral("System") : QString();
    };
    probe.isDirectory = [](const QByteArray& mountPoint) {
        return !mountPoint.endsWith(".bashrc");
    };
    const DriveTable table = DriveTable::FromMountInfo(kMountInfo, probe);

    struct Expect {
        char letter;
        const char* root;
        DriveType type;
        const char* label;
        const char* remote;
    };
    const Expect expected[] = {
        {'C', "/", DriveType::Fixed, "System", ""},
        {'D', "/data", DriveType::Fixed, "", ""},
        {'E', "/home/user/nfs", DriveType::Remote, "", "\\\\nas.local\\export\\home"},
        {'F', "/home/user/remote", DriveType::Remote, "", "\\\\host.example\\srv\\files"},
        {'G', "/media/cdrom", DriveType::CdRom, "", ""},
        {'H', "/media/user/My Stick", DriveType::Removable, "", ""},
        {'I', "/mnt/ram", DriveType::RamDisk, "", ""},
        {'J', "/mnt/share", DriveType::Remote, "", "\\\\fileserver\\public"},
    };
    ASSERT_EQ(table.drives().size(), std::size(expected));
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        const Drive& d = table.drives()[i];
        const Expect& e = expected[i];
        SCOPED_TRACE(e.root);
        EXPECT_EQ(d.letter, QChar(e.letter));
        EXPECT_EQ(d.hostRoot, QByteArray(e.root));
        EXPECT_EQ(d.type, e.type);
        EXPECT_EQ(d.label, QString::fromUtf8(e.label));
        EXPECT_EQ(d.remoteName, QString::fromUtf8(e.remote));
        EXPECT_TRUE(d.caseSensitive);
        EXPECT_TRUE(d.casePreserving);
    }
}

TEST(DriveTable, FromMountInfoWithoutRootStillHasC) {
    const DriveTable table = DriveTable::FromMountInfo("");
    ASSERT_EQ(table.drives().size(), 1u);
    EXPECT_EQ(table.drives()[0].letter, QChar(u'C'));
    EXPECT_EQ(table.drives()[0].hostRoot, "/");
}

TEST(DriveTable, SystemTableMapsRootToC) {
    const DriveTable table = DriveTable::FromSystem();
    ASSERT_NE(table.find(u'C'), nullptr);
    EXPECT_EQ(table.find(u'C')->hostRoot, "/");
    for (const Drive& d : table.drives()) {
        EXPECT_FALSE(d.hostRoot.startsWith("/proc")) << d.hostRoot.constData();
        EXPECT_FALSE(d.hostRoot.startsWith("/sys")) << d.hostRoot.constData();
    }
}

TEST(DriveTable, InstallAndResetForgetTheCurrentDirectory) {
    testsupport::TempDrives drives;
    drives.makeDir("D:\\Tgt");
    ASSERT_TRUE(SetCurrentDir("D:\\Tgt"));
    drives.setFreeSpace(u'D', 1234);  // keeps the current directory
    EXPECT_EQ(GetCurrentDir(), "D:\\Tgt");
    EXPECT_EQ(DriveFreeSpace("D:\\"), 1234);
    drives.addDrive(u'E', DriveType::Removable);  // so does adding a drive
    EXPECT_EQ(GetCurrentDir(), "D:\\Tgt");
    ASSERT_NE(Drives().find(u'E'), nullptr);
    EXPECT_EQ(Drives().find(u'E')->type, DriveType::Removable);

    InstallDrives(Drives());
    EXPECT_EQ(GetCurrentDir(), "C:\\");  // the host cwd is on no test drive
}

}  // namespace
