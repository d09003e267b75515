#include "platform/Drives.h"

#include "platform/FileSystem.h"
#include "support/TempDrives.h"

#include <QFile>
#include <QTemporaryDir>

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
    "45 27 8:49 / /media/cdrom/below rw - ext4 /dev/sde1 rw\n"  // hidden by the next
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
        {'D', "/data", DriveType::Fixed, "data", ""},
        {'E', "/home/user/nfs", DriveType::Remote, "", "\\\\nas.local\\export\\home"},
        {'F', "/home/user/remote", DriveType::Remote, "", "\\\\host.example\\srv\\files"},
        {'G', "/media/cdrom", DriveType::CdRom, "cdrom", ""},
        {'H', "/media/user/My Stick", DriveType::Removable, "My Stick", ""},
        {'I', "/mnt/ram", DriveType::RamDisk, "ram", ""},
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

// A mountinfo line: device, root of the mount, mount point (escaped), type, source.
QByteArray Mount(const char* device, const char* root, const char* point, const char* type,
                 const char* source) {
    static int id = 100;
    return QByteArray::number(++id) + " 1 " + device + ' ' + root + ' ' + point +
           " rw,relatime shared:1 - " + type + ' ' + source + " rw\n";
}

const QByteArray kRoot = Mount("254:0", "/", "/", "ext4", "/dev/vda1");

VolumeProbe UuidProbe() {
    VolumeProbe probe;
    probe.uuidOf = [](const MountEntry& m) {
        static const QHash<QByteArray, QString> uuids{
            {"/dev/sdb1", "AAAA-1111"}, {"/dev/sdc1", "BBBB-2222"}, {"/dev/sdd1", "AAAA-1111"}};
        return uuids.value(m.source);
    };
    probe.labelOf = [](const QByteArray& source) {
        return source == "/dev/sdb1" || source == "/dev/sdc1" || source == "/dev/sde1" ||
                       source == "/dev/sdf1"
                   ? QStringLiteral("STICK")
                   : QString();
    };
    probe.isRemovable = [](const QByteArray& source) { return source.startsWith("/dev/sd"); };
    return probe;
}

// "D=/media/me/STICK" per ready letter, "D-" per absent one, C: left out.
QString Letters(const DriveTable& table) {
    QStringList out;
    for (const Drive& d : table.drives()) {
        if (d.letter == u'C') continue;
        out << (d.ready ? QString(d.letter) + u'=' + QString::fromUtf8(d.hostRoot)
                        : QString(d.letter) + u'-');
    }
    return out.join(u' ');
}

TEST(DriveLetters, AVolumeKeepsItsLetterWhileOthersComeAndGo) {
    const QByteArray stick = Mount("8:17", "/", "/media/me/STICK", "vfat", "/dev/sdb1");
    const QByteArray backup = Mount("8:33", "/", "/media/me/BACKUP", "ext4", "/dev/sdc1");
    const QByteArray ram = Mount("0:40", "/", "/mnt/ram", "tmpfs", "tmpfs");
    // The same label on another stick without a UUID, and again on a third.
    const QByteArray sameLabel = Mount("8:65", "/", "/media/me/STICK", "vfat", "/dev/sde1");
    const QByteArray sameLabel2 = Mount("8:81", "/", "/media/me/STICK1", "vfat", "/dev/sdf1");
    // A copy of the first stick (same UUID) and a second mount of the backup.
    const QByteArray clone = Mount("8:49", "/", "/media/me/ZCLONE", "vfat", "/dev/sdd1");
    const QByteArray bind = Mount("8:33", "/", "/mnt/backup-again", "ext4", "/dev/sdc1");
    const QByteArray subvolume = Mount("8:33", "/photos", "/mnt/photos", "ext4", "/dev/sdc1");
    struct Step {
        QByteArray mounts;
        const char* letters;
    };
    const Step steps[] = {
        {kRoot + stick + ram, "D=/media/me/STICK E=/mnt/ram"},
        {kRoot + backup + ram, "D- E=/mnt/ram F=/media/me/BACKUP"},
        {kRoot + sameLabel + backup, "D- E- F=/media/me/BACKUP G=/media/me/STICK"},
        {kRoot + backup + QByteArray(stick).replace("/media/me/STICK", "/media/me/STICK2"),
         "D=/media/me/STICK2 E- F=/media/me/BACKUP G-"},
        {kRoot + sameLabel2 + clone + stick,
         "D=/media/me/STICK E- F- G- H=/media/me/STICK1 I=/media/me/ZCLONE"},
        // A later mount on the same point hides the earlier one.
        {kRoot + stick + sameLabel, "D- E- F- G=/media/me/STICK H- I-"},
        {kRoot + backup + bind + subvolume + ram,
         "D- E=/mnt/ram F=/media/me/BACKUP G- H- I- J=/mnt/photos"},
        // Escaped names: a space, a backslash, a tab and a newline.
        {kRoot + Mount("0:41", "/", "/mnt/a\\040b\\134c\\011d\\012e", "tmpfs", "tmpfs"),
         "D- E- F- G- H- I- J- K=/mnt/a b\\c\td\ne"},
    };
    DriveLetters letters;
    for (const Step& step : steps) {
        const DriveTable table = DriveTable::FromMountInfo(step.mounts, UuidProbe(), &letters);
        EXPECT_EQ(Letters(table), QString::fromUtf8(step.letters)) << step.mounts.constData();
        // A table read back from what was saved gives the same letters.
        letters = DriveLetters::Parse(letters.Serialize());
    }
    const DriveTable table = DriveTable::FromMountInfo(kRoot, UuidProbe(), &letters);
    ASSERT_NE(table.entry(u'D'), nullptr);
    EXPECT_EQ(table.find(u'D'), nullptr);
    EXPECT_EQ(table.entry(u'D')->label, "STICK");
    EXPECT_FALSE(table.toHost("D:\\a").has_value());  // writes nowhere
    EXPECT_EQ(table.fromHost("/media/me/STICK/a"), "C:\\media\\me\\STICK\\a");
}

