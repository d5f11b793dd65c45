#pragma once

#include "app/Velmora.h"
#include "core/AnsiCodePage.h"
#include "registry/HiveStore.h"
#include "registry/RegistryStore.h"
#include "support/FileFixtures.h"
#include "support/RecordingLauncher.h"
#include "support/RegistryValues.h"
#include "support/WineStandIn.h"
#include "ui/MessageBoxes.h"

#include <QList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>

namespace velmora::testing {

// A message-box double: every box must have been expected, in order, with its text, icon
// and buttons; the scripted answer is returned. Anything else fails the running test.
class ScriptedMessageBoxes : public MessageBoxes {
public:
    ~ScriptedMessageBoxes() override { verifyAllShown(); }

    // prefixOnly: a text that starts with this one and goes on (a message that carries a reason).
    void expect(const QString& text, MsgIcon icon = MsgIcon::None, MsgButtons buttons = MsgButtons::Ok,
                MsgAnswer answer = MsgAnswer::Ok, bool prefixOnly = false)
    {
        m_expected.append({text, icon, buttons, answer, prefixOnly});
    }

    MsgAnswer show(const QString& text, MsgIcon icon, MsgButtons buttons) override
    {
        if (whenShown)
            whenShown(text);
        const std::string shown = '"' + text.toStdString() + "\" (icon " + std::to_string(int(icon)) + ')';
        if (m_expected.isEmpty()) {
            ADD_FAILURE() << "unexpected message box: " << shown;
            return buttons == MsgButtons::YesNo ? MsgAnswer::No : MsgAnswer::Ok;
        }
        const Box next = m_expected.takeFirst();
        EXPECT_TRUE((next.prefixOnly ? text.startsWith(next.text) && text.size() > next.text.size()
                                     : text == next.text) &&
                    icon == next.icon &&
                    (buttons == MsgButtons::YesNo) == (next.buttons == MsgButtons::YesNo))
            << "message box " << shown << ", expected \"" << next.text.toStdString() << "\" (icon "
            << int(next.icon) << ')';
        return next.answer;
    }

    // Runs as each box comes up, to look at what the user sees behind it.
    std::function<void(const QString& text)> whenShown;

    // Fails the test when an expected box was not shown.
    void verifyAllShown()
    {
        for (const Box& missing : m_expected)
            ADD_FAILURE() << "expected message box was not shown: \"" << missing.text.toStdString() << "\"";
        m_expected.clear();
    }

private:
    struct Box {
        QString text;
        MsgIcon icon;
        MsgButtons buttons;
        MsgAnswer answer;
        bool prefixOnly;
    };
    QList<Box> m_expected;
};

// A Save As double: hands out the scripted answers in order (a path, or nothing for a
// cancelled dialog). Asking with no answer left fails the running test.
class ScriptedSaveAs : public SaveAsDialog {
public:
    void pick(const QString& hostPath) { m_answers.append(hostPath); }
    void cancel() { m_answers.append(std::nullopt); }

    std::optional<QString> askForFile(const QString& pattern) override
    {
        EXPECT_FALSE(m_answers.isEmpty())
            << "unexpected Save As dialog (pattern " << pattern.toStdString() << ")";
        return m_answers.isEmpty() ? std::nullopt : m_answers.takeFirst();
    }

private:
    QList<std::optional<QString>> m_answers;
};

// A throw-away machine folder with real files, and the program's services over it with
// scripted message boxes and Save As dialog; programs are started through a stand-in Wine and
// only recorded. Nothing is seeded: a test writes exactly the files it needs.
class TestMachine {
public:
    // A root laid out by layOut (a real drive, say) before the program looks at it; the machine
    // is the root itself, or the file of that name in it (a disk image).
    explicit TestMachine(
        const std::function<void(const QString& root)>& layOut =
            [](const QString& root) { QDir(root).mkpath(QStringLiteral("drive_c/WINDOWS")); },
        const QString& imageName = {})
    {
        layOut(m_dir.path());
        m_app = std::make_unique<Velmora>(
            imageName.isEmpty() ? m_dir.path() : m_dir.filePath(imageName),
            Edges{boxes, &saveAs, &launcher, {wine.folder()}, wine.folder() + "/prefix"}, m_backups.path());
    }

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
    // A value as any other program of the machine folder would read it from disk now: through a
    // registry of its own, so that only what was saved counts.
    std::optional<Value> storedValue(const QString& keyPath, const QString& valueName) const
    {
        RegistryApi registry(std::make_unique<RegistryStore>(m_app->machine().registryFile()));
        Value value;
        value.data = valueOf(registry, toAnsi(keyPath), toAnsi(valueName), &value.type);
        return value.data.startsWith('<') ? std::nullopt : std::optional<Value>(value); // "<code>": not read
    }

    Velmora& app() { return *m_app; }

    ScriptedMessageBoxes boxes;
    ScriptedSaveAs saveAs;
    RecordingLauncher launcher;
    WineStandIn wine;

private:
    QTemporaryDir m_dir;
    QTemporaryDir m_backups;        // never the user's own backups, even outside CTest
    std::unique_ptr<Velmora> m_app; // last: it works with the doubles above
};

} // namespace velmora::testing
