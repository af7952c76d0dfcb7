#include "ui/displaytext.h"

#include <QList>

#include "codec/thaicodepage.h"

namespace tavolin {

QString ToDisplay(std::string_view bytes)
{
    const std::u32string chars = ThaiCodePage::Instance().ToUnicode(bytes);
    return QString::fromUcs4(chars.data(), static_cast<qsizetype>(chars.size()));
}

std::optional<std::string> FromDisplay(const QString& text)
{
    const QList<uint> ucs4 = text.toUcs4();
    const std::u32string chars(ucs4.begin(), ucs4.end());
    return ThaiCodePage::Instance().FromUnicode(chars);
}

std::optional<unsigned char> ByteOf(char32_t c)
{
    return ThaiCodePage::Instance().FromUnicode(c);
}

} // namespace tavolin
