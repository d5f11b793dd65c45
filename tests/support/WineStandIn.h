#pragma once

#include "support/FileFixtures.h"

#include <QTemporaryDir>

namespace velmora::testing {

// A folder holding an executable named "wine", to hand a ProgramStarter as its search path
// so that Wine counts as installed. The RecordingLauncher makes sure it is never run.
class WineStandIn {
public:
    WineStandIn()
    {
        writeBytes(program(), "#!/bin/sh\nexit 1\n");
        QFile::setPermissions(program(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    QString folder() const { return m_dir.path(); }
    QString program() const { return m_dir.path() + QStringLiteral("/wine"); }

private:
    QTemporaryDir m_dir;
};

} // namespace velmora::testing
