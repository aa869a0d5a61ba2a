// Fuzzes the web sign's check of a request's Host header, the one piece of
// what a client sends that the sign reads itself (the library parses the
// request around it).
//
// The first byte picks the address served (loopback IPv4 or IPv6, every
// address, a LAN address), the next two the port; the rest is the header.
// Besides no fault, leak or hang:
//  - an accepted header is short, holds only the bytes of a name, an
//    address and a port, and ends in ":" and the port served;
//  - the header that names the served address and port exactly is
//    accepted, and the same with any other port is refused.

#include <webserver.h>

#include <QByteArray>
#include <QCoreApplication>
#include <QHostAddress>

#include <cctype>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size)
{
    static int argc = 1;
    static char name[] = "fuzz_hostserved";
    static char* argv[] = {name, nullptr};
    static QCoreApplication application(argc, argv);

    if (size < 3)
        return 0;
    static const QHostAddress addresses[] = {QHostAddress(QHostAddress::LocalHost), QHostAddress(QHostAddress::LocalHostIPv6),
                                             QHostAddress(QHostAddress::Any), QHostAddress(QStringLiteral("192.168.1.5"))};
    const QHostAddress& address = addresses[data[0] % 4];
    quint16 port = quint16(data[1] << 8 | data[2]);
    if (port == 0)
        port = 1;
    const QByteArray host(reinterpret_cast<const char*>(data + 3), qsizetype(size - 3));

    if (web::hostServed(host, address, port)) {
        if (host.size() > 300)
            std::abort();
        for (const char c : host)
            if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == ':' || c == '[' || c == ']'))
                std::abort();
        // Leading zeros in the port are a spelling of the same port.
        const qsizetype colon = host.lastIndexOf(':');
        bool number = false;
        if (colon < 0 || host.mid(colon + 1).toUInt(&number) != port || !number)
            std::abort();
    }

    const QString literal = address.protocol() == QAbstractSocket::IPv6Protocol
                                ? QLatin1Char('[') + address.toString() + QLatin1Char(']')
                                : address.toString();
    if (address != QHostAddress::Any) {
        if (!web::hostServed(literal.toLatin1() + ':' + QByteArray::number(port), address, port))
            std::abort();
        if (web::hostServed(literal.toLatin1() + ':' + QByteArray::number(port ^ 1), address, port))
            std::abort();
    }
    return 0;
}
