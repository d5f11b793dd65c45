#include "support/WineStandIn.h"

#include <QFile>

namespace velmora::testing {

WineStandIn::WineStandIn()
{
    QFile wine(program());
    if (wine.open(QIODevice::WriteOnly)) {
        wine.write("#!/bin/sh\nexit 1\n");
        wine.close();
    }
    wine.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

} // namespace velmora::testing
