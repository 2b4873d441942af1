#include "textfile.h"

#include "codepage.h"
#include "regularfile.h"

#include <QStringDecoder>
#include <exception>
#include <filesystem>
#include <string>

namespace {

// Qt's UTF-16 and UTF-32 decoders pass unpaired surrogates through; the text
// box must never hold broken UTF-16, so they become replacement characters.
QString ReplaceLoneSurrogates(QString text) {
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
            ++i;
        else if (c.isSurrogate())
            text[i] = QChar::ReplacementCharacter;
    }
    return text;
}

} // namespace

std::optional<QString> DecodeTextFile(std::string_view bytes) {
    const QByteArrayView data(bytes.data(), qsizetype(bytes.size()));
    if (const std::optional<QStringConverter::Encoding> marked =
            QStringConverter::encodingForData(data)) {
        // Read in the code page, a marked file's text would come out garbled.
        QStringDecoder decoder(*marked, QStringConverter::Flag::Stateless);
        return ReplaceLoneSurrogates(decoder.decode(data));
    }
    std::optional<std::u16string> text = DecodeSystemCodePage(bytes);
    if (!text)
        return std::nullopt;
    // Copied as it stands: QString::fromStdU16String would take a leading
    // U+FFFE for a byte-swapped mark and swap every character after it.
    return ReplaceLoneSurrogates(
        QString(reinterpret_cast<const QChar *>(text->data()), qsizetype(text->size())));
}

std::optional<QString> ReadTextFile(const QString &path, std::size_t maxBytes) {
    if (path.isEmpty())
        return std::nullopt;
    // A name the file system cannot represent, or a file too big for memory,
    // is one more way for the read to fail.
    try {
        std::string bytes;
        const std::filesystem::path native(path.toStdU16String());
        if (ReadRegularFile(native, maxBytes, bytes) != ReadFileStatus::Ok)
            return std::nullopt;
        return DecodeTextFile(bytes);
    } catch (const std::exception &) {
        return std::nullopt;
    }
}
