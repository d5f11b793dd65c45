#include "app/Artwork.h"

#include <QtGlobal>

// Q_INIT_RESOURCE names a function outside any namespace, so it is called from out here.
static void initVelmoraResources()
{
    Q_INIT_RESOURCE(velmora);
}

namespace velmora {

void registerArtwork()
{
    static const bool registered = (initVelmoraResources(), true);
    (void)registered;
}

} // namespace velmora
