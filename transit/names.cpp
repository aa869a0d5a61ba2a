#include "names.h"

#include <QString>
#include <QStringEncoder>
#include <QList>

namespace transit {

namespace {

// Letters without a decomposition of their own.
char32_t plainLetter(char32_t c)
{
    switch (c) {
    case U'ł': return U'l';
    case U'Ł': return U'L';
    case U'đ': return U'd';
    case U'Đ': return U'D';
    case U'ħ': return U'h';
    case U'Ħ': return U'H';
    case U'ı': return U'i';
    case U'ŧ': return U't';
    case U'Ŧ': return U'T';
    // Dashes and minus signs the code page lacks.
    case U'\u2010': case U'\u2011': case U'\u2012': case U'\u2015': case U'\u2212': return U'-';
    case U'\u2032': return U'\'';
    case U'\u2033': return U'"';
    default: return 0;
    }
}

bool encodable(const QString& text, QByteArray& bytes)
{
    QStringEncoder encoder("windows-1252");
    bytes = encoder(text);
    if (encoder.hasError() || bytes.size() != text.size())
        return false;
    // Some encoders put a question mark where they found no form.
    for (qsizetype i = 0; i < bytes.size(); ++i)
        if (bytes.at(i) == '?' && text.at(i) != u'?')
            return false;
    return true;
}

} // namespace

std::string NameConverter::convert(std::string_view utf8)
{
    const QString text = QString::fromUtf8(utf8.data(), qsizetype(utf8.size()));
    std::string result;
    std::size_t characters = 0;
    for (qsizetype i = 0; i < text.size();) {
        const qsizetype length = text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate() ? 2 : 1;
        const QString character = text.mid(i, length);
        i += length;
        if (characters == MaxNameLength) {
            cut_ = true;
            break;
        }
        QString replacement;
        const char32_t code = character.toUcs4().value(0);
        QByteArray bytes;
        if (code < 0x20 || code == 0x7f || (code >= 0x80 && code < 0xa0) || QChar::isSpace(code)) {
            // A line break or tab inside a name, or an unusual space: a blank.
            if (code != U' ')
                replacement = QStringLiteral(" ");
            else
                replacement = character;
        } else if (encodable(character, bytes)) {
            result += bytes.toStdString();
            ++characters;
            continue;
        } else if (const char32_t plain = plainLetter(code)) {
            replacement = QString::fromUcs4(&plain, 1);
        } else {
            // The letter without its accents, if that is all it lacks.
            QString decomposed = character.normalized(QString::NormalizationForm_KD);
            QString kept;
            for (const QChar c : decomposed)
                if (c.category() != QChar::Mark_NonSpacing && c.category() != QChar::Mark_SpacingCombining
                    && c.category() != QChar::Mark_Enclosing)
                    kept += c;
            QByteArray keptBytes;
            replacement = !kept.isEmpty() && encodable(kept, keptBytes) ? kept : QStringLiteral("?");
        }
        if (replacement != character)
            replacements_.emplace(character.toStdString(), replacement.toStdString());
        QByteArray replaced;
        encodable(replacement, replaced);
        result += replaced.toStdString();
        characters += std::size_t(replacement.size());
    }
    return result;
}

} // namespace transit
