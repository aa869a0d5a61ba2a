// The web sign's server library: the one function the program looks up.

#include "webserver.h"

extern "C" Q_DECL_EXPORT web::ServerInterface* pendralumovista_web_server(web::ServerInterface::StateReader readState,
                                                                          const QByteArray& glyphs)
{
    return web::makeServer(std::move(readState), glyphs);
}
