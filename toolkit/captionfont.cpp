#include "captionfont.h"

#include <QFontDatabase>
#include <QString>
#include <QStringList>

namespace tk {

QFont uiFont(int pixelHeight)
{
    static const QString family = [] {
        int id = QFontDatabase::addApplicationFont(QStringLiteral(":/fonts/LiberationSans-Regular.ttf"));
        QStringList families = id >= 0 ? QFontDatabase::applicationFontFamilies(id) : QStringList();
        return families.isEmpty() ? QStringLiteral("Sans Serif") : families.first();
    }();
    QFont font(family);
    font.setPixelSize(pixelHeight);
    font.setStyleHint(QFont::SansSerif);
    return font;
}

} // namespace tk
