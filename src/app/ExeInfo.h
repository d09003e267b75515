#pragma once
// What the About dialog knows of the program and the machine: the ten texts
// of the program's version information and a few facts of the system, looked
// up by the placeholder keys of the dialog's templates.

#include <QHash>
#include <QString>

#include <optional>

namespace app {

// Version texts by their resource keys ("CompanyName", ..., "LegalTradeMarks").
using VersionStrings = QHash<QString, QString>;

// The program's own, fixed at build time.
VersionStrings ProgramVersionStrings();

// The operating system's version as the name table reads it.
struct OsVersion {
    enum class Kind { Consumer, NT, Other };
    Kind kind = Kind::Other;
    int major = 0;
    int minor = 0;
    QString servicePack;
};
// "Windows 95" ... "Windows XP" for the versions the table knows; "Unknown"
// for every other one and when no version could be read.
QString OSNameOf(const std::optional<OsVersion>& version);

inline const QString UpdatedAtRunTime = QStringLiteral("Updated at run-time");

class TExeInfo {
public:
    // The program's version texts.
    TExeInfo();
    // Tests: these texts (a missing key gives the empty text); nullopt stands
    // for an executable without version information.
    explicit TExeInfo(const std::optional<VersionStrings>& resource);

    QString CompanyName = UpdatedAtRunTime;
    QString FileDescription = UpdatedAtRunTime;
    QString FileVersion = UpdatedAtRunTime;
    QString InternalName = UpdatedAtRunTime;
    QString LegalCopyright = UpdatedAtRunTime;
    QString LegalTradeMark = UpdatedAtRunTime;
    QString OriginalFileName = UpdatedAtRunTime;
    QString ProductName = UpdatedAtRunTime;
    QString ProductVersion = UpdatedAtRunTime;
    QString Comments = UpdatedAtRunTime;

    // The host name, at most 15 characters.
    static QString ComputerName();
    static QString OSName();
    // Drive-letter forms ending in "\"; empty when the directory has none.
    static QString WindowsDir();
    static QString SystemDir();
    static QString TempDir();
    static QString Version() { return QStringLiteral("1.1.0.0"); }

    // The value of a placeholder key (exact, letter case included); any other
    // key gives the empty text.
    QString Value(const QString& key) const;
};

}  // namespace app
