#pragma once

#include "app/Velmora.h"
#include "support/FileFixtures.h"
#include "support/RecordingLauncher.h"
#include "support/ScriptedMessageBoxes.h"
#include "support/ScriptedSaveAs.h"
#include "support/WineStandIn.h"

#include <QTemporaryDir>

#include <functional>
#include <memory>
#include <optional>

namespace velmora::testing {

// A throw-away machine folder with real files, and the program's services over it with
// scripted message boxes and Save As dialog; programs are started through a stand-in Wine and
// only recorded. Nothing is seeded: a test writes exactly the files it needs.
class TestMachine {
public:
    // A root laid out by layOut (a real drive, say) before the program looks at it.
    explicit TestMachine(const std::function<void(const QString& root)>& layOut = [](const QString& root) {
        QDir(root).mkpath(QStringLiteral("drive_c/WINDOWS"));
    });

    QString root() const { return m_dir.path(); }
    QString backupsFolder() const { return m_backups.path(); }
    // Host path of a file on drive C, e.g. "WINDOWS/WIN.INI".
    QString hostFile(const QString& relative) const { return m_app->machine().driveC() + '/' + relative; }
    void writeFile(const QString& relative, const QByteArray& bytes) const
    {
        ASSERT_TRUE(writeBytes(hostFile(relative), bytes)) << relative.toStdString();
    }
    QByteArray readFile(const QString& relative) const { return readBytes(hostFile(relative)); }

    // <machine>/system.reg: "REGEDIT4" and a blank line are put in front of the blocks given.
    void writeRegistry(const QByteArray& blocks) const
    {
        ASSERT_TRUE(writeBytes(root() + QStringLiteral("/system.reg"), "REGEDIT4\r\n\r\n" + blocks));
    }
    // A value's type and bytes (nothing when missing).
    struct Value {
        quint32 type = 0;
        QByteArray data;
        bool operator==(const Value&) const = default;
    };
    // The registry file (system.reg, or a drive's SYSTEM.DAT) as it is on disk.
    QByteArray registryBytes() const { return readBytes(m_app->machine().registryFile()); }
    // A value as any other program of the machine would read it from disk now: through a
    // registry of its own, so that only what was saved counts.
    std::optional<Value> storedValue(const QString& keyPath, const QString& valueName) const;

    ScriptedMessageBoxes& boxes() { return m_boxes; }
    ScriptedSaveAs& saveAs() { return m_saveAs; }
    RecordingLauncher& launcher() { return m_launcher; }
    const WineStandIn& wine() const { return m_wine; }
    Velmora& app() { return *m_app; }

private:
    QTemporaryDir m_dir;
    QTemporaryDir m_backups; // never the user's own backups, even outside CTest
    ScriptedMessageBoxes m_boxes;
    ScriptedSaveAs m_saveAs;
    RecordingLauncher m_launcher;
    WineStandIn m_wine;
    std::unique_ptr<Velmora> m_app;
};

} // namespace velmora::testing
