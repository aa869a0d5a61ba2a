// The web sign's server library: the one function the program looks up.
// Its name carries the version of the interface between the two, so that a
// library left from another version is found missing, never called with
// arguments it does not take.

#include "webserver.h"

extern "C" Q_DECL_EXPORT web::ServerInterface* pendralumovista_web_server_2(web::ServerInterface::StateReader readState,
                                                                            const QByteArray& glyphs,
                                                                            const QByteArray& layout)
{
    return web::makeServer(std::move(readState), glyphs, layout);
}
