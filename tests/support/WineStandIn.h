#pragma once

#include <QFile>
#include <QString>
#include <QTemporaryDir>

namespace velmora::testing {

// A folder holding an executable named "wine", to hand a ProgramStarter as its search path
// so that Wine counts as installed. The RecordingLauncher makes sure it is never run.
class WineStandIn {
public:
    WineStandIn()
    {
        QFile wine(program());
        if (wine.open(QIODevice::WriteOnly))
            wine.write("#!/bin/sh\nexit 1\n");
        wine.close();
        wine.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    QString folder() const { return m_dir.path(); }
    QString program() const { return m_dir.path() + QStringLiteral("/wine"); }

private:
    QTemporaryDir m_dir;
};

} // namespace velmora::testing
