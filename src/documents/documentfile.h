#pragma once

#include "documents/document.h"

#include <QString>
#include <QStringView>
#include <atomic>
#include <string_view>

// What a file is, told from its first bytes (and, for Markdown, whose bytes
// are any text's, from its name).
enum class DocumentFormat {
    Text, // anything else: read as plain text
    Pdf,
    Zip, // EPUB, DOCX, ODT or a zipped FB2: which one, the archive tells
    Html,
    Markdown,
    Fb2,
    Rtf,
};

DocumentFormat RecogniseDocument(std::string_view bytes, QStringView fileName);

// A document read, or why not: `error` is a whole sentence for the user that
// names the file; `cancelled` when `stop` was raised meanwhile.
struct DocumentResult {
    Document document;
    QString error;
    bool cancelled = false;

    bool Ok() const { return error.isEmpty() && !cancelled; }
};

// Reads a document of `format` (never Text) from its bytes. `fileName` is the
// name messages give. Raising `stop` ends the read early.
DocumentResult ReadDocument(std::string_view bytes, DocumentFormat format, const QString &fileName,
                            const std::atomic<bool> *stop = nullptr);

// The most text a document may turn into, in UTF-16 units: more could not
// be shown within the memory budget anyway.
inline constexpr qsizetype kMaxDocumentChars = qsizetype(160) * 1024 * 1024;
// The most an archive may unpack to, in all, and how many times its packed
// size an entry larger than a megabyte may grow to.
inline constexpr qint64 kMaxUnpackedBytes = qint64(256) * 1024 * 1024;
inline constexpr qint64 kMaxUnpackRatio = 100;
