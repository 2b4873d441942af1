#include "codepage.h"

#include <QStringDecoder>

std::optional<std::u16string> DecodeSystemCodePage(std::string_view bytes) {
    // Stateless: a sequence cut off at the end is replaced, not held back.
    QStringDecoder decoder(QStringConverter::System, QStringConverter::Flag::Stateless);
    const QString text = decoder.decode(QByteArrayView(bytes.data(), qsizetype(bytes.size())));
    return text.toStdU16String();
}
