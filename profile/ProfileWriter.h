#pragma once

#include "core/Result.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace velmora {

class BackupSession;
class MachineFolder;

// Edits one key of an INI file's text the way Windows 98 does, in place:
// - section and key match case-insensitively (leading/trailing spaces of the arguments are
//   ignored); the first matching section and its first matching key win, and the spelling
//   already in the file is kept;
// - an existing key's line becomes "Key=value" + CRLF;
// - a new key goes directly after the last key line of its section (after the header when the
//   section has none), so comments and blank lines that end the section stay below it;
// - a new section is appended at the end of the file, after one blank line unless the file is
//   empty; a last line without a line end gets CRLF first;
// - every other byte, line ending and blank line stays exactly as it was; writing the value a
//   key already has (byte for byte) gives the file back unchanged;
// - Ctrl-Z marks at the very end of the file stay last.
// Refuses (a failure with the reason) what would corrupt the file: CR, LF, NUL or Ctrl-Z in any
// argument, "=" in the key, "]" in the section, an empty section or key, and a key starting
// with ";" or "[" (it would read back as a comment or a section header). Blanks (spaces and
// tabs) around the section and key are dropped; the value is written as given.
Result<QByteArray> editProfileText(const QByteArray& file, const QByteArray& section, const QByteArray& key,
                                   const QByteArray& value);

// Whether editProfileText takes these arguments; its reason when it refuses them.
Result<void> checkProfileEntry(QByteArrayView section, QByteArrayView key, QByteArrayView value);

// The value of a key where editProfileText finds it (the first matching section, its first
// matching key), blanks around it dropped as Windows drops them when it reads; nothing when the
// file holds no such key.
std::optional<QByteArray> profileValue(const QByteArray& file, QByteArrayView section, QByteArrayView key);

// WritePrivateProfileStringA of the stand-in: arguments are ANSI bytes, the file name a
// Windows path on the machine's drive C. The file is created when missing (its folder must
// exist) and replaced atomically; with backups, the file as it was is backed up before the
// change (a backup that fails stops it). Nonzero on success, 0 on failure with lastError() set.
class ProfileWriter {
public:
    explicit ProfileWriter(const MachineFolder& machine, BackupSession* backups = nullptr)
        : m_machine(machine), m_backups(backups)
    {
    }

    int WritePrivateProfileStringA(const QByteArray& appName, const QByteArray& keyName,
                                   const QByteArray& string, const QByteArray& fileName);

    // Why the last failed call failed, in words for the user.
    const QString& lastError() const { return m_lastError; }

private:
    const MachineFolder& m_machine;
    BackupSession* m_backups;
    QString m_lastError;
};

} // namespace velmora