TEST(DriveLetters, FirstStartKeepsTheLettersOfEarlierVersions) {
    // Earlier versions gave letters in mount-point order to these, not to the
    // FUSE and virtiofs mounts.
    const QByteArray mounts =
        kRoot + Mount("0:60", "/", "/home/me/cloud", "fuse.rclone", "gdrive:docs") +
        Mount("0:61", "/", "/mnt/host", "virtiofs", "hostshare") +
        Mount("8:33", "/", "/media/me/BACKUP", "ext4", "/dev/sdc1") +
        Mount("0:62", "/", "/home/me/dav", "fuse", "https://dav.example.com:8443/remote/") +
        Mount("0:63", "/", "/run/user/1000/gvfs", "fuse.gvfsd-fuse", "gvfsd-fuse") +
        Mount("0:40", "/", "/mnt/ram", "tmpfs", "tmpfs") +
        Mount("0:64", "/", "/home/me/ssh", "fuse.sshfs", "me@host:/srv");
    VolumeProbe probe = UuidProbe();
    probe.sharesOf = [](const QByteArray& point) {
        EXPECT_EQ(point, "/run/user/1000/gvfs");
        return QList<QByteArray>{"smb-share:server=nas.local,share=public%20files"};
    };
    DriveLetters letters;
    const DriveTable table = DriveTable::FromMountInfo(mounts, probe, &letters);
    EXPECT_EQ(Letters(table),
              "D=/home/me/ssh E=/media/me/BACKUP F=/mnt/ram G=/home/me/cloud H=/home/me/dav "
              "I=/mnt/host J=/run/user/1000/gvfs/smb-share:server=nas.local,share=public%20files");
    const std::pair<char, const char*> remotes[] = {{'D', "\\\\host\\srv"},
                                                    {'G', "\\\\gdrive\\docs"},
                                                    {'H', "\\\\dav.example.com\\remote"},
                                                    {'J', "\\\\nas.local\\public files"}};
    for (const auto& [letter, remote] : remotes) {
        EXPECT_EQ(table.find(QChar(letter))->type, DriveType::Remote);
        EXPECT_EQ(table.find(QChar(letter))->remoteName, QString::fromUtf8(remote));
    }
    EXPECT_EQ(table.find(u'I')->label, "host");
    EXPECT_EQ(table.find(u'E')->label, "STICK");
}

TEST(DriveLetters, HandEditedTablesNeverGiveALetterTwice) {
    const DriveLetters letters = DriveLetters::Parse(
        "# comment\n"
        "D\tuuid:AAAA-1111\tSTICK\n"
        "E\tuuid:AAAA-1111\tsecond line for the identity\n"
        "D\tuuid:CCCC\tsecond line for the letter\n"
        "C\tuuid:ROOT\troot is never bound\n"
        "e\tuuid:lower\tlower case\n"
        "F\t\tno identity\n"
        "G\tuuid:%FF%FE\tnot UTF-8\n"
        "HH\tuuid:x\ttwo letters\n"
        "I\tuuid:x\n"
        "J\tlabel:My%20Disk@/dev/sdb1\tMy%20Disk\r\n"
        "\x01\x02\x03 garbage\n");
    ASSERT_EQ(letters.Bindings().size(), 2u);
    EXPECT_EQ(letters.LetterOf("uuid:AAAA-1111"), QChar(u'D'));
    EXPECT_EQ(letters.Find(u'J')->identity, "label:My Disk@/dev/sdb1");
    EXPECT_EQ(letters.Find(u'J')->name, "My Disk");
    EXPECT_EQ(DriveLetters::Parse(letters.Serialize()), letters);

    DriveLetters full;
    for (char16_t c = u'D'; c <= u'Z'; ++c)
        EXPECT_EQ(full.Bind(QStringLiteral("v%1").arg(int(c)), {}), QChar(c));
    EXPECT_TRUE(full.Bind("one too many", {}).isNull());  // never an absent volume's letter

    // A table that cannot be read, or is no text, starts empty.
    QTemporaryDir dir;
    const QString path = dir.filePath("state/ferrovant/drives");
    EXPECT_TRUE(LoadDriveLetters(path).Empty());
    ASSERT_TRUE(SaveDriveLetters(letters, path));
    EXPECT_EQ(LoadDriveLetters(path), letters);
    QFile binary(path);
    ASSERT_TRUE(binary.open(QIODevice::WriteOnly));
    binary.write(QByteArray("D\tuuid:x\tX\n\0\0", 13));
    binary.close();
    EXPECT_TRUE(LoadDriveLetters(path).Empty());
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
