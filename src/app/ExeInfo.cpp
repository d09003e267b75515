#include "app/ExeInfo.h"

#include "app/ExeVersion.h"
#include "platform/Drives.h"

#include <QDir>
#include <QFile>
#include <QSysInfo>

namespace app {

namespace {

// A host directory in drive-letter form with a closing "\", or empty.
QString DriveDir(const QString& hostPath) {
    const std::optional<QString> path = platform::Drives().fromHost(QFile::encodeName(hostPath));
    if (!path) return QString();
    return path->endsWith(u'\\') ? *path : *path + u'\\';
}

}  // namespace

VersionStrings ProgramVersionStrings() {
    using namespace exeversion;
    return {
        {QStringLiteral("CompanyName"), QString::fromUtf8(kCompanyName)},
        {QStringLiteral("FileDescription"), QString::fromUtf8(kFileDescription)},
        {QStringLiteral("FileVersion"), QString::fromUtf8(kFileVersion)},
        {QStringLiteral("InternalName"), QString::fromUtf8(kInternalName)},
        {QStringLiteral("LegalCopyright"), QString::fromUtf8(kLegalCopyright)},
        {QStringLiteral("LegalTradeMarks"), QString::fromUtf8(kLegalTradeMarks)},
        {QStringLiteral("OriginalFileName"), QString::fromUtf8(kOriginalFileName)},
        {QStringLiteral("ProductName"), QString::fromUtf8(kProductName)},
        {QStringLiteral("ProductVersion"), QString::fromUtf8(kProductVersion)},
        {QStringLiteral("Comments"), QString::fromUtf8(kComments)},
    };
}

QString OSNameOf(const std::optional<OsVersion>& version) {
    const QString unknown = QStringLiteral("Unknown");
    if (!version) return unknown;
    const int major = version->major;
    const int minor = version->minor;
    switch (version->kind) {
        case OsVersion::Kind::Consumer:
            if (major == 4 && minor == 0) return QStringLiteral("Windows 95");
            if (major == 4 && minor == 10)
                return version->servicePack.size() >= 2 && version->servicePack[1] == u'A'
                           ? QStringLiteral("Windows 98 SE")
                           : QStringLiteral("Windows 98");
            if (major == 4 && minor == 90) return QStringLiteral("Windows ME");
            return unknown;
        case OsVersion::Kind::NT:
            if (major <= 4) return QStringLiteral("Windows NT");
            if (major == 5 && minor == 0) return QStringLiteral("Windows 2000");
            if (major == 5 && minor == 1) return QStringLiteral("Windows XP");
            return unknown;
        case OsVersion::Kind::Other:
            break;
    }
    return unknown;
}

TExeInfo::TExeInfo() : TExeInfo(ProgramVersionStrings()) {}

TExeInfo::TExeInfo(const std::optional<VersionStrings>& resource) {
    if (!resource) return;
    const auto text = [&](const char* key) { return resource->value(QString::fromLatin1(key)); };
    CompanyName = text("CompanyName");
    FileDescription = text("FileDescription");
    FileVersion = text("FileVersion");
    InternalName = text("InternalName");
    LegalCopyright = text("LegalCopyright");
    LegalTradeMark = text("LegalTradeMarks");
    OriginalFileName = text("OriginalFileName");
    ProductName = text("ProductName");
    ProductVersion = text("ProductVersion");
    Comments = text("Comments");
}

QString TExeInfo::ComputerName() {
    return QSysInfo::machineHostName().left(15);
}

QString TExeInfo::OSName() {
    // Linux is none of the kinds the name table knows.
    return OSNameOf(OsVersion{});
}

// The nearest Linux equivalents: the Windows directory holds the operating
// system itself, which here is /usr; the system directory holds its shared
// libraries, which here are in /usr/lib.
QString TExeInfo::WindowsDir() {
    return DriveDir(QStringLiteral("/usr"));
}

QString TExeInfo::SystemDir() {
    return DriveDir(QStringLiteral("/usr/lib"));
}

QString TExeInfo::TempDir() {
    return DriveDir(QDir::tempPath());
}

QString TExeInfo::Value(const QString& key) const {
    static const QHash<QString, QString (*)(const TExeInfo&)> values = {
        {QStringLiteral("Comments"), [](const TExeInfo& i) { return i.Comments; }},
        {QStringLiteral("CompanyName"), [](const TExeInfo& i) { return i.CompanyName; }},
        {QStringLiteral("ComputerName"), [](const TExeInfo&) { return ComputerName(); }},
        {QStringLiteral("FileDescription"), [](const TExeInfo& i) { return i.FileDescription; }},
        {QStringLiteral("FileVersion"), [](const TExeInfo& i) { return i.FileVersion; }},
        {QStringLiteral("InternalName"), [](const TExeInfo& i) { return i.InternalName; }},
        {QStringLiteral("LegalCopyright"), [](const TExeInfo& i) { return i.LegalCopyright; }},
        {QStringLiteral("LegalTradeMark"), [](const TExeInfo& i) { return i.LegalTradeMark; }},
        {QStringLiteral("OriginalFileName"), [](const TExeInfo& i) { return i.OriginalFileName; }},
        {QStringLiteral("OSName"), [](const TExeInfo&) { return OSName(); }},
        {QStringLiteral("ProductName"), [](const TExeInfo& i) { return i.ProductName; }},
        {QStringLiteral("ProductVersion"), [](const TExeInfo& i) { return i.ProductVersion; }},
        {QStringLiteral("SystemDir"), [](const TExeInfo&) { return SystemDir(); }},
        {QStringLiteral("TempDir"), [](const TExeInfo&) { return TempDir(); }},
        {QStringLiteral("Version"), [](const TExeInfo&) { return Version(); }},
        {QStringLiteral("WindowsDir"), [](const TExeInfo&) { return WindowsDir(); }},
    };
    const auto found = values.constFind(key);
    return found == values.constEnd() ? QString() : (*found)(*this);
}

}  // namespace app
