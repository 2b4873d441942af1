#include "textfile.h"

#include "codepage.h"
#include "regularfile.h"

#include <QStringDecoder>
#include <exception>
#include <filesystem>
#include <string>

std::optional<QString> DecodeTextFile(std::string_view bytes) {
    const QByteArrayView data(bytes.data(), qsizetype(bytes.size()));
    if (const std::optional<QStringConverter::Encoding> marked =
            QStringConverter::encodingForData(data)) {
        // Read in the code page, a marked file's text would come out garbled.
        QStringDecoder decoder(*marked, QStringConverter::Flag::Stateless);
        return QString(decoder.decode(data));
    }
    std::optional<std::u16string> text = DecodeSystemCodePage(bytes);
    if (!text)
        return std::nullopt;
    return QString::fromStdU16String(*text);
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
