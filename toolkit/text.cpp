#include "text.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace tk {

namespace {
constexpr const char* codePage = "windows-1252";
}

QString toQString(std::string_view text)
{
    QStringDecoder decoder(codePage);
    return decoder(QByteArrayView(text.data(), qsizetype(text.size())));
}

Text fromQString(const QString& text)
{
    Text result;
    result.reserve(size_t(text.size()));
    // Encode one code point at a time so that an unencodable one can be
    // replaced on its own without disturbing its neighbours.
    for (qsizetype i = 0; i < text.size();) {
        qsizetype len = (text.at(i).isHighSurrogate() && i + 1 < text.size()
                         && text.at(i + 1).isLowSurrogate()) ? 2 : 1;
        QStringEncoder encoder(codePage);
        QByteArray bytes = encoder(QStringView(text).mid(i, len));
        if (encoder.hasError() || bytes.size() != 1)
            result.push_back('?');
        else
            result.push_back(bytes.at(0));
        i += len;
    }
    return result;
}

Text fromUtf8(std::string_view utf8)
{
    return fromQString(QString::fromUtf8(utf8.data(), qsizetype(utf8.size())));
}

} // namespace tk
